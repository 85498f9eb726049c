#include "tools/sepack/StubVerdict.h"

#include <exception>
#include <utility>

#include "extractor/Extractor_U1.h"
#include "extractor/TopLevelHandler.h"
#include "platform/Platform.h"
#include "tools/sepack/FileIo.h"

namespace sepack {
namespace {

constexpr const char* kProgram = "rux.exe";
constexpr const char* kCabinet = "kem.cab";

// The native platform, but for what makes the run a check: the program's own file, the
// temporary folder, the user's answer and the launch.
class VerifyPlatform : public plat::Platform {
 public:
  VerifyPlatform(std::string package, std::string temp, StubVerdict& verdict)
      : os_(plat::Native()),
        package_(std::move(package)),
        temp_(std::move(temp)),
        verdict_(verdict) {}

  std::string ProgramPath() override { return package_; }
  bool TempPath(std::string& path) override {
    path = temp_ + "/";
    return true;
  }
  int ShowMessage(const std::string& text, const std::string& caption, uint32_t style) override {
    verdict_.boxes.push_back({text, caption, style});
    return (style & 0x0F) == plat::mb::kYesNo ? plat::mb::kIdYes : plat::mb::kIdOk;
  }
  void Beep(uint32_t) override {}
  bool RunAndWait(const std::string& program, const std::string& currentDir) override {
    verdict_.launched = true;
    const uint32_t attributes = os_.FileAttributes(program);
    verdict_.programFound =
        BaseName(program) == kProgram && attributes != plat::attr::kInvalid &&
        (attributes & (plat::attr::kDirectory | plat::attr::kDevice | plat::attr::kReparsePoint)) ==
            0;
    verdict_.filesExtracted += CountFiles(currentDir, JoinPath(currentDir, kCabinet));
    return verdict_.programFound;
  }
  bool ShellOpen(const std::string&) override { return false; }
  // The regular files under `folder` but `except`; linked folders are not followed.
  size_t CountFiles(const std::string& folder, const std::string& except) {
    std::vector<plat::DirEntry> entries;
    if (!os_.FindFiles(folder, entries)) return 0;
    size_t count = 0;
    for (const plat::DirEntry& e : entries) {
      if (e.name == "." || e.name == "..") continue;
      const std::string path = JoinPath(folder, e.name);
      if (e.attributes & plat::attr::kDirectory) {
        if (!(e.attributes & plat::attr::kReparsePoint)) count += CountFiles(path, except);
      } else if (path != except && IsRegularFile(path)) {
        ++count;
      }
    }
    return count;
  }
  // The module that raised is the stub inside the package.
  std::string ModuleNameFor(const void* address, std::uintptr_t& offset) override {
    os_.ModuleNameFor(address, offset);
    return BaseName(package_);
  }

  plat::FileHandle OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                            plat::Disposition disposition, uint32_t flags) override {
    return os_.OpenFile(path, access, shareMode, disposition, flags);
  }
  bool Read(plat::FileHandle file, void* buffer, uint32_t count, uint32_t& done) override {
    return os_.Read(file, buffer, count, done);
  }
  bool Write(plat::FileHandle file, const void* buffer, uint32_t count, uint32_t& done) override {
    return os_.Write(file, buffer, count, done);
  }
  int64_t Seek(plat::FileHandle file, int64_t distance, plat::SeekOrigin origin) override {
    return os_.Seek(file, distance, origin);
  }
  bool Close(plat::FileHandle file) override { return os_.Close(file); }
  bool SetFileTimeFromDos(plat::FileHandle file, uint16_t date, uint16_t time) override {
    return os_.SetFileTimeFromDos(file, date, time);
  }
  bool MakeFolder(const std::string& path, bool ownerOnly) override {
    return os_.MakeFolder(path, ownerOnly);
  }
  bool RemoveFolder(const std::string& path) override { return os_.RemoveFolder(path); }
  bool RemoveFile(const std::string& path) override { return os_.RemoveFile(path); }
  bool ForceRemoveFile(const std::string& path) override { return os_.ForceRemoveFile(path); }
  uint32_t FileAttributes(const std::string& path) override { return os_.FileAttributes(path); }
  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    return os_.SetAttributes(path, attributes);
  }
  bool MarkExecutable(const std::string& path) override { return os_.MarkExecutable(path); }
  bool FindFiles(const std::string& folder, std::vector<plat::DirEntry>& entries) override {
    return os_.FindFiles(folder, entries);
  }
  bool FindFile(const std::string& path, plat::DirEntry& entry) override {
    return os_.FindFile(path, entry);
  }
  std::string FullPathName(const std::string& path) override { return os_.FullPathName(path); }
  bool FileInfo(const std::string& path, plat::FileDetails& details) override {
    return os_.FileInfo(path, details);
  }
  bool RenameOver(const std::string& from, const std::string& to) override {
    return os_.RenameOver(from, to);
  }
  std::vector<std::string> CommandArguments(int argc, char** argv) override {
    return os_.CommandArguments(argc, argv);
  }
  plat::FileHandle StandardStream(plat::StdStream which) override {
    return os_.StandardStream(which);
  }
  bool IsConsole(plat::FileHandle file) override { return os_.IsConsole(file); }
  void OnInterrupt(void (*)()) override {}  // the packer's own handler stays in place
  plat::SystemTime UtcTimeOfDay() override { return os_.UtcTimeOfDay(); }
  plat::ModuleHandle LoadModule(const std::string& name) override { return os_.LoadModule(name); }
  void* FindSymbol(plat::ModuleHandle module, const char* name) override {
    return os_.FindSymbol(module, name);
  }
  bool ReleaseModule(plat::ModuleHandle module) override { return os_.ReleaseModule(module); }
  void RestrictLibrarySearch() override {}
  uint32_t LastError() override { return os_.LastError(); }
  std::string ErrorText(uint32_t code) override { return os_.ErrorText(code); }
  void Pause(uint32_t milliseconds) override { os_.Pause(milliseconds); }
  bool IsTransientError(uint32_t code) override { return os_.IsTransientError(code); }
  std::string AnsiToUtf8(const std::string& text) override { return os_.AnsiToUtf8(text); }

 private:
  plat::Platform& os_;
  std::string package_;
  std::string temp_;
  StubVerdict& verdict_;
};

}  // namespace

std::string StubVerdict::Reason() const {
  if (!error.empty()) return "the stub stops with \"Application Error\": " + error;
  // An error box other than the question: the run ended there.
  for (const Box& box : boxes) {
    if ((box.style & 0x0F) != plat::mb::kYesNo) {
      return "the stub shows \"" + box.text + "\" (" + box.caption + ")";
    }
  }
  if (!launched) return "the stub ends before it launches anything";
  if (!programFound) {
    return "the stub extracts every entry but finds no rux.exe at the top of its work folder: "
           "it runs nothing";
  }
  return {};
}

StubVerdict JudgeAsTheStub(const std::string& path) {
  StubVerdict verdict;
  ScratchDir temp("sepack-verify");
  const std::string package = plat::Current().FullPathName(path);
  VerifyPlatform platform(package.empty() ? path : package, temp.Path(), verdict);
  const plat::ScopedPlatform guard(platform);
  try {
    extractor::TExtractor run;
    run.Run();
  } catch (...) {
    verdict.error = extractor::ApplicationErrorText(std::current_exception());
  }
  return verdict;
}

}  // namespace sepack
