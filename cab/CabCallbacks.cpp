#include "cab/CabCallbacks.h"

#include <cstdlib>
#include <utility>

namespace cab {

uint32_t LastOSError = 0;
uint32_t LastWriteError = 0;
void (*CallbackFaultHook)(const char* callback) = nullptr;

namespace {

std::exception_ptr callbackError;

// Runs a callback's body; an exception becomes the recorded error and the failure value.
template <typename Result, typename Body>
Result Guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    RecordCallbackError();
    return failure;
  }
}

void RecordError() {
  uint32_t code = plat::Current().LastError();
  if (code != 0) LastOSError = code;
}

constexpr uint32_t kFailed = 0xFFFFFFFFu;

}  // namespace

void RecordCallbackError() noexcept {
  if (!callbackError) callbackError = std::current_exception();
}

bool CallbackErrorPending() noexcept {
  return callbackError != nullptr;
}

void ClearCallbackError() noexcept {
  callbackError = nullptr;
}

void RaiseCallbackError() {
  if (callbackError) std::rethrow_exception(std::exchange(callbackError, nullptr));
}

OpenParams TranslateOpenFlags(int32_t flags) {
  OpenParams p{};
  switch (flags & 3) {
    case 0:
      p.access = plat::access::kRead;
      break;
    case 1:
      p.access = plat::access::kWrite;
      break;
    default:
      p.access = plat::access::kRead | plat::access::kWrite;
      break;
  }
  p.shareMode = plat::share::kRead;
  const bool create = flags & oflag::kCreate;
  if ((flags & oflag::kExclusive) && create) {
    p.disposition = plat::Disposition::kCreateNew;
  } else if ((flags & oflag::kTruncate) && create) {
    p.disposition = plat::Disposition::kCreateAlways;
  } else if (flags & oflag::kTruncate) {
    p.disposition = plat::Disposition::kTruncateExisting;
  } else if (create) {
    p.disposition = plat::Disposition::kOpenAlways;
  } else {
    p.disposition = plat::Disposition::kOpenExisting;
  }
  p.flagsAndAttributes =
      ((flags & oflag::kShortLived) && create) ? plat::attr::kTemporary : plat::attr::kNormal;
  if (flags & oflag::kRandom) p.flagsAndAttributes |= plat::flag::kRandomAccess;
  if (flags & oflag::kSequential) p.flagsAndAttributes |= plat::flag::kSequentialScan;
  if ((flags & oflag::kTemporary) && create) p.flagsAndAttributes |= plat::flag::kDeleteOnClose;
  return p;
}

// An exhausted heap answers null, so that the library reports its own allocation error.
void* CABAPI CabAlloc(uint32_t size) {
  return Guarded<void*>(nullptr, [&] {
    CallbackFaultPoint("alloc");
    return std::malloc(size ? size : 1);
  });
}

void CABAPI CabFree(void* block) {
  Guarded(0, [&] {
    std::free(block);
    CallbackFaultPoint("free");
    return 0;
  });
}

plat::FileHandle OpenTranslated(const std::string& name, int32_t flags) {
  auto& os = plat::Current();
  OpenParams p = TranslateOpenFlags(flags);
  plat::FileHandle handle =
      os.OpenFile(name, p.access, p.shareMode, p.disposition, p.flagsAndAttributes);
  if (handle == plat::kInvalidFile) {
    RecordError();
    return plat::kInvalidFile;
  }
  if ((flags & oflag::kAppend) && os.Seek(handle, 0, plat::SeekOrigin::kEnd) < 0) {
    RecordError();
    os.Close(handle);
    return plat::kInvalidFile;
  }
  return handle;
}

intptr_t CABAPI CabOpen(char* name, int32_t flags, int32_t /*mode*/) {
  return Guarded<intptr_t>(plat::kInvalidFile, [&] {
    CallbackFaultPoint("open");
    return OpenTranslated(name ? name : "", flags);
  });
}

uint32_t CABAPI CabRead(intptr_t handle, void* buffer, uint32_t count) {
  return Guarded(kFailed, [&] {
    CallbackFaultPoint("read");
    uint32_t done = 0;
    if (!plat::Current().Read(handle, buffer, count, done)) {
      RecordError();
      return kFailed;
    }
    return done;
  });
}

uint32_t CABAPI CabWrite(intptr_t handle, void* buffer, uint32_t count) {
  return Guarded(kFailed, [&] {
    CallbackFaultPoint("write");
    uint32_t done = 0;
    if (!plat::Current().Write(handle, buffer, count, done)) {
      RecordError();
      LastWriteError = plat::Current().LastError();
      return kFailed;
    }
    return done;
  });
}

int32_t CABAPI CabClose(intptr_t handle) {
  return Guarded(-1, [&] {
    const bool closed = plat::Current().Close(handle);
    if (!closed) RecordError();
    CallbackFaultPoint("close");
    return closed ? 0 : -1;
  });
}

int32_t CABAPI CabSeek(intptr_t handle, int32_t distance, int32_t origin) {
  return Guarded(-1, [&] {
    CallbackFaultPoint("seek");
    int64_t position =
        plat::Current().Seek(handle, distance, static_cast<plat::SeekOrigin>(origin));
    if (position < 0) {
      RecordError();
      return -1;
    }
    return static_cast<int32_t>(position);
  });
}

bool SetTargetFileInfo(const std::string& path, uint16_t date, uint16_t time, uint16_t attributes) {
  auto& os = plat::Current();
  plat::FileHandle file = os.OpenFile(path, plat::access::kRead | plat::access::kWrite,
                                      plat::share::kRead, plat::Disposition::kOpenExisting,
                                      plat::attr::kNormal | plat::flag::kSequentialScan);
  if (file == plat::kInvalidFile) return false;
  os.SetFileTimeFromDos(file, date, time);
  os.Close(file);
  os.SetAttributes(path, attributes & 0x27u);
  // The run-after-extract bit carries a POSIX execute permission across (a no-op on Windows).
  if ((attributes & kAttrExecute) != 0) os.MarkExecutable(path);
  return true;
}

}  // namespace cab
