// A whole run of the stub over an arbitrary package, on an in-memory platform that answers Yes,
// with the cabinet library replaced by a recorder. Whatever the bytes: only se::Exception
// errors escape, the package is never changed, nothing outside the work folder is touched
// (the platform aborts on that), every file is closed, and a run that ends normally leaves no
// work folder behind. The cabinets handed on are the work folder's kem.cab holding, in order,
// the entries as a plain walk of the layout decodes them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "cab/CabIntf.h"
#include "extractor/Extractor_U1.h"
#include "extractor/PackageLayout.h"
#include "fuzz/MemoryPlatform.h"
#include "fuzz/RecordingCabinet.h"
#include "lzh/SECompress.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The cabinets a run must deliver, entry by entry, up to the first entry that cannot be read or
// decoded; nothing when the package is not one.
std::optional<std::vector<Bytes>> Expected(const Bytes& p) {
  const auto size = static_cast<int64_t>(p.size());
  auto at = [&](int64_t pos) {
    return pos < 0 || pos + 4 > size ? 0 : extractor::LittleEndian32(p.data() + pos);
  };
  const auto trailer = extractor::ReadTrailer(size, at);
  if (!trailer) return std::nullopt;
  const int64_t end = trailer->end - 12 - trailer->promptLength;
  int64_t pos = end - trailer->areaSize;
  std::vector<Bytes> cabinets;
  const int32_t count = at(pos);
  pos += 4;
  for (int32_t i = 0; i < count; ++i) {
    if (end - pos < 8) break;
    const int64_t data = at(pos), name = at(pos + 4);
    pos += 8;
    if (name < 0 || name > end - pos) break;
    pos += name;
    if (data < 5 || data > end - pos) break;
    const int64_t declared = at(pos + data - 4);
    if (declared < 0 || declared > 48 * (data - 4)) break;
    se::MemoryStream stream, plain;
    stream.Write(p.data() + pos, static_cast<size_t>(data));
    pos += data;
    if (!lzh::TSECompress().DecompressStream(stream, plain) || plain.Size() < declared) break;
    cabinets.emplace_back(plain.Memory(), plain.Memory() + plain.Size());
  }
  return cabinets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes package(data, data + size);
  fuzz_support::MemoryPlatform os(package);
  os.SetCabinetSymbols(fuzz_support::RecordingCabinetSymbol);
  plat::ScopedPlatform use(os);

  bool raised = false;
  std::string work;
  {
    extractor::TExtractor run;
    try {
      run.Run();
    } catch (const se::Exception&) {
      raised = true;
    }
    work = run.WorkFolder();
  }
  cab::UnloadCabinetLibrary();
  const auto cabinets = fuzz_support::TakeRecordedCabinets();

  if (os.OpenHandles() != 0) std::abort();
  const auto* now = os.File(fuzz_support::MemoryPlatform::kProgramPath);
  if (!now || *now != package) std::abort();
  if (!raised && !work.empty() && os.Exists(work)) std::abort();

  const auto expected = Expected(package);
  if (!expected) {  // not a package: one error box, nothing asked, nothing made
    if (raised || os.Questions() != 0 || os.Errors() != 1 || !work.empty()) std::abort();
    return 0;
  }
  if (os.Questions() != 1 || cabinets.size() > expected->size()) std::abort();
  for (size_t i = 0; i < cabinets.size(); ++i) {
    if (cabinets[i].path != work + "/kem.cab" || cabinets[i].bytes != (*expected)[i]) std::abort();
  }
  // A run that ends without an error has delivered every entry.
  if (!raised && os.Errors() == 0 && cabinets.size() != expected->size()) std::abort();
  return 0;
}
