// Loading the cabinet library: lazily, once, all nine entry points, and afresh after a failure.
#include <gtest/gtest.h>

#include "base/Exception.h"
#include "base/OSError.h"
#include "cab/CabIntf.h"
#include "cab/KXCabReader.h"
#include "tests/support/CabBuilder.h"
#include "tests/support/FaultPlatform.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::FaultPlatform;
using testing_support::Op;

class CabinetLibrary : public testing::Test {
 protected:
  void SetUp() override {
    cab::UnloadCabinetLibrary();  // every test starts from "not loaded"
    testing_support::WriteFileBytes(cabinet, testing_support::MakeStoredCabinet({{"a.txt", "a"}}));
  }
  void TearDown() override { cab::UnloadCabinetLibrary(); }

  void Extract() {
    cab::TKXCabReader reader;
    reader.Extract(cabinet, dir.Path(), 0);
  }

  testing_support::TempDir dir;
  std::string cabinet = dir / "a.cab";
  FaultPlatform fault;
  plat::ScopedPlatform use{fault};
};

TEST_F(CabinetLibrary, ReaderThatExtractsNothingNeverLoads) {
  { cab::TKXCabReader reader; }
  EXPECT_EQ(fault.Count(Op::kLoadModule), 0);
  EXPECT_FALSE(cab::CabinetLibraryLoaded());
}

TEST_F(CabinetLibrary, TwoReadersShareOneLoad) {
  Extract();
  Extract();
  EXPECT_EQ(fault.Count(Op::kLoadModule), 1);
  EXPECT_EQ(fault.Count(Op::kFindSymbol), 9);
  EXPECT_TRUE(cab::CabinetLibraryLoaded());
}

TEST_F(CabinetLibrary, MissingLibraryIsAnOSErrorAndIsTriedAgainLater) {
  fault.FailNth(Op::kLoadModule, 1, testing_support::kNotFoundCode);
  try {
    Extract();
    FAIL() << "no error";
  } catch (const se::EOSError& e) {
    EXPECT_EQ(e.ErrorCode, testing_support::kNotFoundCode);
    EXPECT_EQ(e.Message(), se::OSErrorMessage(testing_support::kNotFoundCode));
  }
  EXPECT_FALSE(cab::CabinetLibraryLoaded());
  Extract();  // loads from scratch and works
  EXPECT_EQ(fault.Count(Op::kLoadModule), 2);
  EXPECT_EQ(testing_support::ReadFileBytes(dir / "a.txt"), "a");
}

TEST_F(CabinetLibrary, EveryEntryPointIsRequired) {
  // An FCI function the reader never calls is still required.
  const uint32_t kProcNotFound = 127;
  fault.FailWhen([&](Op op, const std::string& name) -> std::optional<uint32_t> {
    if (op == Op::kFindSymbol && name == "FCIFlushFolder") return kProcNotFound;
    return std::nullopt;
  });
  try {
    Extract();
    FAIL() << "no error";
  } catch (const se::EOSError& e) {
    EXPECT_EQ(e.ErrorCode, kProcNotFound);
  }
  EXPECT_FALSE(cab::CabinetLibraryLoaded());
  EXPECT_EQ(fault.Count(Op::kReleaseModule), 1);  // the half-resolved library is let go
  EXPECT_EQ(fault.Count(Op::kFindSymbol), 4);     // resolved in order, up to the missing one
}

TEST_F(CabinetLibrary, OSErrorWithoutACodeSaysSo) {
  fault.FailNth(Op::kLoadModule, 1, 0);
  try {
    Extract();
    FAIL() << "no error";
  } catch (const se::EOSError& e) {
    EXPECT_EQ(e.Message(), "A call to an OS function failed");
  }
}

}  // namespace
