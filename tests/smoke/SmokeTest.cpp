#include <gtest/gtest.h>

#include "base/MemoryStream.h"

TEST(MemoryStream, WritesReadsAndClears) {
  se::MemoryStream m;
  m.Write("abc", 3);
  m.WriteByte('d');
  EXPECT_EQ(m.Size(), 4);
  m.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 3u);
  EXPECT_STREQ(buf, "bcd");
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
  EXPECT_EQ(m.Position(), 0);
}
