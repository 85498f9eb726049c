// Cabinets read through the extractor's own cabinet reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sepack {

struct CabinetFile {
  std::string name;  // as stored, "\" separated
  int32_t size = 0;
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attributes = 0;
};

// The files of the cabinet at `path` (that cabinet alone), read through the reader with every
// file skipped, so nothing is written. Raises the reader's errors.
std::vector<CabinetFile> ListCabinet(const std::string& path);

// "2020-01-02 03:04:06" from a cabinet's date and time words.
std::string FormatDosDateTime(uint16_t date, uint16_t time);
// "RHSAX" with "-" for each attribute not set (X: run after extraction).
std::string FormatAttributes(uint16_t attributes);
// One line of a listing: attributes, date and time, size, name.
std::string FormatFileLine(const CabinetFile& file);

}  // namespace sepack
