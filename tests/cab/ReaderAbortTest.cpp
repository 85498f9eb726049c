// What the reader promises when a copy is abandoned: an abort or an error from a handler ends
// the extraction with that error whatever the library makes of it, nothing runs after it, and
// no part-written file is left behind looking whole.
#include <gtest/gtest.h>

#include <stdexcept>

#include "cab/KXCabReader.h"
#include "platform/Platform.h"
#include "tests/support/CabBuilder.h"
#include "tests/support/FaultPlatform.h"
#include "tests/support/TempDir.h"

namespace {

using cab::TKXCabReader;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

class ReaderAbort : public testing::Test {
 protected:
  void SetUp() override {
    cabinet = dir / "test.cab";
    WriteFileBytes(cabinet, testing_support::MakeStoredCabinet(
                                {{"a.txt", "alpha"}, {"b.txt", std::string(3000, 'b')}}));
    out = dir / "out";
    plat::Current().MakeFolder(out);
    reader.OnCopyFile = [this](TKXCabReader&, const std::string& name, int32_t, uint16_t, uint16_t,
                               uint16_t, uint16_t, std::string&,
                               bool&) { seen.push_back("copy " + name); };
  }
  // Extract must fail with "FDI aborted".
  void ExpectAborted() {
    try {
      reader.Extract(cabinet, out, 0);
      ADD_FAILURE() << "Extract returned normally";
    } catch (const cab::EKXCabinet& e) {
      EXPECT_EQ(e.ErrorCode, cab::FDIERROR_USER_ABORT) << e.Message();
      EXPECT_EQ(e.Message().rfind("FDI aborted [0x000B]", 0), 0u) << e.Message();
    }
  }
  TempDir dir;
  std::string cabinet, out;
  TKXCabReader reader;
  std::vector<std::string> seen;
};

// No library acts on the answer to a close notification; the reader does.
TEST_F(ReaderAbort, AbortOnCloseEndsTheExtraction) {
  for (const char* at : {"a.txt", "b.txt"}) {  // the first file, and the last
    SCOPED_TRACE(at);
    seen.clear();
    reader.OnCloseFile = [&](TKXCabReader&, const std::string& name, uint16_t, uint16_t, uint16_t,
                             uint16_t, bool&, const std::string&, bool& abort) {
      seen.push_back("close " + name);
      abort = name == at;
    };
    ExpectAborted();
    if (std::string(at) == "a.txt") {
      // Nothing is handled after the abort.
      EXPECT_EQ(seen, (std::vector<std::string>{"copy a.txt", "close a.txt"}));
    }
    // The closed file is whole, and stays.
    EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "alpha");
  }
}

TEST_F(ReaderAbort, FirstHandlerErrorStandsAndNoHandlerRunsAfterIt) {
  reader.OnCloseFile = [&](TKXCabReader&, const std::string& name, uint16_t, uint16_t, uint16_t,
                           uint16_t, bool&, const std::string&, bool&) {
    seen.push_back("close " + name);
    throw std::runtime_error("first: " + name);
  };
  reader.OnCopyFile = [&](TKXCabReader&, const std::string& name, int32_t, uint16_t, uint16_t,
                          uint16_t, uint16_t, std::string&, bool&) {
    seen.push_back("copy " + name);
    if (name != "a.txt") throw std::runtime_error("second: " + name);
  };
  try {
    reader.Extract(cabinet, out, 0);
    ADD_FAILURE() << "Extract returned normally";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "first: a.txt");
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"copy a.txt", "close a.txt"}));
}

// A full disk: the library may not notice the failed write (Wine's does not), the reader does,
// and removes the file instead of leaving it short with the cabinet's date.
TEST_F(ReaderAbort, TargetWrittenShortIsRemoved) {
  reader.OnCopyFile = nullptr;
  testing_support::FaultPlatform fault;
  fault.DiskFullAfter(5 + 1000);  // a.txt whole, b.txt in part
  {
    plat::ScopedPlatform use(fault);
    try {
      reader.Extract(cabinet, out, 0);
      ADD_FAILURE() << "Extract returned normally";
    } catch (const cab::EKXCabinet& e) {
      EXPECT_EQ(e.ErrorCode, cab::FDIERROR_TARGET_FILE) << e.Message();
    }
  }
  EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "alpha");
  EXPECT_FALSE(PathExists(dir / "out/b.txt"));
}

// The library gives up in the middle of a file's data: what was written of it goes.
TEST_F(ReaderAbort, FileCutShortByADamagedCabinetIsRemoved) {
  std::string whole = testing_support::MakeStoredCabinet(
      {{"a.txt", "alpha"}, {"big.bin", std::string(70000, 'x')}});
  WriteFileBytes(cabinet, whole.substr(0, whole.size() - 20000));
  reader.OnCopyFile = nullptr;
  EXPECT_THROW(reader.Extract(cabinet, out, 0), cab::EKXCabinet);
  EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "alpha");
  EXPECT_FALSE(PathExists(dir / "out/big.bin"));
}

}  // namespace
