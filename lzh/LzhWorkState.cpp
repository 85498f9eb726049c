#include "lzh/LzhWorkState.h"

#include <atomic>
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
// Read by every operation, on any thread (the packer compresses entries in parallel); set only
// by tests.
std::atomic<TLzhTableAllocator*> currentAllocator{&heapAllocator};

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
  return currentAllocator.exchange(allocator ? allocator : &heapAllocator);
}

TLzhWorkState::~TLzhWorkState() {
  ReleaseAll();
}

void TLzhWorkState::AllocTables() {
  TopCodes.Valid = false;
  BytesCoded = 0;
  MatchPosition = 0;
  MatchLength = 0;
  ReleaseAll();
  allocator_ = currentAllocator.load();
  for (int t = 0; t < kTableCount; ++t) {
    void* block = nullptr;
    try {
      block = allocator_->Allocate(kTableBytes[t]);
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
    if (blocks_[t] && !allocator_->Release(blocks_[t])) ok = false;
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
    if (blocks_[t]) allocator_->Release(blocks_[t]);
    blocks_[t] = nullptr;
  }
}

}  // namespace lzh
