// Files and folders.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Platform.h"

namespace plat::win32 {
namespace {

HANDLE Handle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

DirEntry EntryOf(const WIN32_FIND_DATAA& found) {
  return {found.cFileName, found.dwFileAttributes};
}

}  // namespace

FileHandle Win32Platform::OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                                   Disposition disposition, uint32_t flagsAndAttributes) {
  const HANDLE file = CreateFileA(path.c_str(), access, shareMode, nullptr,
                                  static_cast<DWORD>(disposition), flagsAndAttributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kInvalidFile;
  return reinterpret_cast<FileHandle>(file);
}

bool Win32Platform::Read(FileHandle file, void* buffer, uint32_t count, uint32_t& done) {
  DWORD transferred = 0;
  const BOOL ok = ReadFile(Handle(file), buffer, count, &transferred, nullptr);
  done = transferred;
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
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool Win32Platform::RemoveFolder(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != FALSE;
}

bool Win32Platform::RemoveFile(const std::string& path) {
  return DeleteFileA(path.c_str()) != FALSE;
}

uint32_t Win32Platform::FileAttributes(const std::string& path) {
  return GetFileAttributesA(path.c_str());
}

bool Win32Platform::SetAttributes(const std::string& path, uint32_t attributes) {
  return SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

bool Win32Platform::FindFiles(const std::string& folder, std::vector<DirEntry>& entries) {
  entries.clear();
  std::string pattern = folder;
  if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
  pattern += "*.*";
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    entries.push_back(EntryOf(found));
  } while (FindNextFileA(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    SetLastError(error);
    return false;
  }
  return true;
}

bool Win32Platform::FindFile(const std::string& path, DirEntry& entry) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  entry = EntryOf(found);
  return true;
}

std::string Win32Platform::FullPathName(const std::string& path) {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return {};
    if (length < buffer.size()) return buffer.substr(0, length);
    buffer.resize(length);  // the size needed, terminating NUL included
  }
}

}  // namespace plat::win32
