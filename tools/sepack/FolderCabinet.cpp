#include "tools/sepack/FolderCabinet.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "cab/CabIntf.h"
#include "platform/Platform.h"
#include "tools/sepack/FileIo.h"

namespace sepack {
namespace {

// A stored name can hold 255 bytes.
constexpr size_t kMaxStoredName = 255;
// 1980-01-01 and 2107-12-31 23:59:58, in seconds since 1970.
constexpr int64_t kFirstDosSecond = 315532800;
constexpr int64_t kLastDosSecond = 4354819198;

struct Walk {
  std::string root;
  std::optional<int64_t> cap;
  std::vector<FolderFile> files;

  void Folder(const std::string& path, const std::string& relative) {
    std::vector<plat::DirEntry> entries;
    if (!plat::Current().FindFiles(path, entries)) {
      throw std::runtime_error("cannot read the folder '" + path + "': " + LastErrorText());
    }
    std::sort(entries.begin(), entries.end(),
              [](const plat::DirEntry& a, const plat::DirEntry& b) { return a.name < b.name; });
    for (const plat::DirEntry& e : entries) {
      if (e.name == "." || e.name == "..") continue;
      Entry(JoinPath(path, e.name), relative.empty() ? e.name : relative + "\\" + e.name);
    }
  }

  void Entry(const std::string& path, const std::string& stored) {
    plat::FileDetails details;
    if (!plat::Current().FileInfo(path, details)) {
      std::fprintf(stderr, "sepack make: skipping '%s': not a regular file\n", path.c_str());
      return;
    }
    if (details.attributes & plat::attr::kDirectory) {
      // Cabinets store no folders, only the files in them; linked folders are not followed.
      if (details.isLink) {
        std::fprintf(stderr, "sepack make: skipping '%s': a link to a folder\n", path.c_str());
        return;
      }
      std::vector<plat::DirEntry> inside;
      if (plat::Current().FindFiles(path, inside) && inside.size() <= 2) {
        std::fprintf(stderr,
                     "sepack make: skipping '%s': an empty folder (a cabinet holds "
                     "only files)\n",
                     path.c_str());
        return;
      }
      Folder(path, stored);
      return;
    }
    if (details.attributes & plat::attr::kDevice) {
      std::fprintf(stderr, "sepack make: skipping '%s': not a regular file\n", path.c_str());
      return;
    }
    if (details.isLink) {
      std::fprintf(stderr, "sepack make: '%s' is a link: its target's content is stored\n",
                   path.c_str());
    }
    if (stored.size() > kMaxStoredName) {
      throw std::runtime_error("'" + path + "': the name '" + stored +
                               "' is longer than the 255 bytes a cabinet can store");
    }
    if (details.size > kMaxCabinetFolderBytes) {
      throw std::runtime_error("'" + path + "' has " + std::to_string(details.size) +
                               " bytes; a cabinet holds at most " +
                               std::to_string(kMaxCabinetFolderBytes) + " bytes of one file");
    }
    FolderFile f{stored, path, details.size};
    DosTimeOf(details.modified, cap, f.dosDate, f.dosTime);
    f.attributes = cab::kAttrArchive;
    if (details.attributes & plat::attr::kReadOnly) f.attributes |= cab::kAttrReadOnly;
    // Run after extraction: turned back into execute bits where files are unpacked.
    if (details.ownerExecute) f.attributes |= cab::kAttrExecute;
    const bool ascii = std::all_of(stored.begin(), stored.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) f.attributes |= cab::kAttrNameIsUtf;
    files.push_back(std::move(f));
  }
};

}  // namespace

std::optional<int64_t> SourceDateEpoch() {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (!text || !*text) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (*end != '\0' || errno != 0 || value < 0) {
    throw std::runtime_error(std::string("SOURCE_DATE_EPOCH='") + text +
                             "' is not a count of seconds since 1970");
  }
  return value;
}

void DosTimeOf(int64_t seconds, std::optional<int64_t> cap, uint16_t& date, uint16_t& time) {
  if (cap && seconds > *cap) seconds = *cap;
  seconds = std::clamp(seconds, kFirstDosSecond, kLastDosSecond);
  const int64_t days = seconds / 86400;
  const int64_t second = seconds % 86400;
  // The civil date of a day count (days since 1970-01-01, here never negative).
  const int64_t z = days + 719468;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  time = static_cast<uint16_t>(((second / 3600) << 11) | (((second / 60) % 60) << 5) |
                               ((second % 60) / 2));
}

std::vector<FolderFile> CollectFolder(const std::string& folder) {
  Walk walk{folder, SourceDateEpoch(), {}};  // a malformed value is refused before any work
  walk.Folder(folder, "");
  if (walk.files.empty()) throw std::runtime_error("'" + folder + "' holds no files to pack");
  std::sort(walk.files.begin(), walk.files.end(),
            [](const FolderFile& a, const FolderFile& b) { return a.stored < b.stored; });
  return walk.files;
}

std::vector<std::vector<FolderFile>> SplitIntoCabinets(const std::vector<FolderFile>& files,
                                                       uint64_t target) {
  std::vector<std::vector<FolderFile>> runs;
  uint64_t bytes = 0;
  for (const FolderFile& f : files) {
    if (runs.empty() || (bytes > 0 && f.size > target - std::min(target, bytes))) {
      runs.emplace_back();
      bytes = 0;
    }
    runs.back().push_back(f);
    bytes += f.size;
  }
  return runs;
}

}  // namespace sepack
