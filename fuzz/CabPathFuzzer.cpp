// Names and open flags as the cabinet library hands them to the reader. The first four bytes
// are open flags, the rest a stored name (up to its first NUL, as a C string ends). A name that
// IsSafeStoredName accepts, joined to the destination the way the reader joins it, must stay
// at or below the destination once "." and ".." steps are resolved lexically; an open never creates
// or truncates unless the flags ask for it, and never shares a file for writing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cab/CabCallbacks.h"
#include "cab/KXCabReader.h"

namespace {

constexpr char kDelim = plat::kPathDelim;
const std::string kDest = std::string(1, kDelim) + "tmp" + kDelim + "se_1" + kDelim;

// "." and ".." steps and empty steps resolved; ".." at the root stays at the root.
std::string Normalise(std::string_view path) {
  std::vector<std::string_view> steps;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(kDelim, start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view step = path.substr(start, end - start);
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    start = end + 1;
  }
  std::string out;
  for (auto step : steps) (out += kDelim) += step;
  return out.empty() ? std::string(1, kDelim) : out;
}

void CheckOpenFlags(int32_t flags) {
  const cab::OpenParams p = cab::TranslateOpenFlags(flags);
  const uint32_t rw = plat::access::kRead | plat::access::kWrite;
  if (p.access == 0 || (p.access & ~rw) != 0) std::abort();
  if ((flags & 3) == 0 && p.access != plat::access::kRead) std::abort();
  if (p.shareMode != plat::share::kRead) std::abort();
  const bool create = flags & cab::oflag::kCreate;
  const bool truncate = flags & cab::oflag::kTruncate;
  switch (p.disposition) {
    case plat::Disposition::kOpenExisting:
      break;
    case plat::Disposition::kCreateNew:
    case plat::Disposition::kOpenAlways:
      if (!create) std::abort();
      break;
    case plat::Disposition::kCreateAlways:
      if (!create || !truncate) std::abort();
      break;
    case plat::Disposition::kTruncateExisting:
      if (!truncate || create) std::abort();
      break;
    default:
      std::abort();
  }
  if ((p.flagsAndAttributes & plat::flag::kDeleteOnClose) && !create) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  CheckOpenFlags(static_cast<int32_t>(data[0] | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                                      uint32_t(data[3]) << 24));

  std::string name(reinterpret_cast<const char*>(data + 4), size - 4);
  name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
  // The reader's own view of a stored name: cabinets separate folders with "\".
  std::string local = name;
  for (char& c : local) {
    if (c == '\\') c = kDelim;
  }
  const std::string joined = cab::JoinPath({kDest, local});

  // One separator at each seam: the destination, then the name without a leading separator.
  if (!local.empty()) {
    const std::string_view rest =
        local.front() == kDelim ? std::string_view(local).substr(1) : std::string_view(local);
    if (joined != kDest + std::string(rest)) std::abort();
  } else if (joined != kDest) {
    std::abort();
  }

  if (!cab::IsSafeStoredName(name)) return 0;
  const std::string normal = Normalise(joined);
  const std::string dest = Normalise(kDest);
  // "." names the destination itself: not a way out, and no file can be written there.
  if (normal != dest && normal.compare(0, dest.size() + 1, dest + kDelim) != 0) std::abort();
  return 0;
}
