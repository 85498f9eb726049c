// The cabinet library's FDI/FCI interface as the stand-in exports it: the published types with
// their published layout and values, declared here so that no Windows header is needed.
#pragma once

#include <cstdint>

namespace cabinet_standin {

// Error record filled by every failing call on a context.
struct ERF {
  int erfOper;
  int erfType;
  int fError;
};

enum FDIERROR : int {
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

enum FCIERROR : int {
  FCIERR_NONE = 0,
  FCIERR_OPEN_SRC = 1,
  FCIERR_READ_SRC = 2,
  FCIERR_ALLOC_FAIL = 3,
  FCIERR_TEMP_FILE = 4,
  FCIERR_BAD_COMPR_TYPE = 5,
  FCIERR_CAB_FILE = 6,
  FCIERR_USER_ABORT = 7,
  FCIERR_MCI_FAIL = 8,
};

enum FDINOTIFICATIONTYPE : int {
  fdintCABINET_INFO = 0,
  fdintPARTIAL_FILE = 1,
  fdintCOPY_FILE = 2,
  fdintCLOSE_FILE_INFO = 3,
  fdintNEXT_CABINET = 4,
  fdintENUMERATE = 5,
};

struct FDINOTIFICATION {
  std::int32_t cb;
  char* psz1;
  char* psz2;
  char* psz3;
  void* pv;
  std::intptr_t hf;
  std::uint16_t date;
  std::uint16_t time;
  std::uint16_t attribs;
  std::uint16_t setID;
  std::uint16_t iCabinet;
  std::uint16_t iFolder;
  std::int32_t fdie;  // FDIERROR
};

struct FDICABINETINFO {
  std::int32_t cbCabinet;
  std::uint16_t cFolders;
  std::uint16_t cFiles;
  std::uint16_t setID;
  std::uint16_t iCabinet;
  int fReserve;
  int hasprev;
  int hasnext;
};

// File attribute bits stored in a cabinet.
inline constexpr std::uint16_t kAttribExecute = 0x40;

// Open flags the library passes to the open callback (the C runtime's values).
inline constexpr int kOpenReadOnly = 0x0000;
inline constexpr int kOpenBinary = 0x8000;

using PFNALLOC = void* (*)(std::uint32_t cb);
using PFNFREE = void (*)(void* p);
using PFNOPEN = std::intptr_t (*)(char* file, int oflag, int pmode);
using PFNREAD = std::uint32_t (*)(std::intptr_t hf, void* buffer, std::uint32_t cb);
using PFNWRITE = std::uint32_t (*)(std::intptr_t hf, void* buffer, std::uint32_t cb);
using PFNCLOSE = int (*)(std::intptr_t hf);
using PFNSEEK = std::int32_t (*)(std::intptr_t hf, std::int32_t distance, int seekType);
using PFNFDINOTIFY = std::intptr_t (*)(FDINOTIFICATIONTYPE type, FDINOTIFICATION* notification);
using PFNFDIDECRYPT = int (*)(void* decrypt);

// The nine entry points, with the library's prototypes. FCI callbacks and the cabinet
// description are opaque here: the stand-in never compresses.
void* FDICreate(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read, PFNWRITE write,
                PFNCLOSE close, PFNSEEK seek, int cpuType, ERF* erf);
int FDIIsCabinet(void* hfdi, std::intptr_t hf, FDICABINETINFO* info);
int FDICopy(void* hfdi, char* cabinet, char* cabinetPath, int flags, PFNFDINOTIFY notify,
            PFNFDIDECRYPT decrypt, void* user);
int FDIDestroy(void* hfdi);

void* FCICreate(ERF* erf, void* filePlaced, void* alloc, void* free, void* open, void* read,
                void* write, void* close, void* seek, void* remove, void* tempFile, void* ccab,
                void* user);
int FCIAddFile(void* hfci, char* sourceFile, char* fileName, int execute, void* nextCabinet,
               void* status, void* openInfo, std::uint16_t compression);
int FCIFlushCabinet(void* hfci, int getNextCabinet, void* nextCabinet, void* status);
int FCIFlushFolder(void* hfci, void* nextCabinet, void* status);
int FCIDestroy(void* hfci);

}  // namespace cabinet_standin
