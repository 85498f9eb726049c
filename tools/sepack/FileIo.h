// Whole-file reads and all-or-nothing writes for the commands.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace sepack {

// The file's bytes; std::runtime_error naming the path and the reason when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Writes `data` to a temporary file beside `path`, then renames it over `path`, so that a
// failure never leaves a partial file at `path`. The file gets `mode` less the umask.
// std::runtime_error on failure.
void WriteFileAtomically(const std::string& path, const uint8_t* data, size_t size,
                         unsigned mode = 0666);
// The same for a file made of `pieces`, one after another.
void WriteFileAtomically(const std::string& path, std::initializer_list<std::string_view> pieces,
                         unsigned mode = 0666);

// A fresh private folder under $TMPDIR (or /tmp), removed with everything in it when the
// object goes.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix = "sepack");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace sepack
