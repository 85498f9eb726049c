// The library's file callbacks over the real platform, and the open-flag translation.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "cab/CabCallbacks.h"
#include "tests/support/CabBuilder.h"
#include "tests/support/FaultPlatform.h"
#include "tests/support/TempDir.h"

namespace {

using cab::OpenParams;
using plat::Disposition;
namespace a = plat::access;
namespace f = plat::flag;
using testing_support::TempDir;

TEST(TranslateOpenFlags, MapsEveryRow) {
  constexpr uint32_t kNormal = plat::attr::kNormal;
  struct Case {
    int32_t flags;
    OpenParams expected;
  };
  const Case cases[] = {
      // The reader's target open: write, shared for reading, created or truncated.
      {0x8321,
       {a::kWrite, plat::share::kRead, Disposition::kCreateAlways, kNormal | f::kSequentialScan}},
      {0x0000, {a::kRead, plat::share::kRead, Disposition::kOpenExisting, kNormal}},
      {0x0002, {a::kRead | a::kWrite, plat::share::kRead, Disposition::kOpenExisting, kNormal}},
      {0x0003, {a::kRead | a::kWrite, plat::share::kRead, Disposition::kOpenExisting, kNormal}},
      {0x0500, {a::kRead, plat::share::kRead, Disposition::kCreateNew, kNormal}},
      {0x0700, {a::kRead, plat::share::kRead, Disposition::kCreateNew, kNormal}},
      {0x0400, {a::kRead, plat::share::kRead, Disposition::kOpenExisting, kNormal}},
      {0x0200, {a::kRead, plat::share::kRead, Disposition::kTruncateExisting, kNormal}},
      {0x0100, {a::kRead, plat::share::kRead, Disposition::kOpenAlways, kNormal}},
      {0x1100, {a::kRead, plat::share::kRead, Disposition::kOpenAlways, plat::attr::kTemporary}},
      {0x1000, {a::kRead, plat::share::kRead, Disposition::kOpenExisting, kNormal}},
      {0x0010,
       {a::kRead, plat::share::kRead, Disposition::kOpenExisting, kNormal | f::kRandomAccess}},
      {0x0140,
       {a::kRead, plat::share::kRead, Disposition::kOpenAlways, kNormal | f::kDeleteOnClose}},
      {0x0040, {a::kRead, plat::share::kRead, Disposition::kOpenExisting, kNormal}},
      {0x8008, {a::kRead, plat::share::kRead, Disposition::kOpenExisting, kNormal}},
  };
  for (const auto& c : cases) {
    OpenParams p = cab::TranslateOpenFlags(c.flags);
    SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
    EXPECT_EQ(p.access, c.expected.access);
    EXPECT_EQ(p.shareMode, c.expected.shareMode);
    EXPECT_EQ(p.disposition, c.expected.disposition);
    EXPECT_EQ(p.flagsAndAttributes, c.expected.flagsAndAttributes);
  }
}

class CabCallbacks : public testing::Test {
 protected:
  intptr_t Open(const std::string& path, int32_t flags) {
    return cab::CabOpen(const_cast<char*>(path.c_str()), flags, 0x180);
  }
  TempDir dir;
};

TEST_F(CabCallbacks, MissingFileRecordsTheSystemCode) {
  cab::LastOSError = 0;
  EXPECT_EQ(Open(dir / "missing.bin", 0), -1);
  EXPECT_EQ(cab::LastOSError, 2u);  // file not found, the same number on both systems
}

TEST_F(CabCallbacks, ReadWriteSeekAndTruncate) {
  std::string path = dir / "data.bin";
  intptr_t h = Open(path, 0x8321);
  ASSERT_NE(h, -1);
  char text[] = "hello world";
  EXPECT_EQ(cab::CabWrite(h, text, 11), 11u);
  EXPECT_EQ(cab::CabClose(h), 0);

  h = Open(path, 0);
  ASSERT_NE(h, -1);
  char buffer[32] = {};
  EXPECT_EQ(cab::CabSeek(h, 6, 0), 6);
  EXPECT_EQ(cab::CabRead(h, buffer, sizeof buffer), 5u);  // short read at the end is success
  EXPECT_STREQ(buffer, "world");
  EXPECT_EQ(cab::CabSeek(h, -100, 1), -1);  // a failed seek leaves the file usable
  EXPECT_EQ(cab::CabSeek(h, 0, 0), 0);
  EXPECT_EQ(cab::CabRead(h, buffer, 5), 5u);
  EXPECT_EQ(cab::CabClose(h), 0);

  h = Open(path, 0x0009);  // write + append: positioned at the end
  ASSERT_NE(h, -1);
  char more[] = "!";
  EXPECT_EQ(cab::CabWrite(h, more, 1), 1u);
  cab::CabClose(h);
  EXPECT_EQ(testing_support::ReadFileBytes(path), "hello world!");

  h = Open(path, 0x0201);  // truncate without create empties an existing file...
  ASSERT_NE(h, -1);
  cab::CabClose(h);
  EXPECT_EQ(testing_support::ReadFileBytes(path), "");
  EXPECT_EQ(Open(dir / "absent.bin", 0x0201), -1);  // ...and creates nothing
  EXPECT_FALSE(testing_support::PathExists(dir / "absent.bin"));
}

// Blocks of any size the library asks for are whole and separate, an empty request included.
TEST_F(CabCallbacks, AllocAndFree) {
  const uint32_t sizes[] = {0, 1, 100, 1u << 20};
  std::vector<unsigned char*> blocks;
  for (uint32_t size : sizes) {
    auto* block = static_cast<unsigned char*>(cab::CabAlloc(size));
    ASSERT_NE(block, nullptr) << size;
    std::memset(block, static_cast<int>(blocks.size() + 1), size);
    blocks.push_back(block);
  }
  for (size_t i = 0; i < blocks.size(); ++i) {
    for (uint32_t at : {0u, sizes[i] / 2, sizes[i] - 1}) {
      if (sizes[i] == 0) break;
      EXPECT_EQ(blocks[i][at], i + 1) << "block " << i << " byte " << at;
    }
    cab::CabFree(blocks[i]);
  }
}

// Positioning an append open at the end fails: the file is closed again and the error kept.
TEST_F(CabCallbacks, FailedAppendPositioningClosesTheFile) {
  std::string path = dir / "data.bin";
  testing_support::WriteFileBytes(path, "data");
  testing_support::FaultPlatform fault;
  fault.FailNth(testing_support::Op::kSeek, 1, testing_support::kAccessDeniedCode);
  cab::LastOSError = 0;
  {
    plat::ScopedPlatform use(fault);
    EXPECT_EQ(Open(path, 0x0009), -1);
  }
  EXPECT_EQ(cab::LastOSError, testing_support::kAccessDeniedCode);
  EXPECT_EQ(fault.Count(testing_support::Op::kOpenFile), 1);
  EXPECT_EQ(fault.Count(testing_support::Op::kClose), 1);
  EXPECT_EQ(testing_support::ReadFileBytes(path), "data");
}

TEST_F(CabCallbacks, TargetInfoRestoresDateTimeAndFourAttributes) {
  std::string path = dir / "t.txt";
  testing_support::WriteFileBytes(path, "x");
  // 2021-06-15 13:45:30 local time.
  const uint16_t date = ((2021 - 1980) << 9) | (6 << 5) | 15;
  const uint16_t time = (13 << 11) | (45 << 5) | (30 / 2);
  ASSERT_TRUE(cab::SetTargetFileInfo(path, date, time, 0x61));

  std::tm local{};
  local.tm_year = 121;
  local.tm_mon = 5;
  local.tm_mday = 15;
  local.tm_hour = 13;
  local.tm_min = 45;
  local.tm_sec = 30;
  local.tm_isdst = -1;
  std::time_t expected = std::mktime(&local);
  auto written = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(path));
  EXPECT_EQ(std::chrono::system_clock::to_time_t(
                std::chrono::time_point_cast<std::chrono::system_clock::duration>(written)),
            expected);

  uint32_t attributes = plat::Current().FileAttributes(path);
#ifdef _WIN32
  EXPECT_EQ(attributes & 0x67u, 0x21u);  // run-after-extract (0x40) dropped
#else
  EXPECT_TRUE(attributes & plat::attr::kReadOnly);
  // The run-after-extract bit becomes execute permission; a file without it gains none.
  namespace fs = std::filesystem;
  EXPECT_NE(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::none);
  const std::string plain = dir / "plain.txt";
  testing_support::WriteFileBytes(plain, "y");
  ASSERT_TRUE(cab::SetTargetFileInfo(plain, date, time, 0x20));
  EXPECT_EQ(fs::status(plain).permissions() &
                (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec),
            fs::perms::none);
#endif
  plat::Current().SetAttributes(path, plat::attr::kNormal);
  EXPECT_FALSE(cab::SetTargetFileInfo(dir / "missing.txt", date, time, 0));
}

}  // namespace
