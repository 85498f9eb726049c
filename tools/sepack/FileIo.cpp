#include "tools/sepack/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace sepack {
namespace {

std::runtime_error SystemError(const std::string& what, const std::string& path) {
  return std::runtime_error(what + " '" + path + "': " + std::strerror(errno));
}

// Closes the descriptor and removes the temporary file unless released.
class TempFile {
 public:
  explicit TempFile(const std::string& target) : path_(target + ".XXXXXX") {
    fd_ = ::mkstemp(path_.data());
    if (fd_ < 0) throw SystemError("cannot create a temporary file for", target);
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  void CloseOrThrow(const std::string& target) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw SystemError("cannot write", target);
  }
  void Commit() { committed_ = true; }

 private:
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw SystemError("cannot open", path);
  std::vector<uint8_t> data;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    throw SystemError("cannot read", path);
  }
  if (st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  uint8_t buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      errno = err;
      throw SystemError("cannot read", path);
    }
    data.insert(data.end(), buffer, buffer + n);
  }
  ::close(fd);
  return data;
}

void WriteFileAtomically(const std::string& path, const uint8_t* data, size_t size, unsigned mode) {
  WriteFileAtomically(path, {std::string_view(reinterpret_cast<const char*>(data), size)}, mode);
}

void WriteFileAtomically(const std::string& path, std::initializer_list<std::string_view> pieces,
                         unsigned mode) {
  TempFile temp(path);
  // mkstemp makes the file 0600; give the result the permissions asked for.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(temp.fd(), static_cast<mode_t>(mode) & ~mask);
  for (const std::string_view piece : pieces) {
    size_t done = 0;
    while (done < piece.size()) {
      const ssize_t n = ::write(temp.fd(), piece.data() + done, piece.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw SystemError("cannot write", path);
      }
      done += static_cast<size_t>(n);
    }
  }
  temp.CloseOrThrow(path);
  if (::rename(temp.path().c_str(), path.c_str()) != 0) throw SystemError("cannot write", path);
  temp.Commit();
}

ScratchDir::ScratchDir(const std::string& prefix) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw SystemError("cannot create a scratch folder like", pattern);
  }
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace sepack
