// The program's own file, the temporary directory, the time of day, starting programs and the
// user interface.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Platform.h"

namespace plat::win32 {

std::string ModulePath(void* module) {
  // Grown until the path fits: a truncated result fills the buffer exactly.
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(module), buffer.data(),
                                            static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return buffer.substr(0, length);
    if (buffer.size() >= 65536) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string Win32Platform::ProgramPath() {
  return ModulePath(nullptr);
}

bool Win32Platform::TempPath(std::string& path) {
  // Room for 299 characters with the NUL; a longer path is refused rather than truncated.
  char buffer[299];
  const DWORD length = GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return false;
  path.assign(buffer, length);
  return true;
}

SystemTime Win32Platform::UtcTimeOfDay() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

bool Win32Platform::RunAndWait(const std::string& program, const std::string& currentDir) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(program.c_str(), nullptr, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                      nullptr, currentDir.empty() ? nullptr : currentDir.c_str(), &startup,
                      &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  WaitForSingleObject(started.hProcess, INFINITE);
  CloseHandle(started.hProcess);
  return true;
}

bool Win32Platform::ShellOpen(const std::string& path) {
  const HINSTANCE result =
      ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;  // documented: above 32 means success
}

void Win32Platform::Beep(uint32_t type) {
  MessageBeep(type);
}

int Win32Platform::ShowMessage(const std::string& text, const std::string& caption,
                               uint32_t style) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

}  // namespace plat::win32
