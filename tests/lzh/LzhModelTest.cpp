#include <gtest/gtest.h>

#include <random>

#include "lzh/LzhWorkState.h"
#include "tests/lzh/LzhTestSupport.h"

using lzh::kNodeCount;
using lzh::kRootNode;
using lzh::kSymbolCount;
using lzh_test::CodeOf;

namespace {

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ws.AllocTables();
    ws.InitModel();
  }
  void TearDown() override { ws.FreeTables(); }

  // Sorted weights, siblings in adjacent slots below their parent, sums and links consistent.
  void ExpectSound() {
    for (int k = 0; k + 1 < kNodeCount; ++k) ASSERT_LE(ws.NodeWeight[k], ws.NodeWeight[k + 1]);
    for (int k = 0; k < kNodeCount; ++k) {
      const int c = ws.NodeChild[k];
      if (c >= kNodeCount) {
        ASSERT_EQ(ws.NodeParent[c], k);
        ASSERT_GE(ws.NodeWeight[k], 1);
      } else {
        ASSERT_EQ(c % 2, 0);
        ASSERT_LT(c + 1, k);
        ASSERT_EQ(ws.NodeParent[c], k);
        ASSERT_EQ(ws.NodeParent[c + 1], k);
        ASSERT_EQ(ws.NodeWeight[k], ws.NodeWeight[c] + ws.NodeWeight[c + 1]);
      }
    }
    ASSERT_EQ(ws.NodeWeight[kNodeCount], 0xFFFF);
    ASSERT_EQ(ws.NodeParent[kRootNode], 0);
  }

  lzh::TLzhWorkState ws;
};

TEST_F(ModelTest, InitialCodes) {
  ExpectSound();
  EXPECT_EQ(ws.NodeWeight[kRootNode], 314);
  const struct {
    int symbol;
    const char* code;
  } cases[] = {{116, "00000000"}, {0, "110001100"}, {313, "11000101"}, {65, "111001101"}};
  for (const auto& c : cases) EXPECT_EQ(CodeOf(ws, c.symbol), c.code) << c.symbol;
  for (int s = 0; s < kSymbolCount; ++s) EXPECT_EQ(CodeOf(ws, s).size(), s < 116 ? 9u : 8u) << s;
}

TEST_F(ModelTest, UpdateMovesLeafToHighestSlotOfItsWeight) {
  ws.UpdateModel(65);
  ExpectSound();
  EXPECT_EQ(ws.NodeParent[kNodeCount + 65], 313);
  EXPECT_EQ(ws.NodeParent[kNodeCount + 313], 65);
  EXPECT_EQ(CodeOf(ws, 65), "11000101");
  EXPECT_EQ(CodeOf(ws, 313), "111001101");
  EXPECT_EQ(ws.NodeWeight[kRootNode], 315);
}

TEST_F(ModelTest, RebuildAtWeightLimitHalvesWeights) {
  for (int i = 0; i < 32454; ++i) ws.UpdateModel(0);
  EXPECT_EQ(ws.NodeWeight[kRootNode], 0x8000);  // no rebuild yet
  ws.UpdateModel(0);                            // the 32,455th starts with a rebuild
  ExpectSound();
  EXPECT_EQ(ws.NodeWeight[kRootNode], 16542);
  EXPECT_EQ(CodeOf(ws, 0), "1");
  EXPECT_EQ(CodeOf(ws, 1).size(), 10u);
  for (int s = 1; s < kSymbolCount; ++s) EXPECT_EQ(ws.NodeWeight[ws.NodeParent[kNodeCount + s]], 1);
}

TEST_F(ModelTest, RebuildPlacesNewNodeAfterEqualWeights) {
  for (int i = 0; i < 200; ++i) ws.UpdateModel(7);  // weight 201, halved to 101
  for (int i = 0; i < 3; ++i) ws.UpdateModel(9);    // weight 4, halved to 2
  ws.RebuildModel();
  ExpectSound();
  // Pairs of weight-1 leaves make nodes of weight 2; each goes after the leaf of weight 2.
  const int leaf9 = ws.NodeParent[kNodeCount + 9];
  EXPECT_EQ(ws.NodeWeight[leaf9], 2);
  EXPECT_EQ(ws.NodeWeight[leaf9 - 1], 1);
  EXPECT_EQ(ws.NodeWeight[leaf9 + 1], 2);
  EXPECT_LT(ws.NodeChild[leaf9 + 1], kNodeCount);
}

TEST_F(ModelTest, StaysSoundOverManyRebuilds) {
  std::mt19937 rng(7);
  for (int i = 0; i < 120000; ++i) {
    // Skewed symbol choice so weights spread out and rebuilds reshape the tree.
    const unsigned x = rng();
    const int symbol = static_cast<int>((x % 314) * ((x >> 9) % 314) / 314);
    ws.UpdateModel(symbol);
    if (i % 9973 == 0) ExpectSound();
  }
  ExpectSound();
}

}  // namespace
