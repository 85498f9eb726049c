// The layout of an SE package: the stub's executable, then the payload area (entry count and
// entries), then the trailer (payload area size, prompt text, prompt length, signature). A
// signed package carries the certificate table of its code signature after the trailer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace extractor {

inline constexpr uint32_t kPackageSignature = 0x3D6B222E;

// Reads a little-endian 32-bit value at a position of the file; 0 where it cannot.
using ReadInt32Fn = std::function<int32_t(int64_t)>;

// The table of a code signature: data directory 4 (the security directory) of the PE optional
// header, whose address is a file offset.
struct CertificateTable {
  int64_t offset;
  int64_t size;
};

// The security directory of the executable in a file of `size` bytes, when its DOS and PE
// headers are sound and the directory is not empty; where it points is not checked.
std::optional<CertificateTable> FindCertificateTable(int64_t size, const ReadInt32Fn& readInt32At);

// Where the package in a file of `size` bytes ends. That is the end of the file, unless the
// last four bytes are not the package signature and the security directory names a table of
// at least 8 bytes that ends exactly at the end of the file: then the package ends where that
// table begins, less the zero bytes (at most 7) that pad the package to a multiple of 8.
int64_t PackageEnd(int64_t size, const ReadInt32Fn& readInt32At);

struct Trailer {
  int64_t end;           // where the package ends: the file's size unless it is signed
  int32_t promptLength;  // 0 when there is no prompt text
  int32_t areaSize;      // bytes from the entry count up to the area size field
};

// Reads the trailer of the package in a file of `size` bytes (ending at PackageEnd) through
// `readInt32At`. Nothing when the signature is missing or any field points outside the file or
// overflows the 32-bit sums the fields are located by.
std::optional<Trailer> ReadTrailer(int64_t size, const ReadInt32Fn& readInt32At);

// An LZH item yields at most 60 bytes and costs at least 10 bits, so a stream of `streamSize`
// bytes (its 4-byte size word included) never decodes to more than 48 bytes for each byte
// before the size word: a size word beyond that cannot be genuine.
inline constexpr int64_t kMaxExpansion = 48;
constexpr int64_t MaxDecodedSize(int64_t streamSize) {
  return streamSize > 4 ? kMaxExpansion * (streamSize - 4) : 0;
}

struct PackageEntry {
  std::string name;    // stored, never used by the stub
  std::string stream;  // one LZH stream, its 4-byte size included
};

// The bytes appended to a copy of the stub. Raises std::invalid_argument for a prompt that
// holds a NUL, and std::length_error when a size passes the 32-bit limits.
std::string PackageTail(const std::vector<PackageEntry>& entries, const std::string& prompt);

// Writes a package's tail piece by piece to `sink`, so that a packer holds no more than one
// entry at a time: the entry count, each entry, then the trailer. Raises std::invalid_argument
// for a stream below 5 bytes or a prompt that holds a NUL, and std::length_error when a size
// passes the 32-bit limits (before anything of the offending piece is written).
class PackageTailWriter {
 public:
  using Sink = std::function<void(std::string_view)>;
  PackageTailWriter(Sink sink, size_t entryCount);
  void AddEntry(const std::string& name, std::string_view stream);
  // Zero bytes at the end of the payload area (ignored by readers) so that a package whose
  // stub image is `imageSize` bytes, finished with a prompt of `promptSize` bytes, is a multiple
  // of 8 bytes long: code signing then appends its table without padding. At most 7 bytes.
  void PadForSigning(int64_t imageSize, size_t promptSize);
  // The trailer; `prompt` counts against the limit with everything written before.
  void Finish(const std::string& prompt);
  // Bytes of the payload area so far.
  int64_t AreaSize() const { return area_; }

 private:
  Sink sink_;
  int64_t area_ = 4;
};

int32_t LittleEndian32(const uint8_t* p);
void AppendLittleEndian32(std::string& out, int32_t value);

}  // namespace extractor
