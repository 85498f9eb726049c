// The tuned coders against the plain reference: the same streams, outputs, reads and progress
// reports, on varied inputs and on damaged streams.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"
#include "lzh/LzhDecoder.h"
#include "lzh/LzhEncoder.h"
#include "tests/lzh/LzhReference.h"
#include "tests/lzh/LzhTestSupport.h"

using namespace lzh_test;

namespace {

// Binary-file-like content: records of little-endian numbers that change a little from one to
// the next, zero padding, repeated names, and bytes that look random.
Bytes Structured(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out;
  uint32_t counter = 0x401000;
  while (out.size() < n) {
    switch (rng() % 5) {
      case 0:
        for (int i = 0; i < 16; ++i) {
          counter += rng() % 64;
          for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(counter >> (8 * b)));
        }
        break;
      case 1:
        out.insert(out.end(), rng() % 700, 0);
        break;
      case 2: {
        static const char* const names[] = {"GetProcAddress", "kernel32.dll", "LoadLibraryA",
                                            "CreateFileA", "msvcrt.dll"};
        const std::string name = names[rng() % 5];
        out.insert(out.end(), name.begin(), name.end() + 1);
        break;
      }
      case 3:
        for (int i = 0; i < 40; ++i) out.push_back(static_cast<uint8_t>(rng()));
        break;
      default:
        if (out.size() > 300) {  // a copy of something recent, slightly changed
          const size_t from = out.size() - 1 - rng() % 300;
          const size_t length = 3 + rng() % 80;
          for (size_t i = 0; i < length; ++i) out.push_back(out[from + i]);
          out.back() = static_cast<uint8_t>(rng());
        }
    }
  }
  out.resize(n);
  return out;
}

// Text of a few short words over a small alphabet: long and many equal-length matches, so
// which nodes a match search meets, and so the tree's exact shape, decides the offsets sent.
Bytes Words(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> words(30);
  for (auto& w : words) {
    for (unsigned k = 1 + rng() % 6; k > 0; --k) w += static_cast<char>('a' + rng() % 8);
  }
  Bytes out;
  while (out.size() < n) {
    const std::string& w = words[rng() % words.size()];
    out.insert(out.end(), w.begin(), w.end());
    out.push_back(' ');
  }
  out.resize(n);
  return out;
}

struct CodecDecode {
  Bytes out;
  std::vector<int32_t> progress;
  int32_t inPos;
  int32_t bytesLeft;
};

void Record(int32_t left, void* data) {
  static_cast<std::vector<int32_t>*>(data)->push_back(left);
}

CodecDecode DecodeWithCodec(const Bytes& lzh, bool withProgress) {
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  CodecDecode result;
  codec.FInBuffer = lzh.data();
  codec.FInSize = static_cast<int32_t>(lzh.size());
  codec.FOutStream = &out;
  if (withProgress) {
    codec.FOnProgress = Record;
    codec.FProgressData = &result.progress;
  }
  EXPECT_TRUE(codec.Decompress());
  result.out.assign(out.Memory(), out.Memory() + out.Size());
  result.inPos = codec.FInPos;
  result.bytesLeft = codec.FBytesLeft;
  return result;
}

// Decoding `lzh` through the codec object (with and without a progress callback) and through
// the callback decoder gives what the reference gives.
void ExpectDecodesLikeReference(const Bytes& lzh, const std::string& name) {
  SCOPED_TRACE(name);
  const lzh_ref::Decoded expected = lzh_ref::Decompress(lzh);
  const CodecDecode quiet = DecodeWithCodec(lzh, false);
  const CodecDecode reported = DecodeWithCodec(lzh, true);
  EXPECT_TRUE(quiet.out == expected.out);
  EXPECT_TRUE(reported.out == expected.out);
  EXPECT_TRUE(reported.progress == expected.progress);
  // Until the first fetch the codec's count of bytes left stays at 0.
  const int32_t left =
      expected.progress.empty() ? 0 : static_cast<int32_t>(lzh.size()) - expected.inPos;
  for (const CodecDecode* run : {&quiet, &reported}) {
    EXPECT_EQ(run->inPos, expected.inPos);
    EXPECT_EQ(run->bytesLeft, left);
  }
  const size_t n = lzh.size();
  const int32_t size = static_cast<int32_t>(lzh[n - 4] | lzh[n - 3] << 8 | lzh[n - 2] << 16 |
                                            static_cast<uint32_t>(lzh[n - 1]) << 24);
  EXPECT_TRUE(DecodeRaw(lzh, size) == expected.out);
}

