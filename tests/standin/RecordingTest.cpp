// The library under test must send the notification sequences recorded from the system's
// cabinet library under Wine. With SE_RECORD_FDI set (on the Windows build under Wine only)
// the run writes the recordings instead.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/standin/FdiDriver.h"

namespace fdi_test {
namespace {

std::string RecordingPath(const Scenario& s) {
  return FixtureDir() + "recorded/" + s.name + ".txt";
}

class Recording : public testing::TestWithParam<Scenario> {};

TEST_P(Recording, MatchesSystemLibrary) {
  const Scenario& scenario = GetParam();
  std::string got = Record(LibraryApi(), scenario);
  if (std::getenv("SE_RECORD_FDI")) {
    std::ofstream(RecordingPath(scenario), std::ios::binary) << got;
    return;
  }
  std::ifstream in(RecordingPath(scenario), std::ios::binary);
  ASSERT_TRUE(in) << "no recording " << RecordingPath(scenario);
  std::stringstream want;
  want << in.rdbuf();
  EXPECT_EQ(want.str(), got);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Recording, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace fdi_test
