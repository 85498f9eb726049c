// The program's own file, the temporary directory, the time of day, starting programs and the
// user interface.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"

namespace plat::win32 {

std::string ModulePath(void* module) {
  // Grown until the path fits: a truncated result fills the buffer exactly.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(),
                                            static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return Narrow(buffer.data(), length);
    if (buffer.size() >= 65536) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string Win32Platform::ProgramPath() {
  return ModulePath(nullptr);
}

bool Win32Platform::TempPath(std::string& path) {
  // Room for 299 characters with the NUL; a longer path is refused rather than truncated.
  wchar_t buffer[299];
  const DWORD length = GetTempPathW(299, buffer);
  if (length == 0 || length >= 299) return false;
  path = Narrow(buffer, length);
  return true;
}

SystemTime Win32Platform::UtcTimeOfDay() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

bool Win32Platform::RunAndWait(const std::string& program, const std::string& currentDir) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION started{};
  const std::wstring application = Widen(program);
  const std::wstring folder = Widen(currentDir);
  if (!CreateProcessW(application.c_str(), nullptr, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                      nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  WaitForSingleObject(started.hProcess, INFINITE);
  CloseHandle(started.hProcess);
  return true;
}

bool Win32Platform::ShellOpen(const std::string& path) {
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", Widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;  // documented: above 32 means success
}

void Win32Platform::Beep(uint32_t type) {
  MessageBeep(type);
}

int Win32Platform::ShowMessage(const std::string& text, const std::string& caption,
                               uint32_t style) {
  // Packages written for the ANSI code page keep their exact behaviour; UTF-8 text shows as
  // the characters it means whatever the code page.
  if (IsUtf8BeyondAscii(text) || IsUtf8BeyondAscii(caption)) {
    return MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(), style);
  }
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

void Win32Platform::Pause(uint32_t milliseconds) {
  Sleep(milliseconds);
}

bool Win32Platform::IsTransientError(uint32_t code) {
  switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED:  // also what a file pending deletion answers
    case ERROR_DIR_NOT_EMPTY:
    case ERROR_DELETE_PENDING:
    case ERROR_BUSY:
      return true;
    default:
      return false;
  }
}

}  // namespace plat::win32
