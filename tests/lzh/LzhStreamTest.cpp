// Exact streams: decoder vectors, offset codes, encoder vectors.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "lzh/LzhDecoder.h"
#include "lzh/LzhEncoder.h"
#include "tests/lzh/LzhTestSupport.h"

using namespace lzh_test;

namespace {

TEST(LzhDecoder, Vectors) {
  const struct {
    const char* stream;
    int32_t outSize;
    Bytes expected;
    size_t reads;  // read callback calls
  } cases[] = {
      {"00 00", 1, {0x74}, 2},
      {"8C 00 00", 3, {0x20, 0x20, 0x20}, 4},  // fetches one byte past the last bit
      {"8C 00 00", 1, {0x20, 0x20, 0x20}, 4},  // a match is written whole
      {"E6 C6 00 00", 4, {0x41, 0x41, 0x41, 0x41}, 5},
      {"", 3, Bytes(61, 0x74), 0},  // exhausted input reads as zero bits
      {"00 00", 0, {}, 0},
      {"00 00", -5, {}, 0},
  };
  for (const auto& c : cases) {
    VectorSource source(FromHex(c.stream));
    VectorSink sink;
    lzh::DecodeStream(c.outSize, source.Proc(), sink.Proc());
    EXPECT_EQ(ToHex(sink.data), ToHex(c.expected)) << c.stream << " / " << c.outSize;
    if (c.reads) {
      EXPECT_EQ(source.calls, c.reads) << c.stream;
    }
    if (c.outSize <= 0) {
      EXPECT_EQ(source.calls, 0u);
    }
  }
}

TEST(LzhDecoder, CountEndsAtTheFirstItemPastTheSizeWithoutWrapping) {
  // The 5-byte LZH stream 00 FF FF FF 7F declares 2^31 - 1 bytes; decoding it whole would take
  // 2 GiB, so the count resumes just below the size. The last item (up to a 60-byte match) may
  // pass the size; the count must not wrap there and run on.
  lzh::TLzhWorkState ws;
  ws.AllocTables();
  ws.InitModel();
  std::memset(ws.Ring, ' ', lzh::kWindowSize);
  VectorSource source(FromHex("00 FF FF FF 7F"));
  VectorSink sink;
  lzh::TLzhDecoder decoder(ws, source.Proc());
  lzh::detail::TCallbackOutput out(sink.Proc());
  int r = lzh::kWindowSize - lzh::kMaxMatch;
  const int64_t size = INT32_MAX;
  const int64_t start = size - 100;
  const int64_t end = lzh::detail::DecodeItems(decoder, ws.Ring, r, out, start, size);
  EXPECT_GE(end, size);
  EXPECT_LE(end, size + 59);
  EXPECT_EQ(static_cast<int64_t>(sink.data.size()), end - start);
  ws.FreeTables();
}

std::string Bits(const Bytes& bytes, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += (bytes[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0';
  return out;
}

TEST(LzhOffsetCode, ExactCodes) {
  const struct {
    int offset;
    const char* bits;
  } cases[] = {
      {0, "000000000"},           {100, "0010100100"},
      {4095, "11111111111111"},   {64, "0010000000"},
      {4 * 64, "01010000000"},    {12 * 64 + 5, "100100000101"},
      {24 * 64, "1100000000000"}, {48 * 64 + 63, "11110000111111"},
  };
  for (const auto& c : cases) {
    lzh::TLzhWorkState ws;
    VectorSink sink;
    lzh::TLzhEncoder encoder(ws, sink.Proc());
    encoder.EncodeOffset(c.offset);
    encoder.FlushBits();
    const size_t n = std::string(c.bits).size();
    ASSERT_EQ(sink.data.size(), (n + 7) / 8) << c.offset;
    EXPECT_EQ(Bits(sink.data, n), c.bits) << c.offset;
    EXPECT_EQ(Bits(sink.data, sink.data.size() * 8).substr(n).find('1'), std::string::npos);
  }
}

TEST(LzhOffsetCode, EveryOffsetRoundTripsWithoutReadingPastItsBits) {
  // All offsets back to back, then a marker byte that must come out intact.
  lzh::TLzhWorkState out;
  VectorSink sink;
  lzh::TLzhEncoder encoder(out, sink.Proc());
  for (int v = 0; v < 4096; ++v) encoder.EncodeOffset(v);
  encoder.WriteBits(8, 0xA500);
  encoder.FlushBits();

  lzh::TLzhWorkState in;
  VectorSource source(sink.data);
  lzh::TLzhDecoder decoder(in, source.Proc());
  for (int v = 0; v < 4096; ++v) ASSERT_EQ(decoder.DecodeOffset(), v);
  EXPECT_EQ(decoder.ReadByte(), 0xA5);
}

TEST(LzhEncoder, Vectors) {
  const struct {
    const char* name;
    Bytes input;
    const char* compressed;
  } cases[] = {
      {"one byte", {0x41}, "E6 80 01 00 00 00"},
      {"abc", FromText("abc"), "F6 FB BD E0 03 00 00 00"},
      {"abc x4", FromText("abcabcabcabc"), "F6 FB BD F2 40 20 0C 00 00 00"},
      {"100 a", Bytes(100, 'a'), "F6 FB 40 16 00 00 64 00 00 00"},
  };
  for (const auto& c : cases) {
    const Bytes lzh = Compress(c.input);
    EXPECT_EQ(ToHex(lzh), c.compressed) << c.name;
    EXPECT_EQ(Decompress(lzh), c.input) << c.name;
  }
}

TEST(LzhEncoder, HundredSpacesStartWithFullMatchAgainstPrimedRing) {
  const Bytes input(100, ' ');
  const Bytes lzh = Compress(input);
  ASSERT_GE(lzh.size(), 6u);
  EXPECT_EQ(lzh[0], 0xC5);
  EXPECT_EQ(lzh[1], 0x1D);
  EXPECT_EQ(Decompress(lzh), input);
  EXPECT_EQ(Compress(input), lzh);  // the same on every run
}

TEST(LzhEncoder, EmptyInputSendsOneSpaceLiteral) {
  // The ring starts as spaces, so the one literal sent is the space's initial 9-bit code.
  lzh::TLzhWorkState ws;
  ws.AllocTables();
  ws.InitModel();
  const std::string code = CodeOf(ws, ' ');
  ws.FreeTables();
  ASSERT_EQ(code.size(), 9u);

  const Bytes lzh = Compress({});
  ASSERT_EQ(lzh.size(), 6u);
  EXPECT_EQ(Bits(lzh, 16), code + "0000000");
  EXPECT_EQ(ToHex(Bytes(lzh.begin() + 2, lzh.end())), "00 00 00 00");
  EXPECT_TRUE(Decompress(lzh).empty());
}

}  // namespace
