// Writing a package's tail: what the packer appends to a copy of the stub. Apart from the
// reading side, so that the stub does not carry it.
#include <limits>
#include <stdexcept>

#include "extractor/PackageLayout.h"

namespace extractor {

namespace {
constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
}  // namespace

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
