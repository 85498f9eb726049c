// Processes, modules and error texts through the native backend, on both builds.
#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/platform/ScratchFolder.h"

namespace {

plat::Platform& os() {
  return plat::Native();
}

using PlatformProcess = testing_support::ScratchFolder;

TEST(PlatformTime, UtcTimeOfDayIsInRange) {
  const plat::SystemTime now = os().UtcTimeOfDay();
  EXPECT_LT(now.hour, 24);
  EXPECT_LT(now.minute, 60);
  EXPECT_LT(now.second, 61);
  EXPECT_LT(now.milliseconds, 1000);
}

TEST_F(PlatformProcess, RunAndWaitReportsAProgramThatCannotStart) {
  EXPECT_FALSE(os().RunAndWait(Path("missing.exe"), Dir()));
  EXPECT_NE(os().LastError(), 0u);
  MakeFile("not-a-program.exe", "just text, no program");
  EXPECT_FALSE(os().RunAndWait(Path("not-a-program.exe"), Dir()));
}

TEST(PlatformModules, OnlyTheCabinetLibraryLoads) {
  EXPECT_EQ(os().LoadModule("no_such_library_here.dll"), nullptr);
  EXPECT_NE(os().LastError(), 0u);
  // A path is not a bare system library name.
  EXPECT_EQ(os().LoadModule(std::string("..") + plat::kPathDelim + "cabinet.dll"), nullptr);

  const plat::ModuleHandle cabinet = os().LoadModule("Cabinet.DLL");
  ASSERT_NE(cabinet, nullptr);
  EXPECT_NE(os().FindSymbol(cabinet, "FDICreate"), nullptr);
  EXPECT_EQ(os().FindSymbol(cabinet, "fdicreate"), nullptr);  // exact names only
  EXPECT_EQ(os().FindSymbol(cabinet, "NoSuchEntryPoint"), nullptr);
  EXPECT_NE(os().LastError(), 0u);
  EXPECT_TRUE(os().ReleaseModule(cabinet));
}

void SomeFunctionOfThisProgram() {}

TEST(PlatformModules, ModuleNameForAnAddressInThisProgram) {
  std::uintptr_t offset = 0;
  const std::string name =
      os().ModuleNameFor(reinterpret_cast<const void*>(&SomeFunctionOfThisProgram), offset);
  EXPECT_EQ(name.find(plat::kPathDelim), std::string::npos);
  EXPECT_NE(name.find("platform_test"), std::string::npos) << name;
  EXPECT_GT(offset, 0u);
  EXPECT_LT(offset, std::uintptr_t{1} << 30);
}

TEST(PlatformErrors, ErrorTextOfKnownAndUnknownCodes) {
  EXPECT_FALSE(os().ErrorText(2).empty());  // file not found, on both systems
  EXPECT_TRUE(os().ErrorText(0x7FFFFF00u).empty());
}

}  // namespace
