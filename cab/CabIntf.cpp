#include "cab/CabIntf.h"

#include <array>

#include "base/OSError.h"
#include "platform/Platform.h"

namespace cab {
namespace {

using FnFDICreate = HFDI(CABAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK,
                                  int32_t, ERF*);
using FnFDICopy = int32_t(CABAPI*)(HFDI, char*, char*, int32_t, PFNFDINOTIFY, PFNFDIDECRYPT, void*);
using FnFDIDestroy = int32_t(CABAPI*)(HFDI);
using FnFCICreate = HFCI(CABAPI*)(ERF*, PFNFCIFILEPLACED, PFNFCIALLOC, PFNFCIFREE, PFNFCIOPEN,
                                  PFNFCIREAD, PFNFCIWRITE, PFNFCICLOSE, PFNFCISEEK, PFNFCIDELETE,
                                  PFNFCIGETTEMPFILE, CCAB*, void*);
using FnFCIAddFile = int32_t(CABAPI*)(HFCI, char*, char*, int32_t, PFNFCIGETNEXTCABINET,
                                      PFNFCISTATUS, PFNFCIGETOPENINFO, uint16_t);
using FnFCIFlushCabinet = int32_t(CABAPI*)(HFCI, int32_t, PFNFCIGETNEXTCABINET, PFNFCISTATUS);
using FnFCIDestroy = int32_t(CABAPI*)(HFCI);

// Resolved in this order; all nine must be present even though only three are called.
constexpr std::array<const char*, 9> kEntryNames = {
    "FCICreate", "FCIAddFile",   "FCIFlushCabinet", "FCIFlushFolder", "FCIDestroy",
    "FDICreate", "FDIIsCabinet", "FDICopy",         "FDIDestroy"};
enum Entry {
  kFCICreate = 0,
  kFCIAddFile = 1,
  kFCIFlushCabinet = 2,
  kFCIDestroy = 4,
  kFDICreate = 5,
  kFDICopy = 7,
  kFDIDestroy = 8
};

struct Library {
  plat::ModuleHandle module = nullptr;
  std::array<void*, kEntryNames.size()> entries{};
  // The module lives until the program ends.
  ~Library() { UnloadCabinetLibrary(); }
};
Library library;

template <typename Fn>
Fn EntryAs(Entry e) {
  return reinterpret_cast<Fn>(library.entries[e]);
}

}  // namespace

void LoadCabinetLibrary() {
  auto& os = plat::Current();
  plat::ModuleHandle module = os.LoadModule("cabinet.dll");
  if (!module) se::RaiseLastOSError();
  for (size_t i = 0; i < kEntryNames.size(); ++i) {
    void* address = os.FindSymbol(module, kEntryNames[i]);
    if (!address) {
      uint32_t code = os.LastError();
      os.ReleaseModule(module);
      se::RaiseOSError(code);
    }
    library.entries[i] = address;
  }
  library.module = module;
}

bool CabinetLibraryLoaded() {
  return library.module != nullptr;
}

void UnloadCabinetLibrary() {
  if (library.module) {
    plat::Current().ReleaseModule(library.module);
    library.module = nullptr;
  }
}

HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
               PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int32_t cpuType, ERF* perf) {
  if (!library.module) LoadCabinetLibrary();
  return EntryAs<FnFDICreate>(kFDICreate)(pfnalloc, pfnfree, pfnopen, pfnread, pfnwrite, pfnclose,
                                          pfnseek, cpuType, perf);
}

bool FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int32_t flags, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT pfnfdid, void* pvUser) {
  return EntryAs<FnFDICopy>(kFDICopy)(hfdi, pszCabinet, pszCabPath, flags, pfnfdin, pfnfdid,
                                      pvUser) != 0;
}

bool FDIDestroy(HFDI hfdi) {
  return EntryAs<FnFDIDestroy>(kFDIDestroy)(hfdi) != 0;
}

HFCI FCICreate(ERF* perf, PFNFCIFILEPLACED pfnfiledest, PFNFCIALLOC pfnalloc, PFNFCIFREE pfnfree,
               PFNFCIOPEN pfnopen, PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose,
               PFNFCISEEK pfnseek, PFNFCIDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, CCAB* pccab,
               void* pv) {
  if (!library.module) LoadCabinetLibrary();
  return EntryAs<FnFCICreate>(kFCICreate)(perf, pfnfiledest, pfnalloc, pfnfree, pfnopen, pfnread,
                                          pfnwrite, pfnclose, pfnseek, pfndelete, pfnfcigtf, pccab,
                                          pv);
}

bool FCIAddFile(HFCI hfci, char* pszSourceFile, char* pszFileName, bool fExecute,
                PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi,
                uint16_t typeCompress) {
  return EntryAs<FnFCIAddFile>(kFCIAddFile)(hfci, pszSourceFile, pszFileName, fExecute ? 1 : 0,
                                            pfnfcignc, pfnfcis, pfnfcigoi, typeCompress) != 0;
}

bool FCIFlushCabinet(HFCI hfci, bool fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc,
                     PFNFCISTATUS pfnfcis) {
  return EntryAs<FnFCIFlushCabinet>(kFCIFlushCabinet)(hfci, fGetNextCab ? 1 : 0, pfnfcignc,
                                                      pfnfcis) != 0;
}

bool FCIDestroy(HFCI hfci) {
  return EntryAs<FnFCIDestroy>(kFCIDestroy)(hfci) != 0;
}

}  // namespace cab
