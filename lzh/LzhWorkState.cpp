#include "lzh/LzhWorkState.h"

#include <new>

#include "lzh/LzhException.h"

namespace lzh {
namespace {

class THeapAllocator final : public TLzhTableAllocator {
 public:
  void* Allocate(std::size_t bytes) override { return ::operator new(bytes, std::nothrow); }
  bool Release(void* block) noexcept override {
    ::operator delete(block);
    return true;
  }
};

THeapAllocator heapAllocator;
TLzhTableAllocator* currentAllocator = &heapAllocator;

// Table sizes in the order they are obtained.
constexpr std::size_t kTableBytes[] = {
    2 * (kWindowSize + 1),            // TreeLeft
    2 * (kWindowSize + 1 + 256),      // TreeRight
    2 * (kWindowSize + 1),            // TreeParent
    kRingSize,                        // Ring
    2 * (kNodeCount + 1),             // NodeWeight
    2 * (kNodeCount + kSymbolCount),  // NodeParent
    2 * kNodeCount,                   // NodeChild
};

}  // namespace

TLzhTableAllocator* SetLzhTableAllocator(TLzhTableAllocator* allocator) noexcept {
  TLzhTableAllocator* previous = currentAllocator;
  currentAllocator = allocator ? allocator : &heapAllocator;
  return previous;
}

TLzhWorkState::~TLzhWorkState() {
  ReleaseAll();
}

void TLzhWorkState::AllocTables() {
  TopCodes.Valid = false;
  OutBitBuffer = 0;
  OutBitCount = 0;
  BytesCoded = 0;
  MatchPosition = 0;
  MatchLength = 0;
  ReleaseAll();
  for (int t = 0; t < kTableCount; ++t) {
    void* block = nullptr;
    try {
      block = currentAllocator->Allocate(kTableBytes[t]);
    } catch (const std::bad_alloc&) {
    }
    if (!block) {
      ReleaseAll();
      throw ElzhException("LZH : Cannot get memory for dictionary tables");
    }
    blocks_[t] = block;
  }
  TreeLeft = static_cast<uint16_t*>(blocks_[0]);
  TreeRight = static_cast<uint16_t*>(blocks_[1]);
  TreeParent = static_cast<uint16_t*>(blocks_[2]);
  Ring = static_cast<uint8_t*>(blocks_[3]);
  NodeWeight = static_cast<uint16_t*>(blocks_[4]);
  NodeParent = static_cast<int16_t*>(blocks_[5]);
  NodeChild = static_cast<int16_t*>(blocks_[6]);
}

void TLzhWorkState::FreeTables() {
  bool ok = true;
  for (int t = kTableCount - 1; t >= 0; --t) {
    if (blocks_[t] && !currentAllocator->Release(blocks_[t])) ok = false;
    blocks_[t] = nullptr;
  }
  TreeLeft = TreeRight = TreeParent = nullptr;
  Ring = nullptr;
  NodeWeight = nullptr;
  NodeParent = NodeChild = nullptr;
  if (!ok) throw ElzhException("LZH : Error freeing memory for dictionary tables");
}

void TLzhWorkState::ReleaseAll() noexcept {
  for (int t = kTableCount - 1; t >= 0; --t) {
    if (blocks_[t]) currentAllocator->Release(blocks_[t]);
    blocks_[t] = nullptr;
  }
}

}  // namespace lzh
