// Makes a folder into MSZIP cabinets, the form package entries take.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sepack {

struct FolderFile {
  std::string stored;  // path relative to the folder, with "\" separators
  std::string path;    // the file to read
  uint64_t size = 0;
  uint16_t dosDate = 0, dosTime = 0;  // stored time: UTC, capped by SOURCE_DATE_EPOCH
  uint16_t attributes = 0;            // cabinet attribute bits
};

// The bytes one cabinet folder can hold: 65535 data blocks of 32 KiB.
inline constexpr uint64_t kMaxCabinetFolderBytes = 65535ull * 32768;
// A folder is packed into cabinets of about this many bytes each, so that large folders make
// several entries, compressed side by side. Fixed, so that the package does not depend on the
// machine that makes it.
inline constexpr uint64_t kCabinetTargetBytes = 4ull << 20;

// Every regular file under `folder` (links to files stored as their target's content), in
// stored-name order, with the time and attributes it is stored with: its modification time in
// UTC, capped by SOURCE_DATE_EPOCH and kept within what a cabinet can store; the archive
// attribute, plus read-only when its owner may not write it, the execute attribute when its
// owner may run it (POSIX) and the UTF-8 attribute for a name beyond ASCII. What a cabinet cannot
// hold is reported on stderr: empty folders, links to folders (not followed), anything that is not
// a file. std::runtime_error when the folder holds no file, a name is longer than a cabinet can
// store or a file is larger than one cabinet can hold.
std::vector<FolderFile> CollectFolder(const std::string& folder);

// Consecutive runs of `files`, one per cabinet: a run ends before the file that would take it
// past `target` bytes (a larger file makes a run of its own).
std::vector<std::vector<FolderFile>> SplitIntoCabinets(const std::vector<FolderFile>& files,
                                                       uint64_t target);

// The SOURCE_DATE_EPOCH of the environment, when set; std::runtime_error when it is not a
// count of seconds.
std::optional<int64_t> SourceDateEpoch();

// The MS-DOS date and time of `seconds` since 1970 in UTC, capped by `cap`, and kept within the
// times a cabinet can store (1980-01-01 00:00:00 to 2107-12-31 23:59:58).
void DosTimeOf(int64_t seconds, std::optional<int64_t> cap, uint16_t& date, uint16_t& time);

// Writes `files` into a new MSZIP cabinet at `cabinetPath`, with the times and attributes
// collected (libgcab on POSIX, the system cabinet library on Windows), so the same files always
// give the same cabinet, in any time zone. Safe on several threads. std::runtime_error when a
// file cannot be read or stored.
void WriteFolderCabinet(const std::vector<FolderFile>& files, const std::string& cabinetPath);

// How many WriteFolderCabinet calls do their work at the same time (0: any number).
unsigned FolderCabinetsAtOnce();

}  // namespace sepack
