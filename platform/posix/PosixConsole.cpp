// What a command-line program needs beyond files: details of a path, replacing renames,
// arguments, the standard streams and interruption.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/posix/PosixPlatform.h"

namespace plat::posix {

bool PosixPlatform::FileInfo(const std::string& path, FileDetails& details) {
  struct stat linkSt, st;
  if (lstat(path.c_str(), &linkSt) != 0) return Fail(errno);
  if (stat(path.c_str(), &st) != 0) return Fail(errno);
  details = {};
  details.isLink = S_ISLNK(linkSt.st_mode);
  details.attributes = 0;
  if (S_ISDIR(st.st_mode)) {
    details.attributes |= attr::kDirectory;
  } else if (!S_ISREG(st.st_mode)) {
    details.attributes |= attr::kDevice;
  }
  if ((st.st_mode & S_IWUSR) == 0) details.attributes |= attr::kReadOnly;
  if (details.attributes == 0) details.attributes = attr::kNormal;
  details.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  details.modified = st.st_mtime;
  details.ownerExecute = (st.st_mode & S_IXUSR) != 0;
  details.volume = st.st_dev;
  details.fileId = st.st_ino;
  return true;
}

bool PosixPlatform::RenameOver(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 || Fail(errno);
}

std::vector<std::string> PosixPlatform::CommandArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

FileHandle PosixPlatform::StandardStream(StdStream which) {
  const int fd = static_cast<int>(which);
  return fcntl(fd, F_GETFD) >= 0 ? fd : (Fail(EBADF), kInvalidFile);
}

bool PosixPlatform::IsConsole(FileHandle file) {
  return file >= 0 && file <= INT32_MAX && isatty(static_cast<int>(file)) == 1;
}

void PosixPlatform::OnInterrupt(void (*cleanup)()) {
  // Blocked here, so in every thread started later; one thread takes them in turn.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  std::thread([signals, cleanup] {
    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    cleanup();
    // The shell's prompt starts on a line of its own after the ^C.
    if (received == SIGINT) std::fputc('\n', stderr);
    std::_Exit(128 + received);
  }).detach();
}

}  // namespace plat::posix
