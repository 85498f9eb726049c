// Makes a folder into one MSZIP cabinet, the form a package entry takes.
#pragma once

#include <string>
#include <vector>

namespace sepack {

// Writes every regular file under `folder` into a new MSZIP cabinet at `cabinetPath`, stored
// by its path relative to `folder` with "\" separators. Each file keeps its modification time
// (local time, as cabinets store it) and gets the archive attribute, plus read-only when its
// owner may not write it. Files are stored in name order, so the same folder always gives
// the same cabinet. Returns the stored names; std::runtime_error when the folder holds no
// file, or a file cannot be read or stored. Things that are not regular files are skipped
// with a note on stderr.
std::vector<std::string> MakeFolderCabinet(const std::string& folder,
                                           const std::string& cabinetPath);

}  // namespace sepack
