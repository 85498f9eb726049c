#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Api.h"

namespace plat {

Platform& Native() {
  static win32::Win32Platform instance;
  return instance;
}

namespace win32 {

uint32_t Win32Platform::LastError() {
  return GetLastError();
}

std::string Win32Platform::ErrorText(uint32_t code) {
  // The system's text as it comes, line break included.
  char buffer[1024];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, buffer, sizeof buffer, nullptr);
  return std::string(buffer, length);
}

}  // namespace win32
}  // namespace plat
