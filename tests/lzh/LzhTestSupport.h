// Shared helpers of the codec tests: byte vectors through the coders and model inspection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lzh/LzhCallbacks.h"
#include "lzh/LzhWorkState.h"

namespace lzh_test {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex);
std::string ToHex(const Bytes& bytes);
Bytes FromText(const std::string& text);
// n bytes drawn from the first `alphabet` byte values, the same for the same seed.
Bytes RandomBytes(size_t n, unsigned alphabet, unsigned seed);

// A read callback over a byte vector that reports exhaustion from its end on.
struct VectorSource {
  explicit VectorSource(Bytes data) : data(std::move(data)) {}
  void Read(uint8_t* buffer, uint16_t count, uint16_t& actual);
  lzh::TLzhReadProc Proc() { return lzh::TLzhReadProc::Bind<&VectorSource::Read>(this); }
  Bytes data;
  size_t pos = 0;
  size_t calls = 0;
};

struct VectorSink {
  void Write(const uint8_t* buffer, uint16_t count, uint16_t& actual);
  lzh::TLzhWriteProc Proc() { return lzh::TLzhWriteProc::Bind<&VectorSink::Write>(this); }
  Bytes data;
};

// The bare bit stream of `input` (no size field), through EncodeStream.
Bytes EncodeRaw(const Bytes& input, int* maxCodeLength = nullptr);
// `outSize` bytes decoded from the bare bit stream `stream`, through DecodeStream.
Bytes DecodeRaw(const Bytes& stream, int32_t outSize);

// The LZH stream (bit stream + size) through TCustom_lzh::Compress, and back.
Bytes Compress(const Bytes& input);
Bytes Decompress(const Bytes& lzh);

// A symbol's current code as '0'/'1' characters, root first.
std::string CodeOf(const lzh::TLzhWorkState& ws, int symbol);

}  // namespace lzh_test
