#include "platform/posix/cabinet/CabinetHeader.h"

namespace cabinet_standin {
namespace {

constexpr std::uint32_t kSignature = 0x4643534D;  // "MSCF"
constexpr std::uint32_t kHeaderSize = 36, kFolderSize = 8, kFileSize = 16;
constexpr std::uint32_t kMaxName = 256;  // with its NUL

std::uint16_t Le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t Le32(const unsigned char* p) {
  return Le16(p) | static_cast<std::uint32_t>(Le16(p + 2)) << 16;
}

bool ReadExactly(const Callbacks& c, std::intptr_t hf, void* buffer, std::uint32_t size) {
  return c.read(hf, buffer, size) == size;
}

// A NUL-terminated string of at most kMaxName bytes; leaves the file just after it.
bool ReadString(const Callbacks& c, std::intptr_t hf, String& out) {
  std::int32_t base = c.seek(hf, 0, 1);
  if (base == -1) return false;
  char buffer[kMaxName];
  std::uint32_t got = c.read(hf, buffer, kMaxName);
  if (got == UINT32_MAX || got > kMaxName) return false;
  for (std::uint32_t i = 0; i < got; ++i) {
    if (buffer[i] == '\0') {
      out.assign(buffer, i);
      return c.seek(hf, base + static_cast<std::int32_t>(i) + 1, 0) != -1;
    }
  }
  return false;
}

}  // namespace

int ReadHeader(const FdiContext& context, std::intptr_t hf, Cabinet& cabinet) {
  const Callbacks& c = context.callbacks;
  unsigned char h[kHeaderSize];
  if (!ReadExactly(c, hf, h, sizeof h) || Le32(h) != kSignature) return FDIERROR_NOT_A_CABINET;
  std::uint8_t minor = h[24], major = h[25];
  if (major > 1 || (major == 1 && minor > 3)) return FDIERROR_UNKNOWN_CABINET_VERSION;
  cabinet.size = Le32(h + 8);
  cabinet.folders = Le16(h + 26);
  cabinet.fileCount = Le16(h + 28);
  cabinet.flags = Le16(h + 30);
  cabinet.setID = Le16(h + 32);
  cabinet.index = Le16(h + 34);
  if (cabinet.HasReserve()) {
    unsigned char r[4];
    if (!ReadExactly(c, hf, r, sizeof r)) return FDIERROR_CORRUPT_CABINET;
    std::uint16_t headerReserve = Le16(r);
    cabinet.folderReserve = r[2];
    if (headerReserve && c.seek(hf, headerReserve, 1) == -1) return FDIERROR_CORRUPT_CABINET;
  }
  if (cabinet.HasPrev() &&
      !(ReadString(c, hf, cabinet.prevName) && ReadString(c, hf, cabinet.prevDisk)))
    return FDIERROR_CORRUPT_CABINET;
  if (cabinet.HasNext() &&
      !(ReadString(c, hf, cabinet.nextName) && ReadString(c, hf, cabinet.nextDisk)))
    return FDIERROR_CORRUPT_CABINET;
  return FDIERROR_NONE;
}

int ReadRecords(const FdiContext& context, std::intptr_t hf, Cabinet& cabinet) {
  const Callbacks& c = context.callbacks;
  unsigned char record[kFileSize];
  for (unsigned i = 0; i < cabinet.folders; ++i) {
    if (!ReadExactly(c, hf, record, kFolderSize)) return FDIERROR_CORRUPT_CABINET;
    if (cabinet.folderReserve && c.seek(hf, cabinet.folderReserve, 1) == -1)
      return FDIERROR_CORRUPT_CABINET;
  }
  cabinet.files.reserve(cabinet.fileCount);
  for (unsigned i = 0; i < cabinet.fileCount; ++i) {
    if (!ReadExactly(c, hf, record, kFileSize)) return FDIERROR_CORRUPT_CABINET;
    CabinetFile file{String(context.Allocator())};
    file.size = Le32(record);
    file.offset = Le32(record + 4);
    file.folder = Le16(record + 8);
    file.date = Le16(record + 10);
    file.time = Le16(record + 12);
    file.attribs = Le16(record + 14);
    if (!ReadString(c, hf, file.name)) return FDIERROR_CORRUPT_CABINET;
    cabinet.files.push_back(std::move(file));
  }
  return FDIERROR_NONE;
}

int ReadCabinet(const FdiContext& context, const String& path, Cabinet& cabinet) {
  OpenCabinet file(context.callbacks, path);
  if (!file.ok()) return FDIERROR_CABINET_NOT_FOUND;
  cabinet.path = path;
  int error = ReadHeader(context, file.hf(), cabinet);
  return error ? error : ReadRecords(context, file.hf(), cabinet);
}

}  // namespace cabinet_standin
