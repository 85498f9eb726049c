// Joining paths, and which stored names may be written below a destination folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "cab/KXCabReader.h"
#include "platform/Platform.h"

namespace {

// Expected paths are written with "\"; this system's separator stands in their place.
std::string Native(std::string s) {
  std::replace(s.begin(), s.end(), '\\', plat::kPathDelim);
  return s;
}

TEST(JoinPath, PutsExactlyOneSeparatorAtEachSeam) {
  struct Case {
    std::vector<std::string> parts;
    std::string expected;
  };
  const Case cases[] = {
      {{"C:\\out\\", "\\a.txt"}, "C:\\out\\a.txt"},
      {{"C:\\out", "a.txt"}, "C:\\out\\a.txt"},
      {{"C:\\out\\", "a.txt"}, "C:\\out\\a.txt"},
      {{"C:\\out", "\\a.txt"}, "C:\\out\\a.txt"},
      {{"", "a.txt"}, "a.txt"},
      {{"", "\\a.txt"}, "\\a.txt"},
      {{"C:\\out", ""}, "C:\\out"},
      {{"a", "", "b", "c\\"}, "a\\b\\c\\"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> parts;
    for (const auto& p : c.parts) parts.push_back(Native(p));
    std::string joined;
    if (parts.size() == 2) joined = cab::JoinPath({parts[0], parts[1]});
    if (parts.size() == 4) joined = cab::JoinPath({parts[0], parts[1], parts[2], parts[3]});
    EXPECT_EQ(joined, Native(c.expected));
  }
}

TEST(IsSafeStoredName, RefusesNamesThatLeaveTheDestination) {
  for (const char* safe : {"a.txt", "sub\\a.txt", "sub/deep/a.txt", "a..b", ".hidden", "sub\\.\\a",
                           "..a", "name with blanks.txt"}) {
    EXPECT_TRUE(cab::IsSafeStoredName(safe)) << safe;
  }
  for (const char* unsafe :
       {"", "..", "..\\x", "../x", "sub\\..\\..\\x", "sub\\..", "\\x", "/x", "\\\\server\\share\\x",
        "C:\\x", "C:x", "a:b", "x\x01y", "tab\tname"}) {
    EXPECT_FALSE(cab::IsSafeStoredName(unsafe)) << unsafe;
  }
}

}  // namespace
