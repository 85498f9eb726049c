// Adaptive Huffman model: weights sorted by slot (sibling property), so a leaf's code is the
// path of slot parities from the root down.
#include <cstring>

#include "lzh/LzhModelUpdate.h"
#include "lzh/LzhWorkState.h"

namespace lzh {

void TLzhWorkState::InitModel() {
  for (int s = 0; s < kSymbolCount; ++s) {
    NodeWeight[s] = 1;
    NodeChild[s] = static_cast<int16_t>(kNodeCount + s);
    NodeParent[kNodeCount + s] = static_cast<int16_t>(s);
  }
  for (int i = 0, j = kSymbolCount; j < kNodeCount; i += 2, ++j) {
    NodeWeight[j] = static_cast<uint16_t>(NodeWeight[i] + NodeWeight[i + 1]);
    NodeChild[j] = static_cast<int16_t>(i);
    NodeParent[i] = NodeParent[i + 1] = static_cast<int16_t>(j);
  }
  NodeWeight[kNodeCount] = 0xFFFF;  // stops the upward scan in UpdateModel
  NodeParent[kRootNode] = 0;
}

void TLzhWorkState::UpdateModel(int symbol) {
  detail::UpdateModel(*this, symbol);
}

void TLzhWorkState::RebuildModel() {
  // Gather the leaves in slot order, halving their weights (rounded up: none drops to 0).
  int j = 0;
  for (int i = 0; i < kNodeCount; ++i) {
    if (NodeChild[i] >= kNodeCount) {
      NodeWeight[j] = static_cast<uint16_t>((NodeWeight[i] + 1) / 2);
      NodeChild[j] = NodeChild[i];
      ++j;
    }
  }
  // Pair them up again; a new node goes after existing nodes of equal weight.
  for (int i = 0, j = kSymbolCount; j < kNodeCount; i += 2, ++j) {
    const uint16_t f = static_cast<uint16_t>(NodeWeight[i] + NodeWeight[i + 1]);
    int k = j - 1;
    while (f < NodeWeight[k]) --k;
    ++k;
    const std::size_t moved = static_cast<std::size_t>(j - k);
    std::memmove(&NodeWeight[k + 1], &NodeWeight[k], moved * sizeof(NodeWeight[0]));
    std::memmove(&NodeChild[k + 1], &NodeChild[k], moved * sizeof(NodeChild[0]));
    NodeWeight[k] = f;
    NodeChild[k] = static_cast<int16_t>(i);
  }
  for (int i = 0; i < kNodeCount; ++i) {
    const int k = NodeChild[i];
    NodeParent[k] = static_cast<int16_t>(i);
    if (k < kNodeCount) NodeParent[k + 1] = static_cast<int16_t>(i);
  }
}

}  // namespace lzh
