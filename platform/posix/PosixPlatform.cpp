#include "platform/posix/PosixPlatform.h"

#include <cstring>
#include <new>

namespace plat {

Platform& Native() {
  // Built on first use and never destroyed: the cabinet library binding releases its module
  // through the platform when the program ends, after function-local statics are gone.
  alignas(posix::PosixPlatform) static unsigned char storage[sizeof(posix::PosixPlatform)];
  static Platform* instance = ::new (storage) posix::PosixPlatform;
  return *instance;
}

namespace posix {
namespace {
// Kept apart from errno so that a later successful libc call (or one made by the caller) does
// not clobber the cause of the failure the caller is about to ask about.
thread_local uint32_t lastError = 0;
}  // namespace

bool Fail(int error) {
  lastError = static_cast<uint32_t>(error);
  return false;
}

uint32_t PosixPlatform::LastError() {
  return lastError;
}

std::string PosixPlatform::ErrorText(uint32_t code) {
  // Like FormatMessageA, nothing for a code the system does not know.
  if (strerrorname_np(static_cast<int>(code)) == nullptr) return {};
  char buffer[256];
  return strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

}  // namespace posix
}  // namespace plat
