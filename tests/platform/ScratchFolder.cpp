#include "tests/platform/ScratchFolder.h"

#include <fstream>
#include <iterator>

namespace testing_support {

void ScratchFolder::MakeFile(const std::string& name, const std::string& content) const {
  std::ofstream(Path(name), std::ios::binary) << content;
}

std::string ScratchFolder::ReadAll(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace testing_support
