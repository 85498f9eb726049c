// Builds small uncompressed cabinet files in memory, with any stored names, dates and
// attributes: fixtures that no cabinet tool would make (names that climb out, for one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct CabFile {
  std::string name;  // as stored, "\" between folders
  std::string data;
  uint16_t date = 0x5A21;  // 2025-01-01
  uint16_t time = 0x6000;  // 12:00:00
  uint16_t attribs = 0x20;
};

// Where a cabinet stands in a set: the cabinets it names before and after it (empty: none).
struct CabSetLinks {
  std::string previous;
  std::string next;
  uint16_t index = 0;  // iCabinet
};

// Per-cabinet, per-folder and per-block reserved areas (as signing tools leave them); all zero
// means none.
struct CabReserve {
  uint16_t header = 0;
  uint8_t folder = 0;
  uint8_t data = 0;
};

// One folder, no compression, data blocks of at most 32 KB, no checksums. No file spans into
// a neighbour: the links only name them.
std::string MakeStoredCabinet(const std::vector<CabFile>& files, const CabSetLinks& links = {},
                              const CabReserve& reserve = {});

// Writes bytes to a file (created or truncated); fails the current test when it cannot.
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

}  // namespace testing_support
