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
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("cannot find this program's own folder: " + ec.message());
  const fs::path bin = self.parent_path();
  fs::path expected;
  if (which == "linux") {
    expected = bin / "extractor";
  } else if (which == "win64" || which == "win32") {
    expected =
        (bin / ".." / ".." / ("build-" + which) / "bin" / "extractor.exe").lexically_normal();
  } else {
    throw UsageError{"unknown target '" + which + "' (linux, win32 or win64)"};
  }
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
