#include "tools/sepack/CabinetWalk.h"

#include <cstdio>

#include "cab/KXCabReader.h"
#include "tools/sepack/FileIo.h"

namespace sepack {

std::vector<CabinetFile> ListCabinet(const std::string& path) {
  std::vector<CabinetFile> files;
  cab::TKXCabReader reader;
  reader.OnCopyFile = [&files](cab::TKXCabReader&, const std::string& name, int32_t size,
                               uint16_t date, uint16_t time, uint16_t attributes, uint16_t,
                               std::string& destination, bool&) {
    files.push_back({name, size, date, time, attributes});
    destination.clear();  // skip: list only
  };
  const std::string folder = ParentPath(path);
  reader.Extract(path, folder.empty() ? "." : folder, cab::ceoSingleCabinet);
  return files;
}

std::string FormatDosDateTime(uint16_t date, uint16_t time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980u + (date >> 9),
                (date >> 5) & 0x0Fu, date & 0x1Fu, time >> 11, (time >> 5) & 0x3Fu,
                (time & 0x1Fu) * 2);
  return text;
}

std::string FormatAttributes(uint16_t attributes) {
  const struct {
    uint16_t bit;
    char letter;
  } kLetters[] = {{0x01, 'R'}, {0x02, 'H'}, {0x04, 'S'}, {0x20, 'A'}, {0x40, 'X'}};
  std::string text;
  for (const auto& l : kLetters) text += (attributes & l.bit) ? l.letter : '-';
  return text;
}

std::string FormatFileLine(const CabinetFile& file) {
  char size[16];
  std::snprintf(size, sizeof size, "%10ld", static_cast<long>(file.size));
  return FormatAttributes(file.attributes) + "  " + FormatDosDateTime(file.date, file.time) + "  " +
         size + "  " + file.name;
}

}  // namespace sepack
