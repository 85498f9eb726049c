// Whole-file reads and all-or-nothing writes for the commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sepack {

// The file's bytes; std::runtime_error naming the path and the reason when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Writes `data` to a temporary file beside `path`, then renames it over `path`, so that a
// failure never leaves a partial file at `path`. std::runtime_error on failure.
void WriteFileAtomically(const std::string& path, const uint8_t* data, size_t size);

}  // namespace sepack
