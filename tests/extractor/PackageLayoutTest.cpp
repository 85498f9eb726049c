// The package trailer and the work folder's number.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "extractor/Extractor_U1.h"
#include "extractor/PackageLayout.h"

namespace {

using extractor::AppendLittleEndian32;
using extractor::PackageTail;
using extractor::ReadTrailer;

// A fake image followed by a tail, read back through ReadTrailer.
std::optional<extractor::Trailer> Trailer(const std::string& file) {
  return ReadTrailer(static_cast<int64_t>(file.size()), [&](int64_t at) -> int32_t {
    if (at < 0 || at + 4 > static_cast<int64_t>(file.size())) return 0;
    return extractor::LittleEndian32(reinterpret_cast<const uint8_t*>(file.data() + at));
  });
}

// Area size, prompt, prompt length and signature as given (no entries).
std::string RawTrailer(int32_t area, const std::string& prompt, int32_t promptLength,
                       uint32_t signature = extractor::kPackageSignature) {
  std::string t;
  AppendLittleEndian32(t, area);
  t += prompt;
  AppendLittleEndian32(t, promptLength);
  AppendLittleEndian32(t, static_cast<int32_t>(signature));
  return t;
}

TEST(PackageTail, WritesTheLayoutFieldByField) {
  std::string tail = PackageTail({{"kem.cab", std::string("\x01\x02\x03\x04\x05", 5)}}, "Go?");
  std::string expected;
  AppendLittleEndian32(expected, 1);
  AppendLittleEndian32(expected, 5);
  AppendLittleEndian32(expected, 7);
  expected += "kem.cab";
  expected += std::string("\x01\x02\x03\x04\x05", 5);
  AppendLittleEndian32(expected, 4 + 8 + 7 + 5);
  expected += "Go?";
  AppendLittleEndian32(expected, 3);
  expected += "\x2E\x22\x6B\x3D";
  EXPECT_EQ(tail, expected);

  auto t = Trailer("IMAGE" + tail);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->promptLength, 3);
  EXPECT_EQ(t->areaSize, 24);
}

TEST(PackageTail, RefusesWhatTheFormatCannotHold) {
  EXPECT_THROW(PackageTail({}, std::string("a\0b", 3)), std::invalid_argument);
  EXPECT_THROW(PackageTail({{"x", "1234"}}, ""), std::invalid_argument);
  EXPECT_NO_THROW(PackageTail({}, ""));
}

TEST(ReadTrailer, RefusesFieldsOutsideTheFile) {
  const std::string image = "IMAGEBYTES";
  std::string count0;
  AppendLittleEndian32(count0, 0);
  struct Case {
    const char* what;
    std::string file;
    bool valid;
  };
  const Case cases[] = {
      {"empty package", image + count0 + RawTrailer(4, "", 0), true},
      {"negative prompt length reads as none", image + count0 + RawTrailer(4, "", -5), true},
      {"prompt text", image + count0 + RawTrailer(4, "Hi", 2), true},
      {"no signature", image + count0 + RawTrailer(4, "", 0, 0x12345678), false},
      {"shorter than a trailer", RawTrailer(4, "", 0).substr(4), false},
      {"prompt longer than the file", image + count0 + RawTrailer(4, "", 1000), false},
      {"prompt length at the 32-bit maximum", image + count0 + RawTrailer(4, "", INT32_MAX), false},
      {"area smaller than its count", image + count0 + RawTrailer(3, "", 0), false},
      {"negative area", image + count0 + RawTrailer(-4, "", 0), false},
      {"area beyond the start of the file", image + count0 + RawTrailer(100, "", 0), false},
      {"area up to the first byte", image + count0 + RawTrailer(14, "", 0), true},
  };
  for (const auto& c : cases) EXPECT_EQ(Trailer(c.file).has_value(), c.valid) << c.what;
}

TEST(WorkFolderNumber, FollowsTheGenerator) {
  struct Case {
    uint16_t h, m, s, ms;
    uint32_t seed, state, number;
  };
  const Case cases[] = {
      {12, 0, 0, 0, 43200000u, 1620567553u, 810283776u},
      {0, 0, 0, 0, 0u, 1u, 0u},
  };
  for (const auto& c : cases) {
    uint32_t state = extractor::TExtractor::SeedFromTime(c.h, c.m, c.s, c.ms);
    EXPECT_EQ(state, c.seed);
    EXPECT_EQ(extractor::TExtractor::DrawFolderNumber(state), c.number);
    EXPECT_EQ(state, c.state);
  }
  // The largest seed still gives a number of at most ten digits.
  uint32_t state = extractor::TExtractor::SeedFromTime(23, 59, 59, 999);
  EXPECT_LE(extractor::TExtractor::DrawFolderNumber(state), 2147483646u);
}

}  // namespace
