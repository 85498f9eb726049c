// LZH encoder: greedy LZSS parse with the match-finding tree, symbols through the adaptive
// Huffman model, offsets through the fixed prefix code; writes exactly what the decoder reads.
#pragma once

#include <cstdint>

#include "lzh/LzhCallbacks.h"
#include "lzh/LzhWorkState.h"

namespace lzh {

// Observations of one encode, for tests and tools.
struct TLzhEncodeStats {
  int MaxCodeLength = 0;  // longest symbol code sent, in bits
};

// Bit output and symbol/offset coding over a working state; used by EncodeStream.
class TLzhEncoder {
 public:
  TLzhEncoder(TLzhWorkState& state, TLzhWriteProc write) : ws_(state), write_(write) {}

  // Writes n (1 to 16) bits held in the top of `code`; all lower bits of `code` are 0.
  void WriteBits(int n, uint16_t code);
  // Writes the last, partly filled byte, padded with 0 bits.
  void FlushBits();
  void EncodeSymbol(int symbol);
  void EncodeOffset(int offset);

  int MaxCodeLength() const { return maxCodeLength_; }

 private:
  void Put(uint8_t byte) {
    uint16_t taken = 0;
    write_(&byte, 1, taken);
  }

  TLzhWorkState& ws_;
  TLzhWriteProc write_;
  int maxCodeLength_ = 0;
};

// Encodes every byte that `read` delivers (one per request, 0 = input ended) into `write`;
// returns the number of bytes read. Raises ElzhException when the tables cannot be obtained or
// released; callback errors pass through.
int64_t EncodeStream(TLzhReadProc read, TLzhWriteProc write, TLzhEncodeStats* stats = nullptr);

}  // namespace lzh
