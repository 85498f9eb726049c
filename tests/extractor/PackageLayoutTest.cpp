// The package trailer and the work folder's number.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "extractor/Extractor_U1.h"
#include "extractor/PackageLayout.h"
#include "tests/extractor/PackageTestSupport.h"

namespace {

using extractor::AppendLittleEndian32;
using extractor::PackageTail;
using extractor::ReadTrailer;
using testing_support::PeImage;
using testing_support::SetSecurityDirectory;

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

// `file` signed: `padding` after it, then a certificate table of `tableSize` bytes that the
// security directory names (or `offset`/`size` overriding what it names).
std::string Signed(std::string file, const std::string& padding, size_t tableSize = 16,
                   std::optional<uint32_t> offset = std::nullopt,
                   std::optional<uint32_t> size = std::nullopt, uint16_t magic = 0x10B) {
  file += padding;
  const size_t table = file.size();
  file += std::string(tableSize, '\x5A');
  SetSecurityDirectory(file, offset.value_or(static_cast<uint32_t>(table)),
                       size.value_or(static_cast<uint32_t>(tableSize)), magic);
  return file;
}

int64_t End(const std::string& file) {
  return extractor::PackageEnd(static_cast<int64_t>(file.size()), [&](int64_t at) -> int32_t {
    if (at < 0 || at + 4 > static_cast<int64_t>(file.size())) return 0;
    return extractor::LittleEndian32(reinterpret_cast<const uint8_t*>(file.data() + at));
  });
}

// A signed package ends where its certificate table begins, less the padding signing added;
// a file that is not exactly that reads as it stands.
TEST(PackageEnd, FindsThePackageBeforeACertificateTable) {
  const std::string package = PeImage() + PackageTail({}, "Go?");
  const auto size = static_cast<int64_t>(package.size());
  const std::string zeros(8, '\0');
  struct Case {
    const char* what;
    std::string file;
    int64_t end;  // -1: the end of the file
  };
  std::string damagedPe = Signed(package, "");
  damagedPe[0x40] = 'X';
  std::string badLfanew = Signed(package, "");
  badLfanew.replace(0x3C, 4, std::string("\xF0\xFF\xFF\x7F", 4));
  std::string badMagic = Signed(package, "");
  badMagic[0x40 + 24] = 0x0C;
  std::string fewDirectories = Signed(package, "");
  fewDirectories[0x40 + 24 + 92] = 4;  // the count of data directories
  std::string shortOptional = Signed(package, "");
  shortOptional[0x40 + 20] = 96 + 4 * 8;
  const Case cases[] = {
      {"unsigned package", package, -1},
      {"no table, nothing after the package", PeImage() + "trailing", -1},
      {"table right after the package", Signed(package, ""), size},
      {"3 bytes of padding", Signed(package, zeros.substr(0, 3)), size},
      {"7 bytes of padding", Signed(package, zeros.substr(0, 7)), size},
      {"8 zero bytes are not padding", Signed(package, zeros), size + 1},
      {"nonzero padding", Signed(package, std::string("\x01\0\0", 3)), size + 1},
      {"64-bit image",
       Signed(PeImage(0x20B) + PackageTail({}, ""), "\0", 16, std::nullopt, std::nullopt, 0x20B),
       static_cast<int64_t>(PeImage(0x20B).size() + PackageTail({}, "").size())},
      {"table not at the end", Signed(package, "") + "more", -1},
      {"table past the end", Signed(package, "", 16, std::nullopt, 17), -1},
      {"table offset outside the file", Signed(package, "", 16, 0xFFFFFFF0u, 16), -1},
      {"table too small for an entry header", Signed(package, "", 4), -1},
      {"empty security directory", Signed(package, "", 16, 0, 0), -1},
      {"no PE signature", damagedPe, -1},
      {"PE header offset outside the file", badLfanew, -1},
      {"unknown optional header", badMagic, -1},
      {"too few data directories", fewDirectories, -1},
      {"optional header too short for the directory", shortOptional, -1},
      {"shorter than a DOS header", Signed(package, "").substr(0, 0x30), -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(End(c.file), c.end < 0 ? static_cast<int64_t>(c.file.size()) : c.end) << c.what;
  }
}

TEST(PackageEnd, TrailerOfASignedPackageIsReadBeforeItsTable) {
  const std::string package = PeImage() + PackageTail({}, "Go?");
  for (const std::string& padding : {std::string(), std::string(5, '\0')}) {
    auto t = Trailer(Signed(package, padding));
    ASSERT_TRUE(t) << padding.size();
    EXPECT_EQ(t->end, static_cast<int64_t>(package.size()));
    EXPECT_EQ(t->promptLength, 3);
    EXPECT_EQ(t->areaSize, 4);
  }
  EXPECT_FALSE(Trailer(Signed(package, std::string(8, '\0'))));
  EXPECT_FALSE(Trailer(Signed(package, "\x01")));
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
  // The draw spans 0 to 2^31 - 2 (at most ten digits): its top is where the state becomes
  // 2^32 - 1, one step after this one.
  uint32_t state = 1298181734u;
  EXPECT_EQ(extractor::TExtractor::DrawFolderNumber(state), 2147483646u);
  EXPECT_EQ(state, 0xFFFFFFFFu);
}

}  // namespace
