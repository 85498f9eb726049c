// The cabinet-library stand-in over arbitrary cabinet bytes, through its FDI entry points and
// memory-backed callbacks, followed from cabinet to cabinet as the reader does. An input that
// holds a second "MSCF" is a two-cabinet set split there; every name the library opens other
// than the first cabinet's is served the second. Whatever the bytes: no callback is given a
// handle it did not open, every handle is closed when FDICopy returns, every block is freed
// when FDIDestroy returns, and an FDICopy that succeeds wrote every file at its announced size
// (the library also hands back the target of a file it could not complete, then fails).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "platform/posix/cabinet/Fdi.h"

namespace {

namespace fdi = cabinet_standin;

constexpr std::intptr_t kFirstCabinet = 0x100;
constexpr std::intptr_t kFirstTarget = 0x10000;

struct Handle {
  std::string_view bytes;  // a cabinet; empty for a target
  int64_t position = 0;
  bool target = false;
  int64_t written = 0;
  int64_t announced = 0;
};

// The callbacks carry no context: one session at a time.
struct Session {
  std::string_view first, second;
  std::map<std::intptr_t, Handle> handles;
  std::intptr_t nextCabinet = kFirstCabinet, nextTarget = kFirstTarget;
  int64_t liveBlocks = 0;
  bool continuationSeen = false;
  bool shortFile = false;  // a file was closed with fewer or more bytes than announced
  std::string named;       // the next cabinet the last one named
} session;

Handle& Known(std::intptr_t hf) {
  auto it = session.handles.find(hf);
  if (it == session.handles.end()) std::abort();  // a handle nobody opened
  return it->second;
}

void* Alloc(std::uint32_t cb) {
  ++session.liveBlocks;
  return std::malloc(cb ? cb : 1);
}

void Free(void* p) {
  if (p) --session.liveBlocks;
  std::free(p);
}

std::intptr_t Open(char* name, int oflag, int) {
  if ((oflag & 3) != 0) std::abort();  // the library only ever reads cabinets
  std::string_view path(name);
  std::string_view base = path.substr(path.rfind('/') + 1);
  std::string_view bytes = base == "first.cab" ? session.first : session.second;
  if (bytes.empty()) return -1;
  std::intptr_t hf = session.nextCabinet++;
  session.handles[hf] = Handle{bytes};
  return hf;
}

std::uint32_t Read(std::intptr_t hf, void* buffer, std::uint32_t cb) {
  Handle& h = Known(hf);
  if (h.target) std::abort();
  int64_t left = static_cast<int64_t>(h.bytes.size()) - h.position;
  std::uint32_t n = left <= 0 ? 0 : static_cast<std::uint32_t>(left < cb ? left : cb);
  if (n) std::memcpy(buffer, h.bytes.data() + h.position, n);
  h.position += n;
  return n;
}

std::uint32_t Write(std::intptr_t hf, void* buffer, std::uint32_t cb) {
  Handle& h = Known(hf);
  if (!h.target) std::abort();
  volatile unsigned char touch = cb ? static_cast<unsigned char*>(buffer)[cb - 1] : 0;
  (void)touch;  // the whole buffer must be readable
  h.written += cb;
  return cb;
}

int Close(std::intptr_t hf) {
  Known(hf);
  session.handles.erase(hf);
  return 0;
}

std::int32_t Seek(std::intptr_t hf, std::int32_t distance, int type) {
  Handle& h = Known(hf);
  if (h.target) std::abort();
  int64_t base = type == 0 ? 0 : type == 1 ? h.position : static_cast<int64_t>(h.bytes.size());
  if (type < 0 || type > 2 || base + distance < 0) return -1;
  h.position = base + distance;
  return static_cast<std::int32_t>(h.position);
}

std::intptr_t Notify(fdi::FDINOTIFICATIONTYPE type, fdi::FDINOTIFICATION* n) {
  if (n->pv != &session) std::abort();
  switch (type) {
    case fdi::fdintCABINET_INFO:
      session.named = n->psz1 ? n->psz1 : "";
      return 0;
    case fdi::fdintCOPY_FILE: {
      if (!n->psz1) std::abort();
      std::intptr_t hf = session.nextTarget++;
      session.handles[hf] = Handle{{}, 0, true, 0, static_cast<uint32_t>(n->cb)};
      return hf;
    }
    case fdi::fdintCLOSE_FILE_INFO: {
      Handle& h = Known(n->hf);
      if (!h.target) std::abort();
      if (h.written != h.announced) session.shortFile = true;
      session.handles.erase(n->hf);
      return 1;
    }
    case fdi::fdintNEXT_CABINET:
      if (!n->psz3 || std::strlen(n->psz3) > 255) std::abort();
      session.continuationSeen = true;
      return n->fdie == 0 ? 0 : -1;
    default:
      return 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.size() > 4 ? input.find("MSCF", 1) : std::string_view::npos;
  session = Session{};
  session.first = input.substr(0, split);
  session.second = split == std::string_view::npos ? std::string_view() : input.substr(split);

  fdi::ERF erf{};
  void* hfdi = fdi::FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, -1, &erf);
  if (!hfdi) std::abort();

  char folder[] = "/cabs/";
  std::intptr_t probe = Open(const_cast<char*>("/cabs/first.cab"), 0, 0);
  if (probe != -1) {
    fdi::FDICABINETINFO info{};
    fdi::FDIIsCabinet(hfdi, probe, &info);
    Close(probe);
  }

  std::string name = "first.cab";
  for (int copies = 0; copies < 3 && !name.empty(); ++copies) {
    session.continuationSeen = false;
    session.shortFile = false;
    session.named.clear();
    int ok = fdi::FDICopy(hfdi, name.data(), folder, 0, Notify, nullptr, &session);
    if (!session.handles.empty()) std::abort();  // a handle left open
    if (ok && session.shortFile) std::abort();   // an incomplete file passed off as good
    if (!ok || session.second.empty()) break;
    name = session.named.empty() ? std::string() : std::string("second.cab");
  }

  if (!fdi::FDIDestroy(hfdi)) std::abort();
  if (session.liveBlocks != 0) std::abort();
  return 0;
}
