#include "extractor/PackageLayout.h"

#include <limits>

namespace extractor {

namespace {
constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();

constexpr uint32_t kDosMagic = 0x5A4D;      // "MZ"
constexpr uint32_t kPeMagic = 0x00004550;   // "PE\0\0"
constexpr uint32_t kPe32Magic = 0x10B;      // optional header of a 32-bit image
constexpr uint32_t kPe32PlusMagic = 0x20B;  // and of a 64-bit one
constexpr int kSecurityDirectory = 4;
// A certificate table holds at least one entry header (length, revision, type).
constexpr int64_t kMinCertificateTable = 8;
// Signing pads the file to a multiple of 8 before it appends the table.
constexpr int kMaxSigningPadding = 7;

uint32_t U32(const ReadInt32Fn& read, int64_t at) {
  return static_cast<uint32_t>(read(at));
}
}  // namespace

int32_t LittleEndian32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                              uint32_t(p[3]) << 24);
}

void AppendLittleEndian32(std::string& out, int32_t value) {
  auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::optional<CertificateTable> FindCertificateTable(int64_t size, const ReadInt32Fn& readInt32At) {
  // Every field read lies inside the file: a damaged header reads as no table.
  auto fits = [size](int64_t at, int64_t count) { return at >= 0 && at <= size - count; };
  if (!fits(0, 0x40) || (U32(readInt32At, 0) & 0xFFFF) != kDosMagic) return std::nullopt;
  const int64_t pe = U32(readInt32At, 0x3C);
  if (!fits(pe, 24) || U32(readInt32At, pe) != kPeMagic) return std::nullopt;
  const int64_t optionalSize = U32(readInt32At, pe + 20) & 0xFFFF;
  const int64_t optional = pe + 24;
  if (!fits(optional, optionalSize) || optionalSize < 2) return std::nullopt;
  int64_t countAt = 0;
  switch (U32(readInt32At, optional) & 0xFFFF) {
    case kPe32Magic:
      countAt = 92;
      break;
    case kPe32PlusMagic:
      countAt = 108;
      break;
    default:
      return std::nullopt;
  }
  const int64_t entryAt = countAt + 4 + 8 * kSecurityDirectory;
  if (optionalSize < entryAt + 8) return std::nullopt;
  if (U32(readInt32At, optional + countAt) <= uint32_t(kSecurityDirectory)) return std::nullopt;
  const CertificateTable table{U32(readInt32At, optional + entryAt),
                               U32(readInt32At, optional + entryAt + 4)};
  if (table.size == 0) return std::nullopt;
  return table;
}

int64_t PackageEnd(int64_t size, const ReadInt32Fn& readInt32At) {
  if (size >= 4 && U32(readInt32At, size - 4) == kPackageSignature) return size;
  const auto table = FindCertificateTable(size, readInt32At);
  if (!table || table->size < kMinCertificateTable || table->offset > size ||
      table->offset + table->size != size) {
    return size;
  }
  int64_t end = table->offset;
  // Zero bytes are padding; the package itself ends in its signature, whose last byte is not 0.
  for (int i = 0; i < kMaxSigningPadding && end >= 1 && (U32(readInt32At, end - 1) & 0xFF) == 0;
       ++i) {
    --end;
  }
  return end;
}

std::optional<Trailer> ReadTrailer(int64_t fileSize, const ReadInt32Fn& readInt32At) {
  const int64_t size = PackageEnd(fileSize, readInt32At);
  // Area size, prompt length and signature: 12 bytes at least.
  if (size < 12) return std::nullopt;
  if (static_cast<uint32_t>(readInt32At(size - 4)) != kPackageSignature) return std::nullopt;
  int64_t prompt = readInt32At(size - 8);
  if (prompt < 1) prompt = 0;
  if (prompt > size - 12) return std::nullopt;
  const int64_t area = readInt32At(size - 12 - prompt);
  // The area holds at least the entry count, and lies inside the file.
  if (area < 4 || area > size - 12 - prompt) return std::nullopt;
  if (prompt + area + 12 > kMax32) return std::nullopt;
  return Trailer{size, static_cast<int32_t>(prompt), static_cast<int32_t>(area)};
}

}  // namespace extractor
