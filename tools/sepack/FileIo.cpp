#include "tools/sepack/FileIo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>

#include "platform/Platform.h"

namespace sepack {
namespace {

plat::Platform& Os() {
  return plat::Current();
}

std::runtime_error SystemError(const std::string& what, const std::string& path) {
  return std::runtime_error(what + " '" + path + "': " + LastErrorText());
}

bool IsSeparator(char c) {
  return c == '/' || (plat::kPathDelim == '\\' && c == '\\');
}

// Paths to remove should the process be interrupted.
std::mutex scratchMutex;
std::set<std::string> scratchPaths;

void Untrack(const std::string& path) {
  const std::lock_guard lock(scratchMutex);
  scratchPaths.erase(path);
}

// Six characters that make a scratch name unlikely to be taken.
std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mutex randomMutex;
  static std::mt19937_64 random{std::random_device{}()};
  const std::lock_guard lock(randomMutex);
  std::string suffix(6, 'x');
  for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
  return suffix;
}

void WriteAll(plat::FileHandle file, std::string_view bytes, const std::string& name) {
  size_t done = 0;
  while (done < bytes.size()) {
    const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, 1u << 30));
    uint32_t written = 0;
    if (!Os().Write(file, bytes.data() + done, piece, written)) {
      throw SystemError("cannot write", name);
    }
    if (written == 0) throw std::runtime_error("cannot write '" + name + "'");
    done += written;
  }
}

// Reads `file` to its end, appending to `sink` a piece at a time.
template <typename Sink>
void ReadToEnd(plat::FileHandle file, const std::string& name, Sink&& sink) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    uint32_t done = 0;
    if (!Os().Read(file, buffer.data(), static_cast<uint32_t>(buffer.size()), done)) {
      throw SystemError("cannot read", name);
    }
    if (done == 0) break;
    sink(std::string_view(buffer.data(), done));
  }
}

// Closes a handle this file opened when the scope ends.
struct HandleCloser {
  plat::FileHandle file;
  ~HandleCloser() {
    if (file != plat::kInvalidFile) Os().Close(file);
  }
};

plat::FileHandle OpenForReading(const std::string& path) {
  if (IsFolder(path)) throw std::runtime_error("cannot read '" + path + "': it is a folder");
  const plat::FileHandle file =
      Os().OpenFile(path, plat::access::kRead, plat::share::kRead | plat::share::kWrite,
                    plat::Disposition::kOpenExisting, plat::flag::kSequentialScan);
  if (file == plat::kInvalidFile) throw SystemError("cannot open", path);
  return file;
}

void RemoveScratch() {
  const std::lock_guard lock(scratchMutex);
  for (const std::string& path : scratchPaths) {
    // Another thread may still be writing into a scratch folder: try again if it refills.
    for (int attempt = 0; attempt < 3; ++attempt) {
      RemoveTree(path);
      if (Os().FileAttributes(path) == plat::attr::kInvalid) break;
    }
  }
}

}  // namespace

std::string LastErrorText() {
  const uint32_t code = Os().LastError();
  std::string text = Os().ErrorText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code) : text;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return IsSeparator(folder.back()) ? folder + name : folder + plat::kPathDelim + name;
}

std::string BaseName(const std::string& path) {
  const auto at = std::find_if(path.rbegin(), path.rend(), IsSeparator);
  return std::string(at.base(), path.end());
}

std::string ParentPath(const std::string& path) {
  const auto at = std::find_if(path.rbegin(), path.rend(), IsSeparator);
  if (at == path.rend()) return {};
  std::string parent(path.begin(), at.base() - 1);
  // The root keeps its separator: "/", and "C:\" rather than "C:", which names the current
  // folder of drive C.
  const bool drive = plat::kPathDelim == '\\' && parent.size() == 2 && parent[1] == ':';
  return parent.empty() || drive ? parent + *at : parent;
}

bool IsFolder(const std::string& path) {
  plat::FileDetails details;
  return Os().FileInfo(path, details) && (details.attributes & plat::attr::kDirectory) != 0;
}

bool IsRegularFile(const std::string& path) {
  plat::FileDetails details;
  return Os().FileInfo(path, details) &&
         (details.attributes & (plat::attr::kDirectory | plat::attr::kDevice)) == 0;
}

void RemoveTree(const std::string& path) {
  const uint32_t attributes = Os().FileAttributes(path);
  if (attributes == plat::attr::kInvalid) return;
  if ((attributes & plat::attr::kDirectory) && !(attributes & plat::attr::kReparsePoint)) {
    std::vector<plat::DirEntry> entries;
    if (Os().FindFiles(path, entries)) {
      for (const plat::DirEntry& e : entries) {
        if (e.name != "." && e.name != "..") RemoveTree(JoinPath(path, e.name));
      }
    }
    Os().RemoveFolder(path);
    return;
  }
  if (!Os().ForceRemoveFile(path) && (attributes & plat::attr::kDirectory)) {
    Os().RemoveFolder(path);  // a link to a folder on Windows is removed as a folder
  }
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> data;
  const auto append = [&data](std::string_view piece) {
    data.insert(data.end(), piece.begin(), piece.end());
  };
  if (path == "-") {
    const plat::FileHandle in = Os().StandardStream(plat::StdStream::kInput);
    if (in == plat::kInvalidFile) throw SystemError("cannot read", path);
    ReadToEnd(in, path, append);
    return data;
  }
  const HandleCloser in{OpenForReading(path)};
  plat::FileDetails details;
  if (Os().FileInfo(path, details) && details.size > 0) {
    data.reserve(static_cast<size_t>(details.size));
  }
  ReadToEnd(in.file, path, append);
  return data;
}

