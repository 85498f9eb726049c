// The model update, inline for the coders' per-symbol loops (TLzhWorkState::UpdateModel is the
// same code out of line).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lzh/LzhWorkState.h"

namespace lzh::detail {

// Highest slot above n whose weight is below k, given that slot n + 1 is one. Weights are
// sorted by slot, so this ends the run of weights below k from n + 1 on, found here four slots
// at a time. During an update k and every weight but the sentinel are below 0x8000 (the root
// is the heaviest node and at most 0x7FFF until it is raised), so in each 16-bit lane
// (w | 0x8000) - k borrows nothing from the next lane, and its top bit says w >= k, for the
// sentinel too.
inline int LastSlotBelow(const uint16_t* weight, int n, unsigned k) {
  int s = n + 2;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kLaneTop = 0x8000800080008000u;
    const uint64_t lanesK = k * 0x0001000100010001u;
    for (; s + 4 <= kNodeCount + 1; s += 4) {  // reads up to the sentinel, never past it
      uint64_t w;
      std::memcpy(&w, weight + s, sizeof w);
      const uint64_t atLeast = ((w | kLaneTop) - lanesK) & kLaneTop;
      if (atLeast != 0) return s + std::countr_zero(atLeast) / 16 - 1;
    }
  }
  while (weight[s] < k) ++s;  // the sentinel ends this
  return s - 1;
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
  std::ptrdiff_t n = parent[kNodeCount + symbol];  // wide: it indexes every table
  do {
    const unsigned k = ++weight[n];
    if (weight[n + 1] < k) {
      // Swap with the highest slot still lighter than k to keep weights sorted.
      const std::ptrdiff_t l = LastSlotBelow(weight, static_cast<int>(n), k);
      watch.Swapped(static_cast<int>(n), static_cast<int>(l));
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
