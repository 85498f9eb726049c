// A platform for tests: forwards every call to another platform (the native one by default) and
// can make chosen calls fail, record what was done, and answer message boxes without a person.
//
//   testing_support::FaultPlatform fault;
//   fault.FailNth(Op::kWrite, 2, kDiskFullCode);   // the second write from now fails
//   plat::ScopedPlatform use(fault);
//   ... code under test ...
//   EXPECT_EQ(fault.Count(Op::kWrite), 2);
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace testing_support {

// One per Platform operation that can be counted, logged or failed.
enum class Op {
  kOpenFile,
  kRead,
  kWrite,
  kSeek,
  kClose,
  kSetFileTime,
  kMakeFolder,
  kRemoveFolder,
  kRemoveFile,
  kFileAttributes,
  kSetAttributes,
  kFindFiles,
  kFindFile,
  kFullPathName,
  kProgramPath,
  kTempPath,
  kUtcTimeOfDay,
  kRunAndWait,
  kShellOpen,
  kBeep,
  kShowMessage,
  kLoadModule,
  kFindSymbol,
  kReleaseModule,
  kRestrictLibrarySearch,
  kModuleNameFor,
  kForceRemoveFile,
  kPause,
  kFileInfo,
  kRenameOver,
  kStandardStream,
  kOnInterrupt,
  kMarkExecutable,
};
const char* OpName(Op op);

// Error codes of this build for the common injected failures.
#ifdef _WIN32
inline constexpr uint32_t kAccessDeniedCode = 5;  // ERROR_ACCESS_DENIED
inline constexpr uint32_t kNotFoundCode = 2;      // ERROR_FILE_NOT_FOUND
inline constexpr uint32_t kDiskFullCode = 112;    // ERROR_DISK_FULL
inline constexpr uint32_t kInUseCode = 32;        // ERROR_SHARING_VIOLATION
inline constexpr uint32_t kNotEmptyCode = 145;    // ERROR_DIR_NOT_EMPTY
#else
inline constexpr uint32_t kAccessDeniedCode = 13;  // EACCES
inline constexpr uint32_t kNotFoundCode = 2;       // ENOENT
inline constexpr uint32_t kDiskFullCode = 28;      // ENOSPC
inline constexpr uint32_t kInUseCode = 16;         // EBUSY
inline constexpr uint32_t kNotEmptyCode = 39;      // ENOTEMPTY
#endif

class FaultPlatform : public plat::Platform {
 public:
  // One call as seen: the operation and what it was about. `path` is the path or folder for
  // file-system calls, the path of the open file for Read/Write/Seek/Close/SetFileTime, the
  // program for RunAndWait, the module or symbol name for modules, the text for ShowMessage.
  struct Call {
    Op op;
    std::string path;
    bool failed;  // injected or real failure
  };
  struct Message {
    std::string text, caption;
    uint32_t style;
    int answer;
  };
  // Decides per call: an error code to fail it with, or nothing to let it through.
  using FailIf = std::function<std::optional<uint32_t>(Op op, const std::string& path)>;

  explicit FaultPlatform(plat::Platform& inner = plat::Native());

  // --- Faults.
  // The n-th call of `op` from now (1-based) fails with `code`; n = 0: every call from now.
  // Several may be pending for the same op. A failed call returns what the system's would
  // (kInvalidFile, false, -1, null, empty, MessageBoxA's 0), and LastError() gives `code` until
  // the next call. UtcTimeOfDay, Beep, RestrictLibrarySearch, ModuleNameFor, Pause and
  // OnInterrupt cannot fail; a failed Close still closes the file.
  void FailNth(Op op, int n, uint32_t code);
  // Every call for which `rule` returns a code fails with it (e.g. one symbol name, or writes
  // below some folder). Replaces an earlier rule; an empty function removes it.
  void FailWhen(FailIf rule);
  // Writes succeed for `bytes` more bytes in total; the write that crosses the limit writes what
  // fits and then fails with `code`, as a full disk does.
  void DiskFullAfter(uint64_t bytes, uint32_t code = kDiskFullCode);
  // Removes every pending fault (counters and records are kept).
  void ClearFaults();

  // --- Replies in place of the system's.
  void SetProgramPath(std::optional<std::string> path) { programPath_ = std::move(path); }
  void SetTempPath(std::optional<std::string> path) { tempPath_ = std::move(path); }
  void SetTimeOfDay(std::optional<plat::SystemTime> time) { timeOfDay_ = time; }
  // Answers for the coming message boxes, in order. Without one, an OK box answers IDOK and a
  // Yes/No box IDNO; nothing is shown either way unless ForwardMessages(true).
  void AnswerMessages(std::vector<int> answers);
  void ForwardMessages(bool forward) { forwardMessages_ = forward; }

  // --- What happened.
  int Count(Op op) const;
  const std::vector<Call>& Calls() const { return calls_; }
  const std::vector<Message>& Messages() const { return messages_; }
  const std::vector<uint32_t>& Beeps() const { return beeps_; }
  // Pause never waits here; this is the time it was asked to wait, in all.
  uint64_t PausedMilliseconds() const { return paused_; }
  // Every path the code changed, in order: files opened for writing, folders made, files and
  // folders removed, attributes and times set (successful calls only).
  const std::vector<std::string>& ChangedPaths() const { return changed_; }
  // Called for every call after it has been made (or failed).
  void OnCall(std::function<void(const Call&)> observer) { observer_ = std::move(observer); }

  // --- plat::Platform.
  plat::FileHandle OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                            plat::Disposition disposition, uint32_t flagsAndAttributes) override;
  bool Read(plat::FileHandle file, void* buffer, uint32_t count, uint32_t& done) override;
  bool Write(plat::FileHandle file, const void* buffer, uint32_t count, uint32_t& done) override;
  int64_t Seek(plat::FileHandle file, int64_t distance, plat::SeekOrigin origin) override;
  bool Close(plat::FileHandle file) override;
  bool SetFileTimeFromDos(plat::FileHandle file, uint16_t dosDate, uint16_t dosTime) override;
  bool MakeFolder(const std::string& path, bool ownerOnly = false) override;
  bool RemoveFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool ForceRemoveFile(const std::string& path) override;
  uint32_t FileAttributes(const std::string& path) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool MarkExecutable(const std::string& path) override;
  bool FindFiles(const std::string& folder, std::vector<plat::DirEntry>& entries) override;
  bool FindFile(const std::string& path, plat::DirEntry& entry) override;
  std::string FullPathName(const std::string& path) override;
  bool FileInfo(const std::string& path, plat::FileDetails& details) override;
  bool RenameOver(const std::string& from, const std::string& to) override;
  std::string ProgramPath() override;
  bool TempPath(std::string& path) override;
  plat::SystemTime UtcTimeOfDay() override;
  bool RunAndWait(const std::string& program, const std::string& currentDir) override;
  bool ShellOpen(const std::string& path) override;
  std::vector<std::string> CommandArguments(int argc, char** argv) override;
  plat::FileHandle StandardStream(plat::StdStream which) override;
  bool IsConsole(plat::FileHandle file) override;
  void OnInterrupt(void (*cleanup)()) override;
  void Pause(uint32_t milliseconds) override;
  bool IsTransientError(uint32_t code) override;
  void Beep(uint32_t type) override;
  int ShowMessage(const std::string& text, const std::string& caption, uint32_t style) override;
  plat::ModuleHandle LoadModule(const std::string& name) override;
  void* FindSymbol(plat::ModuleHandle module, const char* name) override;
  bool ReleaseModule(plat::ModuleHandle module) override;
  void RestrictLibrarySearch() override;
  std::string ModuleNameFor(const void* address, std::uintptr_t& offset) override;
  uint32_t LastError() override;
  std::string ErrorText(uint32_t code) override;
  std::string AnsiToUtf8(const std::string& text) override;

 private:
  struct Pending {
    Op op;
    int remaining;  // calls until it fires; 0 = every call
    uint32_t code;
  };
  struct OpenFileInfo {
    std::string path;
    bool writable;
  };

  // Counts the call and returns the code to fail it with, if a fault says so.
  std::optional<uint32_t> Begin(Op op, const std::string& path);
  // Records an injected failure: logged, and LastError() reports `code`.
  void Injected(Op op, const std::string& path, uint32_t code);
  // Logs a forwarded call; a real failure keeps the inner platform's code for LastError().
  void End(Op op, const std::string& path, bool failed);
  // The whole round for calls that need nothing special: `call` is made unless a fault fires,
  // in which case `failure` is returned.
  template <typename Result, typename Forward>
  Result Through(Op op, const std::string& path, Result failure, Forward&& call);
  std::string PathOf(plat::FileHandle file) const;

  plat::Platform& inner_;
  std::vector<Pending> pending_;
  FailIf rule_;
  std::optional<uint64_t> diskLeft_;
  uint32_t diskFullCode_ = kDiskFullCode;
  std::optional<uint32_t> error_;  // of the last failed call; none after a success
  std::map<Op, int> counts_;
  std::vector<Call> calls_;
  std::function<void(const Call&)> observer_;
  std::map<plat::FileHandle, OpenFileInfo> openFiles_;
  std::vector<std::string> changed_;
  std::optional<std::string> programPath_, tempPath_;
  std::optional<plat::SystemTime> timeOfDay_;
  std::deque<int> answers_;
  bool forwardMessages_ = false;
  std::vector<Message> messages_;
  std::vector<uint32_t> beeps_;
  uint64_t paused_ = 0;
};

}  // namespace testing_support
