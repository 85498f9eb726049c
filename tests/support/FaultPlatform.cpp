#include "tests/support/FaultPlatform.h"

#include <algorithm>

namespace testing_support {

const char* OpName(Op op) {
  static constexpr const char* kNames[] = {"OpenFile",
                                           "Read",
                                           "Write",
                                           "Seek",
                                           "Close",
                                           "SetFileTime",
                                           "MakeFolder",
                                           "RemoveFolder",
                                           "RemoveFile",
                                           "FileAttributes",
                                           "SetAttributes",
                                           "FindFiles",
                                           "FindFile",
                                           "FullPathName",
                                           "ProgramPath",
                                           "TempPath",
                                           "UtcTimeOfDay",
                                           "RunAndWait",
                                           "ShellOpen",
                                           "Beep",
                                           "ShowMessage",
                                           "LoadModule",
                                           "FindSymbol",
                                           "ReleaseModule",
                                           "RestrictLibrarySearch",
                                           "ModuleNameFor",
                                           "ForceRemoveFile",
                                           "Pause",
                                           "FileInfo",
                                           "RenameOver",
                                           "StandardStream",
                                           "OnInterrupt",
                                           "MarkExecutable"};
  return kNames[static_cast<int>(op)];
}

FaultPlatform::FaultPlatform(plat::Platform& inner) : inner_(inner) {}

void FaultPlatform::FailNth(Op op, int n, uint32_t code) {
  pending_.push_back({op, std::max(n, 0), code});
}

void FaultPlatform::FailWhen(FailIf rule) {
  rule_ = std::move(rule);
}

void FaultPlatform::DiskFullAfter(uint64_t bytes, uint32_t code) {
  diskLeft_ = bytes;
  diskFullCode_ = code;
}

void FaultPlatform::ClearFaults() {
  pending_.clear();
  rule_ = nullptr;
  diskLeft_.reset();
}

void FaultPlatform::AnswerMessages(std::vector<int> answers) {
  answers_.assign(answers.begin(), answers.end());
}

int FaultPlatform::Count(Op op) const {
  const auto found = counts_.find(op);
  return found == counts_.end() ? 0 : found->second;
}

std::optional<uint32_t> FaultPlatform::Begin(Op op, const std::string& path) {
  ++counts_[op];
  std::optional<uint32_t> code;
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->op != op) {
      ++it;
    } else if (it->remaining == 0) {  // every call
      if (!code) code = it->code;
      ++it;
    } else if (--it->remaining == 0) {
      if (!code) code = it->code;
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
  if (!code && rule_) code = rule_(op, path);
  return code;
}

void FaultPlatform::Injected(Op op, const std::string& path, uint32_t code) {
  error_ = code;
  calls_.push_back({op, path, true});
  if (observer_) observer_(calls_.back());
}

void FaultPlatform::End(Op op, const std::string& path, bool failed) {
  if (failed) {
    error_ = inner_.LastError();  // taken at once, before anything else can change it
  } else {
    error_.reset();
  }
  calls_.push_back({op, path, failed});
  if (observer_) observer_(calls_.back());
}

template <typename Result, typename Forward>
Result FaultPlatform::Through(Op op, const std::string& path, Result failure, Forward&& call) {
  if (const auto code = Begin(op, path)) {
    Injected(op, path, *code);
    return failure;
  }
  Result result = call();
  End(op, path, result == failure);
  return result;
}

std::string FaultPlatform::PathOf(plat::FileHandle file) const {
  const auto found = openFiles_.find(file);
  return found == openFiles_.end() ? std::string() : found->second.path;
}

// --- Files.

plat::FileHandle FaultPlatform::OpenFile(const std::string& path, uint32_t access,
                                         uint32_t shareMode, plat::Disposition disposition,
                                         uint32_t flagsAndAttributes) {
  const plat::FileHandle file = Through(Op::kOpenFile, path, plat::kInvalidFile, [&] {
    return inner_.OpenFile(path, access, shareMode, disposition, flagsAndAttributes);
  });
  if (file != plat::kInvalidFile) {
    const bool writable = (access & plat::access::kWrite) != 0;
    openFiles_[file] = {path, writable};
    if (writable) changed_.push_back(path);
  }
  return file;
}

bool FaultPlatform::Read(plat::FileHandle file, void* buffer, uint32_t count, uint32_t& done) {
  done = 0;
  return Through(Op::kRead, PathOf(file), false,
                 [&] { return inner_.Read(file, buffer, count, done); });
}

bool FaultPlatform::Write(plat::FileHandle file, const void* buffer, uint32_t count,
                          uint32_t& done) {
  done = 0;
  const std::string path = PathOf(file);
  if (const auto code = Begin(Op::kWrite, path)) {
    Injected(Op::kWrite, path, *code);
    return false;
  }
  // A full disk takes what fits, then refuses the rest.
  const uint32_t fits =
      diskLeft_ ? static_cast<uint32_t>(std::min<uint64_t>(count, *diskLeft_)) : count;
  const bool ok = fits == 0 || inner_.Write(file, buffer, fits, done);
  if (diskLeft_) *diskLeft_ -= done;
  if (ok && fits < count) {
    Injected(Op::kWrite, path, diskFullCode_);
    return false;
  }
  End(Op::kWrite, path, !ok);
  return ok;
}

int64_t FaultPlatform::Seek(plat::FileHandle file, int64_t distance, plat::SeekOrigin origin) {
  return Through(Op::kSeek, PathOf(file), int64_t{-1},
                 [&] { return inner_.Seek(file, distance, origin); });
}

bool FaultPlatform::Close(plat::FileHandle file) {
  const std::string path = PathOf(file);
  openFiles_.erase(file);
  if (const auto code = Begin(Op::kClose, path)) {
    inner_.Close(file);  // an injected failure still closes, so tests leak no handles
    Injected(Op::kClose, path, *code);
    return false;
  }
  const bool ok = inner_.Close(file);
  End(Op::kClose, path, !ok);
  return ok;
}

bool FaultPlatform::SetFileTimeFromDos(plat::FileHandle file, uint16_t dosDate, uint16_t dosTime) {
  const std::string path = PathOf(file);
  const bool ok = Through(Op::kSetFileTime, path, false,
                          [&] { return inner_.SetFileTimeFromDos(file, dosDate, dosTime); });
  if (ok) changed_.push_back(path);
  return ok;
}

// --- File system.

bool FaultPlatform::MakeFolder(const std::string& path, bool ownerOnly) {
  const bool ok =
      Through(Op::kMakeFolder, path, false, [&] { return inner_.MakeFolder(path, ownerOnly); });
  if (ok) changed_.push_back(path);
  return ok;
}

bool FaultPlatform::RemoveFolder(const std::string& path) {
  const bool ok =
      Through(Op::kRemoveFolder, path, false, [&] { return inner_.RemoveFolder(path); });
  if (ok) changed_.push_back(path);
  return ok;
}

bool FaultPlatform::RemoveFile(const std::string& path) {
  const bool ok = Through(Op::kRemoveFile, path, false, [&] { return inner_.RemoveFile(path); });
  if (ok) changed_.push_back(path);
  return ok;
}

bool FaultPlatform::ForceRemoveFile(const std::string& path) {
  const bool ok =
      Through(Op::kForceRemoveFile, path, false, [&] { return inner_.ForceRemoveFile(path); });
  if (ok) changed_.push_back(path);
  return ok;
}

uint32_t FaultPlatform::FileAttributes(const std::string& path) {
  return Through(Op::kFileAttributes, path, plat::attr::kInvalid,
                 [&] { return inner_.FileAttributes(path); });
}

bool FaultPlatform::SetAttributes(const std::string& path, uint32_t attributes) {
  const bool ok = Through(Op::kSetAttributes, path, false,
                          [&] { return inner_.SetAttributes(path, attributes); });
  if (ok) changed_.push_back(path);
  return ok;
}

bool FaultPlatform::MarkExecutable(const std::string& path) {
  const bool ok =
      Through(Op::kMarkExecutable, path, false, [&] { return inner_.MarkExecutable(path); });
  if (ok) changed_.push_back(path);
  return ok;
}

bool FaultPlatform::FindFiles(const std::string& folder, std::vector<plat::DirEntry>& entries) {
  entries.clear();
  return Through(Op::kFindFiles, folder, false, [&] { return inner_.FindFiles(folder, entries); });
}

bool FaultPlatform::FindFile(const std::string& path, plat::DirEntry& entry) {
  return Through(Op::kFindFile, path, false, [&] { return inner_.FindFile(path, entry); });
}

std::string FaultPlatform::FullPathName(const std::string& path) {
  return Through(Op::kFullPathName, path, std::string(), [&] { return inner_.FullPathName(path); });
}

bool FaultPlatform::FileInfo(const std::string& path, plat::FileDetails& details) {
  return Through(Op::kFileInfo, path, false, [&] { return inner_.FileInfo(path, details); });
}

bool FaultPlatform::RenameOver(const std::string& from, const std::string& to) {
  const bool ok = Through(Op::kRenameOver, to, false, [&] { return inner_.RenameOver(from, to); });
  if (ok) {
    changed_.push_back(from);
    changed_.push_back(to);
  }
  return ok;
}

// --- Process and environment.

std::vector<std::string> FaultPlatform::CommandArguments(int argc, char** argv) {
  return inner_.CommandArguments(argc, argv);
}

plat::FileHandle FaultPlatform::StandardStream(plat::StdStream which) {
  return Through(Op::kStandardStream, "", plat::kInvalidFile,
                 [&] { return inner_.StandardStream(which); });
}

bool FaultPlatform::IsConsole(plat::FileHandle file) {
  return inner_.IsConsole(file);
}

void FaultPlatform::OnInterrupt(void (*cleanup)()) {
  Begin(Op::kOnInterrupt, "");  // cannot fail
  inner_.OnInterrupt(cleanup);
  End(Op::kOnInterrupt, "", false);
}

std::string FaultPlatform::ProgramPath() {
  return Through(Op::kProgramPath, "", std::string(),
                 [&] { return programPath_ ? *programPath_ : inner_.ProgramPath(); });
}

bool FaultPlatform::TempPath(std::string& path) {
  return Through(Op::kTempPath, "", false, [&] {
    if (!tempPath_) return inner_.TempPath(path);
    path = *tempPath_;
    return true;
  });
}

plat::SystemTime FaultPlatform::UtcTimeOfDay() {
  Begin(Op::kUtcTimeOfDay, "");  // cannot fail
  const plat::SystemTime now = timeOfDay_ ? *timeOfDay_ : inner_.UtcTimeOfDay();
  End(Op::kUtcTimeOfDay, "", false);
  return now;
}

bool FaultPlatform::RunAndWait(const std::string& program, const std::string& currentDir) {
  return Through(Op::kRunAndWait, program, false,
                 [&] { return inner_.RunAndWait(program, currentDir); });
}

bool FaultPlatform::ShellOpen(const std::string& path) {
  return Through(Op::kShellOpen, path, false, [&] { return inner_.ShellOpen(path); });
}

void FaultPlatform::Pause(uint32_t milliseconds) {
  Begin(Op::kPause, "");
  paused_ += milliseconds;  // no real wait: a test of a retry runs at once
  End(Op::kPause, "", false);
}

bool FaultPlatform::IsTransientError(uint32_t code) {
  return inner_.IsTransientError(code);
}

// --- User interface.

void FaultPlatform::Beep(uint32_t type) {
  Begin(Op::kBeep, "");
  beeps_.push_back(type);
  if (forwardMessages_) inner_.Beep(type);
  End(Op::kBeep, "", false);
}

int FaultPlatform::ShowMessage(const std::string& text, const std::string& caption,
                               uint32_t style) {
  if (const auto code = Begin(Op::kShowMessage, text)) {  // MessageBoxA's failure: 0
    Injected(Op::kShowMessage, text, *code);
    return 0;
  }
  int answer;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  } else if (forwardMessages_) {
    answer = inner_.ShowMessage(text, caption, style);
  } else {
    answer = (style & 0x0F) == plat::mb::kYesNo ? plat::mb::kIdNo : plat::mb::kIdOk;
  }
  messages_.push_back({text, caption, style, answer});
  End(Op::kShowMessage, text, false);
  return answer;
}

