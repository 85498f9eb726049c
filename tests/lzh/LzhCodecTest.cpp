// The codec object: framing, results, progress counts, failures of the working tables.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <vector>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"
#include "lzh/LzhDecoder.h"
#include "lzh/LzhEncoder.h"
#include "lzh/SECompress.h"
#include "tests/lzh/LzhTestSupport.h"

using namespace lzh_test;

namespace {

struct DecodeRun {
  bool result;
  Bytes out;
};

DecodeRun Decode(const Bytes& input, lzh::TLzhProgressProc progress = nullptr,
                 void* data = nullptr) {
  se::MemoryStream out;
  out.Write("junk", 4);  // must be cleared
  lzh::TCustom_lzh codec;
  codec.FInBuffer = input.data();
  codec.FInSize = static_cast<int32_t>(input.size());
  codec.FOutStream = &out;
  codec.FOnProgress = progress;
  codec.FProgressData = data;
  const bool result = codec.Decompress();
  return {result, Bytes(out.Memory(), out.Memory() + out.Size())};
}

TEST(TCustom_lzh, DecompressFraming) {
  const struct {
    const char* input;
    bool result;
    Bytes out;
  } cases[] = {
      {"", false, {}},
      {"00 00 01 00", false, {}},             // 4 bytes: no room for a stream
      {"00 00 00 00 00", true, {}},           // size 0
      {"00 00 00 00 FF FF FF FF", true, {}},  // negative size
      {"00 00 01 00 00 00", true, {0x74}},
  };
  for (const auto& c : cases) {
    const DecodeRun run = Decode(FromHex(c.input));
    EXPECT_EQ(run.result, c.result) << c.input;
    EXPECT_EQ(run.out, c.out) << c.input;
  }
}

TEST(TCustom_lzh, NoOutputStreamLeavesFieldsAlone) {
  const Bytes input = FromHex("00 00 01 00 00 00");
  lzh::TCustom_lzh codec;
  codec.FInBuffer = input.data();
  codec.FInSize = static_cast<int32_t>(input.size());
  codec.FInPos = 7;
  codec.FBytesLeft = 9;
  EXPECT_FALSE(codec.Compress());
  EXPECT_FALSE(codec.Decompress());
  EXPECT_EQ(codec.FInPos, 7);
  EXPECT_EQ(codec.FBytesLeft, 9);
}

TEST(TCustom_lzh, CompressedFormEndsWithInputLength) {
  Bytes input;
  for (int i = 0; i < 5000; ++i) input.push_back(static_cast<uint8_t>(i * 7 % 251));
  const Bytes lzh = Compress(input);
  ASSERT_GE(lzh.size(), 4u);
  const size_t n = lzh.size();
  EXPECT_EQ(lzh[n - 4] | lzh[n - 3] << 8 | lzh[n - 2] << 16 | lzh[n - 1] << 24, 5000);
  EXPECT_EQ(Decompress(lzh), input);
}

void Record(int32_t left, void* data) {
  static_cast<std::vector<int32_t>*>(data)->push_back(left);
}

TEST(TCustom_lzh, DecompressProgressCountsDownToThree) {
  const Bytes inputs[] = {FromText("x"), FromText("The quick brown fox jumps over the lazy dog. "),
                          Bytes(3000, 'q')};
  for (const Bytes& input : inputs) {
    const Bytes lzh = Compress(input);
    std::vector<int32_t> counts;
    const DecodeRun run = Decode(lzh, Record, &counts);
    EXPECT_EQ(run.out, input);
    const int32_t n = static_cast<int32_t>(lzh.size());
    ASSERT_EQ(counts.size(), static_cast<size_t>(n - 3));
    for (int32_t i = 0; i < n - 3; ++i) ASSERT_EQ(counts[i], n - 1 - i);
  }
  std::vector<int32_t> counts;
  EXPECT_TRUE(Decode(Compress({}), Record, &counts).result);
  EXPECT_TRUE(counts.empty());
}

TEST(TCustom_lzh, CompressProgressOncePerReadThenZeroAfterTheEnd) {
  const Bytes input = FromText("abcabcabcabc");
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  std::vector<int32_t> counts;
  codec.FInBuffer = input.data();
  codec.FInSize = static_cast<int32_t>(input.size());
  codec.FOutStream = &out;
  codec.FOnProgress = Record;
  codec.FProgressData = &counts;
  ASSERT_TRUE(codec.Compress());
  // 12 reads that deliver a byte; then one empty read for each of the last items.
  ASSERT_GE(counts.size(), 13u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(counts[i], 11 - i);
  for (size_t i = 12; i < counts.size(); ++i) EXPECT_EQ(counts[i], 0);
  EXPECT_EQ(codec.FInPos, 12);
  EXPECT_EQ(codec.FBytesLeft, 0);
}

TEST(TSECompress, ReadsSourceFromItsStartWhateverItsPosition) {
  const Bytes input = FromText("a cabinet would be here; a cabinet would be here");
  const Bytes lzh = Compress(input);
  se::MemoryStream source;
  source.Write(lzh.data(), lzh.size());
  ASSERT_EQ(source.Position(), source.Size());
  se::MemoryStream dest;
  EXPECT_TRUE(lzh::TSECompress().DecompressStream(source, dest));
  EXPECT_EQ(Bytes(dest.Memory(), dest.Memory() + dest.Size()), input);
  EXPECT_EQ(dest.Position(), dest.Size());
  EXPECT_EQ(source.Size(), static_cast<int64_t>(lzh.size()));
}

// Fails the n-th Allocate (counting from 0) or every Release; tracks blocks still held.
class FaultyAllocator final : public lzh::TLzhTableAllocator {
 public:
  FaultyAllocator(int failAllocAt, bool failRelease, bool throwBadAlloc = false)
      : failAllocAt_(failAllocAt), failRelease_(failRelease), throw_(throwBadAlloc) {
    previous_ = lzh::SetLzhTableAllocator(this);
  }
  ~FaultyAllocator() override { lzh::SetLzhTableAllocator(previous_); }

  void* Allocate(std::size_t bytes) override {
    if (allocations_++ == failAllocAt_) {
      if (throw_) throw std::bad_alloc();
      return nullptr;
    }
    ++held;
    return ::operator new(bytes);
  }
  bool Release(void* block) noexcept override {
    ::operator delete(block);
    --held;
    return !failRelease_;
  }

  int held = 0;

 private:
  lzh::TLzhTableAllocator* previous_;
  int failAllocAt_;
  bool failRelease_;
  bool throw_;
  int allocations_ = 0;
};

TEST(TCustom_lzh, TableFailuresBecomeFalse) {
  const struct {
    int failAllocAt;
    bool failRelease;
    bool throwBadAlloc;
    const char* message;
  } cases[] = {
      {0, false, false, "LZH : Cannot get memory for dictionary tables"},
      {3, false, true, "LZH : Cannot get memory for dictionary tables"},
      {6, false, false, "LZH : Cannot get memory for dictionary tables"},
      {-1, true, false, "LZH : Error freeing memory for dictionary tables"},
  };
  const Bytes lzhStream = Compress(FromText("hello hello hello"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    {
      FaultyAllocator alloc(c.failAllocAt, c.failRelease, c.throwBadAlloc);
      VectorSource source(lzhStream);
      VectorSink sink;
      try {
        lzh::DecodeStream(17, source.Proc(), sink.Proc());
        ADD_FAILURE() << "no exception";
      } catch (const lzh::ElzhException& e) {
        EXPECT_STREQ(e.what(), c.message);
        EXPECT_STREQ(e.ClassName(), "ElzhException");
      }
      EXPECT_EQ(alloc.held, 0);
      if (!c.failRelease) {
        EXPECT_EQ(source.calls, 0u);  // nothing read when the tables are missing
      }
    }
    {
      FaultyAllocator alloc(c.failAllocAt, c.failRelease, c.throwBadAlloc);
      EXPECT_FALSE(Decode(lzhStream).result);
      EXPECT_EQ(alloc.held, 0);
    }
    {
      FaultyAllocator alloc(c.failAllocAt, c.failRelease, c.throwBadAlloc);
      se::MemoryStream out;
      lzh::TCustom_lzh codec;
      const Bytes input = FromText("hello");
      codec.FInBuffer = input.data();
      codec.FInSize = 5;
      codec.FOutStream = &out;
      EXPECT_FALSE(codec.Compress());
      EXPECT_EQ(alloc.held, 0);
    }
  }
}

void Throw(int32_t, void*) {
  throw std::runtime_error("stop");
}

TEST(TCustom_lzh, CallbackErrorsPassThroughAndTablesAreReleased) {
  const Bytes input = FromText("some input");
  const Bytes lzh = Compress(input);
  FaultyAllocator alloc(-1, false);
  EXPECT_THROW(Decode(lzh, Throw), std::runtime_error);
  EXPECT_EQ(alloc.held, 0);
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = input.data();
  codec.FInSize = static_cast<int32_t>(input.size());
  codec.FOutStream = &out;
  codec.FOnProgress = Throw;
  EXPECT_THROW(codec.Compress(), std::runtime_error);
  EXPECT_EQ(alloc.held, 0);
}

}  // namespace
