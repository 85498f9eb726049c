// Files and folders through the native backend; the same expectations on both builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "platform/Platform.h"
#include "tests/platform/ScratchFolder.h"

namespace {

using plat::Disposition;
using testing_support::ScratchFolder;
namespace access = plat::access;
namespace attr = plat::attr;

#ifdef _WIN32
constexpr uint32_t kExists = 80;         // ERROR_FILE_EXISTS
constexpr uint32_t kFolderExists = 183;  // ERROR_ALREADY_EXISTS
#else
constexpr uint32_t kExists = 17;        // EEXIST
constexpr uint32_t kFolderExists = 17;  // EEXIST
#endif
constexpr uint32_t kNotFound = 2;  // ERROR_FILE_NOT_FOUND and ENOENT alike

using PlatformFiles = ScratchFolder;

plat::Platform& os() {
  return plat::Native();
}

int64_t SizeOf(plat::FileHandle file) {
  return os().Seek(file, 0, plat::SeekOrigin::kEnd);
}

TEST_F(PlatformFiles, WriteSeekReadAndShortReadAtEnd) {
  const auto path = Path("data.bin");
  const auto file = os().OpenFile(path, access::kRead | access::kWrite, plat::share::kNone,
                                  Disposition::kCreateNew, attr::kNormal);
  ASSERT_NE(file, plat::kInvalidFile);
  uint32_t done = 0;
  ASSERT_TRUE(os().Write(file, "hello world", 11, done));
  EXPECT_EQ(done, 11u);

  EXPECT_EQ(os().Seek(file, 0, plat::SeekOrigin::kEnd), 11);
  EXPECT_EQ(os().Seek(file, -5, plat::SeekOrigin::kCurrent), 6);
  char buffer[32] = {};
  ASSERT_TRUE(os().Read(file, buffer, sizeof buffer, done));
  EXPECT_EQ(std::string(buffer, done), "world");  // short read at the end is a success
  ASSERT_TRUE(os().Read(file, buffer, sizeof buffer, done));
  EXPECT_EQ(done, 0u);

  // Positions are 64-bit; a position before the start fails.
  EXPECT_EQ(os().Seek(file, int64_t{5} << 30, plat::SeekOrigin::kBegin), int64_t{5} << 30);
  EXPECT_EQ(os().Seek(file, -1, plat::SeekOrigin::kBegin), -1);
  EXPECT_NE(os().LastError(), 0u);
  EXPECT_TRUE(os().Close(file));
  EXPECT_EQ(ReadAll("data.bin"), "hello world");
}

struct DispositionCase {
  const char* name;
  Disposition disposition;
  bool exists;
  bool opens;
  uint32_t error;     // when it does not open
  int64_t sizeAfter;  // when it opens: 3 = content kept, 0 = created or truncated
};

// By name: GoogleTest would otherwise print the raw bytes, padding included.
void PrintTo(const DispositionCase& c, std::ostream* os) {
  *os << c.name;
}

class PlatformDispositions : public ScratchFolder,
                             public ::testing::WithParamInterface<DispositionCase> {};

TEST_P(PlatformDispositions, OpenOrFailAsWindowsDoes) {
  const auto& c = GetParam();
  if (c.exists) MakeFile("f", "abc");
  const auto file = os().OpenFile(Path("f"), access::kRead | access::kWrite, plat::share::kRead,
                                  c.disposition, attr::kNormal);
  if (!c.opens) {
    EXPECT_EQ(file, plat::kInvalidFile);
    EXPECT_EQ(os().LastError(), c.error);
    EXPECT_EQ(std::filesystem::exists(Path("f")), c.exists);
    return;
  }
  ASSERT_NE(file, plat::kInvalidFile);
  EXPECT_EQ(SizeOf(file), c.sizeAfter);
  EXPECT_TRUE(os().Close(file));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlatformDispositions,
    ::testing::Values(
        DispositionCase{"CreateNewOnExisting", Disposition::kCreateNew, true, false, kExists, 0},
        DispositionCase{"CreateNewOnMissing", Disposition::kCreateNew, false, true, 0, 0},
        DispositionCase{"CreateAlwaysTruncates", Disposition::kCreateAlways, true, true, 0, 0},
        DispositionCase{"CreateAlwaysCreates", Disposition::kCreateAlways, false, true, 0, 0},
        DispositionCase{"OpenExistingKeeps", Disposition::kOpenExisting, true, true, 0, 3},
        DispositionCase{"OpenExistingOnMissing", Disposition::kOpenExisting, false, false,
                        kNotFound, 0},
        DispositionCase{"OpenAlwaysKeeps", Disposition::kOpenAlways, true, true, 0, 3},
        DispositionCase{"OpenAlwaysCreates", Disposition::kOpenAlways, false, true, 0, 0},
        DispositionCase{"TruncateExistingEmpties", Disposition::kTruncateExisting, true, true, 0,
                        0},
        DispositionCase{"TruncateExistingOnMissing", Disposition::kTruncateExisting, false, false,
                        kNotFound, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlatformFiles, DeleteOnCloseRemovesTheFile) {
  const auto file =
      os().OpenFile(Path("tmp"), access::kRead | access::kWrite, plat::share::kNone,
                    Disposition::kCreateNew, attr::kTemporary | plat::flag::kDeleteOnClose);
  ASSERT_NE(file, plat::kInvalidFile);
  uint32_t done = 0;
  EXPECT_TRUE(os().Write(file, "x", 1, done));
  EXPECT_TRUE(os().Close(file));
  EXPECT_FALSE(std::filesystem::exists(Path("tmp")));
}

TEST_F(PlatformFiles, ReadOnlyAttributeRoundTrip) {
  MakeFile("ro", "abc");
  EXPECT_EQ(os().FileAttributes(Path("ro")) & (attr::kReadOnly | attr::kDirectory), 0u);
  // Hidden and system are accepted everywhere, even where they mean nothing.
  ASSERT_TRUE(os().SetAttributes(Path("ro"), attr::kReadOnly | attr::kHidden | attr::kSystem));
  EXPECT_NE(os().FileAttributes(Path("ro")) & attr::kReadOnly, 0u);

  const auto reader = os().OpenFile(Path("ro"), access::kRead, plat::share::kRead,
                                    Disposition::kOpenExisting, attr::kNormal);
  ASSERT_NE(reader, plat::kInvalidFile);
  EXPECT_TRUE(os().Close(reader));

  ASSERT_TRUE(os().SetAttributes(Path("ro"), attr::kNormal));
  EXPECT_EQ(os().FileAttributes(Path("ro")) & attr::kReadOnly, 0u);
  EXPECT_TRUE(os().RemoveFile(Path("ro")));
  EXPECT_EQ(os().FileAttributes(Path("ro")), attr::kInvalid);
  EXPECT_EQ(os().LastError(), kNotFound);
}

TEST_F(PlatformFiles, FoldersMadeEnumeratedAndRemoved) {
  ASSERT_TRUE(os().MakeFolder(Path("sub")));
  EXPECT_FALSE(os().MakeFolder(Path("sub")));
  EXPECT_EQ(os().LastError(), kFolderExists);
  MakeFile("a.txt");
  MakeFile("sub" + std::string(1, plat::kPathDelim) + "inner");
  EXPECT_NE(os().FileAttributes(Path("sub")) & attr::kDirectory, 0u);

  std::vector<plat::DirEntry> entries;
  ASSERT_TRUE(os().FindFiles(Dir(), entries));
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, ".");
  EXPECT_EQ(entries[1].name, "..");
  EXPECT_EQ(entries[2].name, "a.txt");
  EXPECT_EQ(entries[3].name, "sub");
  EXPECT_NE(entries[0].attributes & attr::kDirectory, 0u);
  EXPECT_EQ(entries[2].attributes & attr::kDirectory, 0u);
  EXPECT_NE(entries[3].attributes & attr::kDirectory, 0u);

  plat::DirEntry one{};
  ASSERT_TRUE(os().FindFile(Path("a.txt"), one));
  EXPECT_EQ(one.name, "a.txt");
  EXPECT_EQ(one.attributes & attr::kDirectory, 0u);
  EXPECT_FALSE(os().FindFile(Path("missing"), one));
  EXPECT_FALSE(os().FindFiles(Path("missing"), entries));

  EXPECT_FALSE(os().RemoveFolder(Path("sub")));  // not empty
  EXPECT_TRUE(os().RemoveFile(Path("sub" + std::string(1, plat::kPathDelim) + "inner")));
  EXPECT_TRUE(os().RemoveFolder(Path("sub")));
  EXPECT_FALSE(os().RemoveFile(Path("sub")));
}

// Paths are UTF-8: names outside any one code page are made, found, expanded and removed.
TEST_F(PlatformFiles, NamesBeyondTheAnsiCodePage) {
  const std::string file = "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB-\xE6\x97\xA5\xE6\x9C\xAC.txt";
  const std::string folder = "\xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD";
  ASSERT_TRUE(os().MakeFolder(Path(folder)));
  const auto handle = os().OpenFile(Path(folder) + plat::kPathDelim + file, access::kWrite,
                                    plat::share::kNone, Disposition::kCreateNew, attr::kNormal);
  ASSERT_NE(handle, plat::kInvalidFile);
  EXPECT_TRUE(os().Close(handle));
  std::vector<plat::DirEntry> entries;
  ASSERT_TRUE(os().FindFiles(Path(folder), entries));
  EXPECT_NE(std::find_if(entries.begin(), entries.end(), [&](auto& e) { return e.name == file; }),
            entries.end());
  ASSERT_TRUE(os().FindFiles(Dir(), entries));
  EXPECT_NE(std::find_if(entries.begin(), entries.end(), [&](auto& e) { return e.name == folder; }),
            entries.end());
  EXPECT_EQ(os().FullPathName(Path(folder)), Path(folder));
  EXPECT_NE(os().FileAttributes(Path(folder)) & attr::kDirectory, 0u);
  EXPECT_TRUE(os().RemoveFile(Path(folder) + plat::kPathDelim + file));
  EXPECT_TRUE(os().RemoveFolder(Path(folder)));
}

// Deleting a read-only file or a link to one changes nothing that outlives the delete: the
// file that another hard link or a symbolic link leads to stays read-only, whole and linked once.
TEST_F(PlatformFiles, ForceRemoveChangesNothingBeyondTheEntry) {
  MakeFile("target", "keep");
  MakeFile("own", "mine");
  ASSERT_TRUE(os().SetAttributes(Path("target"), attr::kReadOnly));
  ASSERT_TRUE(os().SetAttributes(Path("own"), attr::kReadOnly));
  std::filesystem::create_hard_link(Path("target"), Path("hard"));
  std::error_code noSymlinks;  // Windows may refuse them to a user without the privilege
  std::filesystem::create_symlink(Path("target"), Path("soft"), noSymlinks);

  EXPECT_TRUE(os().ForceRemoveFile(Path("own")));
  EXPECT_TRUE(os().ForceRemoveFile(Path("hard")));
  if (!noSymlinks) {
    EXPECT_TRUE(os().ForceRemoveFile(Path("soft")));
  }
  for (const char* gone : {"own", "hard", "soft"}) {
    EXPECT_EQ(os().FileAttributes(Path(gone)), attr::kInvalid) << gone;
  }
  EXPECT_NE(os().FileAttributes(Path("target")) & attr::kReadOnly, 0u);
  EXPECT_EQ(std::filesystem::hard_link_count(Path("target")), 1u);
  EXPECT_EQ(ReadAll("target"), "keep");
  EXPECT_FALSE(os().ForceRemoveFile(Path("missing")));
  EXPECT_EQ(os().LastError(), kNotFound);
}

TEST_F(PlatformFiles, DosTimesAreCheckedForValidity) {
  const auto file = os().OpenFile(Path("t"), access::kRead | access::kWrite, plat::share::kRead,
                                  Disposition::kCreateNew, attr::kNormal);
  ASSERT_NE(file, plat::kInvalidFile);
  constexpr auto date = [](int y, int m, int d) {
    return static_cast<uint16_t>(((y - 1980) << 9) | (m << 5) | d);
  };
  constexpr auto time = [](int h, int m, int s) {
    return static_cast<uint16_t>((h << 11) | (m << 5) | (s / 2));
  };
  EXPECT_TRUE(os().SetFileTimeFromDos(file, date(2001, 7, 15), time(13, 45, 30)));
  EXPECT_FALSE(os().SetFileTimeFromDos(file, date(2001, 0, 15), time(13, 45, 30)));
  EXPECT_FALSE(os().SetFileTimeFromDos(file, date(2001, 13, 15), time(13, 45, 30)));
  EXPECT_FALSE(os().SetFileTimeFromDos(file, date(2001, 7, 0), time(13, 45, 30)));
  EXPECT_FALSE(os().SetFileTimeFromDos(file, date(2001, 7, 15), time(24, 0, 0)));
  EXPECT_TRUE(os().Close(file));
}

TEST(PlatformPaths, FullPathNameResolvesDotsAgainstTheCurrentFolder) {
  const std::string d(1, plat::kPathDelim);
  const std::string cwd = std::filesystem::current_path().string();
  const std::string cwdWithDelim = cwd.back() == plat::kPathDelim ? cwd : cwd + d;
  EXPECT_EQ(os().FullPathName("x" + d + ".." + d + "y" + d + "." + d + "z"),
            cwdWithDelim + "y" + d + "z");
#ifdef _WIN32
  EXPECT_EQ(os().FullPathName("C:\\a\\b\\..\\c"), "C:\\a\\c");
#else
  EXPECT_EQ(os().FullPathName("/a/b/../c"), "/a/c");
  EXPECT_EQ(os().FullPathName("/../a//b/"), "/a/b/");
  EXPECT_EQ(os().FullPathName(""), "");
#endif
}

TEST(PlatformPaths, TempPathAndProgramPath) {
  std::string temp;
  ASSERT_TRUE(os().TempPath(temp));
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), plat::kPathDelim);
  EXPECT_NE(os().FileAttributes(temp) & attr::kDirectory, 0u);

  const std::string program = os().ProgramPath();
  EXPECT_NE(program.find("platform_test"), std::string::npos) << program;
  EXPECT_EQ(os().FileAttributes(program) & attr::kDirectory, 0u);
}

}  // namespace
