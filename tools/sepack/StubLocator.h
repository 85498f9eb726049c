// Finds the stub a package is made from.
#pragma once

#include <optional>
#include <string>

namespace sepack {

// The stub to copy: `stub` when given; otherwise the extractor for `target` ("linux", the
// default, "win64" or "win32"). An installed sepack takes it from ../share/sekit/stubs/TARGET/
// beside its own folder; in a build tree, the native one lies beside sepack and the Windows
// ones in the sibling build folders build-win64/bin and build-win32/bin. UsageError for an unknown
// target, std::runtime_error naming the expected path when the file is not there.
std::string LocateStub(const std::optional<std::string>& stub,
                       const std::optional<std::string>& target);

// Refuses (std::runtime_error) a stub that is not a bare extractor: a file that is not an
// executable image (ELF or MZ), or one that is a package already.
void CheckStub(const std::string& path);

}  // namespace sepack