AtomicOutput::AtomicOutput(const std::string& path, unsigned mode) : path_(path), mode_(mode) {
  if (path == "-") {
    file_ = Os().StandardStream(plat::StdStream::kOutput);
    if (file_ == plat::kInvalidFile) throw SystemError("cannot write", path);
    return;
  }
  if (IsFolder(path)) throw std::runtime_error("cannot write '" + path + "': it is a folder");
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = path + "." + RandomSuffix();
    // Registered before it exists, so that an interruption cannot fall between the two.
    const std::lock_guard lock(scratchMutex);
    // Deletable while open, so that an interruption can remove it from another thread.
    file_ = Os().OpenFile(candidate, plat::access::kWrite, plat::share::kDelete,
                          plat::Disposition::kCreateNew, plat::attr::kNormal);
    if (file_ != plat::kInvalidFile) {
      temp_ = candidate;
      scratchPaths.insert(temp_);
      return;
    }
    // Another name only when this one was taken.
    if (Os().FileAttributes(candidate) == plat::attr::kInvalid) break;
  }
  throw SystemError("cannot write", path);
}

AtomicOutput::~AtomicOutput() {
  if (temp_.empty()) return;
  if (file_ != plat::kInvalidFile) Os().Close(file_);
  if (!committed_) Os().ForceRemoveFile(temp_);
  Untrack(temp_);
}

void AtomicOutput::Write(std::string_view bytes) {
  WriteAll(file_, bytes, path_);
  written_ += static_cast<int64_t>(bytes.size());
}

void AtomicOutput::Append(const std::string& source) {
  const HandleCloser in{OpenForReading(source)};
  ReadToEnd(in.file, source, [this](std::string_view piece) { Write(piece); });
}

void AtomicOutput::Commit() {
  if (temp_.empty()) return;  // standard output
  const plat::FileHandle file = file_;
  file_ = plat::kInvalidFile;
  if (!Os().Close(file)) throw SystemError("cannot write", path_);
  if ((mode_ & 0111) != 0 && !Os().MarkExecutable(temp_)) throw SystemError("cannot write", path_);
  if (!Os().RenameOver(temp_, path_)) throw SystemError("cannot write", path_);
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
  const std::string target = Os().FullPathName(output);
  plat::FileDetails outputFile;
  const bool outputExists = Os().FileInfo(output, outputFile);
  for (const std::string& input : inputs) {
    if (input == "-") continue;
    plat::FileDetails source;
    const bool inputExists = Os().FileInfo(input, source);
    // The same file under another name, through a link or a hard link counts as well.
    const bool same = outputExists && inputExists
                          ? outputFile.volume == source.volume && outputFile.fileId == source.fileId
                          : !target.empty() && target == Os().FullPathName(input);
    if (same) {
      throw std::runtime_error("the output '" + output + "' is the input '" + input +
                               "'; name another output");
    }
    if (!folderInputs || !inputExists || !(source.attributes & plat::attr::kDirectory)) continue;
    // Inside when any folder above the output is the input folder, by whatever path.
    for (std::string above = ParentPath(target); !above.empty(); above = ParentPath(above)) {
      plat::FileDetails folder;
      if (Os().FileInfo(above, folder) && folder.volume == source.volume &&
          folder.fileId == source.fileId) {
        throw std::runtime_error("the output '" + output + "' lies inside the input folder '" +
                                 input + "' and would be packed into itself; name another output");
      }
      if (ParentPath(above) == above) break;  // the root
    }
  }
}

ScratchDir::ScratchDir(const std::string& prefix) {
  std::string temp;
  if (!Os().TempPath(temp)) throw SystemError("cannot find the temporary folder", prefix);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = JoinPath(temp, prefix + "." + RandomSuffix());
    const std::lock_guard lock(scratchMutex);
    if (Os().MakeFolder(candidate, /*ownerOnly=*/true)) {
      path_ = candidate;
      scratchPaths.insert(path_);
      return;
    }
    if (Os().FileAttributes(candidate) == plat::attr::kInvalid) {
      throw SystemError("cannot create a scratch folder like", candidate);
    }
  }
  throw std::runtime_error("cannot create a scratch folder in '" + temp + "'");
}

ScratchDir::~ScratchDir() {
  RemoveTree(path_);
  Untrack(path_);
}

void RemoveScratchOnInterrupt() {
  Os().OnInterrupt(RemoveScratch);
}

void MakeOutputFolder(const std::string& folder) {
  if (IsFolder(folder)) return;
  const std::string parent = ParentPath(folder);
  if (!parent.empty() && parent != folder && !IsFolder(parent)) MakeOutputFolder(parent);
  if (!Os().MakeFolder(folder) && !IsFolder(folder)) {
    throw std::runtime_error("cannot create the folder '" + folder + "': " + LastErrorText());
  }
}

}  // namespace sepack
