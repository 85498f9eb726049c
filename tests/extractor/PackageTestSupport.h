// Making packages for the extractor's tests: LZH streams of cabinets, appended to the stub.
#pragma once

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

}  // namespace testing_support
