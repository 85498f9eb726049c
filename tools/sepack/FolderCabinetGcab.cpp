// The folder cabinet writer on POSIX: libgcab.
#include <libgcab.h>

#include <memory>
#include <mutex>
#include <stdexcept>

#include "tools/sepack/FolderCabinet.h"

namespace sepack {
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

}  // namespace

void WriteFolderCabinet(const std::vector<FolderFile>& files, const std::string& cabinetPath) {
  // One cabinet at a time: the library and GIO make no promise for concurrent use, and their
  // lazy set-up is shared. The entries' LZH compression, most of the work, still runs side by
  // side.
  static std::mutex oneAtATime;
  const std::lock_guard lock(oneAtATime);
  GRef<GCabCabinet> cabinet(gcab_cabinet_new());
  GRef<GCabFolder> cabFolder(gcab_folder_new(GCAB_COMPRESSION_MSZIP));
  for (const auto& f : files) {
    GRef<GFile> source(g_file_new_for_path(f.path.c_str()));
    GRef<GCabFile> file(gcab_file_new_with_file(f.stored.c_str(), source.get()));
    GErrorHolder err;
    if (!gcab_folder_add_file(cabFolder.get(), file.get(), FALSE, nullptr, &err.error)) {
      throw std::runtime_error("cannot add '" + f.path + "': " + err.Message());
    }
    // Set after adding: adding reads the file's own details.
    const std::unique_ptr<GDateTime, DateTimeDeleter> when(
        g_date_time_new_utc(1980 + (f.dosDate >> 9), (f.dosDate >> 5) & 0x0F, f.dosDate & 0x1F,
                            f.dosTime >> 11, (f.dosTime >> 5) & 0x3F, (f.dosTime & 0x1F) * 2));
    gcab_file_set_date_time(file.get(), when.get());
    gcab_file_set_attributes(file.get(), f.attributes);
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

unsigned FolderCabinetsAtOnce() {
  return 1;
}

}  // namespace sepack
