// The fault-injecting platform that other tests rely on to force failure paths.
#include "tests/support/FaultPlatform.h"

#include <gtest/gtest.h>

#include "tests/platform/ScratchFolder.h"

namespace {

using testing_support::FaultPlatform;
using testing_support::Op;
namespace access = plat::access;

class FaultPlatformTest : public testing_support::ScratchFolder {
 protected:
  plat::FileHandle Create(const std::string& name) {
    return fault_.OpenFile(Path(name), access::kRead | access::kWrite, plat::share::kNone,
                           plat::Disposition::kCreateAlways, plat::attr::kNormal);
  }
  bool WriteX(plat::FileHandle file, uint32_t count = 1) {
    uint32_t done = 0;
    return fault_.Write(file, "xxxxxxxx", count, done);
  }

  FaultPlatform fault_;
};

TEST_F(FaultPlatformTest, FailsTheNthCallWithTheGivenCode) {
  const auto file = Create("f");
  ASSERT_NE(file, plat::kInvalidFile);
  fault_.FailNth(Op::kWrite, 2, 1234);
  EXPECT_TRUE(WriteX(file));
  EXPECT_FALSE(WriteX(file));
  EXPECT_EQ(fault_.LastError(), 1234u);
  EXPECT_TRUE(WriteX(file));  // only the second
  EXPECT_EQ(fault_.Count(Op::kWrite), 3);
  EXPECT_TRUE(fault_.Close(file));
  EXPECT_EQ(ReadAll("f"), "xx");

  // The log names the file a handle belongs to, and which call failed.
  const auto& calls = fault_.Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[2].op, Op::kWrite);
  EXPECT_EQ(calls[2].path, Path("f"));
  EXPECT_TRUE(calls[2].failed);
  EXPECT_FALSE(calls[3].failed);
  EXPECT_EQ(fault_.ChangedPaths(), std::vector<std::string>{Path("f")});
}

TEST_F(FaultPlatformTest, EveryCallFailsWithZeroAndRealFailuresKeepTheirCode) {
  fault_.FailNth(Op::kMakeFolder, 0, 5);
  EXPECT_FALSE(fault_.MakeFolder(Path("a")));
  EXPECT_FALSE(fault_.MakeFolder(Path("b")));
  EXPECT_EQ(fault_.LastError(), 5u);
  fault_.ClearFaults();
  EXPECT_TRUE(fault_.MakeFolder(Path("a")));

  EXPECT_EQ(fault_.FileAttributes(Path("missing")), plat::attr::kInvalid);
  EXPECT_EQ(fault_.LastError(), 2u);  // the system's not-found code, passed through
}

TEST_F(FaultPlatformTest, RuleFailsChosenNamesOnly) {
  const plat::ModuleHandle cabinet = fault_.LoadModule("cabinet.dll");
  ASSERT_NE(cabinet, nullptr);
  fault_.FailWhen([](Op op, const std::string& name) -> std::optional<uint32_t> {
    if (op == Op::kFindSymbol && name == "FDICopy") return 127;
    return std::nullopt;
  });
  EXPECT_EQ(fault_.FindSymbol(cabinet, "FDICopy"), nullptr);
  EXPECT_EQ(fault_.LastError(), 127u);
  fault_.FindSymbol(cabinet, "FDICreate");
  EXPECT_NE(fault_.LastError(), 127u);
  EXPECT_EQ(fault_.Count(Op::kFindSymbol), 2);
  EXPECT_TRUE(fault_.ReleaseModule(cabinet));
}

TEST_F(FaultPlatformTest, DiskFullWritesWhatFitsThenFails) {
  const auto file = Create("f");
  ASSERT_NE(file, plat::kInvalidFile);
  fault_.DiskFullAfter(5);
  uint32_t done = 0;
  EXPECT_TRUE(fault_.Write(file, "abc", 3, done));
  EXPECT_FALSE(fault_.Write(file, "defg", 4, done));
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(fault_.LastError(), testing_support::kDiskFullCode);
  EXPECT_FALSE(fault_.Write(file, "h", 1, done));
  EXPECT_TRUE(fault_.Close(file));
  EXPECT_EQ(ReadAll("f"), "abcde");
}

TEST_F(FaultPlatformTest, MessageBoxesAreAnsweredAndRecorded) {
  fault_.AnswerMessages({plat::mb::kIdYes});
  fault_.Beep(plat::mb::kIconExclamation);
  EXPECT_EQ(fault_.ShowMessage("Continue?", "Caption", plat::mb::kYesNo), plat::mb::kIdYes);
  EXPECT_EQ(fault_.ShowMessage("Again?", "Caption", plat::mb::kYesNo), plat::mb::kIdNo);
  EXPECT_EQ(fault_.ShowMessage("Oops", "SE error", plat::mb::kOk), plat::mb::kIdOk);
  ASSERT_EQ(fault_.Messages().size(), 3u);
  EXPECT_EQ(fault_.Messages()[2].text, "Oops");
  EXPECT_EQ(fault_.Messages()[2].caption, "SE error");
  EXPECT_EQ(fault_.Beeps(), std::vector<uint32_t>{plat::mb::kIconExclamation});
  EXPECT_EQ(fault_.Calls().front().op, Op::kBeep);  // in the order shown
}

TEST_F(FaultPlatformTest, ReplacesTheCurrentPlatformAndItsAnswers) {
  fault_.SetTempPath("T:" + std::string(1, plat::kPathDelim));
  fault_.SetTimeOfDay(plat::SystemTime{12, 0, 0, 0});
  {
    plat::ScopedPlatform use(fault_);
    std::string temp;
    ASSERT_TRUE(plat::Current().TempPath(temp));
    EXPECT_EQ(temp, "T:" + std::string(1, plat::kPathDelim));
    EXPECT_EQ(plat::Current().UtcTimeOfDay().hour, 12);
  }
  EXPECT_EQ(&plat::Current(), &plat::Native());
}

}  // namespace
