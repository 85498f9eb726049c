// Packages that are signed after they are made: signing appends a certificate table to the
// whole file (after zero padding to a multiple of 8) and points the PE security directory at
// it. The extractor finds its package before that table (extractor/PackageLayout.h).
#pragma once

#include <string>

#include "tools/sepack/PackageReader.h"

namespace sepack {

// Raises std::runtime_error when the stub at `path` already carries a code signature:
// appending a package to it would break that signature (sign the package after making it).
void RefuseSignedStub(const std::string& path);

// "signed: ..." for list and verify.
std::string SignatureLine(const PackageInfo& info);

}  // namespace sepack
