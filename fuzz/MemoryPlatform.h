// A platform whose files and folders live in memory, for harnesses that drive a whole run:
// nothing touches the disk, every run starts from the same state, and every change is checked
// against the folder it is allowed in. Paths use "/" and start at "/".
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fuzz_support {

class MemoryPlatform : public plat::Platform {
 public:
  static constexpr const char* kProgramPath = "/prog/stub";
  static constexpr const char* kTempFolder = "/tmp/";

  // An empty file system with the program file holding `package`, "/tmp" and "/prog".
  explicit MemoryPlatform(std::vector<uint8_t> package);

  // Puts a file or folder in place without counting it as a change.
  void AddFile(const std::string& path, std::vector<uint8_t> bytes) {
    files_[path] = std::move(bytes);
  }
  void AddFolder(const std::string& path) { folders_.insert(path); }
  // Changes are allowed only to paths that start with `prefix` (default: the temporary
  // folder's "se_" work folders) and hold no ".." step; any other change aborts.
  void AllowChangesBelow(std::string prefix) { allowed_ = std::move(prefix); }

  // Where the library entry points come from when "cabinet.dll" is loaded.
  using SymbolLookup = void* (*)(const char* name);
  void SetCabinetSymbols(SymbolLookup lookup) { symbols_ = lookup; }

  bool Exists(const std::string& path) const { return files_.count(path) || folders_.count(path); }
  const std::vector<uint8_t>* File(const std::string& path) const;
  size_t OpenHandles() const { return handles_.size(); }
  // Every path changed (written, made, removed, attributes set), in order.
  const std::vector<std::string>& Changed() const { return changed_; }
  const std::vector<std::string>& Launched() const { return launched_; }
  int Questions() const { return questions_; }
  int Errors() const { return errors_; }

  plat::FileHandle OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                            plat::Disposition disposition, uint32_t flagsAndAttributes) override;
  bool Read(plat::FileHandle file, void* buffer, uint32_t count, uint32_t& done) override;
  bool Write(plat::FileHandle file, const void* buffer, uint32_t count, uint32_t& done) override;
  int64_t Seek(plat::FileHandle file, int64_t distance, plat::SeekOrigin origin) override;
  bool Close(plat::FileHandle file) override;
  bool SetFileTimeFromDos(plat::FileHandle file, uint16_t dosDate, uint16_t dosTime) override;
  bool MakeFolder(const std::string& path, bool ownerOnly = false) override;
  bool RemoveFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool ForceRemoveFile(const std::string& path) override { return RemoveFile(path); }
  uint32_t FileAttributes(const std::string& path) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool MarkExecutable(const std::string& path) override;
  bool FindFiles(const std::string& folder, std::vector<plat::DirEntry>& entries) override;
  bool FindFile(const std::string& path, plat::DirEntry& entry) override;
  std::string FullPathName(const std::string& path) override;
  bool FileInfo(const std::string& path, plat::FileDetails& details) override;
  bool RenameOver(const std::string& from, const std::string& to) override;
  std::string ProgramPath() override { return kProgramPath; }
  bool TempPath(std::string& path) override;
  plat::SystemTime UtcTimeOfDay() override { return {12, 34, 56, 789}; }
  bool RunAndWait(const std::string& program, const std::string& currentDir) override;
  bool ShellOpen(const std::string& path) override;
  std::vector<std::string> CommandArguments(int, char**) override { return {}; }
  // No standard streams and no console; interruptions never come.
  plat::FileHandle StandardStream(plat::StdStream) override { return plat::kInvalidFile; }
  bool IsConsole(plat::FileHandle) override { return false; }
  void OnInterrupt(void (*)()) override {}
  void Pause(uint32_t) override {}
  bool IsTransientError(uint32_t code) override { return code == kBusy; }
  void Beep(uint32_t) override {}
  int ShowMessage(const std::string& text, const std::string& caption, uint32_t style) override;
  plat::ModuleHandle LoadModule(const std::string& name) override;
  void* FindSymbol(plat::ModuleHandle module, const char* name) override;
  bool ReleaseModule(plat::ModuleHandle module) override;
  void RestrictLibrarySearch() override {}
  std::string ModuleNameFor(const void*, std::uintptr_t& offset) override;
  uint32_t LastError() override { return error_; }
  std::string ErrorText(uint32_t code) override { return "error " + std::to_string(code); }
  std::string AnsiToUtf8(const std::string& text) override { return text; }

 private:
  static constexpr uint32_t kBusy = 16;  // EBUSY, what an open file's removal answers
  struct Open {
    std::string path;
    int64_t position;
    bool writable;
  };
  bool Fail(uint32_t code);
  bool ParentExists(const std::string& path) const;
  void Changing(const std::string& path);

  std::map<std::string, std::vector<uint8_t>> files_;
  std::map<std::string, uint32_t> attributes_;
  std::set<std::string> folders_;
  std::map<plat::FileHandle, Open> handles_;
  plat::FileHandle nextHandle_ = 3;
  std::vector<std::string> changed_, launched_;
  int questions_ = 0;
  int errors_ = 0;
  uint32_t error_ = 0;
  SymbolLookup symbols_ = nullptr;
  std::string allowed_ = std::string(kTempFolder) + "se_";
};

}  // namespace fuzz_support
