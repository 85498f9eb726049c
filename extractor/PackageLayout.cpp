#include "extractor/PackageLayout.h"

#include <limits>

namespace extractor {

namespace {
constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
}  // namespace

int32_t LittleEndian32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                              uint32_t(p[3]) << 24);
}

void AppendLittleEndian32(std::string& out, int32_t value) {
  auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::optional<Trailer> ReadTrailer(int64_t size,
                                   const std::function<int32_t(int64_t)>& readInt32At) {
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
  return Trailer{static_cast<int32_t>(prompt), static_cast<int32_t>(area)};
}

}  // namespace extractor
