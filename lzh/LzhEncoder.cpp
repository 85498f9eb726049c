#include "lzh/LzhEncoder.h"

#include <cstring>

#include "lzh/LzhEncodeLoop.h"
#include "lzh/LzhOffsetCode.h"

namespace lzh {

void TLzhEncoder::WriteBits(int n, uint16_t code) {
  ws_.OutBitBuffer = static_cast<uint16_t>(ws_.OutBitBuffer | (code >> ws_.OutBitCount));
  ws_.OutBitCount = static_cast<uint8_t>(ws_.OutBitCount + n);
  if (ws_.OutBitCount >= 8) {
    Put(static_cast<uint8_t>(ws_.OutBitBuffer >> 8));
    ws_.OutBitCount = static_cast<uint8_t>(ws_.OutBitCount - 8);
    if (ws_.OutBitCount >= 8) {
      Put(static_cast<uint8_t>(ws_.OutBitBuffer));
      ws_.OutBitCount = static_cast<uint8_t>(ws_.OutBitCount - 8);
      const int shift = n - ws_.OutBitCount;
      ws_.OutBitBuffer = shift >= 16 ? 0 : static_cast<uint16_t>(code << shift);
    } else {
      ws_.OutBitBuffer = static_cast<uint16_t>(ws_.OutBitBuffer << 8);
    }
  }
}

void TLzhEncoder::FlushBits() {
  if (ws_.OutBitCount > 0) Put(static_cast<uint8_t>(ws_.OutBitBuffer >> 8));
}

void TLzhEncoder::EncodeSymbol(int symbol) {
  // Climb from the leaf, gathering branch bits so that the root's ends up first. Codes can be
  // longer than 16 bits; with leaf weights of at least 1 and a root weight of at most 0x8000
  // the Huffman tree is at most 21 deep (Fibonacci bound), so a 64-bit word holds any code.
  const int16_t* parent = ws_.NodeParent;
  uint64_t code = 0;
  int length = 0;
  int k = parent[kNodeCount + symbol];
  do {
    code = (code >> 1) | (static_cast<uint64_t>(k & 1) << 63);
    ++length;
    k = parent[k];
  } while (k != kRootNode);
  if (length > maxCodeLength_) maxCodeLength_ = length;
  int left = length;
  while (left > 16) {
    WriteBits(16, static_cast<uint16_t>(code >> 48));
    code <<= 16;
    left -= 16;
  }
  WriteBits(left, static_cast<uint16_t>(code >> 48));
  ws_.UpdateModel(symbol);
}

void TLzhEncoder::EncodeOffset(int offset) {
  const int high = offset >> 6;
  WriteBits(OffsetCodeLength[high], static_cast<uint16_t>(OffsetCodeBits[high] << 8));
  WriteBits(6, static_cast<uint16_t>((offset & 63) << 10));
}

namespace {

// Input through the read callback, one byte per request.
class TCallbackInput {
 public:
  explicit TCallbackInput(TLzhReadProc read) : read_(read) {}
  bool Next(uint8_t& byte) {
    uint16_t got = 0;
    read_(&byte, 1, got);
    return got != 0;
  }

 private:
  TLzhReadProc read_;
};

// Output through the write callback, one byte per call.
class TCallbackOutput {
 public:
  explicit TCallbackOutput(TLzhWriteProc write) : write_(write) {}
  void Put(uint8_t byte) {
    uint16_t taken = 0;
    write_(&byte, 1, taken);
  }
  void Flush() {}

 private:
  TLzhWriteProc write_;
};

}  // namespace

int64_t EncodeStream(TLzhReadProc read, TLzhWriteProc write, TLzhEncodeStats* stats) {
  TCallbackInput in(read);
  TCallbackOutput out(write);
  return detail::EncodeLoop(in, out, stats);
}

}  // namespace lzh
