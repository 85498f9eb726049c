// The cabinet reader over arbitrary cabinet bytes, with the library stand-in, on an in-memory
// platform: the cabinet is the work folder's kem.cab and, when the input holds a second
// "MSCF", the rest is set2_2.cab beside it (the name the set fixtures use for a successor).
// Whatever the cabinet's names and data: nothing is written outside the destination folder
// (the platform aborts on that), only se::Exception errors escape, and every file is closed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/Exception.h"
#include "cab/CabIntf.h"
#include "cab/KXCabReader.h"
#include "fuzz/MemoryPlatform.h"
#include "platform/posix/cabinet/CabinetStandin.h"

namespace {

void* StandinSymbol(const char* name) {
  for (const auto& entry : cabinet_standin::Exports()) {
    if (std::strcmp(entry.name, name) == 0) return entry.address;
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.size() > 4 ? input.find("MSCF", 1) : std::string_view::npos;
  const std::string work = "/tmp/se_1";

  fuzz_support::MemoryPlatform os({});
  os.SetCabinetSymbols(StandinSymbol);
  os.AddFolder(work);
  os.AllowChangesBelow(work + "/");
  os.AddFile(work + "/kem.cab", {data, data + (split == std::string_view::npos ? size : split)});
  if (split != std::string_view::npos)
    os.AddFile(work + "/set2_2.cab", {data + split, data + size});
  plat::ScopedPlatform use(os);
  {
    cab::TKXCabReader reader;
    try {
      reader.Extract(work + "/kem.cab", work, 0);
    } catch (const se::Exception&) {
    }
  }
  cab::UnloadCabinetLibrary();
  if (os.OpenHandles() != 0) std::abort();
  return 0;
}
