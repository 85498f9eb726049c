// Binding to the system's cabinet library ("cabinet.dll"): its published FDI/FCI types, the lazy
// load of its nine entry points, and call-throughs for the three the reader uses and the four the
// writer uses.
#pragma once

#include <cstddef>
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

// --- FCI, the library's cabinet writer.
enum TFCIERROR : int32_t {
  FCIERR_NONE = 0,
  FCIERR_OPEN_SRC = 1,
  FCIERR_READ_SRC = 2,
  FCIERR_ALLOC_FAIL = 3,
  FCIERR_TEMP_FILE = 4,
  FCIERR_BAD_COMPR_TYPE = 5,
  FCIERR_CAB_FILE = 6,
  FCIERR_USER_ABORT = 7,
  FCIERR_MCI_FAIL = 8,
  FCIERR_CAB_FORMAT_LIMIT = 9,
};

inline constexpr uint16_t tcompTYPE_MSZIP = 0x0001;
// A stored file's attribute bits.
inline constexpr uint16_t kAttrReadOnly = 0x01;   // _A_RDONLY
inline constexpr uint16_t kAttrArchive = 0x20;    // _A_ARCH
inline constexpr uint16_t kAttrExecute = 0x40;    // _A_EXEC: run after extraction
inline constexpr uint16_t kAttrNameIsUtf = 0x80;  // _A_NAME_IS_UTF
inline constexpr size_t kMaxCabName = 256;        // CB_MAX_FILENAME, _CABINET_NAME, _CAB_PATH
inline constexpr uint32_t statusFile = 0, statusFolder = 1, statusCabinet = 2;

// The cabinet being written. The library's header packs it to 4 bytes on 32-bit Windows, which
// is its natural layout there as well.
struct CCAB {
  uint32_t cb;              // largest cabinet size before the set spans to the next one
  uint32_t cbFolderThresh;  // compressed size after which a new folder begins
  uint32_t cbReserveCFHeader;
  uint32_t cbReserveCFFolder;
  uint32_t cbReserveCFData;
  int32_t iCab;
  int32_t iDisk;
  int32_t fFailOnIncompressible;
  uint16_t setID;
  char szDisk[kMaxCabName];
  char szCab[kMaxCabName];
  char szCabPath[kMaxCabName];
};

using HFCI = void*;
using PFNFCIFILEPLACED = int32_t(CABAPI*)(CCAB* pccab, char* pszFile, int32_t cbFile,
                                          int32_t fContinuation, void* pv);
using PFNFCIALLOC = void*(CABAPI*)(uint32_t cb);
using PFNFCIFREE = void(CABAPI*)(void* memory);
using PFNFCIOPEN = intptr_t(CABAPI*)(char* pszFile, int32_t oflag, int32_t pmode, int32_t* err,
                                     void* pv);
using PFNFCIREAD = uint32_t(CABAPI*)(intptr_t hf, void* memory, uint32_t cb, int32_t* err,
                                     void* pv);
using PFNFCIWRITE = uint32_t(CABAPI*)(intptr_t hf, void* memory, uint32_t cb, int32_t* err,
                                      void* pv);
using PFNFCICLOSE = int32_t(CABAPI*)(intptr_t hf, int32_t* err, void* pv);
using PFNFCISEEK = int32_t(CABAPI*)(intptr_t hf, int32_t dist, int32_t seektype, int32_t* err,
                                    void* pv);
using PFNFCIDELETE = int32_t(CABAPI*)(char* pszFile, int32_t* err, void* pv);
using PFNFCIGETTEMPFILE = int32_t(CABAPI*)(char* pszTempName, int32_t cbTempName, void* pv);
using PFNFCIGETNEXTCABINET = int32_t(CABAPI*)(CCAB* pccab, uint32_t cbPrevCab, void* pv);
using PFNFCISTATUS = int32_t(CABAPI*)(uint32_t typeStatus, uint32_t cb1, uint32_t cb2, void* pv);
using PFNFCIGETOPENINFO = intptr_t(CABAPI*)(char* pszName, uint16_t* pdate, uint16_t* ptime,
                                            uint16_t* pattribs, int32_t* err, void* pv);

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

// FCICreate loads the library first when needed. (The load itself is not guarded against
// threads: the cabinet writer loads the library under its own lock before it creates a context.)
HFCI FCICreate(ERF* perf, PFNFCIFILEPLACED pfnfiledest, PFNFCIALLOC pfnalloc, PFNFCIFREE pfnfree,
               PFNFCIOPEN pfnopen, PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose,
               PFNFCISEEK pfnseek, PFNFCIDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, CCAB* pccab,
               void* pv);
bool FCIAddFile(HFCI hfci, char* pszSourceFile, char* pszFileName, bool fExecute,
                PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi,
                uint16_t typeCompress);
bool FCIFlushCabinet(HFCI hfci, bool fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc,
                     PFNFCISTATUS pfnfcis);
bool FCIDestroy(HFCI hfci);

}  // namespace cab
