#include "base/Exception.h"

namespace se {

// Not inlined, so that the return address lies in the code that raised the error.
__attribute__((noinline)) Exception::Exception(std::string message)
    : message_(std::move(message)), raiseAddress_(__builtin_return_address(0)) {}

void RaiseReadError() {
  throw EReadError("Stream read error");
}
void RaiseWriteError() {
  throw EWriteError("Stream write error");
}

}  // namespace se
