// Writes a cabinet through the system cabinet library's own writer (FCI), MSZIP-compressed, in
// one folder of one cabinet, reproducibly: the stored names, times and attributes come from the
// caller, never from the files on disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cab {

struct CabSourceFile {
  std::string path;                   // file to read (UTF-8 on Windows)
  std::string storedName;             // name inside the cabinet, '\' separators
  uint16_t dosDate = 0, dosTime = 0;  // stored time
  uint16_t attributes = 0;            // cabinet bits: 0x01 read-only, 0x20 archive, 0x40 execute,
                                      // 0x80 name is UTF-8
};

// One MSZIP cabinet at `cabinetPath` holding `files` in order, through the cabinet
// library's FCICreate/FCIAddFile/FCIFlushCabinet/FCIDestroy; std::runtime_error with the
// reason on failure (partial output removed). Safe on several threads at once.
void WriteCabinet(const std::string& cabinetPath, const std::vector<CabSourceFile>& files);

}  // namespace cab
