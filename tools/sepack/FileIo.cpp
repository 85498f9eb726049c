#include "tools/sepack/FileIo.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace sepack {
namespace fs = std::filesystem;
namespace {

std::runtime_error SystemError(const std::string& what, const std::string& path) {
  return std::runtime_error(what + " '" + path + "': " + std::strerror(errno));
}

// Paths to remove should the process be interrupted.
std::mutex scratchMutex;
std::set<std::string> scratchPaths;

void Untrack(const std::string& path) {
  const std::lock_guard lock(scratchMutex);
  scratchPaths.erase(path);
}

void WriteAll(int fd, std::string_view bytes, const std::string& name) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemError("cannot write", name);
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  const bool standardInput = path == "-";
  const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw SystemError("cannot open", path);
  const auto closeFd = [&] {
    const int err = errno;
    if (!standardInput) ::close(fd);
    errno = err;
  };
  std::vector<uint8_t> data;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    closeFd();
    errno = EISDIR;
    throw SystemError("cannot read", path);
  }
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  uint8_t buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      closeFd();
      throw SystemError("cannot read", path);
    }
    data.insert(data.end(), buffer, buffer + n);
  }
  closeFd();
  return data;
}

AtomicOutput::AtomicOutput(const std::string& path, unsigned mode) : path_(path) {
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    errno = EISDIR;
    throw SystemError("cannot write", path);
  }
  temp_ = path + ".XXXXXX";
  {
    // Registered before it exists, so that an interruption cannot fall between the two.
    const std::lock_guard lock(scratchMutex);
    fd_ = ::mkstemp(temp_.data());
    if (fd_ < 0) throw SystemError("cannot write", path);
    scratchPaths.insert(temp_);
  }
  // mkstemp makes the file 0600; give the result the permissions asked for.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, static_cast<mode_t>(mode) & ~mask);
}

AtomicOutput::~AtomicOutput() {
  if (temp_.empty()) return;
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temp_.c_str());
  Untrack(temp_);
}

void AtomicOutput::Write(std::string_view bytes) {
  WriteAll(fd_, bytes, path_);
  written_ += static_cast<int64_t>(bytes.size());
}

void AtomicOutput::Append(const std::string& source) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw SystemError("cannot open", source);
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(in);
      errno = err;
      throw SystemError("cannot read", source);
    }
    try {
      Write(std::string_view(buffer.data(), static_cast<size_t>(n)));
    } catch (...) {
      ::close(in);
      throw;
    }
  }
  ::close(in);
}

void AtomicOutput::Commit() {
  if (temp_.empty()) return;  // standard output
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw SystemError("cannot write", path_);
  if (::rename(temp_.c_str(), path_.c_str()) != 0) throw SystemError("cannot write", path_);
  committed_ = true;
}

void WriteFileAtomically(const std::string& path, const uint8_t* data, size_t size, unsigned mode) {
  WriteFileAtomically(path, {std::string_view(reinterpret_cast<const char*>(data), size)}, mode);
}

void WriteFileAtomically(const std::string& path, std::initializer_list<std::string_view> pieces,
                         unsigned mode) {
  AtomicOutput out(path, mode);
  for (const std::string_view piece : pieces) out.Write(piece);
  out.Commit();
}

void CheckOutputIsNotAnInput(const std::string& output, const std::vector<std::string>& inputs,
                             bool folderInputs) {
  if (output == "-") return;
  std::error_code ec;
  const fs::path target = fs::weakly_canonical(fs::absolute(output), ec);
  for (const std::string& input : inputs) {
    if (input == "-") continue;
    std::error_code ignored;
    const fs::path source = fs::weakly_canonical(fs::absolute(input), ignored);
    // The same file under another name or through a hard link counts as well.
    if (target == source || fs::equivalent(output, input, ignored)) {
      throw std::runtime_error("the output '" + output + "' is the input '" + input +
                               "'; name another output");
    }
    if (folderInputs && fs::is_directory(source, ignored)) {
      const auto [s, t] = std::mismatch(source.begin(), source.end(), target.begin(), target.end());
      if (s == source.end()) {
        throw std::runtime_error("the output '" + output + "' lies inside the input folder '" +
                                 input + "' and would be packed into itself; name another output");
      }
    }
  }
}

ScratchDir::ScratchDir(const std::string& prefix) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
  const std::lock_guard lock(scratchMutex);
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw SystemError("cannot create a scratch folder like", pattern);
  }
  path_ = pattern;
  scratchPaths.insert(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
  Untrack(path_);
}

void RemoveScratchOnInterrupt() {
  // Blocked here, so in every thread started later; one thread takes them in turn.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  std::thread([signals] {
    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    const std::lock_guard lock(scratchMutex);
    for (const std::string& path : scratchPaths) {
      // Another thread may still be writing into a scratch folder: try again if it refills.
      for (int attempt = 0; attempt < 3; ++attempt) {
        std::error_code ignored;
        fs::remove_all(path, ignored);
        if (!fs::exists(fs::symlink_status(path, ignored))) break;
      }
    }
    if (received == SIGINT) std::fputc('\n', stderr);
    std::_Exit(128 + received);
  }).detach();
}

void MakeOutputFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    throw std::runtime_error("cannot create the folder '" + folder + "'" +
                             (ec ? ": " + ec.message() : std::string()));
  }
}

}  // namespace sepack
