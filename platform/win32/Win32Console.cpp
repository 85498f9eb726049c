// What a command-line program needs beyond files: details of a path, replacing renames,
// arguments, the standard streams and interruption.
#include <atomic>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"

namespace plat::win32 {
namespace {

// Seconds between 1601-01-01 (FILETIME's start) and 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;

std::atomic<void (*)()> interruptCleanup{nullptr};

BOOL WINAPI OnConsoleEvent(DWORD) {
  // Runs on a thread of its own; once, however many events arrive.
  if (void (*cleanup)() = interruptCleanup.exchange(nullptr)) {
    cleanup();
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
  }
  return TRUE;
}

}  // namespace

bool Win32Platform::FileInfo(const std::string& path, FileDetails& details) {
  const std::wstring wide = Widen(path);
  const DWORD own = GetFileAttributesW(wide.c_str());
  if (own == INVALID_FILE_ATTRIBUTES) return false;
  // Backup semantics opens folders too; without FILE_FLAG_OPEN_REPARSE_POINT links are followed.
  const HANDLE file = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(file, &info) != FALSE;
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) {
    SetLastError(error);
    return false;
  }
  details = {};
  details.attributes = info.dwFileAttributes;
  details.isLink = (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  details.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                           info.ftLastWriteTime.dwLowDateTime);
  // Floor division: times before 1970 stay before it.
  int64_t seconds = ticks / 10000000;
  if (ticks % 10000000 < 0) --seconds;
  details.modified = seconds - kEpochDifference;
  details.ownerExecute = false;
  details.volume = info.dwVolumeSerialNumber;
  details.fileId = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool Win32Platform::RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::vector<std::string> Win32Platform::CommandArguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return args;
}

FileHandle Win32Platform::StandardStream(StdStream which) {
  static constexpr DWORD kIds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  const HANDLE handle = GetStdHandle(kIds[static_cast<int>(which)]);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return kInvalidFile;
  return reinterpret_cast<FileHandle>(handle);
}

bool Win32Platform::IsConsole(FileHandle file) {
  DWORD mode = 0;
  return file != kInvalidFile && GetConsoleMode(reinterpret_cast<HANDLE>(file), &mode) != FALSE;
}

void Win32Platform::OnInterrupt(void (*cleanup)()) {
  interruptCleanup.store(cleanup);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace plat::win32
