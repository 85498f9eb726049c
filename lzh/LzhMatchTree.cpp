// Match-finding tree: one binary search tree per first byte, keyed by the 60 bytes at a ring
// position. Root slots sit in TreeRight past the positions so the top node needs no special case.
#include <algorithm>
#include <bit>
#include <cstring>

#include "lzh/LzhWorkState.h"

namespace lzh {

void TLzhWorkState::ResetTree() {
  for (int i = kTreeRootBase; i < kTreeRootBase + 256; ++i) TreeRight[i] = NoNode;
  for (int i = 0; i <= kWindowSize; ++i) TreeParent[i] = NoNode;
}

namespace {

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// How the strings at a and b compare, eight bytes at a time: the first differing byte is the
// lowest set byte of the XOR, and the order of the blocks read most significant byte first is
// the order of that byte. The last block overlaps the one before so that no read goes past
// byte 59, which the ring's mirrored tail keeps inside the buffer.
static_assert(std::endian::native == std::endian::little, "byte order of the 8-byte blocks");

// Bytes 1 to 8 differ (x != y): the leading bytes shared (1 to 8; byte 0 is equal by
// construction).
int SharedInFirstBlock(uint64_t x, uint64_t y) {
  return 1 + std::countr_zero(x ^ y) / 8;
}

// Bytes 1 to 8 are equal: the leading bytes shared (9 to 60) and, below 60, whether a's first
// differing byte is the greater.
int SharedPastFirstBlock(const uint8_t* a, const uint8_t* b, bool& higher) {
  for (int k = 9;; k += 8) {
    if (k > 49) k = 52;
    const uint64_t x = Load64(a + k);
    const uint64_t y = Load64(b + k);
    if (x != y) {
      higher = __builtin_bswap64(x) > __builtin_bswap64(y);
      return k + std::countr_zero(x ^ y) / 8;
    }
    if (k == 52) return kMaxMatch;
  }
}

// One insertion's walk down its tree, a visit per Step. Scored walks keep the best match seen;
// the encoder uses a walk's result only for the position where its next symbol starts. The
// walk is split into steps so that two walks in different trees can take turns in one loop
// (InsertTwoPositions): each visit is a chain of dependent loads, and two chains overlap.
template <bool kScored>
class TTreeWalk {
 public:
  TTreeWalk(TLzhWorkState& ws, int r)
      : left_(ws.TreeLeft),
        right_(ws.TreeRight),
        parent_(ws.TreeParent),
        ring_(ws.Ring),
        key_(ws.Ring + r),
        r_(r) {
    left_[r] = right_[r] = NoNode;
    const int root = kTreeRootBase + key_[0];
    p_ = right_[root];
    if (p_ == NoNode) {
      right_[root] = static_cast<uint16_t>(r);
      parent_[r] = static_cast<uint16_t>(root);
      return;
    }
    // Most visits are decided by the key's first block after byte 0: kept at hand, with its
    // order as a number.
    first_ = Load64(key_ + 1);
    firstOrder_ = __builtin_bswap64(first_);
    other_ = Load64(ring_ + p_ + 1);  // the first block of the node being visited
  }

  bool Done() const { return p_ == NoNode; }

