// The one interface to the operating system. Everything above platform/ reaches files, folders,
// processes, message boxes, modules and error texts only through Current(), so that tests can put
// a fault-injecting platform in place of the real one.
//
// Method names avoid the Windows API's own (many of which are macros); each comment names the
// calls the win32 backend makes.
//
// Values (access rights, share modes, dispositions, attributes, message box styles and answers)
// are the Windows ones; the POSIX backend translates them.
//
// Strings: on Windows every path, name and error text that crosses this interface is UTF-8, and
// the win32 backend calls the wide ("W") functions, so names outside the ANSI code page work;
// where a comment names an "A" function, its "W" twin is the one called. On POSIX, strings are
// bytes and pass through unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;
using ModuleHandle = void*;

#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
#else
inline constexpr char kPathDelim = '/';
#endif

namespace access {
inline constexpr uint32_t kRead = 0x80000000u;   // GENERIC_READ
inline constexpr uint32_t kWrite = 0x40000000u;  // GENERIC_WRITE
}  // namespace access

namespace share {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kRead = 1;    // FILE_SHARE_READ
inline constexpr uint32_t kWrite = 2;   // FILE_SHARE_WRITE
inline constexpr uint32_t kDelete = 4;  // FILE_SHARE_DELETE: the file may be deleted while open
}  // namespace share

enum class Disposition : uint32_t {
  kCreateNew = 1,
  kCreateAlways = 2,
  kOpenExisting = 3,
  kOpenAlways = 4,
  kTruncateExisting = 5,
};

namespace attr {
inline constexpr uint32_t kReadOnly = 0x01;
inline constexpr uint32_t kHidden = 0x02;
inline constexpr uint32_t kSystem = 0x04;
inline constexpr uint32_t kVolume = 0x08;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kArchive = 0x20;
inline constexpr uint32_t kDevice = 0x40;  // neither file, folder nor link (a FIFO, a device)
inline constexpr uint32_t kNormal = 0x80;
inline constexpr uint32_t kTemporary = 0x100;
inline constexpr uint32_t kReparsePoint = 0x400;   // a link: never followed when deleting
inline constexpr uint32_t kInvalid = 0xFFFFFFFFu;  // INVALID_FILE_ATTRIBUTES
}  // namespace attr

namespace flag {  // file flags combined with the attributes of CreateFile
inline constexpr uint32_t kDeleteOnClose = 0x04000000;
inline constexpr uint32_t kSequentialScan = 0x08000000;
inline constexpr uint32_t kRandomAccess = 0x10000000;
}  // namespace flag

enum class SeekOrigin : int { kBegin = 0, kCurrent = 1, kEnd = 2 };

namespace mb {  // message box styles, beep types and answers
inline constexpr uint32_t kOk = 0x0;
inline constexpr uint32_t kYesNo = 0x4;
inline constexpr uint32_t kIconError = 0x10;
inline constexpr uint32_t kIconQuestion = 0x20;
inline constexpr uint32_t kIconExclamation = 0x30;
inline constexpr uint32_t kTaskModal = 0x2000;
inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
}  // namespace mb

struct DirEntry {
  std::string name;     // name within its folder
  uint32_t attributes;  // attr:: bits
};

// What a path names, as the packer needs to know it.
struct FileDetails {
  uint32_t attributes = attr::kInvalid;  // attr:: bits of the file reached (links followed)
  uint64_t size = 0;
  int64_t modified = 0;       // last write, seconds since 1970-01-01 UTC
  bool ownerExecute = false;  // the owner may run it (POSIX mode bits; never on Windows)
  bool isLink = false;        // the path itself is a link (symbolic link, junction)
  uint64_t volume = 0;        // volume and file id together name the file, whatever path
  uint64_t fileId = 0;        // (or hard link) reaches it
};

// Which standard stream StandardStream returns.
enum class StdStream : int { kInput = 0, kOutput = 1, kError = 2 };

