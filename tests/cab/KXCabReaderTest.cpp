// The cabinet reader against the system's cabinet library (the stand-in on Linux).
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "cab/KXCabReader.h"
#include "platform/Platform.h"
#include "tests/support/CabBuilder.h"
#include "tests/support/TempDir.h"

namespace {

using cab::TKXCabReader;
using testing_support::CabFile;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

class Reader : public testing::Test {
 protected:
  // Writes a cabinet of `files` into the scratch folder and returns its path.
  std::string Cabinet(const std::vector<CabFile>& files, const std::string& name = "test.cab") {
    std::string path = dir / name;
    WriteFileBytes(path, testing_support::MakeStoredCabinet(files));
    return path;
  }
  std::string Out() {
    std::string out = dir / "out";
    plat::Current().MakeFolder(out);
    return out;
  }
  TempDir dir;
  TKXCabReader reader;
};

TEST_F(Reader, ExtractsFilesIntoSubfoldersCreatedOnTheWay) {
  // Cabinets made on other systems may separate folders with '/'.
  std::string cab = Cabinet({{"a.txt", "alpha"},
                             {"sub\\deep\\b.txt", "beta"},
                             {"other/deep/c.txt", "gamma"},
                             {"empty", ""}});
  std::string out = Out();
  reader.Extract(cab, out, 0);
  EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "alpha");
  EXPECT_EQ(ReadFileBytes(dir / "out/sub/deep/b.txt"), "beta");
  EXPECT_EQ(ReadFileBytes(dir / "out/other/deep/c.txt"), "gamma");
  EXPECT_TRUE(PathExists(dir / "out/empty"));
  EXPECT_TRUE(reader.SourceNames().empty());
  EXPECT_EQ(reader.DestDir(), out + plat::kPathDelim);
}

TEST_F(Reader, DestinationWithTrailingSeparatorAndRelativeCabinetPath) {
  std::string cab = Cabinet({{"a.txt", "alpha"}});
  std::string out = Out();
  reader.Extract(cab, out + plat::kPathDelim, 0);
  EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "alpha");
  EXPECT_EQ(reader.CabinetFile(), cab);
}

TEST_F(Reader, ReadOnlyTargetIsOverwrittenUnlessAskedNotTo) {
  std::string cab = Cabinet({{"ro.txt", "new"}});
  std::string out = Out();
  std::string target = dir / "out/ro.txt";
  WriteFileBytes(target, "old");
  ASSERT_TRUE(plat::Current().SetAttributes(target, plat::attr::kReadOnly));

  reader.Options = cab::croDontOverwriteReadOnlyFiles;
  reader.Extract(cab, out, 0);
  EXPECT_EQ(ReadFileBytes(target), "old");
  EXPECT_TRUE(plat::Current().FileAttributes(target) & plat::attr::kReadOnly);

  reader.Options = 0;
  reader.Extract(cab, out, 0);
  EXPECT_EQ(ReadFileBytes(target), "new");
  // The cabinet's own attributes (archive only) replace the old ones.
  EXPECT_FALSE(plat::Current().FileAttributes(target) & plat::attr::kReadOnly);
}

TEST_F(Reader, CopyFileHandlerSkipsAndRedirects) {
  std::string cab = Cabinet({{"skip.txt", "s"}, {"move.txt", "m"}, {"keep.txt", "k"}});
  std::string out = Out();
  std::string moved = dir / "moved.txt";
  std::vector<std::string> closed;
  reader.OnCopyFile = [&](TKXCabReader&, const std::string& name, int32_t size, uint16_t, uint16_t,
                          uint16_t, uint16_t, std::string& dst, bool&) {
    EXPECT_EQ(size, 1);
    if (name == "skip.txt") dst.clear();
    if (name == "move.txt") dst = moved;
  };
  reader.OnCloseFile = [&](TKXCabReader&, const std::string& name, uint16_t, uint16_t, uint16_t,
                           uint16_t, bool&, const std::string& dst,
                           bool&) { closed.push_back(name + "=" + dst); };
  reader.Extract(cab, out, 0);
  EXPECT_FALSE(PathExists(dir / "out/skip.txt"));
  EXPECT_FALSE(PathExists(dir / "out/move.txt"));
  EXPECT_EQ(ReadFileBytes(moved), "m");
  EXPECT_EQ(ReadFileBytes(dir / "out/keep.txt"), "k");
  EXPECT_EQ(closed,
            (std::vector<std::string>{"move.txt=" + moved, "keep.txt=" + (dir / "out/keep.txt")}));
}

