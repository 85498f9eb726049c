// Binding to the system's cabinet library ("cabinet.dll"): its published FDI/FCI types, the lazy
// load of its nine entry points, and call-throughs for the three the reader uses.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define CABAPI __cdecl
#else
#define CABAPI
#endif

namespace cab {

// The library's error record, filled in whenever a call on a context fails.
struct ERF {
  int32_t erfOper;  // the library's error code (TFDIERROR for FDI calls)
  int32_t erfType;  // secondary value; the reader stores the OS error code here
  int32_t fError;   // nonzero when an error is present
};

enum TFDIERROR : int32_t {
  FDIERROR_NONE = 0,
  FDIERROR_CABINET_NOT_FOUND = 1,
  FDIERROR_NOT_A_CABINET = 2,
  FDIERROR_UNKNOWN_CABINET_VERSION = 3,
  FDIERROR_CORRUPT_CABINET = 4,
  FDIERROR_ALLOC_FAIL = 5,
  FDIERROR_BAD_COMPR_TYPE = 6,
  FDIERROR_MDI_FAIL = 7,
  FDIERROR_TARGET_FILE = 8,
  FDIERROR_RESERVE_MISMATCH = 9,
  FDIERROR_WRONG_CABINET = 10,
  FDIERROR_USER_ABORT = 11,
};

enum TFDINOTIFICATIONTYPE : int32_t {
  fdintCABINET_INFO = 0,
  fdintPARTIAL_FILE = 1,
  fdintCOPY_FILE = 2,
  fdintCLOSE_FILE_INFO = 3,
  fdintNEXT_CABINET = 4,
  fdintENUMERATE = 5,
};

struct TFDINOTIFICATION {
  int32_t cb;
  char* psz1;
  char* psz2;
  char* psz3;
  void* pv;
  intptr_t hf;
  uint16_t date;
  uint16_t time;
  uint16_t attribs;
  uint16_t setID;
  uint16_t iCabinet;
  uint16_t iFolder;
  TFDIERROR fdie;
};

using HFDI = void*;
using PFNALLOC = void*(CABAPI*)(uint32_t cb);
using PFNFREE = void(CABAPI*)(void* pv);
using PFNOPEN = intptr_t(CABAPI*)(char* pszFile, int32_t oflag, int32_t pmode);
using PFNREAD = uint32_t(CABAPI*)(intptr_t hf, void* pv, uint32_t cb);
using PFNWRITE = uint32_t(CABAPI*)(intptr_t hf, void* pv, uint32_t cb);
using PFNCLOSE = int32_t(CABAPI*)(intptr_t hf);
using PFNSEEK = int32_t(CABAPI*)(intptr_t hf, int32_t dist, int32_t seektype);
using PFNFDINOTIFY = intptr_t(CABAPI*)(TFDINOTIFICATIONTYPE fdint, TFDINOTIFICATION* pfdin);
using PFNFDIDECRYPT = int32_t(CABAPI*)(void* pfdid);

inline constexpr int32_t cpuUNKNOWN = -1;

// The open flags the library passes to the open callback.
namespace oflag {
inline constexpr int32_t kReadOnly = 0x0000;
inline constexpr int32_t kWriteOnly = 0x0001;
inline constexpr int32_t kReadWrite = 0x0002;
inline constexpr int32_t kAppend = 0x0008;
inline constexpr int32_t kRandom = 0x0010;
inline constexpr int32_t kSequential = 0x0020;
inline constexpr int32_t kTemporary = 0x0040;
inline constexpr int32_t kCreate = 0x0100;
inline constexpr int32_t kTruncate = 0x0200;
inline constexpr int32_t kExclusive = 0x0400;
inline constexpr int32_t kShortLived = 0x1000;
inline constexpr int32_t kBinary = 0x8000;
}  // namespace oflag

// Loads the library and resolves all nine entry points; raises EOSError when the library or
// any entry point is missing (the library is then released again).
void LoadCabinetLibrary();
// True while the library is loaded.
bool CabinetLibraryLoaded();
// Releases the library. Runs by itself at program end; tests call it to start afresh.
void UnloadCabinetLibrary();

// Call-throughs. FDICreate loads the library first when needed.
HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
               PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int32_t cpuType, ERF* perf);
bool FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int32_t flags, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT pfnfdid, void* pvUser);
bool FDIDestroy(HFDI hfdi);

}  // namespace cab
