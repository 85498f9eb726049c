// sepack verify PKG: the stub's own verdict on a package. The stub's run itself reads,
// decompresses and extracts every entry into a throw-away folder, answering Yes and launching
// nothing; the package is sound when that run would start rux.exe.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/sepack/Command.h"
#include "tools/sepack/PackageReader.h"
#include "tools/sepack/Signing.h"
#include "tools/sepack/StubVerdict.h"

namespace sepack {
namespace {

// What the stub reads past without a word: worth knowing for whoever made the package. And
// whether the package is signed.
void ReportIgnoredBytes(const std::string& path) {
  try {
    const PackageReader package(path);
    const PackageInfo& info = package.Info();
    std::printf("%s\n", SignatureLine(info).c_str());
    if (info.prompt) {
      const size_t nul = info.prompt->find('\0');
      if (nul != std::string::npos) {
        std::printf(
            "note: the prompt holds a NUL byte at offset %zu; the stub shows only the "
            "%zu bytes before it\n",
            nul, nul);
      }
    }
    if (info.ignoredBytes > 0) {
      std::printf(
          "note: %lld bytes between the last entry and the payload area size are "
          "ignored by the stub\n",
          static_cast<long long>(info.ignoredBytes));
    }
  } catch (const std::exception&) {
    // The stub's run read it; a walk that cannot has nothing to add.
  }
}

int Run(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError{"expected PKG"};
  const std::string& path = args[0];
  // A path that names no file is the user's slip, not a package the stub would fail on.
  CheckPackageFile(path);
  const StubVerdict verdict = JudgeAsTheStub(path);
  if (!verdict.Sound()) {
    std::fprintf(stderr, "sepack verify: '%s' is not sound: %s\n", path.c_str(),
                 verdict.Reason().c_str());
    return 1;
  }
  ReportIgnoredBytes(path);
  std::printf("%s: sound: the stub extracts %lld %s and runs rux.exe\n", path.c_str(),
              static_cast<long long>(verdict.filesExtracted),
              verdict.filesExtracted == 1 ? "file" : "files");
  return 0;
}

}  // namespace

const Command kVerifyCommand = {
    "verify", "PKG",
    "run the stub's own extraction of the SE package PKG in a throw-away folder, launching "
    "nothing; exit 0 when it would extract every entry and run rux.exe",
    Run,
    "The stub's own run (the same reading, bounds, decoding and cabinet extraction) over PKG,\n"
    "in a throw-away temporary folder, answering Yes and launching nothing. Exit 0 when the\n"
    "stub would extract every entry and find rux.exe at the top of its work folder; otherwise\n"
    "exit 1 and the stub's own message: its error box, or the \"Application Error\" text.\n"
    "Bytes the stub reads past (after the last entry, after a NUL in the prompt) are noted.\n"};

}  // namespace sepack
