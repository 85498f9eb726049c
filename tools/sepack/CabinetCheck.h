// Checks that a file is a whole, stand-alone cabinet before it goes into a package.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sepack {

struct CabinetSummary {
  int64_t size = 0;                // bytes of the file
  std::vector<std::string> names;  // stored file names, as the cabinet holds them
};

// Opens `path` as a cabinet (header, folder and file records). std::runtime_error naming the
// path when it is not one, is cut short of the length its header gives, or belongs to a set
// of cabinets: every entry of a package is written as "kem.cab", so a set member's
// neighbours could never be found.
CabinetSummary CheckCabinet(const std::string& path);

}  // namespace sepack