// --- Modules.

plat::ModuleHandle FaultPlatform::LoadModule(const std::string& name) {
  return Through(Op::kLoadModule, name, plat::ModuleHandle{nullptr},
                 [&] { return inner_.LoadModule(name); });
}

void* FaultPlatform::FindSymbol(plat::ModuleHandle module, const char* name) {
  return Through(Op::kFindSymbol, name != nullptr ? name : "", static_cast<void*>(nullptr),
                 [&] { return inner_.FindSymbol(module, name); });
}

bool FaultPlatform::ReleaseModule(plat::ModuleHandle module) {
  return Through(Op::kReleaseModule, "", false, [&] { return inner_.ReleaseModule(module); });
}

void FaultPlatform::RestrictLibrarySearch() {
  Begin(Op::kRestrictLibrarySearch, "");
  inner_.RestrictLibrarySearch();
  End(Op::kRestrictLibrarySearch, "", false);
}

std::string FaultPlatform::ModuleNameFor(const void* address, std::uintptr_t& offset) {
  Begin(Op::kModuleNameFor, "");
  std::string name = inner_.ModuleNameFor(address, offset);
  End(Op::kModuleNameFor, "", false);
  return name;
}

// --- Errors.

uint32_t FaultPlatform::LastError() {
  return error_ ? *error_ : inner_.LastError();
}

std::string FaultPlatform::ErrorText(uint32_t code) {
  return inner_.ErrorText(code);
}

std::string FaultPlatform::AnsiToUtf8(const std::string& text) {
  return inner_.AnsiToUtf8(text);
}

}  // namespace testing_support
