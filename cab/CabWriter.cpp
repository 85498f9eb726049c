#include "cab/CabWriter.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <string_view>

#include "base/OSError.h"
#include "cab/CabCallbacks.h"
#include "cab/CabIntf.h"
#include "platform/Platform.h"

namespace cab {
namespace {

// The library hands every file name it was given back to the callbacks, and limits each to 255
// bytes. So it is given tokens instead of paths: the cabinet, each source file and each
// temporary file by number. '|' cannot appear in a Windows file name, so a token is never
// mistaken for a real path, and paths of any length and in any script reach the platform intact.
constexpr std::string_view kCabinetToken = "|cabinet|";
constexpr std::string_view kSourcePrefix = "|source|";
constexpr std::string_view kTempPrefix = "|temp|";

// Everything one WriteCabinet call keeps; the library passes it to each callback as `pv`, so
// calls on several threads share nothing.
struct Writer {
  const std::string& cabinetPath;
  const std::vector<CabSourceFile>& files;

  std::set<intptr_t> openHandles;      // opened by a callback and not yet closed
  std::vector<std::string> tempFiles;  // handed out, by number; empty once removed
  bool cabinetTouched = false;         // the cabinet file was created (or truncated) by us
  intptr_t cabinetHandle = plat::kInvalidFile;
  size_t currentFile = 0;            // the file being added
  std::exception_ptr callbackError;  // the first exception met inside a callback
  uint32_t osError = 0;              // the first OS error a callback met
  std::string refusal;               // why a callback refused what the library asked for

  Writer(const std::string& path, const std::vector<CabSourceFile>& list)
      : cabinetPath(path), files(list) {}

