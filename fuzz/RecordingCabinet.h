// A cabinet library that only records: FDICopy reads the whole cabinet it is pointed at through
// the reader's callbacks, keeps a copy, and reports one file, "rux.exe", holding its first
// bytes, so that the run's launch and clean-up have something to do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fuzz_support {

struct RecordedCabinet {
  std::string path;
  std::vector<uint8_t> bytes;
};

// The nine entry points by name (FCI ones are never called), for MemoryPlatform.
void* RecordingCabinetSymbol(const char* name);
// Cabinets seen since the last call, which empties the record; also checks that every
// context was destroyed and every block freed.
std::vector<RecordedCabinet> TakeRecordedCabinets();

}  // namespace fuzz_support
