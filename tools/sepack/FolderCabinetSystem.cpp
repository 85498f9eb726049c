// The folder cabinet writer on Windows: the system cabinet library's own writer.
#include "cab/CabWriter.h"
#include "tools/sepack/FolderCabinet.h"

namespace sepack {

void WriteFolderCabinet(const std::vector<FolderFile>& files, const std::string& cabinetPath) {
  std::vector<cab::CabSourceFile> sources;
  sources.reserve(files.size());
  for (const FolderFile& f : files) {
    sources.push_back({f.path, f.stored, f.dosDate, f.dosTime, f.attributes});
  }
  cab::WriteCabinet(cabinetPath, sources);
}

unsigned FolderCabinetsAtOnce() {
  return 0;  // each cabinet has its own library context
}

}  // namespace sepack
