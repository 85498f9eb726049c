// The stand-in's export table, and the FCI half of the library, which it does not offer: each
// FCI call fails cleanly.
#include "platform/posix/cabinet/CabinetStandin.h"

#include <array>

#include "platform/posix/cabinet/Fdi.h"

namespace cabinet_standin {

void* FCICreate(ERF* erf, void*, void*, void*, void*, void*, void*, void*, void*, void*, void*,
                void*, void*) {
  if (erf) *erf = {FCIERR_ALLOC_FAIL, 0, 1};
  return nullptr;
}

// No FCI context can exist, so every call on one fails.
int FCIAddFile(void*, char*, char*, int, void*, void*, void*, std::uint16_t) {
  return 0;
}
int FCIFlushCabinet(void*, int, void*, void*) {
  return 0;
}
int FCIFlushFolder(void*, void*, void*) {
  return 0;
}
int FCIDestroy(void*) {
  return 0;
}

namespace {

template <class F>
void* Address(F* function) {
  return reinterpret_cast<void*>(function);
}

const std::array<Export, 9> kExports = {{
    {"FCICreate", Address(&FCICreate)},
    {"FCIAddFile", Address(&FCIAddFile)},
    {"FCIFlushCabinet", Address(&FCIFlushCabinet)},
    {"FCIFlushFolder", Address(&FCIFlushFolder)},
    {"FCIDestroy", Address(&FCIDestroy)},
    {"FDICreate", Address(&FDICreate)},
    {"FDIIsCabinet", Address(&FDIIsCabinet)},
    {"FDICopy", Address(&FDICopy)},
    {"FDIDestroy", Address(&FDIDestroy)},
}};

}  // namespace

std::span<const Export> Exports() {
  return kExports;
}

}  // namespace cabinet_standin
