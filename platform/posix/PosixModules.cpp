// Modules. There is no system cabinet library here: "cabinet.dll" is the stand-in linked into
// the program, and its entry points are found in its export table.
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <span>

#include "platform/posix/PosixPlatform.h"
#include "platform/posix/cabinet/CabinetStandin.h"

namespace plat::posix {
namespace {

// The opaque handle of the stand-in: the address of this tag.
const char kCabinetTag = 0;
ModuleHandle CabinetHandle() {
  return const_cast<char*>(&kCabinetTag);
}

bool SameNameIgnoringCase(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int MainProgramBase(dl_phdr_info* info, size_t, void* base) {
  *static_cast<std::uintptr_t*>(base) = info->dlpi_addr;
  return 1;  // the first object reported is the program itself
}

}  // namespace

ModuleHandle PosixPlatform::LoadModule(const std::string& name) {
  if (SameNameIgnoringCase(name, "cabinet.dll")) return CabinetHandle();
  Fail(ENOENT);
  return nullptr;
}

void* PosixPlatform::FindSymbol(ModuleHandle module, const char* name) {
  if (module != CabinetHandle() || name == nullptr) return Fail(EINVAL), nullptr;
  for (const auto& entry : cabinet_standin::Exports()) {
    if (std::strcmp(entry.name, name) == 0) return entry.address;
  }
  return Fail(ENOSYS), nullptr;
}

bool PosixPlatform::ReleaseModule(ModuleHandle module) {
  if (module != CabinetHandle()) return Fail(EINVAL);
  return true;  // linked in: nothing to unload
}

void PosixPlatform::RestrictLibrarySearch() {}

std::string PosixPlatform::ModuleNameFor(const void* address, std::uintptr_t& offset) {
  Dl_info info{};
  if (dladdr(address, &info) != 0 && info.dli_fname != nullptr && *info.dli_fname != '\0') {
    offset = reinterpret_cast<std::uintptr_t>(address) -
             reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    return BaseName(info.dli_fname);
  }
  std::uintptr_t base = 0;
  dl_iterate_phdr(MainProgramBase, &base);
  offset = reinterpret_cast<std::uintptr_t>(address) - base;
  return BaseName(ExecutablePath());
}

}  // namespace plat::posix
