#include "tests/support/TestPaths.h"

namespace testing_support {

std::string SourceDir() {
  return SE_TEST_SOURCE_DIR;
}
std::string SourcePath(const std::string& relative) {
  return SourceDir() + "/" + relative;
}

}  // namespace testing_support
