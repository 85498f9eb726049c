#include "base/OSError.h"

#include "base/Exception.h"
#include "platform/Platform.h"

namespace se {

std::string TrimmedErrorText(uint32_t code) {
  std::string text = plat::Current().ErrorText(code);
  while (!text.empty()) {
    unsigned char c = static_cast<unsigned char>(text.back());
    if (c > ' ' && c != '.') break;
    text.pop_back();
  }
  return text;
}

std::string OSErrorMessage(uint32_t code) {
  if (code == 0) return "A call to an OS function failed";
  return "System Error.  Code: " + std::to_string(static_cast<int32_t>(code)) + ".\r\n" +
         TrimmedErrorText(code);
}

void RaiseOSError(uint32_t code) {
  throw EOSError(code, OSErrorMessage(code));
}

void RaiseLastOSError() {
  RaiseOSError(plat::Current().LastError());
}

}  // namespace se