TEST(LzhDifferential, EncodersAndDecodersMatchTheReference) {
  const struct {
    const char* name;
    Bytes input;
  } cases[] = {
      {"empty", {}},
      {"59 bytes", RandomBytes(59, 256, 1)},
      {"60 bytes", RandomBytes(60, 256, 2)},
      {"61 bytes", RandomBytes(61, 3, 3)},
      {"around the window", RandomBytes(4097, 16, 4)},
      {"random, rebuilds", RandomBytes(70000, 256, 5)},
      {"two-letter alphabet", RandomBytes(50000, 2, 6)},
      {"structured", Structured(200000, 7)},
      {"structured, other seed", Structured(60000, 8)},
      {"zeros", Bytes(20000, 0)},
      {"spaces", Bytes(9000, ' ')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes expected = lzh_ref::Compress(c.input);
    const Bytes lzh = Compress(c.input);
    ASSERT_TRUE(lzh == expected);
    const Bytes raw = EncodeRaw(c.input);
    ASSERT_TRUE(raw == Bytes(expected.begin(), expected.end() - 4));
    ExpectDecodesLikeReference(lzh, c.name);
  }
}

// Many inputs where the tree's shape shows in the output: every insertion and removal must
// leave the tree as the plain one-after-the-other order does.
TEST(LzhDifferential, TreeShapeShowsInTheOffsets) {
  for (unsigned seed = 0; seed < 40; ++seed) {
    SCOPED_TRACE(seed);
    const Bytes input = Words(12000, seed);
    ASSERT_TRUE(Compress(input) == lzh_ref::Compress(input));
  }
}

TEST(LzhDifferential, DamagedStreamsDecodeLikeTheReference) {
  std::mt19937 rng(11);
  const Bytes valid = Compress(Structured(30000, 12));
  for (int i = 0; i < 60; ++i) {
    Bytes lzh;
    if (i % 3 == 0) {
      lzh = RandomBytes(1 + rng() % 300, 256, rng());  // not a stream at all
    } else {
      // A valid stream cut short or with bytes flipped, then a size field of our choosing.
      lzh.assign(valid.begin(), valid.end() - 4);
      lzh.resize(rng() % lzh.size());
      for (int flips = i % 3 == 2 ? 5 : 0; flips > 0 && !lzh.empty(); --flips) {
        lzh[rng() % lzh.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
      }
    }
    const uint32_t size = rng() % 40000;
    for (int b = 0; b < 4; ++b) lzh.push_back(static_cast<uint8_t>(size >> (8 * b)));
    ExpectDecodesLikeReference(lzh, "damaged stream " + std::to_string(i));
  }
}

// What a progress callback sees of the output, and what a run stopped by it leaves behind.
struct Watched {
  std::vector<int64_t> outSizes;  // output size at each report
  Bytes out;
  int32_t inPos = 0;
  bool stopped = false;
};

struct Stop {};

struct Watcher {
  const se::MemoryStream* out;
  std::vector<int64_t>* sizes;
  size_t stopAt;  // the report that throws (1-based; 0: none)
};

void Watch(int32_t, void* data) {
  auto* w = static_cast<Watcher*>(data);
  w->sizes->push_back(w->out->Size());
  if (w->sizes->size() == w->stopAt) throw Stop{};
}

// Runs Compress or Decompress of `input` (memory path) or the same coder over the codec's
// ReadInput and WriteOutput (callback path), with a progress callback that stops it at report k.
Watched RunWatched(const Bytes& input, bool compress, bool viaCallbacks, size_t k) {
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  Watched w;
  Watcher watcher{&out, &w.outSizes, k};
  codec.FInBuffer = input.data();
  codec.FInSize = static_cast<int32_t>(input.size());
  codec.FOutStream = &out;
  codec.FOnProgress = Watch;
  codec.FProgressData = &watcher;
  const auto read = lzh::TLzhReadProc::Bind<&lzh::TCustom_lzh::ReadInput>(&codec);
  const auto write = lzh::TLzhWriteProc::Bind<&lzh::TCustom_lzh::WriteOutput>(&codec);
  try {
    if (!viaCallbacks) {
      EXPECT_TRUE(compress ? codec.Compress() : codec.Decompress());
    } else if (compress) {
      lzh::EncodeStream(read, write);
    } else {
      const size_t n = input.size();
      lzh::DecodeStream(input[n - 4] | input[n - 3] << 8 | input[n - 2] << 16, read, write);
    }
  } catch (const Stop&) {
    w.stopped = true;
  }
  w.out.assign(out.Memory(), out.Memory() + out.Size());
  w.inPos = codec.FInPos;
  return w;
}

TEST(LzhDifferential, ProgressSeesTheOutputOfTheCallbackPath) {
  const Bytes input = Structured(20000, 21);
  const Bytes lzh = Compress(input);
  for (const bool compress : {false, true}) {
    SCOPED_TRACE(compress ? "compress" : "decompress");
    const Bytes& in = compress ? input : lzh;
    const Watched whole = RunWatched(in, compress, true, 0);
    ASSERT_TRUE(whole.outSizes == RunWatched(in, compress, false, 0).outSizes);
    const size_t reports = whole.outSizes.size();
    ASSERT_GT(reports, 100u);
    for (const size_t k : {size_t{1}, size_t{2}, size_t{37}, reports / 2, reports - 1, reports}) {
      SCOPED_TRACE(k);
      const Watched memory = RunWatched(in, compress, false, k);
      const Watched callbacks = RunWatched(in, compress, true, k);
      EXPECT_TRUE(memory.stopped);
      EXPECT_TRUE(memory.out == callbacks.out);
      EXPECT_TRUE(memory.outSizes == callbacks.outSizes);
      EXPECT_EQ(memory.inPos, callbacks.inPos);
    }
  }
}

}  // namespace
