#include "tools/sepack/CabinetCheck.h"

#include <cstring>
#include <stdexcept>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "cab/EKXCabinet.h"
#include "cab/KXCabReader.h"
#include "extractor/PackageLayout.h"
#include "platform/Platform.h"
#include "tools/sepack/FileIo.h"

namespace sepack {
namespace {

// The fixed part of a cabinet header: "MSCF", a reserved word, the cabinet's length at 8, ...,
// the flags at 30.
constexpr size_t kHeaderBytes = 36;
constexpr uint16_t kHasPrevious = 0x0001;
constexpr uint16_t kHasNext = 0x0002;

// The reason of a failed decode, on one line.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

CabinetSummary CheckCabinet(const std::string& path) {
  plat::FileDetails details;
  if (!plat::Current().FileInfo(path, details)) {
    throw std::runtime_error("'" + path + "' cannot be opened: " + LastErrorText());
  }
  if (details.attributes & plat::attr::kDirectory) {
    throw std::runtime_error("'" + path + "' is a folder, not a cabinet file");
  }
  CabinetSummary summary;
  uint8_t header[kHeaderBytes] = {};
  int32_t got = 0;
  try {
    se::FileStream in(path, se::FileStream::Mode::kOpenRead);
    summary.size = in.Size();
    got = in.Read(header, sizeof header);
  } catch (const se::Exception&) {
    throw std::runtime_error("'" + path + "' cannot be opened");
  }
  if (got < 4 || std::memcmp(header, "MSCF", 4) != 0) {
    throw std::runtime_error("'" + path + "' is not a cabinet file");
  }
  if (got < static_cast<int32_t>(kHeaderBytes)) {
    throw std::runtime_error("'" + path +
                             "' is not a readable cabinet file (damaged or cut short)");
  }
  const uint32_t length = static_cast<uint32_t>(extractor::LittleEndian32(header + 8));
  if (summary.size < static_cast<int64_t>(length)) {
    throw std::runtime_error("'" + path + "' is cut short: its header gives " +
                             std::to_string(length) + " bytes, the file has " +
                             std::to_string(summary.size));
  }
  const uint16_t flags = static_cast<uint16_t>(header[30] | (header[31] << 8));
  if (flags & (kHasPrevious | kHasNext)) {
    throw std::runtime_error("'" + path +
                             "' is part of a cabinet set; a package entry must be a cabinet "
                             "that stands alone (the extractor cannot find its neighbours)");
  }
  // Every file decoded (and its checksums checked) through the cabinet library the stub uses,
  // into one scratch file removed as soon as it is written: a damaged cabinet is refused here
  // rather than on the user's machine.
  ScratchDir scratch("sepack-check");
  const std::string sink = scratch / "file";
  cab::TKXCabReader reader;
  reader.OnCopyFile = [&summary, &sink](cab::TKXCabReader&, const std::string& name, int32_t,
                                        uint16_t, uint16_t, uint16_t, uint16_t,
                                        std::string& destination, bool&) {
    summary.names.push_back(name);
    destination = sink;
  };
  reader.OnCloseFile = [](cab::TKXCabReader&, const std::string&, uint16_t, uint16_t, uint16_t,
                          uint16_t, bool& execute, const std::string& destination, bool&) {
    execute = false;
    plat::Current().ForceRemoveFile(destination);
  };
  try {
    reader.Extract(path, scratch.Path(), cab::ceoSingleCabinet);
  } catch (const se::Exception& error) {
    if (summary.names.empty()) {
      throw std::runtime_error("'" + path + "' is not a readable cabinet file (" +
                               OneLine(error.Message()) + ")");
    }
    throw std::runtime_error("'" + path + "' is damaged: its file '" + summary.names.back() +
                             "' cannot be read (" + OneLine(error.Message()) + ")");
  }
  return summary;
}

}  // namespace sepack
