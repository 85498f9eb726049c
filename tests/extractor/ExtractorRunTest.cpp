// The native stub run end to end: real packages, answers on standard input, a "rux.exe" that
// records that it ran.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/extractor/PackageTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using extractor::PackageEntry;
using testing_support::CabFile;
using testing_support::CabinetEntry;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

// Records that it ran, where, with how many arguments, and what lay beside it.
const char* const kProbe =
    "#!/bin/sh\n"
    "echo \"ran $# $(pwd)\" >> \"$SE_TEST_MARK\"\n"
    "ls -A | sort | tr '\\n' ' ' >> \"$SE_TEST_MARK\"\n";

CabFile Probe() {
  return {"rux.exe", kProbe};
}

class ExtractorRun : public testing::Test {
 protected:
  struct Result {
    int exitCode;
    std::string messages;  // the dialogs, on standard error
    std::string mark;      // what rux.exe recorded; empty when it did not run
  };

  std::string Stub() { return ReadFileBytes(SE_EXTRACTOR_PATH); }

  // Writes stub + tail as an executable package.
  std::string Package(const std::string& tail, const std::string& name = "setup") {
    std::string path = dir / name;
    WriteFileBytes(path, Stub() + tail);
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }

  Result Run(const std::string& package, const std::string& answer) {
    WriteFileBytes(dir / "answer", answer);
    std::string command = "cd '" + dir.Path() + "' && TMPDIR='" + tmp + "' SE_TEST_MARK='" +
                          (dir / "mark") + "' '" + package + "' < answer 2> messages";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileBytes(dir / "messages"),
            ReadFileBytes(dir / "mark")};
  }

  // What the run left in the temporary folder.
  std::vector<std::string> Leftovers() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp)) names.push_back(e.path().filename());
    return names;
  }

  void SetUp() override { fs::create_directory(tmp); }

  TempDir dir;
  std::string tmp = dir / "tmp";
};

