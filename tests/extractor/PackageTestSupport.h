// Making packages for the extractor's tests: LZH streams of cabinets, appended to the stub.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "extractor/PackageLayout.h"
#include "tests/support/CabBuilder.h"

namespace testing_support {

// The LZH stream (size word included) of `bytes`.
std::string Compress(const std::string& bytes);
// One entry holding a stored cabinet of `files`.
extractor::PackageEntry CabinetEntry(const std::vector<CabFile>& files,
                                     const std::string& name = "kem.cab");

// The smallest executable image whose headers hold a security directory (empty): DOS header,
// PE signature, file header and an optional header of `magic` (0x10B for 32-bit images, 0x20B
// for 64-bit ones) with five data directories.
std::string PeImage(uint16_t magic = 0x10B);
// Points the security directory of a file that starts with PeImage(magic) at a table.
void SetSecurityDirectory(std::string& file, uint32_t offset, uint32_t size,
                          uint16_t magic = 0x10B);

}  // namespace testing_support