struct SystemTime {  // UTC time of day
  uint16_t hour, minute, second, milliseconds;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Files: CreateFileA, ReadFile, WriteFile, SetFilePointer, CloseHandle.
  // Returns kInvalidFile on failure (GetLastError() tells why).
  virtual FileHandle OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                              Disposition disposition, uint32_t flagsAndAttributes) = 0;
  // False on failure; `done` receives the count transferred (a short read means end of file).
  virtual bool Read(FileHandle file, void* buffer, uint32_t count, uint32_t& done) = 0;
  virtual bool Write(FileHandle file, const void* buffer, uint32_t count, uint32_t& done) = 0;
  // The new position, or -1 on failure.
  virtual int64_t Seek(FileHandle file, int64_t distance, SeekOrigin origin) = 0;
  virtual bool Close(FileHandle file) = 0;
  // Sets creation and last-write time from a local MS-DOS date and time
  // (DosDateTimeToFileTime, LocalFileTimeToFileTime, SetFileTime). False when any step fails.
  virtual bool SetFileTimeFromDos(FileHandle file, uint16_t dosDate, uint16_t dosTime) = 0;

  // --- File system.
  // CreateDirectoryA with default security; `ownerOnly` asks for a folder that only its owner
  // may enter (mode 0700 on POSIX; Windows' per-user temporary folder is private already).
  virtual bool MakeFolder(const std::string& path, bool ownerOnly = false) = 0;
  virtual bool RemoveFolder(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Deletes a file, or a link itself, also when it is read-only, and changes nothing that
  // outlives the delete: attributes are reset only when they block it, on the entry itself and
  // never through a link, and put back when other hard links keep the file (DeleteFileW, then
  // SetFileInformationByHandle on a handle opened with FILE_FLAG_OPEN_REPARSE_POINT). POSIX
  // needs no permission change to delete and makes none.
  virtual bool ForceRemoveFile(const std::string& path) = 0;
  // attr::kInvalid on failure.
  virtual uint32_t FileAttributes(const std::string& path) = 0;
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
  // Lets the owner, and everyone else the umask allows, run a regular file (chmod +x); links,
  // folders and devices are left alone. Windows has no such bit: there it changes nothing and
  // succeeds.
  virtual bool MarkExecutable(const std::string& path) = 0;
  // Every entry of `folder` ("." and ".." included), as FindFirstFileA/FindNextFileA deliver
  // them for folder + "\*.*". False when the enumeration cannot start.
  virtual bool FindFiles(const std::string& folder, std::vector<DirEntry>& entries) = 0;
  // FindFirstFileA on one path: true and its entry when something exists there.
  virtual bool FindFile(const std::string& path, DirEntry& entry) = 0;
  // The path expanded against the current directory (GetFullPathNameA); empty on failure.
  virtual std::string FullPathName(const std::string& path) = 0;
  // Details of what `path` names, links followed; `isLink` tells whether the path itself is one
  // (CreateFileW with FILE_FLAG_BACKUP_SEMANTICS, GetFileInformationByHandle). False when
  // nothing is there or a link leads nowhere.
  virtual bool FileInfo(const std::string& path, FileDetails& details) = 0;
  // Renames `from` to `to`, replacing a file already at `to` in one step
  // (MoveFileExW with MOVEFILE_REPLACE_EXISTING; rename(2)).
  virtual bool RenameOver(const std::string& from, const std::string& to) = 0;

  // --- Process and environment.
  // Full path of the running program's own executable (GetModuleFileNameA).
  virtual std::string ProgramPath() = 0;
  // The temporary directory, ending with a separator (GetTempPathA). False when the query fails.
  virtual bool TempPath(std::string& path) = 0;
  virtual SystemTime UtcTimeOfDay() = 0;
  // Starts `program` with no command line and `currentDir` as its current directory, shown
  // normally, handles inherited, and waits for it without time-out (CreateProcessA,
  // WaitForSingleObject). False when it cannot be started.
  virtual bool RunAndWait(const std::string& program, const std::string& currentDir) = 0;
  // Opens a file through the shell with the verb "open" (ShellExecuteA). Outcome only advisory.
  virtual bool ShellOpen(const std::string& path) = 0;

  // The program's arguments after its name, UTF-8 on Windows whatever the code page
  // (GetCommandLineW, CommandLineToArgvW); POSIX takes argv as it is.
  virtual std::vector<std::string> CommandArguments(int argc, char** argv) = 0;
  // A standard stream's handle (GetStdHandle), kInvalidFile when the process has none. It stays
  // the process's: never Close it.
  virtual FileHandle StandardStream(StdStream which) = 0;
  // True when `file` is an interactive console or terminal (GetConsoleMode; isatty).
  virtual bool IsConsole(FileHandle file) = 0;
  // From here on an interruption (Ctrl-C, Ctrl-Break, a closed console window; SIGINT, SIGTERM,
  // SIGHUP) runs `cleanup` once, on a thread of its own, and then ends the process as
  // interrupted (STATUS_CONTROL_C_EXIT; 128 + the signal's number). Call once, before other
  // threads start (SetConsoleCtrlHandler; the signals blocked and taken by one thread).
  virtual void OnInterrupt(void (*cleanup)()) = 0;

  // Blocks the thread for about `milliseconds` (Sleep).
  virtual void Pause(uint32_t milliseconds) = 0;
  // True for a failure that may clear by itself within moments: the object is in use or locked,
  // access is denied for now (a file pending deletion), a folder is not yet empty.
  virtual bool IsTransientError(uint32_t code) = 0;

  // --- User interface: MessageBeep and MessageBoxA without an owner window.
  virtual void Beep(uint32_t type) = 0;
  // A text (or caption) that is valid UTF-8 and holds non-ASCII characters goes through
  // MessageBoxW; any other through MessageBoxA, byte for byte.
  virtual int ShowMessage(const std::string& text, const std::string& caption, uint32_t style) = 0;

  // --- Modules: LoadLibrary, GetProcAddress, FreeLibrary. Null on failure.
  // Loads a system library by bare name from the system folder only, never from the
  // program's folder or the current directory (a DLL planted beside a download must not load).
  virtual ModuleHandle LoadModule(const std::string& name) = 0;
  virtual void* FindSymbol(ModuleHandle module, const char* name) = 0;
  virtual bool ReleaseModule(ModuleHandle module) = 0;

  // Restricts the process's library search to the system folder (SetDefaultDllDirectories
  // where the system has it). Called first thing by the stub's entry point.
  virtual void RestrictLibrarySearch() = 0;
  // File name, without folder, of the module whose memory holds `address` (the executable's
  // when none does), and the address's offset from that module's start.
  virtual std::string ModuleNameFor(const void* address, std::uintptr_t& offset) = 0;

  // --- Errors.
  // The error code of the failed call just made through this platform (GetLastError).
  virtual uint32_t LastError() = 0;
  // The system's text for an error code as the system gives it (FormatMessageA); empty if none.
  virtual std::string ErrorText(uint32_t code) = 0;

  // --- Text.
  // Text in the system's ANSI code page as UTF-8 (MultiByteToWideChar, WideCharToMultiByte);
  // POSIX passes the bytes through.
  virtual std::string AnsiToUtf8(const std::string& text) = 0;
};

// The platform in use: the native backend unless a test has put another in place.
Platform& Current();
// The native backend of this build (win32 or posix).
Platform& Native();

// Puts `replacement` in place of the current platform for the guard's lifetime.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& replacement);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

}  // namespace plat
