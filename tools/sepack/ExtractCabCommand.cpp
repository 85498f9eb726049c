// sepack extract-cab CAB DIR: a cabinet, and the cabinets that continue it, extracted through
// the extractor's cabinet reader.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "cab/KXCabReader.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"

namespace sepack {
namespace {

int Run(const std::vector<std::string>& args) {
  if (args.size() != 2) throw UsageError{"expected CAB and DIR"};
  const std::string& cabinet = args[0];
  const std::string& folder = args[1];
  if (!IsRegularFile(cabinet)) {
    throw std::runtime_error("'" + cabinet + "' is not a file");
  }
  MakeOutputFolder(folder);
  size_t files = 0;
  std::string shown;
  cab::TKXCabReader reader;
  // A cabinet that finishes a continued file is opened twice; name it once.
  reader.OnCabinetInfo = [&shown](cab::TKXCabReader& r, const std::string&, const std::string&,
                                  const std::string&, uint16_t, uint16_t, bool&) {
    if (r.CurrentCabinet() == shown) return;
    shown = r.CurrentCabinet();
    std::printf("cabinet %s\n", shown.c_str());
  };
  reader.OnCloseFile = [&files](cab::TKXCabReader&, const std::string&, uint16_t, uint16_t,
                                uint16_t, uint16_t, bool&, const std::string& destination, bool&) {
    ++files;
    std::printf("  %s\n", destination.c_str());
    std::fflush(stdout);
  };
  try {
    reader.Extract(cabinet, folder, 0);
  } catch (const se::Exception& error) {
    std::fflush(stdout);
    throw std::runtime_error("cannot extract '" + (shown.empty() ? cabinet : shown) + "' (" +
                             std::to_string(files) + " " + (files == 1 ? "file" : "files") +
                             " written): " + error.Message());
  }
  std::printf("%zu %s extracted into %s\n", files, files == 1 ? "file" : "files", folder.c_str());
  return 0;
}

}  // namespace

const Command kExtractCabCommand = {
    "extract-cab", "CAB DIR",
    "extract the cabinet CAB, and the cabinets that continue it, into the folder DIR", Run};

}  // namespace sepack
