#include "fuzz/RecordingCabinet.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string_view>
#include <utility>

#include "cab/CabIntf.h"

namespace fuzz_support {
namespace {

constexpr size_t kLaunchedBytes = 16;

struct Context {
  cab::PFNALLOC alloc;
  cab::PFNFREE free;
  cab::PFNOPEN open;
  cab::PFNREAD read;
  cab::PFNWRITE write;
  cab::PFNCLOSE close;
  cab::PFNSEEK seek;
};

std::vector<RecordedCabinet> recorded;
int liveContexts = 0;

cab::HFDI CABAPI Create(cab::PFNALLOC alloc, cab::PFNFREE free, cab::PFNOPEN open,
                        cab::PFNREAD read, cab::PFNWRITE write, cab::PFNCLOSE close,
                        cab::PFNSEEK seek, int32_t, cab::ERF* erf) {
  if (!erf) std::abort();
  void* block = alloc(sizeof(Context));
  if (!block) return nullptr;
  ++liveContexts;
  return new (block) Context{alloc, free, open, read, write, close, seek};
}

int32_t CABAPI Copy(cab::HFDI hfdi, char* name, char* folder, int32_t, cab::PFNFDINOTIFY notify,
                    cab::PFNFDIDECRYPT, void* user) {
  auto& c = *static_cast<Context*>(hfdi);
  std::string path = std::string(folder) + name;
  intptr_t hf = c.open(path.data(), 0x8000, 0x180);
  if (hf == -1) return 0;
  RecordedCabinet cabinet{path, {}};
  uint8_t buffer[4096];
  for (uint32_t n; (n = c.read(hf, buffer, sizeof buffer)) != 0 && n != uint32_t(-1);) {
    cabinet.bytes.insert(cabinet.bytes.end(), buffer, buffer + n);
  }
  c.close(hf);

  char empty[] = "", program[] = "rux.exe";
  cab::TFDINOTIFICATION n{};
  n.pv = user;
  n.psz1 = n.psz2 = empty;
  n.psz3 = folder;
  if (notify(cab::fdintCABINET_INFO, &n) == -1) return 0;
  n = {};
  n.pv = user;
  n.psz1 = program;
  size_t size = std::min(cabinet.bytes.size(), kLaunchedBytes);
  n.cb = static_cast<int32_t>(size);
  intptr_t target = notify(cab::fdintCOPY_FILE, &n);
  if (target == -1) return 0;
  if (target != 0) {
    if (c.write(target, cabinet.bytes.data(), static_cast<uint32_t>(size)) != size) {
      c.close(target);
      return 0;
    }
    n.hf = target;
    n.cb = 0;
    if (notify(cab::fdintCLOSE_FILE_INFO, &n) == -1) return 0;
  }
  recorded.push_back(std::move(cabinet));
  return 1;
}

int32_t CABAPI Destroy(cab::HFDI hfdi) {
  auto* c = static_cast<Context*>(hfdi);
  cab::PFNFREE free = c->free;
  c->~Context();
  free(c);
  --liveContexts;
  return 1;
}

int32_t CABAPI Unused() {
  std::abort();  // only FDICreate, FDICopy and FDIDestroy are ever called
}

}  // namespace

void* RecordingCabinetSymbol(const char* name) {
  std::string_view n(name);
  if (n == "FDICreate") return reinterpret_cast<void*>(&Create);
  if (n == "FDICopy") return reinterpret_cast<void*>(&Copy);
  if (n == "FDIDestroy") return reinterpret_cast<void*>(&Destroy);
  for (const char* other : {"FCICreate", "FCIAddFile", "FCIFlushCabinet", "FCIFlushFolder",
                            "FCIDestroy", "FDIIsCabinet"}) {
    if (n == other) return reinterpret_cast<void*>(&Unused);
  }
  return nullptr;
}

std::vector<RecordedCabinet> TakeRecordedCabinets() {
  if (liveContexts != 0) std::abort();  // a reader that never destroyed its context
  return std::exchange(recorded, {});
}

}  // namespace fuzz_support
