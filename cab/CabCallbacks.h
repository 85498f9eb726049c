// The memory and file callbacks the cabinet library works through, the translation of its open
// flags into an operating-system open, and the date/time/attribute restore of extracted files.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "cab/CabIntf.h"
#include "platform/Platform.h"

namespace cab {

// The last nonzero OS error code recorded by a callback; one for the whole process.
extern uint32_t LastOSError;
// The OS error of the last write callback that failed; kept across notifications so that a
// short target file can still be explained when it is closed.
extern uint32_t LastWriteError;

// No exception may unwind through the library's frames (the 32-bit Windows build cannot unwind
// through them at all): a callback that meets one records it, answers the library's failure
// value, and whoever called into the library raises it once the library has returned. Only the
// first error is kept; what follows is usually a consequence of it.
void RecordCallbackError() noexcept;  // records the exception being handled
bool CallbackErrorPending() noexcept;
void ClearCallbackError() noexcept;
// Raises the recorded error, if any, and clears it.
void RaiseCallbackError();

// Called with the callback's name ("alloc", "free", "open", "read", "write", "close", "seek",
// "notify") inside every callback, where a fault of its own would arise; tests make it throw.
// Null in normal use.
extern void (*CallbackFaultHook)(const char* callback);
inline void CallbackFaultPoint(const char* callback) {
  if (CallbackFaultHook) CallbackFaultHook(callback);
}

struct OpenParams {
  uint32_t access;
  uint32_t shareMode;
  plat::Disposition disposition;
  uint32_t flagsAndAttributes;
};

// How the library's open flags become an OS open (a pure function).
OpenParams TranslateOpenFlags(int32_t flags);

void* CABAPI CabAlloc(uint32_t size);
void CABAPI CabFree(void* block);
intptr_t CABAPI CabOpen(char* name, int32_t flags, int32_t mode);
uint32_t CABAPI CabRead(intptr_t handle, void* buffer, uint32_t count);
uint32_t CABAPI CabWrite(intptr_t handle, void* buffer, uint32_t count);
int32_t CABAPI CabClose(intptr_t handle);
int32_t CABAPI CabSeek(intptr_t handle, int32_t distance, int32_t origin);

// Opens `name` as CabOpen does; the error of a failed open is recorded.
plat::FileHandle OpenTranslated(const std::string& name, int32_t flags);

// Gives an extracted file the cabinet's local MS-DOS date and time (creation and last-write)
// and its read-only, hidden, system and archive attributes; a file with the run-after-extract
// bit (0x40) is made executable where the system has such a permission. False when it cannot be
// opened.
bool SetTargetFileInfo(const std::string& path, uint16_t date, uint16_t time, uint16_t attributes);

}  // namespace cab
