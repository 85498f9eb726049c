// Makes a folder into MSZIP cabinets, the form package entries take.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sepack {

struct FolderFile {
  std::string stored;  // path relative to the folder, with "\" separators
  std::filesystem::path path;
  uint64_t size = 0;
};

// The cabinet attribute of a file to be run after extraction: stored for files whose owner may
// run them, and turned back into execute bits where files are unpacked.
inline constexpr uint16_t kExecuteAttribute = 0x40;
// The bytes one cabinet folder can hold: 65535 data blocks of 32 KiB.
inline constexpr uint64_t kMaxCabinetFolderBytes = 65535ull * 32768;
// A folder is packed into cabinets of about this many bytes each, so that large folders make
// several entries, compressed side by side. Fixed, so that the package does not depend on the
// machine that makes it.
inline constexpr uint64_t kCabinetTargetBytes = 4ull << 20;

// Every regular file under `folder` (links to files stored as their target's content), in
// stored-name order. What a cabinet cannot hold is reported on stderr: empty folders, links to
// folders (not followed), anything that is not a file. std::runtime_error when the folder
// holds no file, a name is longer than a cabinet can store or a file is larger than one
// cabinet can hold.
std::vector<FolderFile> CollectFolder(const std::string& folder);

// Consecutive runs of `files`, one per cabinet: a run ends before the file that would take it
// past `target` bytes (a larger file makes a run of its own).
std::vector<std::vector<FolderFile>> SplitIntoCabinets(const std::vector<FolderFile>& files,
                                                       uint64_t target);

// The SOURCE_DATE_EPOCH of the environment, when set; std::runtime_error when it is not a
// count of seconds.
std::optional<int64_t> SourceDateEpoch();

// Writes `files` into a new MSZIP cabinet at `cabinetPath`. Each file keeps its modification
// time, in UTC and capped by SOURCE_DATE_EPOCH, and gets the archive attribute, plus read-only
// when its owner may not write it and the execute attribute (0x40) when its owner may run it.
// The same files always give the same cabinet, in any time zone. Callers on several threads
// take turns. std::runtime_error when a file cannot be read or stored.
void WriteFolderCabinet(const std::vector<FolderFile>& files, const std::string& cabinetPath);

}  // namespace sepack
