// What only the POSIX backend has to get right: links, permission bits, local DOS times, the
// environment, spawning, and the terminal dialog.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <thread>

#include "platform/Platform.h"
#include "platform/posix/TerminalDialog.h"
#include "tests/platform/ScratchFolder.h"

namespace {

namespace access = plat::access;
namespace attr = plat::attr;
using plat::Disposition;

plat::Platform& os() {
  return plat::Native();
}

using PosixPlatform = testing_support::ScratchFolder;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(PosixPlatform, LinksAreReparsePointsNeverFolders) {
  ASSERT_TRUE(os().MakeFolder(Path("real")));
  MakeFile("file", "keep");
  ASSERT_EQ(symlink(Path("real").c_str(), Path("dirlink").c_str()), 0);
  ASSERT_EQ(symlink(Path("file").c_str(), Path("filelink").c_str()), 0);

  EXPECT_EQ(os().FileAttributes(Path("dirlink")), attr::kReparsePoint);
  plat::DirEntry entry{};
  ASSERT_TRUE(os().FindFile(Path("dirlink"), entry));
  EXPECT_EQ(entry.attributes, attr::kReparsePoint);
  std::vector<plat::DirEntry> entries;
  ASSERT_TRUE(os().FindFiles(Dir(), entries));
  for (const auto& e : entries) {
    if (e.name == "dirlink" || e.name == "filelink") {
      EXPECT_EQ(e.attributes, attr::kReparsePoint) << e.name;
    }
  }
  // Attributes on a link leave the target alone; deleting it deletes the link only.
  const mode_t before = ModeOf(Path("file"));
  EXPECT_TRUE(os().SetAttributes(Path("filelink"), attr::kReadOnly));
  EXPECT_EQ(ModeOf(Path("file")), before);
  EXPECT_TRUE(os().RemoveFile(Path("dirlink")));
  EXPECT_NE(os().FileAttributes(Path("real")) & attr::kDirectory, 0u);
}

TEST_F(PosixPlatform, WritingThroughALinkIsRefused) {
  MakeFile("target", "keep");
  ASSERT_EQ(symlink(Path("target").c_str(), Path("link").c_str()), 0);
  for (const auto disposition :
       {Disposition::kCreateAlways, Disposition::kOpenExisting, Disposition::kOpenAlways,
        Disposition::kTruncateExisting, Disposition::kCreateNew}) {
    EXPECT_EQ(
        os().OpenFile(Path("link"), access::kWrite, plat::share::kRead, disposition, attr::kNormal),
        plat::kInvalidFile)
        << static_cast<int>(disposition);
  }
  EXPECT_EQ(ReadAll("target"), "keep");
  // Nor is a file created through a dangling link, whatever the access.
  ASSERT_EQ(symlink(Path("elsewhere").c_str(), Path("dangling").c_str()), 0);
  EXPECT_EQ(os().OpenFile(Path("dangling"), access::kRead, plat::share::kRead,
                          Disposition::kOpenAlways, attr::kNormal),
            plat::kInvalidFile);
  EXPECT_FALSE(std::filesystem::exists(Path("elsewhere")));
  // Reading an existing file may follow a link, as on Windows.
  const auto reader = os().OpenFile(Path("link"), access::kRead, plat::share::kRead,
                                    Disposition::kOpenExisting, attr::kNormal);
  ASSERT_NE(reader, plat::kInvalidFile);
  EXPECT_TRUE(os().Close(reader));
}

TEST_F(PosixPlatform, ReadOnlyIsTheWritePermission) {
  MakeFile("f");
  ASSERT_EQ(chmod(Path("f").c_str(), 0664), 0);
  ASSERT_TRUE(os().SetAttributes(Path("f"), attr::kReadOnly | attr::kArchive));
  EXPECT_EQ(ModeOf(Path("f")), 0444u);
  EXPECT_EQ(os().FileAttributes(Path("f")), attr::kReadOnly);

  const mode_t mask = umask(022);
  ASSERT_TRUE(os().SetAttributes(Path("f"), attr::kNormal));
  EXPECT_EQ(ModeOf(Path("f")), 0644u);  // write back as the umask allows
  EXPECT_EQ(os().FileAttributes(Path("f")), attr::kNormal);
  umask(0277);  // even a umask that forbids everything leaves the owner able to write
  ASSERT_TRUE(os().SetAttributes(Path("f"), attr::kReadOnly));
  ASSERT_TRUE(os().SetAttributes(Path("f"), attr::kNormal));
  EXPECT_EQ(ModeOf(Path("f")), 0644u);
  umask(mask);

  // As on Windows, a read-only file is neither written nor deleted, even by root.
  ASSERT_TRUE(os().SetAttributes(Path("f"), attr::kReadOnly));
  for (const auto disposition :
       {Disposition::kCreateAlways, Disposition::kOpenExisting, Disposition::kTruncateExisting}) {
    EXPECT_EQ(
        os().OpenFile(Path("f"), access::kWrite, plat::share::kRead, disposition, attr::kNormal),
        plat::kInvalidFile);
    EXPECT_EQ(os().LastError(), static_cast<uint32_t>(EACCES));
  }
  EXPECT_FALSE(os().RemoveFile(Path("f")));
  EXPECT_EQ(os().LastError(), static_cast<uint32_t>(EACCES));
  EXPECT_EQ(ReadAll("f"), "abc");

  // A folder keeps its write permission: its contents must stay deletable.
  ASSERT_TRUE(os().MakeFolder(Path("d")));
  const mode_t folderMode = ModeOf(Path("d"));
  EXPECT_TRUE(os().SetAttributes(Path("d"), attr::kReadOnly | attr::kDirectory));
  EXPECT_EQ(ModeOf(Path("d")), folderMode);
}

TEST_F(PosixPlatform, ExecutePermissionIsAddedAsTheUmaskAllowsAndDroppedOnOverwrite) {
  struct Case {
    mode_t before, mask, after;
  };
  const mode_t saved = umask(022);
  for (const Case c : {Case{0644, 022, 0755}, Case{0600, 077, 0700}, Case{0444, 022, 0555},
                       Case{0640, 0177, 0740}, Case{0755, 022, 0755}}) {
    MakeFile("x");
    ASSERT_EQ(chmod(Path("x").c_str(), c.before), 0);
    umask(c.mask);
    EXPECT_TRUE(os().MarkExecutable(Path("x")));
    EXPECT_EQ(ModeOf(Path("x")), c.after) << std::oct << c.before << " umask " << c.mask;
    ASSERT_EQ(chmod(Path("x").c_str(), 0644), 0);
    ASSERT_EQ(unlink(Path("x").c_str()), 0);
  }
  umask(saved);

  // A link's target and a folder keep their modes; a missing file is an error.
  MakeFile("target");
  ASSERT_EQ(chmod(Path("target").c_str(), 0644), 0);
  ASSERT_EQ(symlink(Path("target").c_str(), Path("link").c_str()), 0);
  EXPECT_TRUE(os().MarkExecutable(Path("link")));
  EXPECT_EQ(ModeOf(Path("target")), 0644u);
  ASSERT_TRUE(os().MakeFolder(Path("d")));
  ASSERT_EQ(chmod(Path("d").c_str(), 0700), 0);
  EXPECT_TRUE(os().MarkExecutable(Path("d")));
  EXPECT_EQ(ModeOf(Path("d")), 0700u);
  EXPECT_FALSE(os().MarkExecutable(Path("missing")));
  EXPECT_EQ(os().LastError(), static_cast<uint32_t>(ENOENT));

  // Overwriting a file (CREATE_ALWAYS) takes its execute permission away, as it resets the
  // attributes on Windows; opening it otherwise keeps it.
  MakeFile("run");
  ASSERT_EQ(chmod(Path("run").c_str(), 0750), 0);
  for (const auto disposition :
       {Disposition::kOpenExisting, Disposition::kOpenAlways, Disposition::kTruncateExisting}) {
    const auto kept =
        os().OpenFile(Path("run"), access::kWrite, plat::share::kRead, disposition, attr::kNormal);
    ASSERT_NE(kept, plat::kInvalidFile);
    EXPECT_TRUE(os().Close(kept));
    EXPECT_EQ(ModeOf(Path("run")), 0750u) << static_cast<int>(disposition);
  }
  const auto file = os().OpenFile(Path("run"), access::kWrite, plat::share::kRead,
                                  Disposition::kCreateAlways, attr::kNormal);
  ASSERT_NE(file, plat::kInvalidFile);
  EXPECT_TRUE(os().Close(file));
  EXPECT_EQ(ModeOf(Path("run")), 0640u);
}

TEST_F(PosixPlatform, DosTimeIsLocalTimeAndSetsTheModificationTime) {
  const auto file = os().OpenFile(Path("t"), access::kRead | access::kWrite, plat::share::kRead,
                                  Disposition::kCreateNew, attr::kNormal);
  ASSERT_NE(file, plat::kInvalidFile);
  struct CaseTime {
    int year, month, day, hour, minute, second;
  };
  for (const CaseTime c : {CaseTime{2001, 7, 15, 13, 45, 30}, CaseTime{1980, 1, 1, 0, 0, 0},
                           CaseTime{2024, 2, 29, 23, 59, 58}, CaseTime{2010, 12, 31, 12, 0, 2}}) {
    const auto date = static_cast<uint16_t>(((c.year - 1980) << 9) | (c.month << 5) | c.day);
    const auto time = static_cast<uint16_t>((c.hour << 11) | (c.minute << 5) | (c.second / 2));
    ASSERT_TRUE(os().SetFileTimeFromDos(file, date, time));
    std::tm local{};
    local.tm_year = c.year - 1900;
    local.tm_mon = c.month - 1;
    local.tm_mday = c.day;
    local.tm_hour = c.hour;
    local.tm_min = c.minute;
    local.tm_sec = c.second;
    local.tm_isdst = -1;
    struct stat st {};
    ASSERT_EQ(stat(Path("t").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, mktime(&local)) << c.year << "-" << c.month << "-" << c.day;
  }
  // 29 February of a year that has none.
  EXPECT_FALSE(os().SetFileTimeFromDos(file, static_cast<uint16_t>((23 << 9) | (2 << 5) | 29), 0));
  EXPECT_TRUE(os().Close(file));
}

TEST(PosixPlatformEnv, TempPathFollowsTmpdir) {
  struct Case {
    const char* tmpdir;
    const char* expected;
  };
  for (const Case c : {Case{nullptr, "/tmp/"}, Case{"", "/tmp/"}, Case{"/var/x", "/var/x/"},
                       Case{"/var/y/", "/var/y/"}}) {
    ScopedEnv env("TMPDIR", c.tmpdir);
    std::string path;
    ASSERT_TRUE(os().TempPath(path));
    EXPECT_EQ(path, c.expected);
  }
}

TEST(PosixPlatformErrors, LastErrorSurvivesLaterLibcCalls) {
  EXPECT_EQ(os().OpenFile("/nonexistent/file", access::kRead, 0, Disposition::kOpenExisting, 0),
            plat::kInvalidFile);
  errno = EBADF;
  std::string temp;
  os().TempPath(temp);  // a successful call made through the platform
  EXPECT_EQ(os().LastError(), static_cast<uint32_t>(ENOENT));
  EXPECT_EQ(os().ErrorText(ENOENT), "No such file or directory");
}

TEST_F(PosixPlatform, RunAndWaitStartsInTheFolderAndWaits) {
  ASSERT_TRUE(os().MakeFolder(Path("work")));
  // No execute permission to begin with, as a file extracted from a cabinet has none.
  MakeFile("work/rux.exe", "#!/bin/sh\nsleep 0.2\npwd > ran.txt\necho \"$#\" >> ran.txt\n");
  ASSERT_EQ(chmod(Path("work/rux.exe").c_str(), 0644), 0);
  ASSERT_TRUE(os().RunAndWait(Path("work/rux.exe"), Path("work")));
  EXPECT_EQ(ReadAll("work/ran.txt"), Path("work") + "\n0\n");  // waited for; no arguments
  EXPECT_EQ(ModeOf(Path("work/rux.exe")), 0755u);
}

TEST_F(PosixPlatform, RunAndWaitDoesNotTakeAFailedStartForAStartedOne) {
  MakeFile("prog", "#!/bin/sh\ntouch ran\n");
  EXPECT_FALSE(os().RunAndWait(Path("prog"), Path("no-such-folder")));
  EXPECT_FALSE(std::filesystem::exists(Path("ran")));
  MakeFile("badinterp", "#!/no/such/interpreter\n");
  EXPECT_FALSE(os().RunAndWait(Path("badinterp"), Dir()));
  EXPECT_EQ(os().LastError(), static_cast<uint32_t>(ENOENT));
  EXPECT_FALSE(os().RunAndWait(Dir(), Dir()));  // a folder is no program
}

TEST_F(PosixPlatform, ShellOpenRunsXdgOpenDetached) {
  MakeFile("xdg-open", "#!/bin/sh\necho \"$1\" > '" + Path("opened") + "'\n");
  ASSERT_EQ(chmod(Path("xdg-open").c_str(), 0755), 0);
  {
    ScopedEnv path("PATH", Dir().c_str());
    ASSERT_TRUE(os().ShellOpen("document.txt"));
  }
  for (int i = 0; i < 100 && ReadAll("opened").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(ReadAll("opened"), "document.txt\n");
  ScopedEnv none("PATH", (Dir() + "/nothing-here").c_str());
  EXPECT_FALSE(os().ShellOpen("document.txt"));
}

TEST(PosixTerminalDialog, YesNoAnswersFromInput) {
  struct Case {
    const char* input;
    int answer;
    int prompts;
  };
  for (const Case c : {Case{"y\n", plat::mb::kIdYes, 1}, Case{" YES \n", plat::mb::kIdYes, 1},
                       Case{"No\n", plat::mb::kIdNo, 1}, Case{"maybe\n\nn\n", plat::mb::kIdNo, 3},
                       Case{"", plat::mb::kIdNo, 1}, Case{"what", plat::mb::kIdNo, 2},
                       Case{"yess\ny", plat::mb::kIdYes, 2}}) {
    std::istringstream in(c.input);
    std::ostringstream out;
    EXPECT_EQ(plat::posix::TerminalDialog(in, out, true, "Continue?", "Quillmark Extractor",
                                          plat::mb::kYesNo | plat::mb::kIconQuestion),
              c.answer)
        << c.input;
    const std::string shown = out.str();
    EXPECT_NE(shown.find("Quillmark Extractor\nContinue?\n"), std::string::npos);
    int prompts = 0;
    for (size_t at = 0; (at = shown.find("[y/n]", at)) != std::string::npos; ++at) ++prompts;
    EXPECT_EQ(prompts, c.prompts) << c.input;
  }
}

TEST(PosixTerminalDialog, OkBoxWaitsOnlyForAPerson) {
  std::istringstream in("y\n");
  std::ostringstream out;
  EXPECT_EQ(
      plat::posix::TerminalDialog(in, out, false, "Not a valid SE file", "SE error", plat::mb::kOk),
      plat::mb::kIdOk);
  EXPECT_EQ(out.str(), "\nSE error\nNot a valid SE file\n");
  EXPECT_EQ(in.tellg(), 0);  // nothing read
  EXPECT_EQ(plat::posix::TerminalDialog(in, out, true, "x", "y", plat::mb::kOk), plat::mb::kIdOk);
  EXPECT_TRUE(in.eof() || in.tellg() == 2);
}

}  // namespace
