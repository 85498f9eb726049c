#include "fuzz/MemoryPlatform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>

namespace fuzz_support {
namespace {

// The opaque handle of the cabinet library: the address of this tag.
const char kCabinetTag = 0;

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// As the system reads a path: repeated separators count as one, a trailing one as none, and
// "." steps as nothing. ".." steps stay, for Changing to refuse.
std::string Canonical(const std::string& path) {
  std::string out;
  for (size_t start = 0; start <= path.size();) {
    size_t end = std::min(path.find('/', start), path.size());
    const std::string_view step(path.data() + start, end - start);
    if (!step.empty() && step != ".") (out += '/') += step;
    start = end + 1;
  }
  return out.empty() ? "/" : out;
}

// No empty, "." or ".." step: the path means what it says, without resolving.
bool Plain(const std::string& path) {
  for (size_t start = 1; start <= path.size();) {
    size_t end = std::min(path.find('/', start), path.size());
    const std::string_view step(path.data() + start, end - start);
    if (step.empty() || step == "." || step == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

MemoryPlatform::MemoryPlatform(std::vector<uint8_t> package) {
  folders_ = {"/", "/prog", "/tmp"};
  files_[kProgramPath] = std::move(package);
}

const std::vector<uint8_t>* MemoryPlatform::File(const std::string& path) const {
  auto it = files_.find(path);
  return it == files_.end() ? nullptr : &it->second;
}

bool MemoryPlatform::Fail(uint32_t code) {
  error_ = code;
  return false;
}

bool MemoryPlatform::ParentExists(const std::string& path) const {
  return folders_.count(ParentOf(path)) != 0;
}

void MemoryPlatform::Changing(const std::string& path) {
  if (path.compare(0, allowed_.size(), allowed_) != 0 || !Plain(path)) {
    std::fprintf(stderr, "changed outside %s: \"%s\"\n", allowed_.c_str(), path.c_str());
    std::abort();
  }
  changed_.push_back(path);
}

plat::FileHandle MemoryPlatform::OpenFile(const std::string& given, uint32_t access, uint32_t,
                                          plat::Disposition disposition, uint32_t) {
  const std::string path = Canonical(given);
  if (given.size() > 1 && given.back() == '/') return Fail(EISDIR), plat::kInvalidFile;
  const bool writable = access & plat::access::kWrite;
  const bool exists = files_.count(path) != 0;
  if (folders_.count(path)) return Fail(EISDIR), plat::kInvalidFile;
  if (!ParentExists(path)) return Fail(ENOENT), plat::kInvalidFile;
  auto attributes = attributes_.find(path);
  if (writable && attributes != attributes_.end() && (attributes->second & plat::attr::kReadOnly)) {
    return Fail(EACCES), plat::kInvalidFile;
  }
  switch (disposition) {
    case plat::Disposition::kOpenExisting:
    case plat::Disposition::kTruncateExisting:
      if (!exists) return Fail(ENOENT), plat::kInvalidFile;
      break;
    case plat::Disposition::kCreateNew:
      if (exists) return Fail(EEXIST), plat::kInvalidFile;
      break;
    default:
      break;
  }
  const bool truncate = disposition == plat::Disposition::kCreateAlways ||
                        disposition == plat::Disposition::kTruncateExisting;
  if (writable || truncate || !exists) Changing(path);
  if (truncate || !exists) files_[path].clear();
  handles_[nextHandle_] = Open{path, 0, writable};
  return nextHandle_++;
}

bool MemoryPlatform::Read(plat::FileHandle file, void* buffer, uint32_t count, uint32_t& done) {
  done = 0;
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(EBADF);
  const auto& data = files_[it->second.path];
  int64_t left = static_cast<int64_t>(data.size()) - it->second.position;
  if (left > 0) {
    done = static_cast<uint32_t>(left < count ? left : count);
    std::memcpy(buffer, data.data() + it->second.position, done);
    it->second.position += done;
  }
  return true;
}

bool MemoryPlatform::Write(plat::FileHandle file, const void* buffer, uint32_t count,
                           uint32_t& done) {
  done = 0;
  auto it = handles_.find(file);
  if (it == handles_.end() || !it->second.writable) return Fail(EBADF);
  auto& data = files_[it->second.path];
  const auto end = static_cast<size_t>(it->second.position) + count;
  if (end > data.size()) data.resize(end);
  if (count) std::memcpy(data.data() + it->second.position, buffer, count);
  it->second.position = static_cast<int64_t>(end);
  done = count;
  return true;
}

int64_t MemoryPlatform::Seek(plat::FileHandle file, int64_t distance, plat::SeekOrigin origin) {
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(EBADF), -1;
  int64_t base = origin == plat::SeekOrigin::kBegin     ? 0
                 : origin == plat::SeekOrigin::kCurrent ? it->second.position
                                                        : int64_t(files_[it->second.path].size());
  if (distance < -base) return Fail(EINVAL), -1;
  it->second.position = base + distance;
  return it->second.position;
}

bool MemoryPlatform::Close(plat::FileHandle file) {
  return handles_.erase(file) ? true : Fail(EBADF);
}

bool MemoryPlatform::SetFileTimeFromDos(plat::FileHandle file, uint16_t, uint16_t) {
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(EBADF);
  Changing(it->second.path);
  return true;
}

bool MemoryPlatform::MakeFolder(const std::string& given, bool) {
  const std::string path = Canonical(given);
  if (Exists(path)) return Fail(EEXIST);
  if (!ParentExists(path)) return Fail(ENOENT);
  Changing(path);
  folders_.insert(path);
  return true;
}

bool MemoryPlatform::RemoveFolder(const std::string& given) {
  const std::string path = Canonical(given);
  if (!folders_.count(path)) return Fail(ENOENT);
  const std::string inside = path + "/";
  auto child = [&](const auto& set) {
    auto it = set.lower_bound(inside);
    return it != set.end() && it->first.compare(0, inside.size(), inside) == 0;
  };
  auto folder = folders_.lower_bound(inside);
  if (child(files_) || (folder != folders_.end() && folder->compare(0, inside.size(), inside) == 0))
    return Fail(ENOTEMPTY);
  Changing(path);
  folders_.erase(path);
  return true;
}

bool MemoryPlatform::RemoveFile(const std::string& given) {
  const std::string path = Canonical(given);
  if (!files_.count(path)) return Fail(ENOENT);
  for (const auto& [handle, open] : handles_) {
    if (open.path == path) return Fail(EBUSY);  // as Windows refuses an open file
  }
  Changing(path);
  files_.erase(path);
  attributes_.erase(path);
  return true;
}

uint32_t MemoryPlatform::FileAttributes(const std::string& given) {
  const std::string path = Canonical(given);
  if (folders_.count(path)) return plat::attr::kDirectory;
  if (!files_.count(path)) return Fail(ENOENT), plat::attr::kInvalid;
  auto a = attributes_.find(path);
  return a != attributes_.end() && a->second ? a->second : plat::attr::kNormal;
}

bool MemoryPlatform::SetAttributes(const std::string& given, uint32_t attributes) {
  const std::string path = Canonical(given);
  if (!Exists(path)) return Fail(ENOENT);
  Changing(path);
  if (files_.count(path)) attributes_[path] = attributes & ~plat::attr::kNormal;
  return true;
}

bool MemoryPlatform::MarkExecutable(const std::string& given) {
  const std::string path = Canonical(given);
  if (!Exists(path)) return Fail(ENOENT);
  Changing(path);
  return true;
}

bool MemoryPlatform::FindFiles(const std::string& given, std::vector<plat::DirEntry>& entries) {
  const std::string folder = Canonical(given);
  entries.clear();
  if (!folders_.count(folder)) return Fail(ENOENT);
  entries.push_back({".", plat::attr::kDirectory});
  entries.push_back({"..", plat::attr::kDirectory});
  const std::string inside = folder == "/" ? "/" : folder + "/";
  auto direct = [&](const std::string& path) {
    return path.size() > inside.size() && path.compare(0, inside.size(), inside) == 0 &&
           path.find('/', inside.size()) == std::string::npos;
  };
  for (const auto& f : folders_) {
    if (direct(f)) entries.push_back({f.substr(inside.size()), plat::attr::kDirectory});
  }
  for (const auto& [path, data] : files_) {
    if (direct(path)) entries.push_back({path.substr(inside.size()), FileAttributes(path)});
  }
  return true;
}

bool MemoryPlatform::FindFile(const std::string& given, plat::DirEntry& entry) {
  const std::string path = Canonical(given);
  if (!Exists(path)) return Fail(ENOENT);
  entry = {path.substr(path.rfind('/') + 1), FileAttributes(path)};
  return true;
}

std::string MemoryPlatform::FullPathName(const std::string& path) {
  return !path.empty() && path.front() == '/' ? path : "/" + path;
}

bool MemoryPlatform::FileInfo(const std::string& given, plat::FileDetails& details) {
  const std::string path = Canonical(given);
  const uint32_t attributes = FileAttributes(path);
  if (attributes == plat::attr::kInvalid) return false;
  details = {};
  details.attributes = attributes;
  const auto file = files_.find(path);
  details.size = file != files_.end() ? file->second.size() : 0;
  // Each path is a file of its own: no links here.
  details.fileId = std::hash<std::string>{}(path);
  return true;
}

bool MemoryPlatform::RenameOver(const std::string& givenFrom, const std::string& givenTo) {
  const std::string from = Canonical(givenFrom), to = Canonical(givenTo);
  if (!files_.count(from)) return Fail(ENOENT);
  if (folders_.count(to) || !ParentExists(to)) return Fail(EACCES);
  Changing(from);
  Changing(to);
  std::vector<uint8_t> bytes = std::move(files_[from]);
  files_.erase(from);
  files_[to] = std::move(bytes);
  attributes_.erase(to);
  if (const auto a = attributes_.find(from); a != attributes_.end()) {
    attributes_[to] = a->second;
    attributes_.erase(a);
  }
  return true;
}

bool MemoryPlatform::TempPath(std::string& path) {
  path = kTempFolder;
  return true;
}

bool MemoryPlatform::RunAndWait(const std::string& program, const std::string&) {
  launched_.push_back(program);
  return files_.count(program) ? true : Fail(ENOENT);
}

bool MemoryPlatform::ShellOpen(const std::string&) {
  std::abort();  // never on the road of a run
}

int MemoryPlatform::ShowMessage(const std::string&, const std::string&, uint32_t style) {
  if ((style & 0xF) != plat::mb::kYesNo) return ++errors_, plat::mb::kIdOk;
  ++questions_;
  return plat::mb::kIdYes;
}

plat::ModuleHandle MemoryPlatform::LoadModule(const std::string& name) {
  if (name != "cabinet.dll" || !symbols_) return Fail(ENOENT), nullptr;
  return const_cast<char*>(&kCabinetTag);
}

void* MemoryPlatform::FindSymbol(plat::ModuleHandle module, const char* name) {
  if (module != &kCabinetTag) return Fail(EINVAL), nullptr;
  void* address = symbols_(name);
  return address ? address : (Fail(ENOSYS), nullptr);
}

bool MemoryPlatform::ReleaseModule(plat::ModuleHandle module) {
  return module == &kCabinetTag ? true : Fail(EINVAL);
}

std::string MemoryPlatform::ModuleNameFor(const void*, std::uintptr_t& offset) {
  offset = 0;
  return "stub";
}

}  // namespace fuzz_support
