// A plain implementation of the codec, one step at a time as the format describes it (linear
// scans, byte-by-byte comparisons, one bit per read), kept as the yardstick for the tuned coders.
#pragma once

#include <cstdint>
#include <vector>

namespace lzh_ref {

using Bytes = std::vector<uint8_t>;

// The LZH stream of `input`: bit stream, then the input's length (4 bytes, least significant
// first). Ring bytes past the end of a short input are spaces.
Bytes Compress(const Bytes& input);

struct Decoded {
  Bytes out;
  std::vector<int32_t> progress;  // bytes left, reported once per fetched byte
  int32_t inPos = 0;              // input bytes consumed
};

// Decodes an LZH stream (size field at the end; at least 5 bytes) the way the codec object
// serves the decoder: one fetch per byte, zero bytes once the input is used up.
Decoded Decompress(const Bytes& lzh);

}  // namespace lzh_ref