  void Record() noexcept {
    if (!callbackError) callbackError = std::current_exception();
  }
};

Writer& Of(void* pv) {
  return *static_cast<Writer*>(pv);
}

// Runs a callback's body; an exception becomes the writer's recorded error and the library's
// failure value, so that it never unwinds through the library's frames.
template <typename Result, typename Body>
Result Guarded(void* pv, int32_t* err, Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    Of(pv).Record();
    if (err) *err = 0;
    return failure;
  }
}

// The OS error of the platform call that just failed, for the library's error record (and for
// the writer, as the library does not always keep it).
int32_t FailedWith(Writer& w, int32_t* err) {
  uint32_t code = plat::Current().LastError();
  if (err) *err = static_cast<int32_t>(code);
  if (!w.osError) w.osError = code;
  return static_cast<int32_t>(code);
}

std::string ErrorText(uint32_t code) {
  std::string text = se::TrimmedErrorText(code);
  return text.empty() ? "system error " + std::to_string(code) : text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The number after a token's prefix, or SIZE_MAX when there is none.
size_t TokenIndex(std::string_view name, std::string_view prefix) {
  if (!StartsWith(name, prefix)) return SIZE_MAX;
  size_t index = 0;
  std::string_view digits = name.substr(prefix.size());
  if (digits.empty()) return SIZE_MAX;
  for (char c : digits) {
    if (c < '0' || c > '9') return SIZE_MAX;
    index = index * 10 + static_cast<size_t>(c - '0');
  }
  return index;
}

// The real path behind a name the library passes back; empty for a name it did not get from us.
std::string PathOf(Writer& w, std::string_view name) {
  if (name == kCabinetToken) return w.cabinetPath;
  size_t index = TokenIndex(name, kTempPrefix);
  if (index < w.tempFiles.size()) return w.tempFiles[index];
  return {};
}

// A name nobody else will pick: a random part drawn once per process, then a counter.
std::string UniqueTempName(const std::string& folder) {
  static const uint64_t base = [] {
    std::random_device device;
    return (uint64_t{device()} << 32) ^ device();
  }();
  static std::atomic<uint64_t> counter{0};
  uint64_t value = base + counter.fetch_add(1);
  static const char kHex[] = "0123456789abcdef";
  std::string name = folder + "sefci";
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(value >> shift) & 0xF];
  return name + ".tmp";
}

// --- The library's callbacks.

int32_t CABAPI FilePlaced(CCAB*, char*, int32_t, int32_t fContinuation, void* pv) {
  return Guarded<int32_t>(pv, nullptr, 0, [&] {
    // A file continued from an earlier cabinet means the library has begun a second one.
    if (fContinuation && Of(pv).refusal.empty())
      Of(pv).refusal = "the files do not fit in one cabinet";
    return 0;
  });
}

void* CABAPI Alloc(uint32_t size) {
  return std::malloc(size ? size : 1);
}

void CABAPI Free(void* block) {
  std::free(block);
}

intptr_t CABAPI Open(char* name, int32_t flags, int32_t /*mode*/, int32_t* err, void* pv) {
  return Guarded<intptr_t>(pv, err, plat::kInvalidFile, [&]() -> intptr_t {
    Writer& w = Of(pv);
    std::string_view token = name ? name : "";
    std::string path = PathOf(w, token);
    if (path.empty()) throw std::logic_error("the cabinet library opened an unknown file");
    // A temporary file's name was reserved by creating it, so the library's exclusive create
    // must find it there.
    if (StartsWith(token, kTempPrefix)) flags &= ~oflag::kExclusive;
    OpenParams p = TranslateOpenFlags(flags);
    auto& os = plat::Current();
    plat::FileHandle handle =
        os.OpenFile(path, p.access, p.shareMode, p.disposition, p.flagsAndAttributes);
    if (handle == plat::kInvalidFile) {
      FailedWith(Of(pv), err);
      return plat::kInvalidFile;
    }
    w.openHandles.insert(handle);
    if (token == kCabinetToken) {
      w.cabinetTouched = true;
      w.cabinetHandle = handle;
    }
    return handle;
  });
}

uint32_t CABAPI Read(intptr_t handle, void* buffer, uint32_t count, int32_t* err, void* pv) {
  return Guarded<uint32_t>(pv, err, UINT32_MAX, [&] {
    uint32_t done = 0;
    if (!plat::Current().Read(handle, buffer, count, done)) {
      FailedWith(Of(pv), err);
      return UINT32_MAX;
    }
    return done;
  });
}

uint32_t CABAPI Write(intptr_t handle, void* buffer, uint32_t count, int32_t* err, void* pv) {
  return Guarded<uint32_t>(pv, err, UINT32_MAX, [&] {
    uint32_t done = 0;
    if (!plat::Current().Write(handle, buffer, count, done)) {
      FailedWith(Of(pv), err);
      return UINT32_MAX;
    }
    return done;
  });
}

int32_t CABAPI Close(intptr_t handle, int32_t* err, void* pv) {
  return Guarded<int32_t>(pv, err, -1, [&] {
    Writer& w = Of(pv);
    // Still tracked should the platform throw: the handle is closed again at the end.
    bool closed = plat::Current().Close(handle);
    w.openHandles.erase(handle);
    if (!closed) {
      int32_t code = FailedWith(Of(pv), err);
      // The library pays no heed to a failed close of the finished cabinet, yet its last
      // writes may be lost with it.
      if (handle == w.cabinetHandle && w.refusal.empty())
        w.refusal = "cannot close the cabinet file: " + ErrorText(static_cast<uint32_t>(code));
      return -1;
    }
    if (handle == w.cabinetHandle) w.cabinetHandle = plat::kInvalidFile;
    return 0;
  });
}

int32_t CABAPI Seek(intptr_t handle, int32_t distance, int32_t origin, int32_t* err, void* pv) {
  return Guarded<int32_t>(pv, err, -1, [&] {
    int64_t position =
        plat::Current().Seek(handle, distance, static_cast<plat::SeekOrigin>(origin));
    if (position < 0 || position > INT32_MAX) {
      if (position < 0) FailedWith(Of(pv), err);
      return -1;
    }
    return static_cast<int32_t>(position);
  });
}

int32_t CABAPI Delete(char* name, int32_t* err, void* pv) {
  return Guarded<int32_t>(pv, err, -1, [&] {
    Writer& w = Of(pv);
    std::string_view token = name ? name : "";
    std::string path = PathOf(w, token);
    if (path.empty()) throw std::logic_error("the cabinet library deleted an unknown file");
    if (!plat::Current().RemoveFile(path)) {
      FailedWith(Of(pv), err);
      return -1;
    }
    if (token == kCabinetToken) {
      w.cabinetTouched = false;
    } else {
      w.tempFiles[TokenIndex(token, kTempPrefix)].clear();
    }
    return 0;
  });
}

// Reserves a new file in the platform's temporary folder by creating it, and answers its token.
int32_t CABAPI GetTempFile(char* buffer, int32_t size, void* pv) {
  return Guarded<int32_t>(pv, nullptr, 0, [&] {
    Writer& w = Of(pv);
    auto& os = plat::Current();
    std::string folder;
    if (!os.TempPath(folder))
      throw std::runtime_error("cannot find the temporary folder: " + ErrorText(os.LastError()));
    for (int attempt = 0;; ++attempt) {
      std::string path = UniqueTempName(folder);
      plat::FileHandle file =
          os.OpenFile(path, plat::access::kRead | plat::access::kWrite, plat::share::kNone,
                      plat::Disposition::kCreateNew, plat::attr::kTemporary);
      if (file == plat::kInvalidFile) {
        uint32_t code = os.LastError();
        if (attempt < 8 && os.FileAttributes(path) != plat::attr::kInvalid) continue;  // taken
        throw std::runtime_error("cannot create the temporary file \"" + path +
                                 "\": " + ErrorText(code));
      }
      os.Close(file);
      std::string token = std::string(kTempPrefix) + std::to_string(w.tempFiles.size());
      w.tempFiles.push_back(path);
      if (static_cast<int32_t>(token.size()) >= size) throw std::length_error("temp name");
      std::memcpy(buffer, token.c_str(), token.size() + 1);
      return 1;
    }
  });
}

int32_t CABAPI GetNextCabinet(CCAB*, uint32_t, void* pv) {
  return Guarded<int32_t>(pv, nullptr, 0, [&] {
    if (Of(pv).refusal.empty()) Of(pv).refusal = "the files do not fit in one cabinet";
    return 0;
  });
}

int32_t CABAPI Status(uint32_t typeStatus, uint32_t, uint32_t cb2, void*) {
  // For the finished cabinet the answer is the size it should have: the size it has.
  return typeStatus == statusCabinet ? static_cast<int32_t>(cb2) : 0;
}

// Opens a source file and answers the stored date, time and attributes the caller chose, never
// the file's own, so that the same input always gives the same cabinet.
intptr_t CABAPI GetOpenInfo(char* name, uint16_t* date, uint16_t* time, uint16_t* attribs,
                            int32_t* err, void* pv) {
  return Guarded<intptr_t>(pv, err, plat::kInvalidFile, [&]() -> intptr_t {
    Writer& w = Of(pv);
    size_t index = TokenIndex(name ? name : "", kSourcePrefix);
    if (index >= w.files.size())
      throw std::logic_error("the cabinet library asked for an unknown file");
    const CabSourceFile& source = w.files[index];
    plat::FileHandle handle = plat::Current().OpenFile(
        source.path, plat::access::kRead, plat::share::kRead, plat::Disposition::kOpenExisting,
        plat::attr::kNormal | plat::flag::kSequentialScan);
    if (handle == plat::kInvalidFile) {
      FailedWith(Of(pv), err);
      return plat::kInvalidFile;
    }
    w.openHandles.insert(handle);
    *date = source.dosDate;
    *time = source.dosTime;
    uint16_t bits = source.attributes;
    for (unsigned char c : source.storedName)
      if (c >= 0x80) bits |= kAttrNameIsUtf;  // names cross the platform layer as UTF-8
    *attribs = bits;
    return handle;
  });
}

// --- Errors.

const char* FciErrorWords(int32_t code) {
  switch (code) {
    case FCIERR_OPEN_SRC:
      return "cannot open the file to add";
    case FCIERR_READ_SRC:
      return "cannot read the file to add";
    case FCIERR_ALLOC_FAIL:
      return "out of memory";
    case FCIERR_TEMP_FILE:
      return "cannot write a temporary file";
    case FCIERR_BAD_COMPR_TYPE:
      return "unknown compression type";
    case FCIERR_CAB_FILE:
      return "cannot write the cabinet file";
    case FCIERR_USER_ABORT:
      return "stopped";
    case FCIERR_MCI_FAIL:
      return "compression failed";
    case FCIERR_CAB_FORMAT_LIMIT:
      return "too much data for the cabinet format";
    default:
      return "the cabinet library failed";
  }
}

// The reason for a failed library call, from what the callbacks saw or else the error record.
std::string Reason(const Writer& w, const ERF& erf) {
  if (w.callbackError) {
    try {
      std::rethrow_exception(w.callbackError);
    } catch (const std::exception& e) {
      return e.what();
    } catch (...) {
      return "unknown error in a cabinet library callback";
    }
  }
  if (!w.refusal.empty()) return w.refusal;
  std::string reason = FciErrorWords(erf.erfOper);
  if (erf.erfOper == FCIERR_OPEN_SRC || erf.erfOper == FCIERR_READ_SRC) {
    if (w.currentFile < w.files.size()) reason += " \"" + w.files[w.currentFile].path + "\"";
  }
  reason += " (cabinet library error " + std::to_string(erf.erfOper) + ")";
  // The library's record names the OS error where it kept one; else the first one a callback met.
  uint32_t code = erf.erfType != 0 ? static_cast<uint32_t>(erf.erfType) : w.osError;
  if (code != 0) reason += ": " + ErrorText(code);
  return reason;
}

[[noreturn]] void Fail(const std::string& cabinetPath, const std::string& reason) {
  throw std::runtime_error("Cannot write cabinet \"" + cabinetPath + "\": " + reason);
}

// Owns the library's context; whatever the library left open or on disk goes with it.
class Context {
 public:
  explicit Context(Writer& w) : w_(w) {}
  ~Context() {
    if (hfci_) FCIDestroy(hfci_);
    auto& os = plat::Current();
    auto quietly = [](auto&& step) {
      try {
        step();
      } catch (...) {  // cleaning up after an error already recorded
      }
    };
    for (intptr_t handle : w_.openHandles) quietly([&] { os.Close(handle); });
    for (const std::string& path : w_.tempFiles)
      if (!path.empty()) quietly([&] { os.RemoveFile(path); });
    if (!succeeded_ && w_.cabinetTouched) quietly([&] { os.RemoveFile(w_.cabinetPath); });
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  HFCI& handle() { return hfci_; }
  void Succeeded() { succeeded_ = true; }

 private:
  Writer& w_;
  HFCI hfci_ = nullptr;
  bool succeeded_ = false;
};

// Loads the library once for all threads that write at the same moment.
void LoadLibraryOnce() {
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  if (!CabinetLibraryLoaded()) LoadCabinetLibrary();
}

}  // namespace

void WriteCabinet(const std::string& cabinetPath, const std::vector<CabSourceFile>& files) {
#ifndef _WIN32
  // The stand-in for the cabinet library reads cabinets only.
  Fail(cabinetPath, "this system's cabinet library cannot write cabinets");
#endif
  for (const CabSourceFile& f : files) {
    if (f.storedName.empty() || f.storedName.size() >= kMaxCabName)
      Fail(cabinetPath, "the stored name \"" + f.storedName + "\" is empty or longer than " +
                            std::to_string(kMaxCabName - 1) + " bytes");
  }
  try {
    LoadLibraryOnce();
  } catch (const std::exception& e) {
    Fail(cabinetPath, std::string("cannot load the cabinet library: ") + e.what());
  }

  Writer w(cabinetPath, files);
  ERF erf{};
  CCAB ccab{};
  // One cabinet, one folder, set 0: limits no input can reach, so the library never starts a
  // second cabinet or folder on its own (and says so through the callbacks should it try).
  ccab.cb = 0x7FFFFFFF;
  ccab.cbFolderThresh = 0x7FFFFFFF;
  ccab.setID = 0;
  ccab.iCab = 0;  // the library stores it as the cabinet's index in its set: the first
  std::memcpy(ccab.szCab, kCabinetToken.data(), kCabinetToken.size());

  std::string failure;
  {
    Context context(w);
    HFCI& hfci = context.handle();
    hfci = FCICreate(&erf, FilePlaced, Alloc, Free, Open, Read, Write, Close, Seek, Delete,
                     GetTempFile, &ccab, &w);
    bool ok = hfci != nullptr;
    for (size_t i = 0; ok && i < files.size(); ++i) {
      w.currentFile = i;
      std::string source = std::string(kSourcePrefix) + std::to_string(i);
      std::string stored = files[i].storedName;
      ok = FCIAddFile(hfci, source.data(), stored.data(), (files[i].attributes & kAttrExecute) != 0,
                      GetNextCabinet, Status, GetOpenInfo, tcompTYPE_MSZIP);
    }
    if (ok) ok = FCIFlushCabinet(hfci, false, GetNextCabinet, Status);
    // An error met in a callback whose failure the library ignores still fails the cabinet,
    // and a library that spans without asking for the next cabinet's name is still refused.
    if (ok && (w.callbackError || !w.refusal.empty())) ok = false;
    if (ok && !w.cabinetTouched) {
      w.refusal = "the cabinet library wrote no cabinet";
      ok = false;
    }
    if (ok) {
      context.Succeeded();
    } else {
      failure = Reason(w, erf);
    }
  }
  if (!failure.empty()) Fail(cabinetPath, failure);
}

}  // namespace cab