  // Visits the next node; ends the walk (Done) once r has its place.
  void Step() {
    const int p = p_;
    // Both children and their first blocks are loaded before the direction is known: the
    // direction is close to a coin toss, so it is taken as a select, and whichever way it
    // goes the next visit's bytes are already on their way. An absent child (NoNode) reads
    // the ring's tail, which is inside the buffer and unused.
    const int lower = left_[p];
    const int upper = right_[p];
    const uint64_t otherLower = Load64(ring_ + lower + 1);
    const uint64_t otherUpper = Load64(ring_ + upper + 1);
    int length;
    bool higher = false;
    if (first_ != other_) [[likely]] {
      length = SharedInFirstBlock(first_, other_);
      higher = firstOrder_ > __builtin_bswap64(other_);
    } else {
      length = SharedPastFirstBlock(key_, ring_ + p, higher);
    }
    if constexpr (kScored) {
      const unsigned d = static_cast<unsigned>(((r_ - p) & (kWindowSize - 1)) - 1);
      const unsigned score = static_cast<unsigned>(length) << 12 | (kWindowSize - 1 - d);
      // Selects, not branches: whether a visit improves the match is close to a coin toss.
      const unsigned candidate = score & (0u - static_cast<unsigned>(length >= kMinMatch));
      best_ = std::max(best_, candidate);
    }
    if (length == kMaxMatch) {
      // p holds the same 60 bytes: r takes its place and p leaves the tree.
      parent_[r_] = parent_[p];
      left_[r_] = static_cast<uint16_t>(lower);
      right_[r_] = static_cast<uint16_t>(upper);
      parent_[lower] = static_cast<uint16_t>(r_);
      parent_[upper] = static_cast<uint16_t>(r_);
      const int q = parent_[p];
      if (right_[q] == p) {
        right_[q] = static_cast<uint16_t>(r_);
      } else {
        left_[q] = static_cast<uint16_t>(r_);
      }
      parent_[p] = NoNode;
      p_ = NoNode;
      return;
    }
    // Masks rather than conditions, so that the compiler keeps them as selects.
    const int pick = -static_cast<int>(higher);
    const int next = lower ^ ((lower ^ upper) & pick);
    if (next == NoNode) {
      (higher ? right_ : left_)[p] = static_cast<uint16_t>(r_);
      parent_[r_] = static_cast<uint16_t>(p);
      p_ = NoNode;
      return;
    }
    other_ = otherLower ^
             ((otherLower ^ otherUpper) & static_cast<uint64_t>(static_cast<int64_t>(pick)));
    p_ = next;
  }

  // The best match as one number: longer wins, then the smaller offset (4095 - d is larger);
  // 0 while nothing shares 3 bytes.
  unsigned Best() const { return best_; }

 private:
  uint16_t* const left_;
  uint16_t* const right_;
  uint16_t* const parent_;
  const uint8_t* const ring_;
  const uint8_t* const key_;
  const int r_;
  int p_;
  uint64_t first_ = 0;
  uint64_t firstOrder_ = 0;
  uint64_t other_ = 0;
  unsigned best_ = 0;
};

// The best match of a scored walk becomes the match length and position.
void KeepMatch(TLzhWorkState& ws, unsigned best) {
  if (best != 0) {
    ws.MatchLength = static_cast<uint16_t>(best >> 12);
    ws.MatchPosition = static_cast<uint16_t>(kWindowSize - 1 - (best & (kWindowSize - 1)));
  } else {
    ws.MatchLength = 0;  // the match position keeps its value
  }
}

}  // namespace

void TLzhWorkState::InsertPosition(int r) {
  TTreeWalk<true> walk(*this, r);
  while (!walk.Done()) walk.Step();
  KeepMatch(*this, walk.Best());
}

void TLzhWorkState::InsertTwoPositions(int a, int b) {
  TTreeWalk<false> first(*this, a);
  TTreeWalk<true> second(*this, b);
  while (!first.Done() && !second.Done()) {
    first.Step();
    second.Step();
  }
  while (!first.Done()) first.Step();
  while (!second.Done()) second.Step();
  KeepMatch(*this, second.Best());
}

void TLzhWorkState::RemovePosition(int p) {
  if (TreeParent[p] == NoNode) return;
  int q;
  if (TreeRight[p] == NoNode) {
    q = TreeLeft[p];
  } else if (TreeLeft[p] == NoNode) {
    q = TreeRight[p];
  } else {
    q = TreeLeft[p];
    if (TreeRight[q] != NoNode) {
      // The highest string of the left subtree takes p's place.
      do {
        q = TreeRight[q];
      } while (TreeRight[q] != NoNode);
      TreeRight[TreeParent[q]] = TreeLeft[q];
      TreeParent[TreeLeft[q]] = TreeParent[q];
      TreeLeft[q] = TreeLeft[p];
      TreeParent[TreeLeft[p]] = static_cast<uint16_t>(q);
    }
    TreeRight[q] = TreeRight[p];
    TreeParent[TreeRight[p]] = static_cast<uint16_t>(q);
  }
  TreeParent[q] = TreeParent[p];
  const int u = TreeParent[p];
  if (TreeRight[u] == p) {
    TreeRight[u] = static_cast<uint16_t>(q);
  } else {
    TreeLeft[u] = static_cast<uint16_t>(q);
  }
  TreeParent[p] = NoNode;
}

}  // namespace lzh
