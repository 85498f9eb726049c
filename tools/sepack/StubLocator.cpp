#include "tools/sepack/StubLocator.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "extractor/PackageLayout.h"

#include "tools/sepack/Command.h"

namespace sepack {
namespace fs = std::filesystem;

std::string LocateStub(const std::optional<std::string>& stub,
                       const std::optional<std::string>& target) {
  std::error_code ec;
  if (stub) {
    if (!fs::is_regular_file(*stub, ec)) {
      throw std::runtime_error("the stub '" + *stub + "' is not a file");
    }
    return *stub;
  }
  const std::string which = target.value_or("linux");
  if (which != "linux" && which != "win64" && which != "win32") {
    throw UsageError{"unknown target '" + which + "' (linux, win32 or win64)"};
  }
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("cannot find this program's own folder: " + ec.message());
  const fs::path bin = self.parent_path();
  const std::string file = which == "linux" ? "extractor" : "extractor.exe";
  // Installed: the stubs under share/ beside bin/.
  const fs::path installed = bin / ".." / "share" / "sekit" / "stubs";
  if (fs::is_directory(installed, ec)) {
    const fs::path expected = (installed / which / file).lexically_normal();
    if (!fs::is_regular_file(expected, ec)) {
      throw std::runtime_error("no " + which + " stub at '" + expected.string() +
                               "' (this installation was made without it; name one with --stub)");
    }
    return expected.string();
  }
  // In a build tree: the native stub beside sepack, the Windows ones in the sibling builds.
  const fs::path expected =
      which == "linux" ? bin / file
                       : (bin / ".." / ".." / ("build-" + which) / "bin" / file).lexically_normal();
  if (!fs::is_regular_file(expected, ec)) {
    throw std::runtime_error("no " + which + " stub at '" + expected.string() +
                             "' (build it with scripts/build.sh " +
                             (which == "linux" ? "native" : which) + ", or name one with --stub)");
  }
  return expected.string();
}

void CheckStub(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[4] = {};
  in.read(head, sizeof head);
  const std::string_view magic(head, static_cast<size_t>(in.gcount()));
  if (magic.substr(0, 2) != "MZ" && magic !=
                                        "\x7F"
                                        "ELF") {
    throw std::runtime_error("the stub '" + path +
                             "' is not a program (neither an ELF nor a Windows executable)");
  }
  in.clear();
  in.seekg(-4, std::ios::end);
  uint8_t tail[4] = {};
  if (in.read(reinterpret_cast<char*>(tail), sizeof tail) &&
      static_cast<uint32_t>(extractor::LittleEndian32(tail)) == extractor::kPackageSignature) {
    throw std::runtime_error("the stub '" + path +
                             "' is an SE package already; name the bare extractor");
  }
}

}  // namespace sepack
