// Texts for the cabinet library's error codes.
#pragma once

#include <cstdint>

namespace cab {

// The text for an FDI (decompression) error code; "FDI error" for unknown codes.
const char* FDIErrorText(int32_t code);
// The text for an FCI (compression) error code; "FCI error" for unknown codes.
const char* FCIErrorText(int32_t code);

}  // namespace cab
