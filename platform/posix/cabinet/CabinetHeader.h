// A cabinet's header, folder and file records, read through the caller's callbacks. libmspack
// reads them too, but hides what FDI reports: the raw folder index of each file (with its
// continuation values) and the exact stored bytes of every name.
#pragma once

#include <cstdint>

#include "platform/posix/cabinet/FdiContext.h"

namespace cabinet_standin {

// Folder index values of files that continue across cabinets.
inline constexpr std::uint16_t kContinuedFromPrev = 0xFFFD;
inline constexpr std::uint16_t kContinuedToNext = 0xFFFE;
inline constexpr std::uint16_t kContinuedPrevAndNext = 0xFFFF;

inline bool ContinuesFromPrev(std::uint16_t folder) {
  return (folder & kContinuedFromPrev) == kContinuedFromPrev;
}
inline bool ContinuesToNext(std::uint16_t folder) {
  return folder == kContinuedToNext || folder == kContinuedPrevAndNext;
}

struct CabinetFile {
  String name;
  std::uint32_t size = 0;
  std::uint32_t offset = 0;  // in the (merged) folder's uncompressed data
  std::uint16_t folder = 0, date = 0, time = 0, attribs = 0;
};

struct Cabinet {
  explicit Cabinet(const FdiContext& c)
      : path(c.Allocator()),
        prevName(c.Allocator()),
        prevDisk(c.Allocator()),
        nextName(c.Allocator()),
        nextDisk(c.Allocator()),
        files(CallbackAllocator<CabinetFile>(&c.callbacks)) {}

  String path;
  std::uint32_t size = 0;
  std::uint16_t folders = 0, fileCount = 0, flags = 0, setID = 0, index = 0;
  std::uint8_t folderReserve = 0;
  String prevName, prevDisk, nextName, nextDisk;
  Vector<CabinetFile> files;

  bool HasPrev() const { return flags & 1; }
  bool HasNext() const { return flags & 2; }
  bool HasReserve() const { return flags & 4; }
};

// A cabinet opened through the caller's open callback, closed through its close callback.
class OpenCabinet {
 public:
  OpenCabinet(const Callbacks& c, const String& path)
      : callbacks_(c),
        hf_(c.open(const_cast<char*>(path.c_str()), kOpenReadOnly | kOpenBinary, 0x180)) {}
  ~OpenCabinet() {
    if (hf_ != -1) callbacks_.close(hf_);
  }
  OpenCabinet(const OpenCabinet&) = delete;
  OpenCabinet& operator=(const OpenCabinet&) = delete;
  bool ok() const { return hf_ != -1; }
  std::intptr_t hf() const { return hf_; }

 private:
  const Callbacks& callbacks_;
  std::intptr_t hf_;
};

// Reads the fixed header, the reserve sizes and the neighbours' names from the current position
// of `hf`. Returns an FDIERROR: NOT_A_CABINET, UNKNOWN_CABINET_VERSION or CORRUPT_CABINET.
int ReadHeader(const FdiContext& context, std::intptr_t hf, Cabinet& cabinet);

// Reads the folder and file records that follow the header; CORRUPT_CABINET when they are cut.
int ReadRecords(const FdiContext& context, std::intptr_t hf, Cabinet& cabinet);

// Opens `path` and reads all of it; CABINET_NOT_FOUND when it cannot be opened.
int ReadCabinet(const FdiContext& context, const String& path, Cabinet& cabinet);

}  // namespace cabinet_standin
