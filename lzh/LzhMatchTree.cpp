// Match-finding tree: one binary search tree per first byte, keyed by the 60 bytes at a ring
// position. Root slots sit in TreeRight past the positions so the top node needs no special case.
#include "lzh/LzhWorkState.h"

namespace lzh {

void TLzhWorkState::ResetTree() {
  for (int i = kTreeRootBase; i < kTreeRootBase + 256; ++i) TreeRight[i] = NoNode;
  for (int i = 0; i <= kWindowSize; ++i) TreeParent[i] = NoNode;
}

void TLzhWorkState::InsertPosition(int r) {
  const uint8_t* key = &Ring[r];
  TreeLeft[r] = TreeRight[r] = NoNode;
  MatchLength = 0;
  int p = kTreeRootBase + key[0];
  int cmp = 1;
  int k = 0;
  for (;;) {
    uint16_t* link = cmp >= 0 ? &TreeRight[p] : &TreeLeft[p];
    if (*link == NoNode) {
      *link = static_cast<uint16_t>(r);
      TreeParent[r] = static_cast<uint16_t>(p);
      return;
    }
    p = *link;
    const uint8_t* other = &Ring[p];
    cmp = 0;
    for (k = 1; k < kMaxMatch; ++k) {
      cmp = key[k] - other[k];
      if (cmp != 0) break;
    }
    if (k >= kMinMatch) {
      const uint16_t d = static_cast<uint16_t>(((r - p) & (kWindowSize - 1)) - 1);
      if (k > MatchLength) {
        MatchLength = static_cast<uint16_t>(k);
        MatchPosition = d;
      } else if (k == MatchLength && d < MatchPosition) {
        MatchPosition = d;
      }
    }
    if (MatchLength >= kMaxMatch) break;
  }
  // p holds the same 60 bytes: r takes its place and p leaves the tree.
  TreeParent[r] = TreeParent[p];
  TreeLeft[r] = TreeLeft[p];
  TreeRight[r] = TreeRight[p];
  TreeParent[TreeLeft[p]] = static_cast<uint16_t>(r);
  TreeParent[TreeRight[p]] = static_cast<uint16_t>(r);
  const int q = TreeParent[p];
  if (TreeRight[q] == p) {
    TreeRight[q] = static_cast<uint16_t>(r);
  } else {
    TreeLeft[q] = static_cast<uint16_t>(r);
  }
  TreeParent[p] = NoNode;
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