TEST_F(Reader, RunAfterExtractFlagReachesTheCloseHandler) {
  CabFile marked{"run.bat", "echo", 0x5A21, 0x6000, 0x60};
  std::string cab = Cabinet({marked, {"plain.txt", "p"}});
  std::vector<std::pair<std::string, bool>> seen;
  reader.OnCloseFile = [&](TKXCabReader&, const std::string& name, uint16_t, uint16_t, uint16_t,
                           uint16_t, bool& exec, const std::string&, bool&) {
    seen.emplace_back(name, exec);
    exec = false;  // never open anything through the shell in a test
  };
  reader.Options = cab::croExecuteOnExtract;
  reader.Extract(cab, Out(), 0);
  EXPECT_EQ(seen,
            (std::vector<std::pair<std::string, bool>>{{"run.bat", true}, {"plain.txt", false}}));
}

TEST_F(Reader, AbortFromAHandlerFailsWithTheLibraryError) {
  std::string cab = Cabinet({{"a.txt", "alpha"}});
  reader.OnCabinetInfo = [](TKXCabReader&, const std::string&, const std::string&,
                            const std::string&, uint16_t, uint16_t, bool& abort) { abort = true; };
  try {
    reader.Extract(cab, Out(), 0);
    FAIL() << "no error";
  } catch (const cab::EKXCabinet& e) {
    EXPECT_EQ(e.ErrorCode, cab::FDIERROR_USER_ABORT);
    // Wine's library may leave an OS error from its own clean-up on a second line.
    EXPECT_EQ(e.Message().rfind("FDI aborted [0x000B]", 0), 0u) << e.Message();
  }
}

TEST_F(Reader, ErrorInAHandlerReachesTheCallerUnchanged) {
  std::string cab = Cabinet({{"a.txt", "alpha"}, {"b.txt", "beta"}});
  reader.OnCopyFile = [](TKXCabReader&, const std::string& name, int32_t, uint16_t, uint16_t,
                         uint16_t, uint16_t, std::string&, bool&) {
    if (name == "b.txt") throw std::runtime_error("handler failed on " + name);
  };
  try {
    reader.Extract(cab, Out(), 0);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "handler failed on b.txt");
  }
  EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "alpha");
  // The reader stays usable afterwards.
  reader.OnCopyFile = nullptr;
  reader.Extract(cab, dir / "out", 0);
  EXPECT_EQ(ReadFileBytes(dir / "out/b.txt"), "beta");
}

TEST_F(Reader, StoredNamesThatLeaveTheDestinationAreRefused) {
  for (const char* name : {"..\\evil.txt", "sub\\..\\..\\evil.txt", "\\evil.txt", "C:\\evil.txt",
                           "evil.txt:stream", "ctl\x01.txt"}) {
    SCOPED_TRACE(name);
    TempDir scratch;
    std::string cab = scratch / "bad.cab";
    WriteFileBytes(cab, testing_support::MakeStoredCabinet({{"fine.txt", "ok"}, {name, "evil"}}));
    std::string out = scratch / "a/b/out";
    plat::Current().MakeFolder(scratch / "a");
    plat::Current().MakeFolder(scratch / "a/b");
    plat::Current().MakeFolder(out);
    TKXCabReader r;
    try {
      r.Extract(cab, out, 0);
      ADD_FAILURE() << "not refused";
    } catch (const cab::EKXCabinet& e) {
      EXPECT_NE(e.Message().find(name), std::string::npos) << e.Message();
    }
    EXPECT_EQ(ReadFileBytes(scratch / "a/b/out/fine.txt"), "ok");
    EXPECT_FALSE(PathExists(scratch / "a/b/evil.txt"));
    EXPECT_FALSE(PathExists(scratch / "a/evil.txt"));
    EXPECT_FALSE(PathExists(scratch / "evil.txt"));
  }
}

TEST_F(Reader, LaterCabinetOfASetCannotClimbOutEither) {
  WriteFileBytes(dir / "one.cab",
                 testing_support::MakeStoredCabinet({{"fine.txt", "ok"}}, {"", "two.cab", 0}));
  WriteFileBytes(dir / "two.cab", testing_support::MakeStoredCabinet({{"..\\evil.txt", "evil"}},
                                                                     {"one.cab", "", 1}));
  std::vector<int> cabinets;
  reader.OnCabinetInfo = [&](TKXCabReader&, const std::string&, const std::string&,
                             const std::string&, uint16_t, uint16_t number,
                             bool&) { cabinets.push_back(number); };
  EXPECT_THROW(reader.Extract(dir / "one.cab", Out(), 0), cab::EKXCabinet);
  EXPECT_EQ(cabinets, (std::vector<int>{0, 1}));  // the set was followed
  EXPECT_EQ(ReadFileBytes(dir / "out/fine.txt"), "ok");
  EXPECT_FALSE(PathExists(dir / "evil.txt"));
}

