// One payload entry's LZH stream decoded from the package straight into the cabinet file,
// through buffers of fixed size: memory does not grow with the entry.
#pragma once

#include <cstdint>
#include <string>

#include "base/FileStream.h"

namespace extractor {

// Decodes the `dataSize` bytes at the package's position into `cabinet` (created or truncated)
// and leaves the package positioned right after them. The caller has made sure those bytes lie
// inside the package.
//
// False, before anything is read or written, for a stream that cannot be genuine (below 5
// bytes, or a size word that is negative or more than 48 times the bit stream), and when the
// codec fails or yields fewer bytes than the size word asks for.
// A failing read raises EReadError; the cabinet file raises EFCreateError or EWriteError.
bool DecodeEntry(se::FileStream& package, int32_t dataSize, const std::string& cabinet);

}  // namespace extractor
