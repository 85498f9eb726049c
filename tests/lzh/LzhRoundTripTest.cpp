// Round trips through Compress/Decompress, and codes deeper than 16 bits.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "lzh/LzhDecoder.h"
#include "lzh/LzhEncoder.h"
#include "tests/lzh/LzhReference.h"
#include "tests/lzh/LzhTestSupport.h"

using namespace lzh_test;

namespace {

Bytes Text(size_t n) {
  static const char* const words[] = {"the ",   "codec ",   "stream ", "of ",  "bytes ", "window ",
                                      "match ", "literal ", "tree\n",  "and ", "4096 ",  "a "};
  std::mt19937 rng(3);
  Bytes out;
  while (out.size() < n) {
    const std::string w = words[rng() % 12];
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(n);
  return out;
}

Bytes Runs(size_t n) {
  std::mt19937 rng(5);
  Bytes out;
  while (out.size() < n) out.insert(out.end(), 1 + rng() % 300, static_cast<uint8_t>(rng()));
  out.resize(n);
  return out;
}

TEST(LzhRoundTrip, Inputs) {
  const struct {
    const char* name;
    Bytes input;
  } cases[] = {
      {"empty", {}},
      {"one byte", {0x00}},
      {"two bytes", {0xFF, 0xFF}},
      {"random, beyond the window", RandomBytes(10000, 256, 1)},
      {"random, >32,455 symbols (rebuilds)", RandomBytes(80000, 256, 2)},
      {"small alphabet", RandomBytes(60000, 4, 3)},
      {"long run", Bytes(300000, 0x00)},
      {"spaces (match the primed ring)", Bytes(5000, ' ')},
      {"runs of varied length", Runs(200000)},
      {"text", Text(150000)},
  };
  for (const auto& c : cases) {
    const Bytes lzh = Compress(c.input);
    const size_t n = lzh.size();
    ASSERT_GE(n, 5u) << c.name;
    EXPECT_EQ(
        static_cast<size_t>(lzh[n - 4] | lzh[n - 3] << 8 | lzh[n - 2] << 16 | lzh[n - 1] << 24),
        c.input.size())
        << c.name;
    EXPECT_TRUE(Decompress(lzh) == c.input) << c.name;
  }
}

TEST(LzhRoundTrip, CodecObjectsRunOnSeveralThreadsAtOnce) {
  std::vector<Bytes> inputs;
  for (unsigned i = 0; i < 4; ++i) inputs.push_back(RandomBytes(60000, 4 + 60 * i, 10 + i));
  std::vector<Bytes> serial;
  for (const Bytes& in : inputs) serial.push_back(Compress(in));
  std::vector<Bytes> packed(inputs.size()), unpacked(inputs.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < inputs.size(); ++i) {
    threads.emplace_back([&, i] {
      packed[i] = Compress(inputs[i]);
      unpacked[i] = Decompress(packed[i]);
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < inputs.size(); ++i) {
    EXPECT_TRUE(packed[i] == serial[i]) << i;
    EXPECT_TRUE(unpacked[i] == inputs[i]) << i;
  }
}

TEST(LzhRoundTrip, RepetitiveInputsShrink) {
  EXPECT_LT(Compress(Bytes(300000, 'z')).size(), 300000u / 40);
  EXPECT_LT(Compress(Text(150000)).size(), 150000u / 2);
}

// Symbol counts growing like a Fibonacci sequence over a block of unused (weight-1) leaves
// make a Huffman tree about 18 deep: those leaves get codes longer than 16 bits.
std::vector<int> DeepSymbols() {
  std::vector<int> counts = {180, 320};
  while (counts.size() < 9) counts.push_back(counts[counts.size() - 1] + counts[counts.size() - 2]);
  int total = 0;
  for (int c : counts) total += c;
  std::vector<int> done(counts.size(), 0);
  std::vector<int> symbols;
  for (int i = 0; i < total; ++i) {
    // Interleave: take the symbol furthest behind its share.
    size_t best = 0;
    double bestLag = -1e9;
    for (size_t j = 0; j < counts.size(); ++j) {
      const double lag = static_cast<double>(counts[j]) * (i + 1) / total - done[j];
      if (done[j] < counts[j] && lag > bestLag) {
        bestLag = lag;
        best = j;
      }
    }
    ++done[best];
    symbols.push_back(300 + static_cast<int>(best));
  }
  for (int s = 0; s < 300; ++s) symbols.push_back(s);  // the deep leaves themselves
  return symbols;
}

TEST(LzhDeepCodes, CodesLongerThan16BitsAreSentWhole) {
  const std::vector<int> symbols = DeepSymbols();
  VectorSink sink;
  int maxCodeLength = 0;
  {
    lzh::TLzhWorkState ws;
    ws.AllocTables();
    ws.InitModel();
    lzh::TLzhEncoder encoder(ws, sink.Proc());
    for (size_t i = 0; i < symbols.size(); ++i) {
      encoder.EncodeSymbol(symbols[i]);
      if (symbols[i] >= 256) encoder.EncodeOffset(static_cast<int>(i % 4095));
    }
    encoder.FlushBits();
    maxCodeLength = encoder.MaxCodeLength();
    ws.FreeTables();
  }
  EXPECT_GT(maxCodeLength, 16);

  lzh::TLzhWorkState ws;
  ws.AllocTables();
  ws.InitModel();
  VectorSource source(sink.data);
  lzh::TLzhDecoder decoder(ws, source.Proc());
  for (size_t i = 0; i < symbols.size(); ++i) {
    ASSERT_EQ(decoder.DecodeSymbol(), symbols[i]) << "symbol " << i;
    if (symbols[i] >= 256) {
      ASSERT_EQ(decoder.DecodeOffset(), static_cast<int>(i % 4095));
    }
  }
  ws.FreeTables();

  // The same stream framed as an LZH stream, through Decompress, against the reference.
  uint32_t size = 0;
  for (const int s : symbols) size += s < 256 ? 1 : static_cast<uint32_t>(s - 253);
  Bytes lzh = sink.data;
  for (int b = 0; b < 4; ++b) lzh.push_back(static_cast<uint8_t>(size >> (8 * b)));
  const Bytes out = Decompress(lzh);
  EXPECT_EQ(out.size(), size);
  EXPECT_TRUE(out == lzh_ref::Decompress(lzh).out);
}

}  // namespace
