#include "extractor/PackageLayout.h"

#include <limits>
#include <stdexcept>

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

std::string PackageTail(const std::vector<PackageEntry>& entries, const std::string& prompt) {
  if (prompt.find('\0') != std::string::npos) {
    throw std::invalid_argument("the prompt text holds a NUL character");
  }
  int64_t area = 4;
  for (const auto& e : entries) {
    if (e.stream.size() < 5) throw std::invalid_argument("an LZH stream is at least 5 bytes");
    area += 8 + static_cast<int64_t>(e.name.size()) + static_cast<int64_t>(e.stream.size());
  }
  if (entries.size() > static_cast<size_t>(kMax32) ||
      area + static_cast<int64_t>(prompt.size()) + 12 > kMax32) {
    throw std::length_error("the package would pass the format's 2 GB limit");
  }
  std::string tail;
  tail.reserve(static_cast<size_t>(area) + prompt.size() + 12);
  AppendLittleEndian32(tail, static_cast<int32_t>(entries.size()));
  for (const auto& e : entries) {
    AppendLittleEndian32(tail, static_cast<int32_t>(e.stream.size()));
    AppendLittleEndian32(tail, static_cast<int32_t>(e.name.size()));
    tail += e.name;
    tail += e.stream;
  }
  AppendLittleEndian32(tail, static_cast<int32_t>(area));
  tail += prompt;
  AppendLittleEndian32(tail, static_cast<int32_t>(prompt.size()));
  AppendLittleEndian32(tail, static_cast<int32_t>(kPackageSignature));
  return tail;
}

}  // namespace extractor
