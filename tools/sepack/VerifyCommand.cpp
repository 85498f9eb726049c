// sepack verify PKG: every entry decompressed and its cabinet extracted, as the extractor
// would, into a throw-away folder; exit 0 only when all of it works.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "cab/KXCabReader.h"
#include "tools/sepack/CabinetCheck.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"
#include "tools/sepack/PackageReader.h"

namespace sepack {
namespace {

// What the extractor does with one entry, in the shared work folder. Returns the number of
// files written; raises what the extractor would fail with.
size_t CheckEntry(PackageReader& package, const EntryInfo& entry, const std::string& work) {
  const std::string cabinet = work + "/kem.cab";
  DecompressEntry(package, entry).SaveToFile(cabinet);
  size_t written = 0;
  cab::TKXCabReader reader;
  reader.OnCloseFile = [&written](cab::TKXCabReader&, const std::string&, uint16_t, uint16_t,
                                  uint16_t, uint16_t, bool&, const std::string&,
                                  bool&) { ++written; };
  reader.Extract(cabinet, work, 0);
  // The reader ends quietly where a set's next cabinet is missing; a package cannot hold one.
  CheckCabinet(cabinet);
  return written;
}

int Run(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError{"expected PKG"};
  PackageReader package(args[0]);
  const PackageInfo& info = package.Info();
  ScratchDir work("sepack-verify");
  int failed = 0;
  for (const EntryInfo& e : info.entries) {
    try {
      const size_t files = CheckEntry(package, e, work.Path());
      std::printf("entry %d: ok, %zu %s\n", e.number, files, files == 1 ? "file" : "files");
    } catch (const std::exception& error) {
      std::printf("entry %d: FAILED: %s\n", e.number, error.what());
      ++failed;
    }
  }
  if (!info.damage.empty()) {
    std::printf("FAILED: %s\n", info.damage.c_str());
    ++failed;
  }
  if (failed > 0) {
    std::fprintf(stderr, "sepack verify: '%s' is damaged (%d %s)\n", args[0].c_str(), failed,
                 failed == 1 ? "failure" : "failures");
    return 1;
  }
  std::error_code ec;
  if (!std::filesystem::exists(work / "rux.exe", ec)) {
    std::printf("note: no entry holds rux.exe: the package extracts its files and runs nothing\n");
  }
  std::printf("%s: all %zu %s sound\n", args[0].c_str(), info.entries.size(),
              info.entries.size() == 1 ? "entry" : "entries");
  return 0;
}

}  // namespace

const Command kVerifyCommand = {
    "verify", "PKG", "decompress and extract every entry of the SE package PKG as a check", Run};

}  // namespace sepack
