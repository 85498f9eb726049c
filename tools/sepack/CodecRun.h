// Runs the codec object over a whole file's bytes, with a progress bar on a terminal.
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

}  // namespace sepack
