// sepack list PKG: the prompt, the entries and the files in each entry's cabinet.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/sepack/CabinetWalk.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"
#include "tools/sepack/PackageReader.h"

namespace sepack {
namespace {

// Text for the terminal: control bytes shown as escapes.
std::string Printable(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int Run(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError{"expected PKG"};
  PackageReader package(args[0]);
  const PackageInfo& info = package.Info();
  std::printf("package: %s (%lld bytes; payload area at byte %lld, %d bytes)\n", args[0].c_str(),
              static_cast<long long>(info.fileSize), static_cast<long long>(info.areaOffset),
              info.areaSize);
  if (info.prompt) {
    std::printf("prompt: \"%s\"\n", Printable(*info.prompt).c_str());
  } else {
    std::printf("prompt: (default question)\n");
  }
  std::printf("entries: %d\n", info.entryCount > 0 ? info.entryCount : 0);

  ScratchDir scratch("sepack-list");
  const std::string cabinet = scratch / "kem.cab";
  bool sound = true;
  for (const EntryInfo& e : info.entries) {
    std::printf("entry %d: \"%s\", %d bytes compressed, %d bytes decompressed\n", e.number,
                Printable(e.name).c_str(), e.compressedSize, e.uncompressedSize);
    try {
      DecompressEntry(package, e).SaveToFile(cabinet);
      const std::vector<CabinetFile> files = ListCabinet(cabinet);
      for (const CabinetFile& f : files) std::printf("  %s\n", FormatFileLine(f).c_str());
      std::printf("  (%zu %s)\n", files.size(), files.size() == 1 ? "file" : "files");
    } catch (const std::exception& error) {
      std::printf("  cannot read this entry's cabinet: %s\n", error.what());
      sound = false;
    }
  }
  if (info.ignoredBytes > 0) {
    std::printf("%lld bytes after the last entry are ignored\n",
                static_cast<long long>(info.ignoredBytes));
  }
  if (!info.damage.empty()) {
    std::fprintf(stderr, "sepack list: damaged package: %s\n", info.damage.c_str());
    return 1;
  }
  return sound ? 0 : 1;
}

}  // namespace

const Command kListCommand = {
    "list", "PKG", "show the prompt, the entries and the files of the SE package PKG", Run};

}  // namespace sepack
