// Reads an SE package the way the extractor walks it, with every field checked against the
// file before it is used, so that nothing is read or allocated beyond what the file holds.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "extractor/PackageLayout.h"

namespace sepack {

struct EntryInfo {
  int number = 0;  // 1-based, in stored order
  std::string name;
  int64_t dataOffset = 0;
  int32_t compressedSize = 0;
  int32_t uncompressedSize = 0;  // the stream's trailing size word
};

struct PackageInfo {
  int64_t fileSize = 0;
  int64_t packageEnd = 0;  // the file's size, or where a signed file's certificate table begins
  // A signed package's code signature (the PE security directory), which follows the package.
  std::optional<extractor::CertificateTable> certificateTable;
  int32_t storedPromptLength = 0;     // as stored; below 1 means the default question
  std::optional<std::string> prompt;  // the prompt text, when there is one
  int64_t areaOffset = 0;             // first byte of the payload area (the entry count)
  int32_t areaSize = 0;
  int32_t entryCount = 0;  // as stored; 0 or less means no entries
  std::vector<EntryInfo> entries;
  int64_t ignoredBytes = 0;    // between the last entry and the area size field
  int64_t signingPadding = 0;  // or up to 7 zero bytes there that align the package for signing
  std::string damage;          // why the walk stopped early; empty when every entry fits
};

// Refuses (std::runtime_error with the reason) a path that names nothing or a folder: every
// command that reads a package says so before looking for one.
void CheckPackageFile(const std::string& path);

class PackageReader {
 public:
  // Opens `path` and walks its trailer and entry headers. std::runtime_error "not an SE
  // package" when the trailer is missing or points outside the file.
  explicit PackageReader(const std::string& path);

  const PackageInfo& Info() const { return info_; }
  const std::string& Path() const { return path_; }
  // The entry's LZH stream (its size word included).
  std::vector<uint8_t> ReadData(const EntryInfo& entry);

 private:
  void ReadAt(int64_t offset, void* buffer, size_t count);
  int32_t Int32At(int64_t offset);
  void WalkEntries();

  std::string path_;
  std::unique_ptr<se::FileStream> file_;
  PackageInfo info_;
};

// Writes the entry's cabinet to `cabinet`, decoded as the stub decodes it (bounded memory).
// std::runtime_error when the stream's size word cannot be right or the stream does not
// decode; the package's read errors and the cabinet file's write errors pass through.
void DecodeEntryToFile(const PackageReader& package, const EntryInfo& entry,
                       const std::string& cabinet);

}  // namespace sepack
