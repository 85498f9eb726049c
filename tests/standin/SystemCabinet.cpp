// The library under test on Windows: the system's cabinet.dll, linked through its import library.
#include <windows.h>

#include <fdi.h>

#include <cstddef>

#include "tests/standin/FdiDriver.h"

namespace fdi_test {

// The stand-in's declarations must match the published layout the system library uses.
static_assert(sizeof(fdi::ERF) == sizeof(::ERF));
static_assert(sizeof(fdi::FDINOTIFICATION) == sizeof(::FDINOTIFICATION));
static_assert(offsetof(fdi::FDINOTIFICATION, hf) == offsetof(::FDINOTIFICATION, hf));
static_assert(offsetof(fdi::FDINOTIFICATION, iFolder) == offsetof(::FDINOTIFICATION, iFolder));
static_assert(offsetof(fdi::FDINOTIFICATION, fdie) == offsetof(::FDINOTIFICATION, fdie));
static_assert(sizeof(fdi::FDICABINETINFO) == sizeof(::FDICABINETINFO));
static_assert(offsetof(fdi::FDICABINETINFO, hasnext) == offsetof(::FDICABINETINFO, hasnext));

FdiApi LibraryApi() {
  return {reinterpret_cast<decltype(FdiApi::create)>(&::FDICreate),
          reinterpret_cast<decltype(FdiApi::isCabinet)>(&::FDIIsCabinet),
          reinterpret_cast<decltype(FdiApi::copy)>(&::FDICopy),
          reinterpret_cast<decltype(FdiApi::destroy)>(&::FDIDestroy)};
}

}  // namespace fdi_test
