// LZH decoder: adaptive Huffman symbols, literal bytes and (length, offset) matches over a
// 4096-byte ring, one callback per input and per output byte.
#pragma once

#include <cstdint>

#include "lzh/LzhCallbacks.h"
#include "lzh/LzhOffsetCode.h"
#include "lzh/LzhWorkState.h"

namespace lzh {

// Bit input and symbol decoding over a working state; used by DecodeStream.
class TLzhDecoder {
 public:
  TLzhDecoder(TLzhWorkState& state, TLzhReadProc read) : ws_(state), read_(read) {}

  int ReadBit() {
    Refill();
    const int bit = ws_.InBitBuffer >> 15;
    ws_.InBitBuffer = static_cast<uint16_t>(ws_.InBitBuffer << 1);
    --ws_.InBitCount;
    return bit;
  }
  int ReadByte() {
    Refill();
    const int byte = ws_.InBitBuffer >> 8;
    ws_.InBitBuffer = static_cast<uint16_t>(ws_.InBitBuffer << 8);
    ws_.InBitCount = static_cast<uint8_t>(ws_.InBitCount - 8);
    return byte;
  }
  int DecodeSymbol();
  int DecodeOffset();

 private:
  // Keeps 9 to 16 bits buffered; an exhausted input reads as zero bytes.
  void Refill() {
    while (ws_.InBitCount <= 8) {
      uint8_t byte = 0;
      uint16_t actual = 0;
      read_(&byte, 1, actual);
      if (actual != 1) byte = 0;
      ws_.InBitBuffer = static_cast<uint16_t>(ws_.InBitBuffer | (byte << (8 - ws_.InBitCount)));
      ws_.InBitCount = static_cast<uint8_t>(ws_.InBitCount + 8);
    }
  }

  TLzhWorkState& ws_;
  TLzhReadProc read_;
};

// Produces `outSize` bytes through `write` from the stream that `read` supplies. Raises
// ElzhException when the tables cannot be obtained or released; callback errors pass through.
void DecodeStream(int32_t outSize, TLzhReadProc read, TLzhWriteProc write);

}  // namespace lzh
