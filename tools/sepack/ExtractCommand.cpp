// sepack extract PKG DIR: the files of every entry's cabinet written into DIR, as the stub
// writes them into its work folder (the cabinet reader's own name rules apply), with nothing
// run.
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "cab/KXCabReader.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"
#include "tools/sepack/PackageReader.h"

namespace sepack {
namespace {

int Run(const std::vector<std::string>& args) {
  if (args.size() != 2) throw UsageError{"expected PKG and DIR"};
  const std::string& path = args[0];
  const std::string& folder = args[1];
  PackageReader package(path);
  const PackageInfo& info = package.Info();
  if (!info.damage.empty()) {
    throw std::runtime_error("'" + path + "' is damaged: " + info.damage);
  }
  MakeOutputFolder(folder);
  ScratchDir scratch("sepack-extract");
  const std::string cabinet = scratch / "kem.cab";
  size_t files = 0;
  for (const EntryInfo& e : info.entries) {
    DecodeEntryToFile(package, e, cabinet);
    cab::TKXCabReader reader;
    // The reader restores dates, attributes and execute bits, as in the stub's work folder.
    reader.OnCloseFile = [&files](cab::TKXCabReader&, const std::string&, uint16_t, uint16_t,
                                  uint16_t, uint16_t, bool&, const std::string& destination,
                                  bool&) {
      ++files;
      std::printf("  %s\n", destination.c_str());
    };
    try {
      reader.Extract(cabinet, folder, cab::ceoSingleCabinet);
    } catch (const se::Exception& error) {
      std::fflush(stdout);
      throw std::runtime_error("entry " + std::to_string(e.number) + ": " + error.Message());
    }
  }
  std::printf("%zu %s extracted into %s\n", files, files == 1 ? "file" : "files", folder.c_str());
  return 0;
}

}  // namespace

const Command kExtractCommand = {
    "extract", "PKG DIR",
    "extract the files of every entry of the SE package PKG into the folder DIR, running nothing",
    Run,
    "Every entry's cabinet is decoded and extracted into DIR (created when missing), as the\n"
    "stub extracts into its work folder; stored names that would leave DIR are refused.\n"
    "Files stored with the execute attribute get execute bits. Nothing is run.\n"};

}  // namespace sepack
