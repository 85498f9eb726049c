#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Text.h"

#include <new>

namespace plat {

Platform& Native() {
  // Built on first use and never destroyed: the cabinet library binding releases its module
  // through the platform when the program ends, after function-local statics are gone.
  alignas(win32::Win32Platform) static unsigned char storage[sizeof(win32::Win32Platform)];
  static Platform* instance = ::new (storage) win32::Win32Platform;
  return *instance;
}

namespace win32 {

uint32_t Win32Platform::LastError() {
  return GetLastError();
}

std::string Win32Platform::ErrorText(uint32_t code) {
  // The system's text as it comes, line break included.
  // UTF-8 like every other text here; the message box shows it through MessageBoxW.
  wchar_t buffer[1024];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, buffer, 1024, nullptr);
  return Narrow(buffer, length);
}

std::string Win32Platform::AnsiToUtf8(const std::string& text) {
  return win32::AnsiToUtf8(text);
}

}  // namespace win32
}  // namespace plat
