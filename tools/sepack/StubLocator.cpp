#include "tools/sepack/StubLocator.h"

#include <stdexcept>
#include <string_view>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "extractor/PackageLayout.h"
#include "platform/Platform.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"

namespace sepack {

std::string LocateStub(const std::optional<std::string>& stub,
                       const std::optional<std::string>& target) {
  if (stub) {
    if (!IsRegularFile(*stub)) throw std::runtime_error("the stub '" + *stub + "' is not a file");
    return *stub;
  }
  // The product is the 32-bit Windows stub: a packer on Windows makes packages for it.
#ifdef _WIN32
  const std::string which = target.value_or("win32");
  const std::string own = sizeof(void*) == 8 ? "win64" : "win32";
#else
  const std::string which = target.value_or("linux");
  const std::string own = "linux";
#endif
  if (which != "linux" && which != "win64" && which != "win32") {
    throw UsageError{"unknown target '" + which + "' (linux, win32 or win64)"};
  }
  const std::string self = plat::Current().ProgramPath();
  if (self.empty()) throw std::runtime_error("cannot find this program's own folder");
  const std::string bin = ParentPath(self);
  const std::string up = ParentPath(bin);
  const std::string file = which == "linux" ? "extractor" : "extractor.exe";
  const std::string buildOf = which == own ? "" : which == "linux" ? "build" : "build-" + which;
  // Installed: the stubs under share/ beside bin/.
  const std::string installed = JoinPath(JoinPath(JoinPath(up, "share"), "sekit"), "stubs");
  if (IsFolder(installed)) {
    const std::string expected = JoinPath(JoinPath(installed, which), file);
    if (!IsRegularFile(expected)) {
      throw std::runtime_error("no " + which + " stub at '" + expected +
                               "' (this installation was made without it; name one with --stub)");
    }
    return expected;
  }
  // In a build tree: this build's own stub beside sepack, the others in the sibling builds.
  const std::string expected =
      buildOf.empty() ? JoinPath(bin, file)
                      : JoinPath(JoinPath(JoinPath(ParentPath(up), buildOf), "bin"), file);
  if (!IsRegularFile(expected)) {
    throw std::runtime_error("no " + which + " stub at '" + expected +
                             "' (build it with scripts/build.sh " +
                             (which == "linux" ? "native" : which) + ", or name one with --stub)");
  }
  return expected;
}

void CheckStub(const std::string& path) {
  std::string head(4, '\0');
  uint8_t tail[4] = {};
  bool haveTail = false;
  try {
    se::FileStream in(path, se::FileStream::Mode::kOpenRead);
    const int64_t size = in.Size();
    head.resize(static_cast<size_t>(in.Read(head.data(), 4)));
    if (size >= 4) {
      in.Seek(-4, plat::SeekOrigin::kEnd);
      in.ReadBuffer(tail, sizeof tail);
      haveTail = true;
    }
  } catch (const se::Exception&) {
    throw std::runtime_error("cannot read the stub '" + path + "'");
  }
  const std::string_view magic(head);
  if (magic.substr(0, 2) != "MZ" && magic !=
                                        "\x7F"
                                        "ELF") {
    throw std::runtime_error("the stub '" + path +
                             "' is not a program (neither an ELF nor a Windows executable)");
  }
  if (haveTail &&
      static_cast<uint32_t>(extractor::LittleEndian32(tail)) == extractor::kPackageSignature) {
    throw std::runtime_error("the stub '" + path +
                             "' is an SE package already; name the bare extractor");
  }
}

}  // namespace sepack
