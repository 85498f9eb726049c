// The POSIX backend: the Windows services of Platform.h rendered with their nearest POSIX
// equivalents. Private to platform/posix.
#pragma once

#include "platform/Platform.h"

namespace plat::posix {

class PosixPlatform final : public Platform {
 public:
  FileHandle OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                      Disposition disposition, uint32_t flagsAndAttributes) override;
  bool Read(FileHandle file, void* buffer, uint32_t count, uint32_t& done) override;
  bool Write(FileHandle file, const void* buffer, uint32_t count, uint32_t& done) override;
  int64_t Seek(FileHandle file, int64_t distance, SeekOrigin origin) override;
  bool Close(FileHandle file) override;
  bool SetFileTimeFromDos(FileHandle file, uint16_t dosDate, uint16_t dosTime) override;

  bool MakeFolder(const std::string& path, bool ownerOnly = false) override;
  bool RemoveFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool ForceRemoveFile(const std::string& path) override;
  uint32_t FileAttributes(const std::string& path) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool MarkExecutable(const std::string& path) override;
  bool FindFiles(const std::string& folder, std::vector<DirEntry>& entries) override;
  bool FindFile(const std::string& path, DirEntry& entry) override;
  std::string FullPathName(const std::string& path) override;
  bool FileInfo(const std::string& path, FileDetails& details) override;
  bool RenameOver(const std::string& from, const std::string& to) override;

  std::string ProgramPath() override;
  bool TempPath(std::string& path) override;
  SystemTime UtcTimeOfDay() override;
  bool RunAndWait(const std::string& program, const std::string& currentDir) override;
  bool ShellOpen(const std::string& path) override;
  std::vector<std::string> CommandArguments(int argc, char** argv) override;
  FileHandle StandardStream(StdStream which) override;
  bool IsConsole(FileHandle file) override;
  void OnInterrupt(void (*cleanup)()) override;
  void Pause(uint32_t milliseconds) override;
  bool IsTransientError(uint32_t code) override;

  void Beep(uint32_t type) override;
  int ShowMessage(const std::string& text, const std::string& caption, uint32_t style) override;

  ModuleHandle LoadModule(const std::string& name) override;
  void* FindSymbol(ModuleHandle module, const char* name) override;
  bool ReleaseModule(ModuleHandle module) override;
  void RestrictLibrarySearch() override;
  std::string ModuleNameFor(const void* address, std::uintptr_t& offset) override;

  uint32_t LastError() override;
  std::string ErrorText(uint32_t code) override;

  std::string AnsiToUtf8(const std::string& text) override { return text; }
};

// Remembers `error` as the cause of the failing call (LastError); returns false for brevity.
bool Fail(int error);

// The executable's real path ("/proc/self/exe" resolved), empty when it cannot be read.
std::string ExecutablePath();

}  // namespace plat::posix
