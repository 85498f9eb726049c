// Files and folders.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"

namespace plat::win32 {
namespace {

HANDLE Handle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

DirEntry EntryOf(const WIN32_FIND_DATAW& found) {
  return {Narrow(found.cFileName, wcslen(found.cFileName)), found.dwFileAttributes};
}

// The extended disposition of Windows 10 1809 and later (not in every SDK's headers).
struct DispositionEx {
  DWORD flags;
};
constexpr FILE_INFO_BY_HANDLE_CLASS kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;

bool SetAttributesByHandle(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic{};  // times of 0 are left as they are
  basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

// Deletes the read-only entry open as `file`. The attribute lives in the file, shared by every
// hard link to it: it is cleared only where the system cannot delete despite it, and then put
// back for the links that remain.
bool DeleteReadOnly(HANDLE file) {
  DispositionEx ex{kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly};
  if (SetFileInformationByHandle(file, kDispositionInfoEx, &ex, sizeof ex)) return true;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  if (!SetAttributesByHandle(file, info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY)) return false;
  FILE_DISPOSITION_INFO disposition{TRUE};
  const bool deleted =
      SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
  const DWORD error = GetLastError();
  if (!deleted || info.nNumberOfLinks > 1) SetAttributesByHandle(file, info.dwFileAttributes);
  SetLastError(error);
  return deleted;
}

}  // namespace

FileHandle Win32Platform::OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                                   Disposition disposition, uint32_t flagsAndAttributes) {
  const HANDLE file = CreateFileW(Widen(path).c_str(), access, shareMode, nullptr,
                                  static_cast<DWORD>(disposition), flagsAndAttributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kInvalidFile;
  return reinterpret_cast<FileHandle>(file);
}

bool Win32Platform::Read(FileHandle file, void* buffer, uint32_t count, uint32_t& done) {
  DWORD transferred = 0;
  const BOOL ok = ReadFile(Handle(file), buffer, count, &transferred, nullptr);
  done = transferred;
  // A pipe whose writer has gone is at its end, as a file is.
  if (!ok && GetLastError() == ERROR_BROKEN_PIPE) return true;
  return ok != FALSE;
}

bool Win32Platform::Write(FileHandle file, const void* buffer, uint32_t count, uint32_t& done) {
  DWORD transferred = 0;
  const BOOL ok = WriteFile(Handle(file), buffer, count, &transferred, nullptr);
  done = transferred;
  return ok != FALSE;
}

int64_t Win32Platform::Seek(FileHandle file, int64_t distance, SeekOrigin origin) {
  LARGE_INTEGER move, position;
  move.QuadPart = distance;
  if (!SetFilePointerEx(Handle(file), move, &position, static_cast<DWORD>(origin))) return -1;
  return position.QuadPart;
}

bool Win32Platform::Close(FileHandle file) {
  return CloseHandle(Handle(file)) != FALSE;
}

bool Win32Platform::SetFileTimeFromDos(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(dosDate, dosTime, &local)) return false;
  if (!LocalFileTimeToFileTime(&local, &utc)) return false;
  return SetFileTime(Handle(file), &utc, nullptr, &utc) != FALSE;  // last access untouched
}

bool Win32Platform::MakeFolder(const std::string& path, bool /*ownerOnly*/) {
  return CreateDirectoryW(Widen(path).c_str(), nullptr) != FALSE;
}

bool Win32Platform::RemoveFolder(const std::string& path) {
  return RemoveDirectoryW(Widen(path).c_str()) != FALSE;
}

bool Win32Platform::RemoveFile(const std::string& path) {
  return DeleteFileW(Widen(path).c_str()) != FALSE;
}

bool Win32Platform::ForceRemoveFile(const std::string& path) {
  const std::wstring wide = Widen(path);
  if (DeleteFileW(wide.c_str())) return true;
  const DWORD error = GetLastError();
  // The entry's own attributes: for a link, the link's, never its target's.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    SetLastError(error);
    return false;
  }
  const HANDLE file =
      CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | DELETE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool deleted = DeleteReadOnly(file);
  const DWORD deleteError = GetLastError();
  CloseHandle(file);
  if (!deleted) SetLastError(deleteError);
  return deleted;
}

uint32_t Win32Platform::FileAttributes(const std::string& path) {
  return GetFileAttributesW(Widen(path).c_str());
}

bool Win32Platform::SetAttributes(const std::string& path, uint32_t attributes) {
  return SetFileAttributesW(Widen(path).c_str(), attributes) != FALSE;
}

bool Win32Platform::MarkExecutable(const std::string&) {
  return true;
}

bool Win32Platform::FindFiles(const std::string& folder, std::vector<DirEntry>& entries) {
  entries.clear();
  std::string pattern = folder;
  if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
  pattern += "*.*";
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(Widen(pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    entries.push_back(EntryOf(found));
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    SetLastError(error);
    return false;
  }
  return true;
}

bool Win32Platform::FindFile(const std::string& path, DirEntry& entry) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(Widen(path).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  entry = EntryOf(found);
  return true;
}

std::string Win32Platform::FullPathName(const std::string& path) {
  const std::wstring wide = Widen(path);
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return {};
    if (length < buffer.size()) return Narrow(buffer.data(), length);
    buffer.resize(length);  // the size needed, terminating NUL included
  }
}

}  // namespace plat::win32
