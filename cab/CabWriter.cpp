#include "cab/CabWriter.h"

#include <stdexcept>

namespace cab {

void WriteCabinet(const std::string& cabinetPath, const std::vector<CabSourceFile>&) {
  throw std::runtime_error("Cannot write cabinet " + cabinetPath +
                           ": the cabinet writer is not built yet");
}

}  // namespace cab