TEST_F(ExtractorRun, YesExtractsRunsAndCleansUp) {
  auto tail = extractor::PackageTail(
      {CabinetEntry({Probe(), {"a.txt", "alpha"}, {"sub\\deep\\b.txt", "beta"}})}, "");
  Result r = Run(Package(tail), "y\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.messages.find("Quillmark Extractor"), std::string::npos) << r.messages;
  EXPECT_NE(r.messages.find("Continue?"), std::string::npos) << r.messages;
  EXPECT_NE(r.mark.find("ran 0 " + tmp + "/se_"), std::string::npos) << r.mark;
  EXPECT_NE(r.mark.find("a.txt kem.cab rux.exe sub"), std::string::npos) << r.mark;
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ExtractorRun, AsksThePromptTextUpToItsFirstNul) {
  std::string tail = extractor::PackageTail({CabinetEntry({Probe()})}, "Install the demo now?");
  Result r = Run(Package(tail), "y\n");
  EXPECT_NE(r.messages.find("Install the demo now?"), std::string::npos) << r.messages;
  EXPECT_EQ(r.messages.find("Continue?"), std::string::npos);

  // A NUL cannot be written by the packer; patch one into the stored text.
  std::string withNul = tail;
  withNul[withNul.size() - 8 - 21 + 7] = '\0';
  r = Run(Package(withNul), "n\n");
  EXPECT_NE(r.messages.find("Install"), std::string::npos);
  EXPECT_EQ(r.messages.find("the demo"), std::string::npos) << r.messages;
}

TEST_F(ExtractorRun, NoOrEndOfInputLeavesNothing) {
  std::string package = Package(extractor::PackageTail({CabinetEntry({Probe()})}, ""));
  for (const char* answer : {"n\n", ""}) {
    Result r = Run(package, answer);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.mark.empty());
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(ExtractorRun, NotAPackage) {
  for (const std::string& tail : {std::string(), std::string("\x2E\x22\x6B", 3)}) {
    Result r = Run(Package(tail), "y\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.messages.find("SE error"), std::string::npos) << r.messages;
    EXPECT_NE(r.messages.find("Not a valid SE file"), std::string::npos) << r.messages;
    EXPECT_EQ(r.messages.find("Continue?"), std::string::npos);
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(ExtractorRun, EmptyPayloadStillMakesAndRemovesTheFolder) {
  Result r = Run(Package(extractor::PackageTail({}, "")), "y\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.mark.empty());
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ExtractorRun, EntriesGoToOneFolderWhateverTheirNames) {
  // The second entry replaces kem.cab; stored names never matter; bytes after the last entry
  // (counted in the area size) are skipped.
  std::string tail = extractor::PackageTail(
      {CabinetEntry({{"a.txt", "a"}}, "first.cab"), CabinetEntry({Probe(), {"b.txt", "b"}}, "")},
      "");
  const size_t trailerAt = tail.size() - 12;  // area size, prompt length 0, signature
  int32_t area =
      extractor::LittleEndian32(reinterpret_cast<const uint8_t*>(tail.data() + trailerAt));
  std::string padded = tail.substr(0, trailerAt) + "PADDING!";
  extractor::AppendLittleEndian32(padded, area + 8);
  padded += tail.substr(trailerAt + 4);
  Result r = Run(Package(padded), "y\n");
  EXPECT_EQ(r.exitCode, 0) << r.messages;
  EXPECT_NE(r.mark.find("a.txt b.txt kem.cab rux.exe"), std::string::npos) << r.mark;
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ExtractorRun, NoProgramToLaunchIsQuiet) {
  Result r = Run(Package(extractor::PackageTail({CabinetEntry({{"a.txt", "a"}})}, "")), "y\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.messages.find("error"), std::string::npos) << r.messages;
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ExtractorRun, ProtectedAndNestedFilesAreCleanedUp) {
  CabFile readOnly{"deep\\er\\ro.txt", "r", 0x5A21, 0x6000, 0x21};
  CabFile hidden{"deep\\hidden.txt", "h", 0x5A21, 0x6000, 0x26};
  Result r =
      Run(Package(extractor::PackageTail({CabinetEntry({Probe(), readOnly, hidden})}, "")), "y\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(r.mark.empty());
  EXPECT_TRUE(Leftovers().empty());
}

// Links that rux.exe leaves in the work folder are removed; what they lead to outside it keeps
// its content, mode and link count.
TEST_F(ExtractorRun, LinksLeftBehindChangeNothingOutside) {
  const std::string outside = dir / "outside";
  fs::create_directory(outside);
  WriteFileBytes(outside + "/ro.txt", "keep me");
  WriteFileBytes(outside + "/keep.txt", "and me");
  fs::permissions(outside + "/ro.txt", fs::perms::owner_read | fs::perms::group_read);
  fs::permissions(outside + "/keep.txt", fs::perms::owner_read | fs::perms::owner_write);
  const auto folderPerms = fs::status(outside).permissions();
  const char* const planter =
      "#!/bin/sh\n"
      "echo ran >> \"$SE_TEST_MARK\"\n"
      "o=\"$SE_TEST_OUTSIDE\"\n"
      "ln \"$o/ro.txt\" hard.txt && ln -s \"$o/ro.txt\" filelink && ln -s \"$o\" dirlink &&\n"
      "mkdir -p sub && ln \"$o/ro.txt\" sub/hard.txt && ln -s \"$o\" sub/dirlink &&\n"
      "echo own > own.txt && chmod 444 own.txt && echo planted >> \"$SE_TEST_MARK\"\n";
  setenv("SE_TEST_OUTSIDE", outside.c_str(), 1);
  Result r =
      Run(Package(extractor::PackageTail({CabinetEntry({{"rux.exe", planter}})}, "")), "y\n");
  unsetenv("SE_TEST_OUTSIDE");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.mark, "ran\nplanted\n");
  EXPECT_TRUE(Leftovers().empty());
  EXPECT_EQ(ReadFileBytes(outside + "/ro.txt"), "keep me");
  EXPECT_EQ(ReadFileBytes(outside + "/keep.txt"), "and me");
  EXPECT_EQ(fs::status(outside + "/ro.txt").permissions(),
            fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(fs::status(outside + "/keep.txt").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::hard_link_count(outside + "/ro.txt"), 1u);
  EXPECT_EQ(fs::status(outside).permissions(), folderPerms);
}

TEST_F(ExtractorRun, DataPastTheEndIsAnApplicationError) {
  std::string tail = extractor::PackageTail({CabinetEntry({Probe()})}, "");
  // Compressed size of the first entry, made larger than the file.
  std::string big;
  extractor::AppendLittleEndian32(big, 1 << 30);
  tail.replace(4, 4, big);
  Result r = Run(Package(tail), "y\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.messages.find("Application Error"), std::string::npos) << r.messages;
  EXPECT_NE(r.messages.find("Exception EReadError in module "), std::string::npos) << r.messages;
  EXPECT_NE(r.messages.find("Stream read error."), std::string::npos) << r.messages;
  EXPECT_TRUE(r.mark.empty());
  EXPECT_EQ(Leftovers().size(), 1u);  // the work folder stays for inspection
}

TEST_F(ExtractorRun, UndecodableEntryIsReportedAndCleanedUp) {
  // A 6-byte stream that claims a gigabyte: refused before anything is allocated for it.
  std::string stream("\x00\x00", 2);
  extractor::AppendLittleEndian32(stream, 1 << 30);
  Result r = Run(Package(extractor::PackageTail({{"kem.cab", stream}}, "")), "y\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.messages.find("Error extracting files"), std::string::npos) << r.messages;
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ExtractorRun, UnreadableCabinetIsAnApplicationError) {
  Result r = Run(
      Package(extractor::PackageTail({{"kem.cab", testing_support::Compress("not a cab")}}, "")),
      "y\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.messages.find("Exception EKXCabinet"), std::string::npos) << r.messages;
  EXPECT_NE(r.messages.find("Cabinet file does not have the correct format [0x0002]"),
            std::string::npos)
      << r.messages;
}

}  // namespace
