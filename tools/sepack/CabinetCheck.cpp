#include "tools/sepack/CabinetCheck.h"

#include <mspack.h>

#include <strings.h>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace sepack {
namespace {

struct DecompressorDeleter {
  void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};

std::string Reason(int error) {
  switch (error) {
    case MSPACK_ERR_OPEN:
      return "cannot be opened";
    case MSPACK_ERR_SIGNATURE:
      return "is not a cabinet file";
    case MSPACK_ERR_NOMEMORY:
      return "cannot be read: out of memory";
    default:
      return "is not a readable cabinet file (damaged or cut short)";
  }
}

std::string DataReason(int error) {
  switch (error) {
    case MSPACK_ERR_CHECKSUM:
      return "checksum mismatch";
    case MSPACK_ERR_DECRUNCH:
      return "its compressed data does not decode";
    case MSPACK_ERR_READ:
    case MSPACK_ERR_SEEK:
      return "the data is cut short";
    case MSPACK_ERR_NOMEMORY:
      return "out of memory";
    default:
      return "damaged data, error " + std::to_string(error);
  }
}

}  // namespace

CabinetSummary CheckCabinet(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    throw std::runtime_error("'" + path + "' is a folder, not a cabinet file");
  }
  const std::unique_ptr<mscab_decompressor, DecompressorDeleter> cabd(
      mspack_create_cab_decompressor(nullptr));
  if (!cabd) throw std::runtime_error("cannot start the cabinet decompressor");
  mscabd_cabinet* cab = cabd->open(cabd.get(), path.c_str());
  if (cab == nullptr)
    throw std::runtime_error("'" + path + "' " + Reason(cabd->last_error(cabd.get())));
  const auto closer = [&](mscabd_cabinet* c) { cabd->close(cabd.get(), c); };
  const std::unique_ptr<mscabd_cabinet, decltype(closer)> owned(cab, closer);

  CabinetSummary summary;
  summary.size = static_cast<int64_t>(std::filesystem::file_size(path));
  if (summary.size < static_cast<int64_t>(cab->length)) {
    throw std::runtime_error("'" + path + "' is cut short: its header gives " +
                             std::to_string(cab->length) + " bytes, the file has " +
                             std::to_string(summary.size));
  }
  if (cab->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)) {
    throw std::runtime_error("'" + path +
                             "' is part of a cabinet set; a package entry must be a cabinet "
                             "that stands alone (the extractor cannot find its neighbours)");
  }
  for (mscabd_file* f = cab->files; f != nullptr; f = f->next) {
    summary.names.emplace_back(f->filename ? f->filename : "");
    // Every file decoded (and its checksums checked) into nothing: a damaged cabinet is
    // refused here rather than on the user's machine.
    if (cabd->extract(cabd.get(), f, "/dev/null") != MSPACK_ERR_OK) {
      throw std::runtime_error("'" + path + "' is damaged: its file '" + summary.names.back() +
                               "' cannot be read (" + DataReason(cabd->last_error(cabd.get())) +
                               ")");
    }
  }
  return summary;
}

bool HoldsLaunchedProgram(const std::vector<std::string>& names) {
  for (const auto& n : names) {
    if (::strcasecmp(n.c_str(), "rux.exe") == 0) return true;
  }
  return false;
}

}  // namespace sepack
