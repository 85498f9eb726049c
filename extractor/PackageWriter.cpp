// Writing a package's tail: what the packer appends to a copy of the stub. Apart from the
// reading side, so that the stub does not carry it.
#include <limits>
#include <stdexcept>

#include "extractor/PackageLayout.h"

namespace extractor {

namespace {
constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
}  // namespace

PackageTailWriter::PackageTailWriter(Sink sink, size_t entryCount) : sink_(std::move(sink)) {
  if (entryCount > static_cast<size_t>(kMax32)) {
    throw std::length_error("the package would pass the format's 2 GB limit");
  }
  std::string count;
  AppendLittleEndian32(count, static_cast<int32_t>(entryCount));
  sink_(count);
}

void PackageTailWriter::AddEntry(const std::string& name, std::string_view stream) {
  if (stream.size() < 5) throw std::invalid_argument("an LZH stream is at least 5 bytes");
  // The trailer's 12 bytes must still fit after this entry.
  const int64_t added = 8 + static_cast<int64_t>(name.size()) + static_cast<int64_t>(stream.size());
  if (area_ + added + 12 > kMax32) {
    throw std::length_error("the package would pass the format's 2 GB limit");
  }
  std::string header;
  AppendLittleEndian32(header, static_cast<int32_t>(stream.size()));
  AppendLittleEndian32(header, static_cast<int32_t>(name.size()));
  header += name;
  sink_(header);
  sink_(stream);
  area_ += added;
}

void PackageTailWriter::PadForSigning(int64_t imageSize, size_t promptSize) {
  const int64_t end = imageSize + area_ + 12 + static_cast<int64_t>(promptSize);
  const int64_t padding = (8 - end % 8) % 8;
  if (area_ + padding + static_cast<int64_t>(promptSize) + 12 > kMax32) {
    throw std::length_error("the package would pass the format's 2 GB limit");
  }
  sink_(std::string(static_cast<size_t>(padding), '\0'));
  area_ += padding;
}

void PackageTailWriter::Finish(const std::string& prompt) {
  if (prompt.find('\0') != std::string::npos) {
    throw std::invalid_argument("the prompt text holds a NUL character");
  }
  if (area_ + static_cast<int64_t>(prompt.size()) + 12 > kMax32) {
    throw std::length_error("the package would pass the format's 2 GB limit");
  }
  std::string trailer;
  AppendLittleEndian32(trailer, static_cast<int32_t>(area_));
  trailer += prompt;
  AppendLittleEndian32(trailer, static_cast<int32_t>(prompt.size()));
  AppendLittleEndian32(trailer, static_cast<int32_t>(kPackageSignature));
  sink_(trailer);
}

std::string PackageTail(const std::vector<PackageEntry>& entries, const std::string& prompt) {
  if (prompt.find('\0') != std::string::npos) {
    throw std::invalid_argument("the prompt text holds a NUL character");
  }
  std::string tail;
  PackageTailWriter writer([&tail](std::string_view piece) { tail += piece; }, entries.size());
  for (const auto& e : entries) writer.AddEntry(e.name, e.stream);
  writer.Finish(prompt);
  return tail;
}

}  // namespace extractor
