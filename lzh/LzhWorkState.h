// The working state of one encode or decode: ring buffer, match-finding tree, the adaptive
// Huffman model and the decoder's code table (the coders keep their bit buffers in registers).
// Each operation owns its own state for its whole span.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lzh {

inline constexpr int kWindowSize = 4096;
inline constexpr int kMaxMatch = 60;
inline constexpr int kMinMatch = 3;
inline constexpr int kSymbolCount = 256 - kMinMatch + 1 + kMaxMatch;  // 314
inline constexpr int kNodeCount = 2 * kSymbolCount - 1;               // 627; leaves are 627 + s
inline constexpr int kRootNode = kNodeCount - 1;                      // 626
inline constexpr unsigned kWeightLimit = 0x8000;
inline constexpr int kRingSize = kWindowSize + kMaxMatch - 1;  // ring plus a mirror of its start
inline constexpr uint16_t NoNode = kWindowSize;
inline constexpr int kTreeRootBase = kWindowSize + 1;  // root slot of first byte b: 4097 + b

// Where the tables come from. The default uses the heap; tests install their own to make
// obtaining or releasing a table fail.
class TLzhTableAllocator {
 public:
  virtual ~TLzhTableAllocator() = default;
  // Returns the block, or nullptr / throws std::bad_alloc when it cannot.
  virtual void* Allocate(std::size_t bytes) = 0;
  // Gives the block back; false when that failed.
  virtual bool Release(void* block) noexcept = 0;
};

// Installs `allocator` for later AllocTables (nullptr: the heap); returns the previous. Tables
// go back to the allocator that gave them.
TLzhTableAllocator* SetLzhTableAllocator(TLzhTableAllocator* allocator) noexcept;

// The decoder's table of the code tree's top levels (see TTopCodes in LzhDecoder.h).
struct TLzhTopCodes {
  static constexpr int kBits = 6;
  bool Valid = false;
  uint16_t Entry[1 << kBits];  // slot or leaf (a NodeChild value), and bits used << 10
  uint8_t Read[kNodeCount];    // slots whose child entry the table depends on
};

class TLzhWorkState {
 public:
  TLzhWorkState() = default;
  TLzhWorkState(const TLzhWorkState&) = delete;
  TLzhWorkState& operator=(const TLzhWorkState&) = delete;
  // Releases tables still held when an operation ends by an exception; release errors are
  // dropped there so that the original exception reaches the caller.
  ~TLzhWorkState();

  // Zeroes the scalar members and obtains the tables; ElzhException when it cannot.
  void AllocTables();
  // Releases the tables; ElzhException when releasing fails.
  void FreeTables();

  // Adaptive Huffman model.
  void InitModel();
  void UpdateModel(int symbol);
  void RebuildModel();

  // Match-finding tree over the ring buffer (encoder only).
  void ResetTree();
  // Inserts position r and sets MatchLength and MatchPosition to the best match it met.
  void InsertPosition(int r);
  // Inserts positions a and b, whose first bytes differ, side by side; the match is b's.
  void InsertTwoPositions(int a, int b);
  void RemovePosition(int p);

  TLzhTopCodes TopCodes;
  int64_t BytesCoded = 0;      // 64 bits: a callback source may deliver more than 2 GiB
  uint16_t MatchPosition = 0;  // a match offset: (r - p) mod 4096 - 1
  uint16_t MatchLength = 0;

  uint16_t* TreeLeft = nullptr;    // 4097 entries
  uint16_t* TreeRight = nullptr;   // 4353 entries: positions, a spare, 256 root slots
  uint16_t* TreeParent = nullptr;  // 4097 entries
  uint8_t* Ring = nullptr;         // 4155 bytes
  uint16_t* NodeWeight = nullptr;  // 628 entries; the last is a 0xFFFF sentinel
  int16_t* NodeParent = nullptr;   // 941 entries: node slots, then the slot of each leaf
  int16_t* NodeChild = nullptr;    // 627 entries: first child slot, or 627 + symbol for a leaf

 private:
  static constexpr int kTableCount = 7;
  void ReleaseAll() noexcept;
  TLzhTableAllocator* allocator_ = nullptr;  // the one that gave blocks_, which gets them back
  void* blocks_[kTableCount] = {};
};

}  // namespace lzh
