// Files and folders.
//
// Share modes: POSIX has no mandatory sharing, so the share mode of OpenFile is accepted and has
// no effect; another opener is never refused because of it. Emulating it with advisory locks
// would only bind cooperating processes and is not done.
//
// The read-only attribute is the owner's write permission. Windows refuses to open a read-only
// file for writing, or to delete it, even to administrators; the checks below do the same
// (as root the kernel would not), so code that forgets to clear the attribute fails here too.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>

#include "platform/posix/PosixPlatform.h"

namespace plat::posix {
namespace {

int Fd(FileHandle file) {
  return static_cast<int>(file);
}

uint32_t AttributesOf(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return attr::kReparsePoint;  // never a folder: links are not followed
  uint32_t bits = 0;
  if (S_ISDIR(st.st_mode))
    bits |= attr::kDirectory;
  else if (!S_ISREG(st.st_mode))
    bits |= attr::kDevice;
  if ((st.st_mode & S_IWUSR) == 0) bits |= attr::kReadOnly;
  return bits != 0 ? bits : attr::kNormal;
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

// The process's umask, read without changing it (umask() would, racing other threads).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Umask:") {
      unsigned mask = 0;
      if (status >> std::oct >> mask) return static_cast<mode_t>(mask);
      break;
    }
  }
  return 022;
}

bool ValidDos(const std::tm& t) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > kDays[t.tm_mon]) return false;
  const int year = t.tm_year + 1900;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (t.tm_mon == 1 && t.tm_mday == 29 && !leap) return false;
  return t.tm_hour <= 23 && t.tm_min <= 59 && t.tm_sec <= 59;
}

std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const auto slash = path.rfind('/');
  return slash == std::string::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

}  // namespace

FileHandle PosixPlatform::OpenFile(const std::string& path, uint32_t access, uint32_t /*shareMode*/,
                                   Disposition disposition, uint32_t flagsAndAttributes) {
  const bool reading = (access & access::kRead) != 0;
  const bool writing = (access & access::kWrite) != 0;
  int flags = O_CLOEXEC;
  flags |= writing ? (reading ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (disposition) {
    case Disposition::kCreateNew:
      flags |= O_CREAT | O_EXCL;
      break;
    case Disposition::kCreateAlways:
      flags |= O_CREAT | O_TRUNC;
      break;
    case Disposition::kOpenExisting:
      break;
    case Disposition::kOpenAlways:
      flags |= O_CREAT;
      break;
    case Disposition::kTruncateExisting:
      if (!writing) return Fail(EINVAL), kInvalidFile;  // Windows requires write access for it
      flags |= O_TRUNC;
      break;
    default:
      return Fail(EINVAL), kInvalidFile;
  }
  // A link found where a file is to be written, created or emptied is never followed: it could
  // lead anywhere, outside the folder being written to.
  if (writing || (flags & (O_CREAT | O_TRUNC)) != 0) flags |= O_NOFOLLOW;
  if (writing && IsReadOnlyFile(path)) return Fail(EACCES), kInvalidFile;
  int fd = open(path.c_str(), flags, 0666);
  if (fd < 0) return Fail(errno), kInvalidFile;
  // Handles 0 to 2 are never handed out: the standard streams may be closed when we start, and
  // the cabinet library reads a handle of 0 as "skip this file".
  if (fd <= 2) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int error = errno;
    close(fd);
    if (moved < 0) return Fail(error), kInvalidFile;
    fd = moved;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // CreateFileA does not open folders
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    close(fd);
    return Fail(error), kInvalidFile;
  }
  // CREATE_ALWAYS gives an existing file fresh attributes; here the execute permission is the
  // one that would outlive the overwrite, and make new content runnable that was not meant to be.
  if (disposition == Disposition::kCreateAlways && S_ISREG(st.st_mode) &&
      (st.st_mode & 0111) != 0 && fchmod(fd, st.st_mode & 0666) != 0) {
    const int error = errno;
    close(fd);
    return Fail(error), kInvalidFile;
  }
  if ((flagsAndAttributes & flag::kDeleteOnClose) != 0) unlink(path.c_str());
  return fd;
}

bool PosixPlatform::Read(FileHandle file, void* buffer, uint32_t count, uint32_t& done) {
  done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = read(Fd(file), bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(errno);
    if (n == 0) break;  // end of file: a short read, not an error
    done += static_cast<uint32_t>(n);
  }
  return true;
}

bool PosixPlatform::Write(FileHandle file, const void* buffer, uint32_t count, uint32_t& done) {
  done = 0;
  const auto* bytes = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t n = write(Fd(file), bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(errno);
    done += static_cast<uint32_t>(n);
  }
  return true;
}

