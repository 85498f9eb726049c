// The layout of an SE package: the stub's executable, then the payload area (entry count and
// entries), then the trailer (payload area size, prompt text, prompt length, signature).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace extractor {

inline constexpr uint32_t kPackageSignature = 0x3D6B222E;

struct Trailer {
  int32_t promptLength;  // 0 when there is no prompt text
  int32_t areaSize;      // bytes from the entry count up to the area size field
};

// Reads the trailer of a file of `size` bytes through `readInt32At` (a little-endian 32-bit
// value at a position). Nothing when the signature is missing or any field points outside
// the file or overflows the 32-bit sums the fields are located by.
std::optional<Trailer> ReadTrailer(int64_t size,
                                   const std::function<int32_t(int64_t)>& readInt32At);

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
