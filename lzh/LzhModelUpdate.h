// The model update, inline for the coders' per-symbol loops (TLzhWorkState::UpdateModel is the
// same code out of line).
#pragma once

#include "lzh/LzhWorkState.h"

namespace lzh::detail {

// Highest slot above n whose weight is below k, given that slot n + 1 is one. Weights are
// sorted by slot, so the slots from n + 1 on with weight below k form one run: gallop over it,
// then halve. Short runs, the common case on compressible data, cost one or two probes; the
// long runs of equal weights on incompressible data cost a logarithm instead of their length.
inline int LastSlotBelow(const uint16_t* weight, int n, unsigned k) {
  int lo = n + 1;  // weight[lo] < k
  int step = 1;
  int hi = lo + 1;
  while (weight[hi] < k) {  // the sentinel (0xFFFF at kNodeCount) ends this
    lo = hi;
    step <<= 1;
    hi = lo + step;
    if (hi > kNodeCount) hi = kNodeCount;
  }
  // weight[lo] < k <= weight[hi]
  while (hi - lo > 1) {
    const int mid = (lo + hi) >> 1;
    if (weight[mid] < k) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// Tells a cache of the tree's shape (the decoder's code table) what changed.
struct TNoShapeWatch {
  void Rebuilt() {}
  void Swapped(int, int) {}
};

template <class ShapeWatch = TNoShapeWatch>
inline void UpdateModel(TLzhWorkState& ws, int symbol, ShapeWatch&& watch = {}) {
  if (ws.NodeWeight[kRootNode] == kWeightLimit) {
    ws.RebuildModel();
    watch.Rebuilt();
  }
  uint16_t* const weight = ws.NodeWeight;
  int16_t* const parent = ws.NodeParent;
  int16_t* const child = ws.NodeChild;
  int n = parent[kNodeCount + symbol];
  do {
    const unsigned k = ++weight[n];
    if (weight[n + 1] < k) {
      // Swap with the highest slot still lighter than k to keep weights sorted.
      const int l = LastSlotBelow(weight, n, k);
      watch.Swapped(n, l);
      weight[n] = weight[l];
      weight[l] = static_cast<uint16_t>(k);

      const int i = child[n];
      parent[i] = static_cast<int16_t>(l);
      if (i < kNodeCount) parent[i + 1] = static_cast<int16_t>(l);

      const int j = child[l];
      child[l] = static_cast<int16_t>(i);
      parent[j] = static_cast<int16_t>(n);
      if (j < kNodeCount) parent[j + 1] = static_cast<int16_t>(n);
      child[n] = static_cast<int16_t>(j);
      n = l;
    }
    n = parent[n];
  } while (n != 0);
}

}  // namespace lzh::detail