int64_t PosixPlatform::Seek(FileHandle file, int64_t distance, SeekOrigin origin) {
  static_assert(SEEK_SET == 0 && SEEK_CUR == 1 && SEEK_END == 2);
  const off_t at = lseek(Fd(file), static_cast<off_t>(distance), static_cast<int>(origin));
  if (at < 0) return Fail(errno), -1;
  return at;
}

bool PosixPlatform::Close(FileHandle file) {
  // Only handles this backend opened are closed; never the standard streams.
  if (file < 3 || file > INT32_MAX) return Fail(EBADF);
  if (close(Fd(file)) != 0 && errno != EINTR) return Fail(errno);  // EINTR: closed anyway
  return true;
}

bool PosixPlatform::SetFileTimeFromDos(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
  std::tm local{};
  local.tm_year = 80 + (dosDate >> 9);
  local.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
  local.tm_mday = dosDate & 0x1F;
  local.tm_hour = dosTime >> 11;
  local.tm_min = (dosTime >> 5) & 0x3F;
  local.tm_sec = (dosTime & 0x1F) * 2;
  local.tm_isdst = -1;  // the DOS time is local time; let the zone rules decide
  if (!ValidDos(local)) return Fail(EINVAL);
  const time_t when = mktime(&local);
  if (when == static_cast<time_t>(-1)) return Fail(EINVAL);
  // POSIX keeps no creation time; the modification time stands for both.
  const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
  if (futimens(Fd(file), times) != 0) return Fail(errno);
  return true;
}

bool PosixPlatform::MakeFolder(const std::string& path, bool ownerOnly) {
  // Default security: what the umask allows.
  return mkdir(path.c_str(), ownerOnly ? 0700 : 0777) == 0 || Fail(errno);
}

bool PosixPlatform::RemoveFolder(const std::string& path) {
  return rmdir(path.c_str()) == 0 || Fail(errno);
}

bool PosixPlatform::RemoveFile(const std::string& path) {
  if (IsReadOnlyFile(path)) return Fail(EACCES);
  return unlink(path.c_str()) == 0 || Fail(errno);
}

bool PosixPlatform::ForceRemoveFile(const std::string& path) {
  // Deleting needs write permission on the folder only: the file's own mode, shared with every
  // hard link to it, is left alone.
  return unlink(path.c_str()) == 0 || Fail(errno);
}

uint32_t PosixPlatform::FileAttributes(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return Fail(errno), attr::kInvalid;
  return AttributesOf(st);
}

bool PosixPlatform::SetAttributes(const std::string& path, uint32_t attributes) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return Fail(errno);
  // Only read-only has a POSIX meaning, and only for files: a link has no mode of its own (chmod
  // would follow it), and taking write permission from a folder would stop its contents from
  // being deleted, which the Windows attribute does not.
  if (!S_ISREG(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  if ((attributes & attr::kReadOnly) != 0) {
    mode &= ~static_cast<mode_t>(0222);
  } else {
    mode |= (0222 & ~CurrentUmask()) | S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return true;
  return chmod(path.c_str(), mode) == 0 || Fail(errno);
}

bool PosixPlatform::MarkExecutable(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return Fail(errno);
  if (!S_ISREG(st.st_mode)) return true;
  // The owner always may run it, as the owner always may write after SetAttributes.
  const mode_t mode = (st.st_mode & 07777) | (0111 & ~CurrentUmask()) | S_IXUSR;
  if (mode == (st.st_mode & 07777)) return true;
  return chmod(path.c_str(), mode) == 0 || Fail(errno);
}

bool PosixPlatform::FindFiles(const std::string& folder, std::vector<DirEntry>& entries) {
  entries.clear();
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return Fail(errno);
  const int dirFd = dirfd(dir.get());
  errno = 0;
  while (const dirent* found = readdir(dir.get())) {
    struct stat st;
    // An entry that vanished since readdir is left out, as it would be from a later enumeration.
    if (fstatat(dirFd, found->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      entries.push_back({found->d_name, AttributesOf(st)});
    }
    errno = 0;
  }
  if (errno != 0) return Fail(errno);
  return true;
}

bool PosixPlatform::FindFile(const std::string& path, DirEntry& entry) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return Fail(errno);
  entry = {BaseName(path), AttributesOf(st)};
  return true;
}

std::string PosixPlatform::FullPathName(const std::string& path) {
  if (path.empty()) return Fail(EINVAL), std::string();
  std::string joined;
  if (path.front() != '/') {
    std::unique_ptr<char, void (*)(void*)> cwd(getcwd(nullptr, 0), std::free);
    if (!cwd) return Fail(errno), std::string();
    joined = cwd.get();
    joined += '/';
  }
  joined += path;
  // Lexical: "." and ".." are resolved by name, links are not looked at.
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string full;
  for (const auto& part : parts) full += '/' + part;
  if (full.empty() || path.back() == '/') full += '/';
  return full;
}

}  // namespace plat::posix
