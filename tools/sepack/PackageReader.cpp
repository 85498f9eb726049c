#include "tools/sepack/PackageReader.h"

#include <stdexcept>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "extractor/EntryDecoder.h"
#include "extractor/PackageLayout.h"
#include "platform/Platform.h"
#include "tools/sepack/FileIo.h"

namespace sepack {

void DecodeEntryToFile(const PackageReader& package, const EntryInfo& entry,
                       const std::string& cabinet) {
  // The stub's own decoding, from the package file straight into the cabinet file.
  se::FileStream file(package.Path(), se::FileStream::Mode::kOpenRead);
  file.Seek(entry.dataOffset, plat::SeekOrigin::kBegin);
  if (extractor::DecodeEntry(file, entry.compressedSize, cabinet)) return;
  if (entry.uncompressedSize < 0 ||
      entry.uncompressedSize > extractor::MaxDecodedSize(entry.compressedSize)) {
    throw std::runtime_error("the stream's size word (" + std::to_string(entry.uncompressedSize) +
                             ") cannot belong to " + std::to_string(entry.compressedSize) +
                             " compressed bytes: the entry is damaged");
  }
  throw std::runtime_error("the stream does not decode to the " +
                           std::to_string(entry.uncompressedSize) +
                           " bytes its size word gives: the entry is damaged");
}

void CheckPackageFile(const std::string& path) {
  plat::FileDetails details;
  if (!plat::Current().FileInfo(path, details)) {
    throw std::runtime_error("cannot open '" + path + "': " + LastErrorText());
  }
  if (details.attributes & plat::attr::kDirectory) {
    throw std::runtime_error("'" + path + "' is a folder, not an SE package");
  }
}

PackageReader::PackageReader(const std::string& path) : path_(path) {
  CheckPackageFile(path);
  try {
    file_ = std::make_unique<se::FileStream>(path, se::FileStream::Mode::kOpenRead);
  } catch (const se::Exception&) {
    throw std::runtime_error("cannot open '" + path + "'");
  }
  info_.fileSize = file_->Size();
  if (info_.fileSize < 0) throw std::runtime_error("cannot read '" + path + "'");
  // The layout's reader probes headers that a damaged file may not have: 0 outside the file.
  const auto probe = [this](int64_t offset) -> int32_t {
    return offset >= 0 && offset <= info_.fileSize - 4 ? Int32At(offset) : 0;
  };
  const auto trailer = extractor::ReadTrailer(info_.fileSize, probe);
  if (!trailer) throw std::runtime_error("'" + path + "' is not an SE package");
  info_.packageEnd = trailer->end;
  if (trailer->end != info_.fileSize) {
    info_.certificateTable = extractor::FindCertificateTable(info_.fileSize, probe);
  }
  info_.storedPromptLength = Int32At(trailer->end - 8);
  if (trailer->promptLength > 0) {
    std::string prompt(static_cast<size_t>(trailer->promptLength), '\0');
    ReadAt(trailer->end - 8 - trailer->promptLength, prompt.data(), prompt.size());
    info_.prompt = std::move(prompt);
  }
  info_.areaSize = trailer->areaSize;
  info_.areaOffset = trailer->end - 12 - trailer->promptLength - trailer->areaSize;
  info_.entryCount = Int32At(info_.areaOffset);
  WalkEntries();
}

void PackageReader::WalkEntries() {
  const int64_t end = info_.areaOffset + info_.areaSize;  // the area size field
  int64_t pos = info_.areaOffset + 4;
  for (int32_t i = 1; i <= info_.entryCount; ++i) {
    const std::string where =
        "entry " + std::to_string(i) + " of " + std::to_string(info_.entryCount) + ": ";
    if (end - pos < 8) {
      info_.damage = where + "its header passes the end of the payload area";
      return;
    }
    EntryInfo e;
    e.number = i;
    e.compressedSize = Int32At(pos);
    const int32_t nameLength = Int32At(pos + 4);
    pos += 8;
    if (nameLength < 0 || nameLength > end - pos) {
      info_.damage =
          where + "name length " + std::to_string(nameLength) + " does not fit in the payload area";
      return;
    }
    e.name.resize(static_cast<size_t>(nameLength));
    ReadAt(pos, e.name.data(), e.name.size());
    pos += nameLength;
    if (e.compressedSize < 5 || e.compressedSize > end - pos) {
      info_.damage = where + "compressed size " + std::to_string(e.compressedSize) +
                     (e.compressedSize < 5 ? " is below the 5 bytes of the smallest stream"
                                           : " passes the end of the payload area");
      return;
    }
    e.dataOffset = pos;
    e.uncompressedSize = Int32At(pos + e.compressedSize - 4);
    pos += e.compressedSize;
    info_.entries.push_back(std::move(e));
  }
  const int64_t rest = end - pos;
  std::string tail(static_cast<size_t>(rest < 8 ? rest : 0), '\0');
  ReadAt(pos, tail.data(), tail.size());
  if (rest > 0 && rest < 8 && tail == std::string(tail.size(), '\0')) {
    info_.signingPadding = rest;
  } else {
    info_.ignoredBytes = rest;
  }
}

std::vector<uint8_t> PackageReader::ReadData(const EntryInfo& entry) {
  std::vector<uint8_t> data(static_cast<size_t>(entry.compressedSize));
  ReadAt(entry.dataOffset, data.data(), data.size());
  return data;
}

void PackageReader::ReadAt(int64_t offset, void* buffer, size_t count) {
  if (offset < 0 || offset > info_.fileSize ||
      static_cast<int64_t>(count) > info_.fileSize - offset) {
    throw std::runtime_error("'" + path_ + "': read outside the file");
  }
  try {
    file_->Seek(offset, plat::SeekOrigin::kBegin);
    file_->ReadBuffer(buffer, count);
  } catch (const se::Exception&) {
    throw std::runtime_error("cannot read '" + path_ + "'");
  }
}

int32_t PackageReader::Int32At(int64_t offset) {
  uint8_t b[4];
  ReadAt(offset, b, sizeof b);
  return extractor::LittleEndian32(b);
}

}  // namespace sepack
