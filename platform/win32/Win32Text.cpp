#include "platform/win32/Win32Text.h"

#include "platform/win32/Win32Api.h"

namespace plat::win32 {
namespace {

std::wstring ToWide(UINT codePage, DWORD flags, const std::string& text, bool& ok) {
  ok = true;
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
  if (length <= 0) {
    ok = false;
    return {};
  }
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
  return wide;
}

}  // namespace

std::wstring Widen(const std::string& text) {
  bool ok = false;
  std::wstring wide = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, ok);
  if (ok) return wide;
  return ToWide(CP_ACP, 0, text, ok);
}

std::string Narrow(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  const int size = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string narrow(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, size, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

std::string Narrow(const std::wstring& text) {
  return Narrow(text.data(), text.size());
}

std::string AnsiToUtf8(const std::string& text) {
  bool ok = false;
  return Narrow(ToWide(CP_ACP, 0, text, ok));
}

bool IsUtf8BeyondAscii(const std::string& text) {
  bool beyond = false;
  for (unsigned char c : text) beyond = beyond || c >= 0x80;
  if (!beyond) return false;
  bool ok = false;
  ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, ok);
  return ok;
}

}  // namespace plat::win32
