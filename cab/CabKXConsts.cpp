#include "cab/CabKXConsts.h"

#include <array>

namespace cab {
namespace {

// Indexed by error code; codes compare unsigned, so negative ones fall past the end.
constexpr std::array<const char*, 12> kFDITexts = {
    "No error",
    "Cabinet not found",
    "Cabinet file does not have the correct format",
    "Cabinet file has an unknown version number",
    "Cabinet file is corrupt",
    "Could not allocate enough memory",
    "Unknown compression type in a cabinet folder",
    "Failure decompressing data from a cabinet file",
    "Failure writing to target file",
    "Cabinets in a set do not have the same RESERVE sizes",
    "Cabinet returned on fdintNEXT_CABINET is incorrect",
    "FDI aborted",
};

constexpr std::array<const char*, 9> kFCITexts = {
    "No error",
    "Failure opening file to be stored in cabinet",
    "Failure reading file to be stored in cabinet",
    "Out of memory in FCI",
    "Could not create a temporary file",
    "Unknown compression type",
    "Could not create cabinet file",
    "Client requested abort",
    "Failure compressing data",
};

}  // namespace

const char* FDIErrorText(int32_t code) {
  auto index = static_cast<uint32_t>(code);
  return index < kFDITexts.size() ? kFDITexts[index] : "FDI error";
}

const char* FCIErrorText(int32_t code) {
  auto index = static_cast<uint32_t>(code);
  return index < kFCITexts.size() ? kFCITexts[index] : "FCI error";
}

}  // namespace cab
