// Cabinet sets whose links lead back to a cabinet already extracted (found by fuzzing the
// reader): the set ends there, as it does for a cabinet that names itself, instead of going
// round for ever rewriting the same files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cab/KXCabReader.h"
#include "platform/Platform.h"
#include "tests/support/CabBuilder.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::CabSetLinks;
using testing_support::MakeStoredCabinet;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

// Each case: the cabinets of the folder (name, stored file, links), extraction starting at the
// first; the cabinets the reader must open, in order.
struct CycleCase {
  const char* name;
  std::vector<std::pair<std::string, CabSetLinks>> cabinets;
  std::vector<std::string> opened;
};

void PrintTo(const CycleCase& c, std::ostream* os) {
  *os << c.name;
}

class CabinetSetCycle : public testing::TestWithParam<CycleCase> {};

TEST_P(CabinetSetCycle, EndsWhenALinkLeadsBack) {
  TempDir dir;
  for (const auto& [name, links] : GetParam().cabinets) {
    WriteFileBytes(dir / name, MakeStoredCabinet({{name + ".txt", name}}, links));
  }
  cab::TKXCabReader reader;
  std::vector<std::string> opened;
  reader.OnCabinetInfo = [&](cab::TKXCabReader&, const std::string&, const std::string&,
                             const std::string&, uint16_t, uint16_t, bool& abort) {
    const std::string& path = reader.CurrentCabinet();
    opened.push_back(path.substr(path.find_last_of("\\/") + 1));
    abort = opened.size() > 8;  // a loop fails the test instead of hanging it
  };
  plat::Current().MakeFolder(dir / "out");
  ASSERT_NO_THROW(reader.Extract(dir / GetParam().cabinets.front().first, dir / "out", 0));
  EXPECT_EQ(opened, GetParam().opened);
  for (const auto& [name, links] : GetParam().cabinets) {
    EXPECT_TRUE(testing_support::PathExists(dir / ("out/" + name + ".txt"))) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Links, CabinetSetCycle,
    testing::Values(
        // The input the fuzzer found: the second cabinet names the first (kem.cab, the name
        // every payload entry is saved under) as its successor.
        CycleCase{"SecondNamesFirst",
                  {{"kem.cab", {"", "two.cab", 0}}, {"two.cab", {"kem.cab", "kem.cab", 1}}},
                  {"kem.cab", "two.cab"}},
        CycleCase{"ThirdNamesSecond",
                  {{"one.cab", {"", "two.cab", 0}},
                   {"two.cab", {"one.cab", "six.cab", 1}},
                   {"six.cab", {"two.cab", "two.cab", 2}}},
                  {"one.cab", "two.cab", "six.cab"}}),
    [](const testing::TestParamInfo<CycleCase>& info) { return std::string(info.param.name); });

}  // namespace
