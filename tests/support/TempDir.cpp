#include "tests/support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace testing_support {
namespace {

#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

// Clears read-only marks so that removal works on every system.
void MakeWritable(const fs::path& root) {
  std::error_code ec;
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
  if (!fs::is_directory(fs::symlink_status(root, ec))) return;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (fs::is_symlink(it->symlink_status(ec))) continue;
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate =
        base / ("setest-" + std::to_string(stamp % 1000000007) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.string();
      break;
    }
  }
  std::replace(path_.begin(), path_.end(), kSep == '/' ? '\\' : '/', kSep);
  while (path_.size() > 1 && path_.back() == kSep) path_.pop_back();
}

TempDir::~TempDir() {
  MakeWritable(path_);
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& relative) const {
  std::string r = relative;
  std::replace(r.begin(), r.end(), '/', kSep);
  return path_ + kSep + r;
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace testing_support
