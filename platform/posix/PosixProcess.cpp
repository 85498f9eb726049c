// The program's own file, the temporary directory, the time of day and starting programs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "platform/posix/PosixPlatform.h"

extern char** environ;

namespace plat::posix {
namespace {

// Cabinets carry no POSIX mode: give execute permission wherever read permission is given.
void MakeExecutable(const std::string& path, const struct stat& st) {
  mode_t mode = st.st_mode & 07777;
  mode |= S_IXUSR;
  if (mode & S_IRGRP) mode |= S_IXGRP;
  if (mode & S_IROTH) mode |= S_IXOTH;
  if (mode != (st.st_mode & 07777)) chmod(path.c_str(), mode);  // if refused, exec will tell
}

// `name` looked up on $PATH as execvp would; empty when there is no executable of that name.
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

std::string ExecutablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) return buffer.substr(0, static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string PosixPlatform::ProgramPath() {
  // The real path where it still names our file; "/proc/self/exe" itself opens the running
  // image even when it has been deleted or replaced meanwhile.
  std::string path = ExecutablePath();
  struct stat named, running;
  if (!path.empty() && stat(path.c_str(), &named) == 0 && stat("/proc/self/exe", &running) == 0 &&
      named.st_dev == running.st_dev && named.st_ino == running.st_ino) {
    return path;
  }
  return "/proc/self/exe";
}

bool PosixPlatform::TempPath(std::string& path) {
  const char* dir = std::getenv("TMPDIR");
  path = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  return true;
}

SystemTime PosixPlatform::UtcTimeOfDay() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  return {static_cast<uint16_t>(utc.tm_hour), static_cast<uint16_t>(utc.tm_min),
          static_cast<uint16_t>(utc.tm_sec), static_cast<uint16_t>(now.tv_nsec / 1000000)};
}

bool PosixPlatform::RunAndWait(const std::string& program, const std::string& currentDir) {
  // Resolved here, against our own current directory, as CreateProcessA does; the child changes
  // directory before it starts the program.
  const std::string full = FullPathName(program);
  if (full.empty()) return false;
  struct stat st;
  if (stat(full.c_str(), &st) != 0) return Fail(errno);
  if (!S_ISREG(st.st_mode)) return Fail(EACCES);
  MakeExecutable(full, st);

  posix_spawn_file_actions_t actions;
  if (int error = posix_spawn_file_actions_init(&actions); error != 0) return Fail(error);
  std::unique_ptr<posix_spawn_file_actions_t, int (*)(posix_spawn_file_actions_t*)> owner(
      &actions, posix_spawn_file_actions_destroy);
  if (!currentDir.empty()) {
    if (int error = posix_spawn_file_actions_addchdir_np(&actions, currentDir.c_str());
        error != 0) {
      return Fail(error);
    }
  }
  // No arguments beyond the program's own name. glibc's posix_spawn reports a failed chdir or
  // exec as its result, so a child that never ran the program is not taken for a started one.
  char* const argv[] = {const_cast<char*>(full.c_str()), nullptr};
  pid_t pid = 0;
  if (int error = posix_spawn(&pid, full.c_str(), &actions, nullptr, argv, environ); error != 0) {
    return Fail(error);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return Fail(errno);
  }
  return true;
}

void PosixPlatform::Pause(uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

bool PosixPlatform::IsTransientError(uint32_t code) {
  switch (static_cast<int>(code)) {
    case EBUSY:
    case ETXTBSY:
    case ENOTEMPTY:
    case EEXIST:  // rmdir's other word for a folder that is not empty
      return true;
    default:
      return false;
  }
}

bool PosixPlatform::ShellOpen(const std::string& path) {
  const std::string opener = FindOnPath("xdg-open");
  if (opener.empty()) return Fail(ENOENT);
  // Detached: an intermediate child starts the opener in a session of its own and ends at once,
  // so nothing is left for us to wait for or to reap.
  const pid_t child = fork();
  if (child < 0) return Fail(errno);
  if (child == 0) {
    setsid();
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(path.c_str()),
                            nullptr};
      execve(opener.c_str(), argv, environ);
      _exit(127);
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return Fail(errno);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail(EAGAIN);
  return true;
}

}  // namespace plat::posix
