#include "tests/standin/FdiDriver.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>

#include "tests/support/TestPaths.h"

namespace fdi_test {
namespace {

using fdi::FDINOTIFICATION;
using fdi::FDINOTIFICATIONTYPE;

constexpr std::intptr_t kFirstCabinetHandle = 0x100;
constexpr std::intptr_t kFirstTargetHandle = 0x1000;

struct Handle {
  std::FILE* file = nullptr;  // a cabinet (or probed file)
  int target = 0;             // target number (#n), 0 for a cabinet
  std::uint32_t hash = 2166136261u;
  std::uint64_t size = 0;
};

// The FDI callbacks carry no context, so one session at a time lives here.
struct Session {
  const Scenario* scenario = nullptr;
  Options options;
  CallCounts counts;
  std::string dir;
  std::string log;
  std::map<std::intptr_t, Handle> handles;
  std::intptr_t nextCabinetHandle = kFirstCabinetHandle;
  int targets = 0;
  std::map<int, int> seen;  // notifications by type
  std::string nextCabinet, continuation, proposedFolder;
  bool continuationSeen = false;
  size_t lastClose = std::string::npos;  // where the last CLOSE_FILE_INFO line starts
};
Session* session = nullptr;

std::string Show(const char* s) {
  if (!s) return "(null)";
  std::string text = s;
  // Names made to probe the path limit differ in length between the builds.
  if (text.size() > 100 && text.find(session->dir) == std::string::npos) return "<long name>";
  for (size_t at; !session->dir.empty() && (at = text.find(session->dir)) != std::string::npos;)
    text.replace(at, session->dir.size(), "<dir>/");
  return "\"" + text + "\"";
}

// Numbers as text; appending to a named string keeps g++ 12's -Wrestrict quiet.
std::string Num(const char* prefix, long long value) {
  std::string text = prefix;
  text += std::to_string(value);
  return text;
}

std::string Hex(unsigned value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", value);
  return buf;
}

std::string Token(std::intptr_t hf) {
  auto it = session->handles.find(hf);
  if (it == session->handles.end() || !it->second.target)
    return Num("?", static_cast<long long>(hf));
  return Num("#", it->second.target);
}

void Line(const std::string& text) {
  session->log += text + "\n";
}

std::string Erf(const fdi::ERF& erf) {
  return Num(" erf=", erf.erfOper) + Num("/", erf.erfType) + Num("/", erf.fError);
}

void* Alloc(std::uint32_t cb) {
  int n = ++session->counts.alloc;
  if (session->options.failAllocFrom && n >= session->options.failAllocFrom) return nullptr;
  void* p = std::malloc(cb ? cb : 1);
  if (p) ++session->counts.liveBlocks;
  return p;
}

void Free(void* p) {
  ++session->counts.free;
  if (p) --session->counts.liveBlocks;
  std::free(p);
}

std::intptr_t Open(char* name, int oflag, int) {
  int n = ++session->counts.open;
  if (session->options.failOpenOfCabinets && n >= session->options.failOpenOfCabinets) return -1;
  if ((oflag & 3) != 0) {
    Line("  open for writing " + Show(name));
    return -1;
  }
  std::FILE* f = std::fopen(name, "rb");
  if (!f) return -1;
  std::intptr_t hf = session->nextCabinetHandle++;
  session->handles[hf].file = f;
  ++session->counts.openHandles;
  return hf;
}

std::uint32_t Read(std::intptr_t hf, void* buffer, std::uint32_t cb) {
  ++session->counts.read;
  auto it = session->handles.find(hf);
  if (it == session->handles.end() || !it->second.file) return static_cast<std::uint32_t>(-1);
  return static_cast<std::uint32_t>(std::fread(buffer, 1, cb, it->second.file));
}

std::uint32_t Write(std::intptr_t hf, void* buffer, std::uint32_t cb) {
  ++session->counts.write;
  auto it = session->handles.find(hf);
  if (it == session->handles.end() || !it->second.target) {
    Line("  write to " + Token(hf));
    return static_cast<std::uint32_t>(-1);
  }
  auto* bytes = static_cast<const unsigned char*>(buffer);
  for (std::uint32_t i = 0; i < cb; ++i) it->second.hash = (it->second.hash ^ bytes[i]) * 16777619u;
  it->second.size += cb;
  return cb;
}

int Close(std::intptr_t hf) {
  ++session->counts.close;
  auto it = session->handles.find(hf);
  if (it == session->handles.end()) {
    // The system library closes handle 0 when it gives up early; that is its own affair.
    ++session->counts.unknownCloses;
    return -1;
  }
  // The library closes a target itself only when it gives up on it.
  if (it->second.target) Line(Num("  library closed #", it->second.target));
  if (it->second.file) std::fclose(it->second.file);
  session->handles.erase(it);
  --session->counts.openHandles;
  return 0;
}

std::int32_t Seek(std::intptr_t hf, std::int32_t distance, int type) {
  ++session->counts.seek;
  auto it = session->handles.find(hf);
  if (it == session->handles.end() || !it->second.file) {
    Line("  seek on " + Token(hf));
    return -1;
  }
  if (std::fseek(it->second.file, distance, type)) return -1;
  return static_cast<std::int32_t>(std::ftell(it->second.file));
}

bool AbortHere(const char* type) {
  int count = ++session->seen[static_cast<int>(type[0]) * 256 + static_cast<int>(type[1])];
  const char* at = session->scenario->abortAt;
  if (!at) return false;
  std::string_view abortAt(at);
  size_t colon = abortAt.find(':');
  return abortAt.substr(0, colon) == type &&
         std::stoi(std::string(abortAt.substr(colon + 1))) == count;
}

std::intptr_t Notify(FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) {
  if (n->pv != session) Line("  pv is not the user pointer");
  switch (type) {
    case fdi::fdintCABINET_INFO: {
      Line("  CABINET_INFO next=" + Show(n->psz1) + " disk=" + Show(n->psz2) + " path=" +
           Show(n->psz3) + " setID=" + Hex(n->setID) + " iCabinet=" + std::to_string(n->iCabinet));
      session->nextCabinet = n->psz1 && *n->psz1 ? std::string(n->psz3) + n->psz1 : "";
      return AbortHere("CABINET_INFO") ? -1 : 0;
    }
    case fdi::fdintPARTIAL_FILE:
      Line("  PARTIAL_FILE " + Show(n->psz1) + " cabinet=" + Show(n->psz2) +
           " disk=" + Show(n->psz3));
      return AbortHere("PARTIAL_FILE") ? -1 : 0;
    case fdi::fdintCOPY_FILE: {
      std::string line = "  COPY_FILE " + Show(n->psz1) + " cb=" + std::to_string(n->cb) +
                         " date=" + Hex(n->date) + " time=" + Hex(n->time) +
                         " attribs=" + Hex(n->attribs) + " iFolder=" + Hex(n->iFolder);
      if (AbortHere("COPY_FILE")) {
        Line(line + " -> abort");
        return -1;
      }
      const char* skip = session->scenario->skip;
      if (skip && n->psz1 && !std::strcmp(skip, n->psz1)) {
        Line(line + " -> skip");
        return 0;
      }
      int target = ++session->targets;
      std::intptr_t hf = kFirstTargetHandle + target;
      session->handles[hf].target = target;
      ++session->counts.openHandles;
      Line(line + Num(" -> #", target));
      return hf;
    }
    case fdi::fdintCLOSE_FILE_INFO: {
      session->lastClose = session->log.size();
      std::string line = "  CLOSE_FILE_INFO " + Show(n->psz1) + " hf=" + Token(n->hf) +
                         " cb=" + std::to_string(n->cb) + " date=" + Hex(n->date) +
                         " time=" + Hex(n->time) + " attribs=" + Hex(n->attribs) +
                         " iFolder=" + Hex(n->iFolder);
      auto it = session->handles.find(n->hf);
      if (it != session->handles.end() && it->second.target) {
        line += " size=" + std::to_string(it->second.size) + " fnv=" + Hex(it->second.hash);
        session->handles.erase(it);
        --session->counts.openHandles;
      }
      Line(line);
      return AbortHere("CLOSE_FILE_INFO") ? -1 : 1;
    }
    case fdi::fdintNEXT_CABINET: {
      Line("  NEXT_CABINET next=" + Show(n->psz1) + " disk=" + Show(n->psz2) +
           " path=" + Show(n->psz3) + " fdie=" + std::to_string(n->fdie));
      std::intptr_t result = 0;
      if (n->fdie == 0) {
        session->proposedFolder = n->psz3;
        if (const char* folder = session->scenario->nextFolder) {
          std::snprintf(n->psz3, 256, "%s%s", session->dir.c_str(), folder);
          Line("    -> path=" + Show(n->psz3));
        }
      } else if (session->scenario->retry) {
        std::snprintf(n->psz3, 256, "%s", session->proposedFolder.c_str());
        Line("    -> path=" + Show(n->psz3));
      } else {
        result = -1;
      }
      if (AbortHere("NEXT_CABINET")) result = -1;
      if (result) Line("    -> abort");
      session->continuation = std::string(n->psz3) + (n->psz1 ? n->psz1 : "");
      session->continuationSeen = true;
      return result;
    }
    default:
      Line("  notification " + std::to_string(static_cast<int>(type)));
      return 0;
  }
}

bool Exists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

void Probe(const FdiApi& api, void* hfdi, const fdi::ERF& erf, const char* relative) {
  std::string path = session->dir + relative;
  std::intptr_t hf = Open(path.data(), fdi::kOpenBinary, 0);
  fdi::FDICABINETINFO info{};
  int r = api.isCabinet(hfdi, hf, &info);
  std::string line = "FDIIsCabinet " + Show(path.c_str()) + " = " + std::to_string(r);
  if (r)
    line += " cbCabinet=" + std::to_string(info.cbCabinet) +
            " cFolders=" + std::to_string(info.cFolders) +
            " cFiles=" + std::to_string(info.cFiles) + " setID=" + Hex(info.setID) +
            " iCabinet=" + std::to_string(info.iCabinet) +
            " fReserve=" + std::to_string(info.fReserve) +
            " hasprev=" + std::to_string(info.hasprev) + " hasnext=" + std::to_string(info.hasnext);
  Line(line + Erf(erf));
  if (hf != -1) Close(hf);
}

}  // namespace

std::string FixtureDir() {
  return testing_support::SourcePath("tests/fixtures/cab/");
}

std::string Record(const FdiApi& api, const Scenario& scenario, const Options& options,
                   CallCounts* counts) {
  Session s;
  s.scenario = &scenario;
  s.options = options;
  s.dir = FixtureDir();
  session = &s;

  fdi::ERF erf{};
  void* hfdi = api.create(Alloc, Free, Open, Read, Write, Close, Seek, -1, &erf);
  if (!hfdi) {
    Line("FDICreate = null" + Erf(erf));
  } else {
    if (scenario.isCabinet) Probe(api, hfdi, erf, scenario.isCabinet);
    std::string current = std::strcmp(scenario.cabinet, "-") ? s.dir + scenario.cabinet : "";
    for (int round = 0; !current.empty() && round < 8; ++round) {
      s.nextCabinet.clear();
      s.continuation.clear();
      s.continuationSeen = false;
      size_t cut = current.find_last_of("/\\:") + 1;
      std::string name = current.substr(cut), folder = current.substr(0, cut);
      Line("FDICopy " + Show(name.c_str()) + " " + Show(folder.c_str()));
      s.lastClose = std::string::npos;
      int r = api.copy(hfdi, name.data(), folder.data(), 0, Notify, nullptr, &s);
      // A failed copy hands back the file it was writing; how much of it had been written
      // depends on how far the library had decoded, so only its completion is compared.
      if (!r && s.lastClose != std::string::npos &&
          s.log.find('\n', s.lastClose) + 1 == s.log.size()) {
        size_t at = s.log.find(" size=", s.lastClose);
        if (at != std::string::npos) s.log.replace(at, s.log.size() - 1 - at, " (incomplete)");
      }
      Line(Num("= ", r) + Erf(erf));
      if (!r) break;
      if (s.continuationSeen)
        current = s.continuation;
      else if (SameName(current, s.nextCabinet))
        current.clear();
      else
        current = s.nextCabinet;
      if (!current.empty() && !Exists(current)) {
        Line("no " + Show(current.c_str()));
        current.clear();
      }
    }
    Line("FDIDestroy = " + std::to_string(api.destroy(hfdi)));
  }
  // A cabinet the library left open is its own leak; a target it kept from the caller is not.
  for (auto& [hf, handle] : s.handles) {
    if (handle.file) std::fclose(handle.file);
    if (handle.target) Line(Num("left open #", handle.target));
  }
  if (counts) *counts = s.counts;
  session = nullptr;
  return s.log;
}

}  // namespace fdi_test
