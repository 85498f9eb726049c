// Finds the stub a package is made from.
#pragma once

#include <optional>
#include <string>

namespace sepack {

// The stub to copy: `stub` when given; otherwise the extractor of the build named by
// `target` ("linux", the default: beside this sepack; "win64"/"win32": extractor.exe in the
// sibling build folders build-win64/bin and build-win32/bin next to this sepack's build
// folder). UsageError for an unknown target, std::runtime_error naming the expected path when
// the file is not there.
std::string LocateStub(const std::optional<std::string>& stub,
                       const std::optional<std::string>& target);

// Refuses (std::runtime_error) a stub that is not a bare extractor: a file that is not an
// executable image (ELF or MZ), or one that is a package already.
void CheckStub(const std::string& path);

}  // namespace sepack
