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

}  // namespace

void TLzhWorkState::InsertPosition(int r) {
  uint16_t* const right = TreeRight;
  uint16_t* const parent = TreeParent;
  uint16_t* const left = TreeLeft;
  const uint8_t* const ring = Ring;
  const uint8_t* const key = &ring[r];
  left[r] = right[r] = NoNode;
  const int root = kTreeRootBase + key[0];
  int p = right[root];
  if (p == NoNode) {
    right[root] = static_cast<uint16_t>(r);
    parent[r] = static_cast<uint16_t>(root);
    MatchLength = 0;  // the match position keeps its value
    return;
  }
  // Most visits are decided by the key's first block after byte 0: kept at hand, with its
  // order as a number.
  const uint64_t first = Load64(key + 1);
  const uint64_t firstOrder = __builtin_bswap64(first);
  // The first block of the node being visited.
  uint64_t other = Load64(ring + p + 1);
  // The best match so far as one number: longer wins, then the smaller offset (4095 - d is
  // larger); 0 while nothing shares 3 bytes.
  unsigned best = 0;
  for (;;) {
    // Both children and their first blocks are loaded before the direction is known: the
    // direction is close to a coin toss, so it is taken as a select, and whichever way it
    // goes the next visit's bytes are already on their way. An absent child (NoNode) reads
    // the ring's tail, which is inside the buffer and unused.
    const int lower = left[p];
    const int upper = right[p];
    const uint64_t otherLower = Load64(ring + lower + 1);
    const uint64_t otherUpper = Load64(ring + upper + 1);
    int length;
    bool higher = false;
    if (first != other) [[likely]] {
      length = SharedInFirstBlock(first, other);
      higher = firstOrder > __builtin_bswap64(other);
    } else {
      length = SharedPastFirstBlock(key, ring + p, higher);
    }
    const unsigned d = static_cast<unsigned>(((r - p) & (kWindowSize - 1)) - 1);
    const unsigned score = static_cast<unsigned>(length) << 12 | (kWindowSize - 1 - d);
    // Selects, not branches: whether a visit improves the match is close to a coin toss.
    const unsigned candidate = score & (0u - static_cast<unsigned>(length >= kMinMatch));
    best = std::max(best, candidate);
    if (length == kMaxMatch) {
      // p holds the same 60 bytes: r takes its place and p leaves the tree.
      parent[r] = parent[p];
      left[r] = static_cast<uint16_t>(lower);
      right[r] = static_cast<uint16_t>(upper);
      parent[lower] = static_cast<uint16_t>(r);
      parent[upper] = static_cast<uint16_t>(r);
      const int q = parent[p];
      if (right[q] == p) {
        right[q] = static_cast<uint16_t>(r);
      } else {
        left[q] = static_cast<uint16_t>(r);
      }
      parent[p] = NoNode;
      break;
    }
    // Masks rather than conditions, so that the compiler keeps them as selects.
    const int pick = -static_cast<int>(higher);
    const int next = lower ^ ((lower ^ upper) & pick);
    if (next == NoNode) {
      (higher ? right : left)[p] = static_cast<uint16_t>(r);
      parent[r] = static_cast<uint16_t>(p);
      break;
    }
    other = otherLower ^
            ((otherLower ^ otherUpper) & static_cast<uint64_t>(static_cast<int64_t>(pick)));
    p = next;
  }
  if (best != 0) {
    MatchLength = static_cast<uint16_t>(best >> 12);
    MatchPosition = static_cast<uint16_t>(kWindowSize - 1 - (best & (kWindowSize - 1)));
  } else {
    MatchLength = 0;  // the match position keeps its value
  }
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
