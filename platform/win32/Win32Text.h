// UTF-8 on our side of the interface, UTF-16 on the system's. Private to platform/win32.
#pragma once

#include <string>

namespace plat::win32 {

// UTF-8 to UTF-16. Bytes that are not valid UTF-8 are read in the ANSI code page instead, so a
// path that reached us in that form still names the same file.
std::wstring Widen(const std::string& text);
// UTF-16 to UTF-8.
std::string Narrow(const std::wstring& text);
std::string Narrow(const wchar_t* text, size_t length);
// Text in the ANSI code page to UTF-8.
std::string AnsiToUtf8(const std::string& text);
// True when `text` is valid UTF-8 and holds at least one character outside ASCII.
bool IsUtf8BeyondAscii(const std::string& text);

}  // namespace plat::win32
