#include "tests/lzh/LzhTestSupport.h"

#include <random>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"
#include "lzh/LzhDecoder.h"
#include "lzh/LzhEncoder.h"

namespace lzh_test {

Bytes FromHex(const std::string& hex) {
  Bytes out;
  int nibbles = 0;
  unsigned value = 0;
  for (char c : hex) {
    if (c == ' ') continue;
    value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    if (++nibbles == 2) {
      out.push_back(static_cast<uint8_t>(value));
      nibbles = 0;
      value = 0;
    }
  }
  return out;
}

std::string ToHex(const Bytes& bytes) {
  std::string out;
  char buf[4];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
    out += buf;
  }
  return out;
}

Bytes FromText(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

void VectorSource::Read(uint8_t* buffer, uint16_t count, uint16_t& actual) {
  ++calls;
  const size_t n = std::min<size_t>(count, data.size() - pos);
  if (n) std::memcpy(buffer, data.data() + pos, n);
  pos += n;
  actual = static_cast<uint16_t>(n);
}

void VectorSink::Write(const uint8_t* buffer, uint16_t count, uint16_t& actual) {
  data.insert(data.end(), buffer, buffer + count);
  actual = count;
}

Bytes EncodeRaw(const Bytes& input, int* maxCodeLength) {
  VectorSource source(input);
  VectorSink sink;
  lzh::TLzhEncodeStats stats;
  EXPECT_EQ(lzh::EncodeStream(source.Proc(), sink.Proc(), &stats),
            static_cast<int32_t>(input.size()));
  if (maxCodeLength) *maxCodeLength = stats.MaxCodeLength;
  return sink.data;
}

Bytes DecodeRaw(const Bytes& stream, int32_t outSize) {
  VectorSource source(stream);
  VectorSink sink;
  lzh::DecodeStream(outSize, source.Proc(), sink.Proc());
  return sink.data;
}

Bytes RandomBytes(size_t n, unsigned alphabet, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng() % alphabet);
  return out;
}

Bytes Compress(const Bytes& input) {
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = input.data();
  codec.FInSize = static_cast<int32_t>(input.size());
  codec.FOutStream = &out;
  EXPECT_TRUE(codec.Compress());
  return Bytes(out.Memory(), out.Memory() + out.Size());
}

Bytes Decompress(const Bytes& lzh) {
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = lzh.data();
  codec.FInSize = static_cast<int32_t>(lzh.size());
  codec.FOutStream = &out;
  EXPECT_TRUE(codec.Decompress());
  return Bytes(out.Memory(), out.Memory() + out.Size());
}

std::string CodeOf(const lzh::TLzhWorkState& ws, int symbol) {
  std::string code;
  for (int k = ws.NodeParent[lzh::kNodeCount + symbol]; k != lzh::kRootNode; k = ws.NodeParent[k]) {
    code.insert(code.begin(), (k & 1) ? '1' : '0');
  }
  return code;
}

}  // namespace lzh_test
