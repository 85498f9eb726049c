// Raising the operating-system error exception (EOSError) for a failed system call.
#pragma once

#include <cstdint>
#include <string>

namespace se {

// "System Error.  Code: %d.\r\n%s" with the system's text for `code`, or
// "A call to an OS function failed" when the code is 0.
std::string OSErrorMessage(uint32_t code);
[[noreturn]] void RaiseOSError(uint32_t code);
// RaiseOSError with the code of the platform call that just failed.
[[noreturn]] void RaiseLastOSError();
// The system's text for a code without trailing blanks, control characters and full stops.
std::string TrimmedErrorText(uint32_t code);

}  // namespace se
