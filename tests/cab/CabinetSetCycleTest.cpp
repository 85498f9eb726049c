// Cabinet sets whose links lead back to a cabinet already extracted (found by fuzzing the
// reader): the set ends there, as it does for a cabinet that names itself, instead of going
// round for ever rewriting the same files. And links that lead out of the set's folder or to
// something that is not a file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cab/KXCabReader.h"
#include "platform/Platform.h"
#include "tests/support/CabBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"

#ifndef _WIN32
#include <sys/stat.h>  // mkfifo
#endif

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
                  {"one.cab", "two.cab", "six.cab"}},
        // Another spelling of its own name: once, not until the path limit stops it.
        CycleCase{"SelfThroughDotStep", {{"self.cab", {"", "./self.cab", 0}}}, {"self.cab"}},
        CycleCase{
            "SelfThroughDotStepBackslash", {{"self.cab", {"", ".\\self.cab", 0}}}, {"self.cab"}}),
    [](const testing::TestParamInfo<CycleCase>& info) { return std::string(info.param.name); });

// A cabinet names its successor in its own folder: a name that leads elsewhere, or something
// there that is not a plain file, is not followed (a FIFO would block the open for ever).
TEST(CabinetSetLinks, SuccessorOnlyAPlainFileInTheSameFolder) {
  struct Case {
    const char* next;
    bool makeFifo;
  };
  const Case cases[] = {
      {"../up.cab", false},    {"..\\up.cab", false},
      {"sub/down.cab", false}, {"sub\\down.cab", false},
#ifndef _WIN32
      {"fifo.cab", true},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.next);
    TempDir dir;
    auto& os = plat::Current();
    os.MakeFolder(dir / "set");
    os.MakeFolder(dir / "set/sub");
    WriteFileBytes(dir / "set/first.cab", MakeStoredCabinet({{"first.txt", "1"}}, {"", c.next, 0}));
    WriteFileBytes(dir / "up.cab", MakeStoredCabinet({{"up.txt", "2"}}, {"first.cab", "", 1}));
    WriteFileBytes(dir / "set/sub/down.cab",
                   MakeStoredCabinet({{"down.txt", "3"}}, {"first.cab", "", 1}));
#ifndef _WIN32
    if (c.makeFifo) {
      ASSERT_EQ(mkfifo((dir / "set/fifo.cab").c_str(), 0600), 0);
    }
#endif
    os.MakeFolder(dir / "out");
    cab::TKXCabReader reader;
    std::vector<uint16_t> cabinets;
    reader.OnCabinetInfo = [&](cab::TKXCabReader&, const std::string&, const std::string&,
                               const std::string&, uint16_t, uint16_t number,
                               bool&) { cabinets.push_back(number); };
    ASSERT_NO_THROW(reader.Extract(dir / "set/first.cab", dir / "out", 0));
    EXPECT_EQ(cabinets, std::vector<uint16_t>{0});
    EXPECT_TRUE(testing_support::PathExists(dir / "out/first.txt"));
  }
}

// The library asks for the next cabinet of a file that spans: the reader refuses to let it open
// a FIFO by that name rather than hang.
#ifndef _WIN32
TEST(CabinetSetLinks, SpanningFileIntoAFifoIsRefused) {
  TempDir dir;
  WriteFileBytes(
      dir / "set2_1.cab",
      testing_support::ReadFileBytes(testing_support::SourcePath("tests/fixtures/cab/set2_1.cab")));
  ASSERT_EQ(mkfifo((dir / "set2_2.cab").c_str(), 0600), 0);
  plat::Current().MakeFolder(dir / "out");
  cab::TKXCabReader reader;
  try {
    reader.Extract(dir / "set2_1.cab", dir / "out", 0);
    ADD_FAILURE() << "Extract returned normally";
  } catch (const cab::EKXCabinet& e) {
    EXPECT_NE(e.Message().find("set2_2.cab"), std::string::npos) << e.Message();
  }
  EXPECT_TRUE(testing_support::PathExists(dir / "out/intro.txt"));
  EXPECT_FALSE(testing_support::PathExists(dir / "out/docs/big.txt"));
}
#endif

}  // namespace
