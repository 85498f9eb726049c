#include "lzh/LzhDecoder.h"

#include <cstring>

namespace lzh {

int TLzhDecoder::DecodeSymbol() {
  const int16_t* child = ws_.NodeChild;
  int n = child[kRootNode];
  while (n < kNodeCount) n = child[n + ReadBit()];
  const int symbol = n - kNodeCount;
  ws_.UpdateModel(symbol);
  return symbol;
}

int TLzhDecoder::DecodeOffset() {
  int b = ReadByte();
  const int high = OffsetHigh[b];
  // The first byte holds the prefix code and the start of the lower 6 bits; read the rest.
  for (int e = OffsetBits[b] - 2; e > 0; --e) b = 2 * b + ReadBit();
  return high * 64 + (b & 63);
}

void DecodeStream(int32_t outSize, TLzhReadProc read, TLzhWriteProc write) {
  TLzhWorkState ws;
  ws.AllocTables();
  ws.InitModel();
  uint8_t* ring = ws.Ring;
  // The whole ring is set, not only the 4036 positions a valid stream may copy from, so that a
  // damaged stream decodes the same on every run.
  std::memset(ring, 0x20, kWindowSize);
  int r = kWindowSize - kMaxMatch;
  int32_t count = 0;
  TLzhDecoder decoder(ws, read);
  uint16_t taken = 0;
  while (count < outSize) {
    const int symbol = decoder.DecodeSymbol();
    if (symbol < 256) {
      const uint8_t byte = static_cast<uint8_t>(symbol);
      write(&byte, 1, taken);
      ring[r] = byte;
      r = (r + 1) & (kWindowSize - 1);
      ++count;
    } else {
      const int offset = decoder.DecodeOffset();
      const int src = r - offset - 1;
      const int length = symbol - 253;
      for (int k = 0; k < length; ++k) {
        const uint8_t byte = ring[(src + k) & (kWindowSize - 1)];
        write(&byte, 1, taken);
        ring[r] = byte;
        r = (r + 1) & (kWindowSize - 1);
      }
      count += length;
    }
  }
  ws.FreeTables();
}

}  // namespace lzh
