// How a failed library call becomes an error message.
#include <gtest/gtest.h>

#include "base/OSError.h"
#include "cab/CabKXConsts.h"
#include "cab/EKXCabinet.h"

namespace {

using cab::ERF;

struct MessageCase {
  ERF erf;
  bool fci;
  const char* expected;
};

TEST(CabinetErrorMessage, ComposesTextAndCode) {
  const MessageCase cases[] = {
      {{1, 0, 0}, false, "FDI error"},  // no error flagged: no code, whatever the record says
      {{8, 112, 0}, false, "FDI error"},
      {{3, 0, 0}, true, "FCI error"},
      {{1, 0, 1}, false, "Cabinet not found [0x0001]"},
      {{11, 0, 1}, false, "FDI aborted [0x000B]"},
      {{12, 0, 1}, false, "FDI error [0x000C]"},
      {{-1, 0, 1}, false, "FDI error [0xFFFFFFFF]"},
      {{0x12345, 0, 1}, false, "FDI error [0x12345]"},
      {{7, 0, 1}, true, "Client requested abort [0x0007]"},
      {{9, 0, 1}, true, "FCI error [0x0009]"},
  };
  for (const auto& c : cases) {
    cab::EKXCabinet e(c.erf, c.fci);
    EXPECT_EQ(e.Message(), c.expected) << "erfOper " << c.erf.erfOper;
    EXPECT_EQ(e.ErrorCode, c.erf.erfOper);
    EXPECT_EQ(e.ErrorType, c.erf.erfType);
    EXPECT_EQ(e.ErrorPresent, c.erf.fError != 0);
    EXPECT_EQ(e.IsFCI, c.fci);
  }
}

TEST(CabinetErrorMessage, AddsTheSystemErrorOnASecondLine) {
  std::string systemText = se::TrimmedErrorText(112);
  ASSERT_FALSE(systemText.empty());
  char last = systemText.back();
  EXPECT_TRUE(last != '.' && last != ' ' && last != '\n' && last != '\r');

  cab::EKXCabinet e(ERF{8, 112, 1}, false);
  EXPECT_EQ(e.Message(),
            "Failure writing to target file [0x0008].\r\n" + systemText + " [0x0070].");
  EXPECT_STREQ(e.ClassName(), "EKXCabinet");
}

TEST(CabinetErrorText, CoversEveryCodeAndFallsBackForOthers) {
  EXPECT_STREQ(cab::FDIErrorText(0), "No error");
  EXPECT_STREQ(cab::FDIErrorText(2), "Cabinet file does not have the correct format");
  EXPECT_STREQ(cab::FDIErrorText(10), "Cabinet returned on fdintNEXT_CABINET is incorrect");
  EXPECT_STREQ(cab::FDIErrorText(11), "FDI aborted");
  EXPECT_STREQ(cab::FDIErrorText(12), "FDI error");
  EXPECT_STREQ(cab::FDIErrorText(-1), "FDI error");
  EXPECT_STREQ(cab::FCIErrorText(0), "No error");
  EXPECT_STREQ(cab::FCIErrorText(8), "Failure compressing data");
  EXPECT_STREQ(cab::FCIErrorText(9), "FCI error");
  EXPECT_STREQ(cab::FCIErrorText(-1), "FCI error");
}

TEST(OSErrorMessage, NamesCodeAndText) {
  EXPECT_EQ(se::OSErrorMessage(0), "A call to an OS function failed");
  EXPECT_EQ(se::OSErrorMessage(2), "System Error.  Code: 2.\r\n" + se::TrimmedErrorText(2));
}

}  // namespace
