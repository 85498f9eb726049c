#include "tools/sepack/FolderCabinet.h"

#include <libgcab.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace sepack {
namespace fs = std::filesystem;
namespace {

struct GObjectDeleter {
  void operator()(void* p) const {
    if (p) g_object_unref(p);
  }
};
template <typename T>
using GRef = std::unique_ptr<T, GObjectDeleter>;

struct GErrorHolder {
  GError* error = nullptr;
  ~GErrorHolder() {
    if (error) g_error_free(error);
  }
  std::string Message() const { return error && error->message ? error->message : "unknown error"; }
};

struct DateTimeDeleter {
  void operator()(GDateTime* d) const { g_date_time_unref(d); }
};

// A stored name can hold 255 bytes.
constexpr size_t kMaxStoredName = 255;
// The times a cabinet can store: 1980-01-01 00:00:00 to 2107-12-31 23:59:58.
constexpr int kFirstDosYear = 1980;
constexpr int kLastDosYear = 2107;

// Times are stored in UTC, so that the same files make the same cabinet in any time zone; a
// SOURCE_DATE_EPOCH caps them (reproducible builds).
GDateTime* StoredTime(const struct stat& st, std::optional<int64_t> cap) {
  int64_t seconds = st.st_mtime;
  if (cap && seconds > *cap) seconds = *cap;
  GDateTime* utc = g_date_time_new_from_unix_utc(seconds);
  const int year = utc ? g_date_time_get_year(utc) : 0;
  if (utc && year >= kFirstDosYear && year <= kLastDosYear) return utc;
  if (utc) g_date_time_unref(utc);
  return year > kLastDosYear ? g_date_time_new_utc(kLastDosYear, 12, 31, 23, 59, 58)
                             : g_date_time_new_utc(kFirstDosYear, 1, 1, 0, 0, 0);
}

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

std::vector<FolderFile> CollectFolder(const std::string& folder) {
  SourceDateEpoch();  // a malformed value is refused before any work
  std::vector<FolderFile> files;
  const fs::path root(folder);
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const auto& entry = *it;
    if (entry.is_directory()) {
      // Cabinets store no folders, only the files in them; linked folders are not followed.
      if (entry.is_symlink()) {
        std::fprintf(stderr, "sepack make: skipping '%s': a link to a folder\n",
                     entry.path().c_str());
      } else if (fs::is_empty(entry.path())) {
        std::fprintf(stderr,
                     "sepack make: skipping '%s': an empty folder (a cabinet holds "
                     "only files)\n",
                     entry.path().c_str());
      }
      continue;
    }
    if (!entry.is_regular_file()) {
      std::fprintf(stderr, "sepack make: skipping '%s': not a regular file\n",
                   entry.path().c_str());
      continue;
    }
    if (entry.is_symlink()) {
      std::fprintf(stderr, "sepack make: '%s' is a link: its target's content is stored\n",
                   entry.path().c_str());
    }
    const fs::path relative = entry.path().lexically_relative(root);
    std::string stored = relative.generic_string();
    std::replace(stored.begin(), stored.end(), '/', '\\');
    if (stored.size() > kMaxStoredName) {
      throw std::runtime_error("'" + entry.path().string() + "': the name '" + stored +
                               "' is longer than the 255 bytes a cabinet can store");
    }
    const uint64_t size = entry.file_size();
    if (size > kMaxCabinetFolderBytes) {
      throw std::runtime_error("'" + entry.path().string() + "' has " + std::to_string(size) +
                               " bytes; a cabinet holds at most " +
                               std::to_string(kMaxCabinetFolderBytes) + " bytes of one file");
    }
    files.push_back({std::move(stored), entry.path(), size});
  }
  if (files.empty()) throw std::runtime_error("'" + folder + "' holds no files to pack");
  std::sort(files.begin(), files.end(),
            [](const FolderFile& a, const FolderFile& b) { return a.stored < b.stored; });
  return files;
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

void WriteFolderCabinet(const std::vector<FolderFile>& files, const std::string& cabinetPath) {
  // One cabinet at a time: the library and GIO make no promise for concurrent use, and their
  // lazy set-up is shared. The entries' LZH compression, most of the work, still runs side by
  // side.
  static std::mutex oneAtATime;
  const std::lock_guard lock(oneAtATime);
  const std::optional<int64_t> cap = SourceDateEpoch();
  GRef<GCabCabinet> cabinet(gcab_cabinet_new());
  GRef<GCabFolder> cabFolder(gcab_folder_new(GCAB_COMPRESSION_MSZIP));
  for (const auto& f : files) {
    struct stat st {};
    if (::stat(f.path.c_str(), &st) != 0) {
      throw std::runtime_error("cannot read '" + f.path.string() + "': " + std::strerror(errno));
    }
    GRef<GFile> source(g_file_new_for_path(f.path.c_str()));
    GRef<GCabFile> file(gcab_file_new_with_file(f.stored.c_str(), source.get()));
    GErrorHolder err;
    if (!gcab_folder_add_file(cabFolder.get(), file.get(), FALSE, nullptr, &err.error)) {
      throw std::runtime_error("cannot add '" + f.path.string() + "': " + err.Message());
    }
    // Set after adding: adding reads the file's own details.
    const std::unique_ptr<GDateTime, DateTimeDeleter> when(StoredTime(st, cap));
    gcab_file_set_date_time(file.get(), when.get());
    guint32 attributes = GCAB_FILE_ATTRIBUTE_ARCH;
    if (!(st.st_mode & S_IWUSR)) attributes |= GCAB_FILE_ATTRIBUTE_RDONLY;
    if (st.st_mode & S_IXUSR) attributes |= kExecuteAttribute;
    const bool ascii = std::all_of(f.stored.begin(), f.stored.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) attributes |= GCAB_FILE_ATTRIBUTE_NAME_IS_UTF;
    gcab_file_set_attributes(file.get(), attributes);
  }
  GErrorHolder err;
  if (!gcab_cabinet_add_folder(cabinet.get(), cabFolder.get(), &err.error)) {
    throw std::runtime_error("cannot make a cabinet: " + err.Message());
  }
  GRef<GFile> target(g_file_new_for_path(cabinetPath.c_str()));
  GRef<GFileOutputStream> out(
      g_file_replace(target.get(), nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, &err.error));
  if (!out) throw std::runtime_error("cannot create '" + cabinetPath + "': " + err.Message());
  if (!gcab_cabinet_write_simple(cabinet.get(), G_OUTPUT_STREAM(out.get()), nullptr, nullptr,
                                 nullptr, &err.error) ||
      !g_output_stream_close(G_OUTPUT_STREAM(out.get()), nullptr, &err.error)) {
    throw std::runtime_error("cannot make a cabinet: " + err.Message());
  }
}

}  // namespace sepack
