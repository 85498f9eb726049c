// Whole-file reads, all-or-nothing writes and scratch space for the commands. Everything they
// leave behind while working (temporary outputs, scratch folders) is removed again when the
// process is interrupted.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace sepack {

// The file's bytes ("-": standard input); std::runtime_error naming the path and the OS's
// reason when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// A file written to a temporary name beside `path` and renamed over `path` by Commit, so that
// a failure or an interruption never leaves a partial file at `path`. The temporary file is
// created at once: an output that cannot be written is found before any work is done.
// "-" writes to standard output instead (no temporary file). On POSIX the file gets `mode`
// less the umask (execute bits only where the system has them). std::runtime_error naming the path
// and the OS's reason on failure.
class AtomicOutput {
 public:
  explicit AtomicOutput(const std::string& path, unsigned mode = 0666);
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  void Write(std::string_view bytes);
  // Appends the whole content of the file at `source`, a piece at a time.
  void Append(const std::string& source);
  int64_t Written() const { return written_; }
  void Commit();

 private:
  std::string path_;
  std::string temp_;
  std::intptr_t file_ = -1;
  unsigned mode_ = 0666;
  int64_t written_ = 0;
  bool committed_ = false;
};

// Writes `data` to `path` through an AtomicOutput.
void WriteFileAtomically(const std::string& path, const uint8_t* data, size_t size,
                         unsigned mode = 0666);
// The same for a file made of `pieces`, one after another.
void WriteFileAtomically(const std::string& path, std::initializer_list<std::string_view> pieces,
                         unsigned mode = 0666);

// Refuses (std::runtime_error) an output that would overwrite one of `inputs` or, when
// `folderInputs`, lie inside an input folder: writing it would destroy the input, or pack the
// output into itself.
void CheckOutputIsNotAnInput(const std::string& output, const std::vector<std::string>& inputs,
                             bool folderInputs = true);

// `folder` and `name` joined with the system's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Makes `folder` and the folders above it as needed; std::runtime_error with the reason when it
// is not a folder afterwards.
void MakeOutputFolder(const std::string& folder);

// A fresh private folder in the temporary directory, removed with everything in it when the
// object goes.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix = "sepack");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return JoinPath(path_, name); }

 private:
  std::string path_;
};

// From here on, an interruption (Ctrl-C; SIGINT, SIGTERM, SIGHUP) removes every temporary
// output and scratch folder still in use, then ends the process as interrupted (128 + the
// signal's number on POSIX). Call once, before any other thread starts.
void RemoveScratchOnInterrupt();

// The last component of `path` (either separator on Windows).
std::string BaseName(const std::string& path);
// The folder part of `path`; empty when it has none.
std::string ParentPath(const std::string& path);
// True when `path` names a folder (links followed).
bool IsFolder(const std::string& path);
// True when `path` names a regular file (links followed).
bool IsRegularFile(const std::string& path);
// Removes `path` and, when it is a folder, everything in it (links are removed, not followed).
void RemoveTree(const std::string& path);
// The system's reason for the last failed platform call.
std::string LastErrorText();

}  // namespace sepack
