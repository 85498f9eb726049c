#include "tools/sepack/Signing.h"

#include <cstdint>
#include <stdexcept>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "extractor/PackageLayout.h"
#include "platform/Platform.h"

namespace sepack {

void RefuseSignedStub(const std::string& path) {
  se::FileStream in(path, se::FileStream::Mode::kOpenRead);
  const int64_t size = in.Size();
  const auto table = extractor::FindCertificateTable(size, [&](int64_t at) -> int32_t {
    uint8_t bytes[4] = {};
    if (at < 0 || at > size - 4) return 0;
    in.Seek(at, plat::SeekOrigin::kBegin);
    in.ReadBuffer(bytes, sizeof bytes);
    return extractor::LittleEndian32(bytes);
  });
  if (table) {
    throw std::runtime_error("the stub '" + path +
                             "' is already signed; a package appended to it would break that "
                             "signature: make the package from an unsigned stub, then sign the "
                             "package");
  }
}

std::string SignatureLine(const PackageInfo& info) {
  if (!info.certificateTable) return "signed: no";
  const auto& table = *info.certificateTable;
  std::string line = "signed: yes (certificate table of " + std::to_string(table.size) +
                     " bytes at byte " + std::to_string(table.offset);
  const int64_t padding = table.offset - info.packageEnd;
  if (padding > 0) line += ", after " + std::to_string(padding) + " bytes of padding";
  return line + ")";
}

}  // namespace sepack
