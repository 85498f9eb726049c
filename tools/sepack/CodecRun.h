// Runs the codec over a file's bytes, with a progress bar on a terminal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/MemoryStream.h"

namespace sepack {

enum class CodecOp { kCompress, kDecompress };

// The output of Compress or Decompress of `input`, with a progress bar on a terminal unless
// `progress` is false; std::runtime_error when the codec fails.
se::MemoryStream RunCodec(CodecOp op, const std::vector<uint8_t>& input, const std::string& label,
                          bool progress = true);

// The same stream as RunCodec(kCompress) of the file at `path`, read a piece at a time: memory
// holds the compressed stream, never the whole input. std::runtime_error with the OS's reason
// when the file cannot be read, or when it holds 2 GiB or more.
se::MemoryStream CompressFile(const std::string& path, const std::string& label,
                              bool progress = true);

}  // namespace sepack