TEST_F(Reader, TargetThatCannotBeCreatedNamesTheSystemError) {
  std::string cab = Cabinet({{"a.txt", "alpha"}});
  std::string out = Out();
  plat::Current().MakeFolder(dir / "out/a.txt");  // a folder where the file should go
  try {
    reader.Extract(cab, out, 0);
    FAIL() << "no error";
  } catch (const cab::EKXCabinet& e) {
    EXPECT_NE(e.ErrorType, 0);
    EXPECT_NE(e.Message().find("\r\n"), std::string::npos) << e.Message();
  }
}

TEST_F(Reader, UnreadableCabinetsFail) {
  std::string good = testing_support::MakeStoredCabinet({{"a.txt", std::string(5000, 'x')}});
  struct Case {
    const char* what;
    std::string bytes;
    int32_t code;
  };
  const Case cases[] = {
      {"not a cabinet", "this is plain text, not a cabinet at all", cab::FDIERROR_NOT_A_CABINET},
      {"truncated", good.substr(0, good.size() - 100), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir / "broken.cab";
    WriteFileBytes(path, c.bytes);
    TKXCabReader r;
    try {
      r.Extract(path, Out(), 0);
      ADD_FAILURE() << "no error";
    } catch (const cab::EKXCabinet& e) {
      EXPECT_TRUE(e.ErrorPresent);
      if (c.code >= 0) {
        EXPECT_EQ(e.ErrorCode, c.code) << e.Message();
      }
    }
    EXPECT_FALSE(PathExists(dir / "out/a.txt"));  // nothing part-written stays
  }
}

TEST_F(Reader, MissingCabinetIsNotFound) {
  try {
    reader.Extract(dir / "absent.cab", Out(), 0);
    FAIL() << "no error";
  } catch (const cab::EKXCabinet& e) {
    EXPECT_EQ(e.ErrorCode, cab::FDIERROR_CABINET_NOT_FOUND) << e.Message();
  }
}

TEST_F(Reader, ReservedAreasOfCabinetFolderAndBlockAreSkipped) {
  std::string cab = dir / "reserved.cab";
  WriteFileBytes(cab, testing_support::MakeStoredCabinet(
                          {{"a.txt", "alpha"}, {"b.bin", std::string(40000, 'b')}}, {},
                          {6144, 5, 7}));  // 6 KB behind the header, as signing tools leave
  reader.Extract(cab, Out(), 0);
  EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "alpha");
  EXPECT_EQ(ReadFileBytes(dir / "out/b.bin"), std::string(40000, 'b'));
}

// Names are UTF-8 when the cabinet flags them (0x80); the file gets that name on every system.
TEST_F(Reader, StoredNameOutsideAscii) {
  const std::string name = "caf\xC3\xA9 \xD0\xB6.txt";  // "café ж.txt"
  std::string cab = Cabinet({{name, "utf8", 0x5A21, 0x6000, 0xA0}});
  std::string out = Out();
  std::string closedAt;
  reader.OnCloseFile = [&](TKXCabReader&, const std::string& stored, uint16_t, uint16_t, uint16_t,
                           uint16_t, bool&, const std::string& dst, bool&) {
    EXPECT_EQ(stored, name);
    closedAt = dst;
  };
  reader.Extract(cab, out, 0);
  EXPECT_EQ(closedAt, out + plat::kPathDelim + name);
  std::vector<plat::DirEntry> entries;
  ASSERT_TRUE(plat::Current().FindFiles(out, entries));
  std::vector<std::string> names;
  for (const auto& e : entries) {
    if (e.name != "." && e.name != "..") names.push_back(e.name);
  }
  EXPECT_EQ(names, std::vector<std::string>{name});
}

// A folder on the way that is a link (left by an earlier file or anyone else) is not written
// through, whichever separator the stored name uses. (The Windows builds' std::filesystem
// makes no links.)
#ifndef _WIN32
TEST_F(Reader, LinkOnTheWayIsRefused) {
  std::string out = Out();
  plat::Current().MakeFolder(dir / "elsewhere");
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "out/link");
  for (const char* stored : {"link\\a.txt", "link/b.txt"}) {
    SCOPED_TRACE(stored);
    std::string cab = Cabinet({{stored, "through"}});
    try {
      reader.Extract(cab, out, 0);
      ADD_FAILURE() << "not refused";
    } catch (const cab::EKXCabinet& e) {
      EXPECT_NE(e.Message().find("link"), std::string::npos) << e.Message();
    }
  }
  std::vector<plat::DirEntry> entries;
  ASSERT_TRUE(plat::Current().FindFiles(dir / "elsewhere", entries));
  EXPECT_EQ(entries.size(), 2u);  // "." and ".." only
}
#endif

}  // namespace
