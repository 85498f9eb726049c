// A scratch folder of its own for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, without a trailing separator, in this system's notation.
  const std::string& Path() const { return path_; }
  // A path inside the folder; "/" in `relative` becomes this system's separator.
  std::string operator/(const std::string& relative) const;

 private:
  std::string path_;
};

// True when something exists at the path.
bool PathExists(const std::string& path);

}  // namespace testing_support
