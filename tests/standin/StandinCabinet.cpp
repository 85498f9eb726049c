// The library under test on POSIX: the stand-in, found through its export table as the
// platform's module loader finds it.
#include <cstring>
#include <stdexcept>

#include "platform/posix/cabinet/CabinetStandin.h"
#include "tests/standin/FdiDriver.h"

namespace fdi_test {
namespace {

void* Lookup(const char* name) {
  for (const auto& e : cabinet_standin::Exports())
    if (!std::strcmp(e.name, name)) return e.address;
  throw std::runtime_error(std::string("stand-in does not export ") + name);
}

}  // namespace

FdiApi LibraryApi() {
  return {reinterpret_cast<decltype(FdiApi::create)>(Lookup("FDICreate")),
          reinterpret_cast<decltype(FdiApi::isCabinet)>(Lookup("FDIIsCabinet")),
          reinterpret_cast<decltype(FdiApi::copy)>(Lookup("FDICopy")),
          reinterpret_cast<decltype(FdiApi::destroy)>(Lookup("FDIDestroy"))};
}

}  // namespace fdi_test
