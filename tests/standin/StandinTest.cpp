// What the recordings cannot show about the stand-in: its export table, the FCI half, and that
// every byte of memory and every file goes through the caller's callbacks and comes back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/posix/cabinet/CabinetStandin.h"
#include "platform/posix/cabinet/Fdi.h"
#include "tests/standin/FdiDriver.h"

namespace fdi_test {
namespace {

const Scenario& Find(const char* name) {
  for (const Scenario& s : Scenarios())
    if (!std::strcmp(s.name, name)) return s;
  throw std::runtime_error(name);
}

TEST(StandinExports, AreTheNineEntryPointsInLoadOrder) {
  const char* expected[] = {"FCICreate",      "FCIAddFile", "FCIFlushCabinet",
                            "FCIFlushFolder", "FCIDestroy", "FDICreate",
                            "FDIIsCabinet",   "FDICopy",    "FDIDestroy"};
  auto exports = cabinet_standin::Exports();
  ASSERT_EQ(exports.size(), std::size(expected));
  for (size_t i = 0; i < exports.size(); ++i) {
    EXPECT_STREQ(exports[i].name, expected[i]);
    EXPECT_NE(exports[i].address, nullptr) << expected[i];
  }
}

TEST(StandinFci, FailsCleanly) {
  fdi::ERF erf{};
  void* none = nullptr;
  EXPECT_EQ(
      fdi::FCICreate(&erf, none, none, none, none, none, none, none, none, none, none, none, none),
      nullptr);
  EXPECT_EQ(erf.fError, 1);
  EXPECT_EQ(erf.erfOper, fdi::FCIERR_ALLOC_FAIL);
  EXPECT_EQ(fdi::FCICreate(nullptr, none, none, none, none, none, none, none, none, none, none,
                           none, none),
            nullptr);
  char name[] = "x";
  EXPECT_EQ(fdi::FCIAddFile(nullptr, name, name, 0, none, none, none, 0), 0);
  EXPECT_EQ(fdi::FCIFlushCabinet(nullptr, 0, none, none), 0);
  EXPECT_EQ(fdi::FCIFlushFolder(nullptr, none, none), 0);
  EXPECT_EQ(fdi::FCIDestroy(nullptr), 0);
}

TEST(StandinFdiCreate, WithoutMemoryCallbacksFailsAsTheSystemLibraryDoes) {
  fdi::ERF erf{};
  EXPECT_EQ(fdi::FDICreate(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, -1, &erf),
            nullptr);
  EXPECT_EQ(erf.erfOper, 0);
  EXPECT_EQ(erf.erfType, 160);  // ERROR_BAD_ARGUMENTS
  EXPECT_EQ(erf.fError, 1);
}

TEST(StandinFdi, ForeignContextsAreRefused) {
  int notAContext = 0;
  char name[] = "stored.cab", path[] = "";
  EXPECT_EQ(fdi::FDICopy(&notAContext, name, path, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(fdi::FDIDestroy(nullptr), 0);
  fdi::FDICABINETINFO info{};
  EXPECT_EQ(fdi::FDIIsCabinet(&notAContext, 1, &info), 0);
}

// The system library ignores data block checksums and writes what a damaged block decodes to;
// the stand-in refuses the block, so damaged data is never passed on as good.
TEST(StandinDamage, ABadBlockChecksumFailsAsACorruptCabinet) {
  Scenario scenario{"checksum", "checksum.cab"};
  CallCounts counts;
  std::string log = Record(LibraryApi(), scenario, {}, &counts);
  EXPECT_NE(log.find("= 0 erf=4/0/1"), std::string::npos) << log;
  EXPECT_EQ(log.find("size=28"), std::string::npos) << "no file may be reported complete";
  EXPECT_EQ(counts.openHandles, 0);
}

// Every scenario gives back all memory and closes every file it opened.
class StandinScenario : public testing::TestWithParam<Scenario> {};

TEST_P(StandinScenario, UsesOnlyTheCallbacksAndReturnsEverything) {
  CallCounts counts;
  std::string log = Record(LibraryApi(), GetParam(), {}, &counts);
  EXPECT_GT(counts.alloc, 0);
  EXPECT_EQ(counts.liveBlocks, 0);
  EXPECT_EQ(counts.openHandles, 0);
  EXPECT_EQ(counts.unknownCloses, 0);
  if (log.find("CABINET_INFO") != std::string::npos) {
    EXPECT_GT(counts.open, 0);
    EXPECT_GT(counts.read, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, StandinScenario, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.name);
                         });

// The whole file data comes through the read callback: the output of a good run is
// reproduced only when the read callback is the one FDICreate was given (see the recordings);
// here, any allocation or open that fails is reported and cleaned up after.
TEST(StandinFailures, EveryFailedAllocationIsReportedAndCleanedUp) {
  for (const char* name : {"set3", "mszip", "lzx"}) {
    const Scenario& scenario = Find(name);
    CallCounts good;
    std::string clean = Record(LibraryApi(), scenario, {}, &good);
    for (int n = 1; n <= good.alloc; ++n) {
      CallCounts counts;
      std::string log = Record(LibraryApi(), scenario, {0, n}, &counts);
      SCOPED_TRACE(std::string(name) + " alloc " + std::to_string(n) + "\n" + log);
      EXPECT_NE(log.find("erf=5/0/1"), std::string::npos);
      EXPECT_EQ(counts.liveBlocks, 0);
      EXPECT_EQ(counts.openHandles, 0);
      EXPECT_EQ(log.find("left open"), std::string::npos);
    }
  }
}

TEST(StandinFailures, EveryFailedOpenIsReportedAndCleanedUp) {
  const Scenario& scenario = Find("set2");
  CallCounts good;
  Record(LibraryApi(), scenario, {}, &good);
  for (int n = 1; n <= good.open; ++n) {
    CallCounts counts;
    std::string log = Record(LibraryApi(), scenario, {n, 0}, &counts);
    SCOPED_TRACE("open " + std::to_string(n) + "\n" + log);
    EXPECT_NE(log.find("= 0 erf="), std::string::npos) << "a failed open went unreported";
    EXPECT_EQ(counts.liveBlocks, 0);
    EXPECT_EQ(counts.openHandles, 0);
  }
  CallCounts counts;
  EXPECT_EQ(Record(LibraryApi(), scenario, {1, 0}, &counts),
            "FDICopy \"set2_1.cab\" \"<dir>/\"\n= 0 erf=1/0/1\nFDIDestroy = 1\n");
}

}  // namespace
}  // namespace fdi_test
