#include "lzh/LzhEncoder.h"

#include <cstring>

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

int32_t EncodeStream(TLzhReadProc read, TLzhWriteProc write, TLzhEncodeStats* stats) {
  TLzhWorkState ws;
  ws.AllocTables();
  ws.BytesCoded = 0;
  ws.InitModel();
  ws.ResetTree();
  TLzhEncoder encoder(ws, write);
  uint8_t* ring = ws.Ring;

  int s = 0;
  int r = kWindowSize - kMaxMatch;
  // Every ring byte starts as a space, the mirrored tail included, so that bytes past the end
  // of a short input (which take part in comparisons) are the same on every run.
  std::memset(ring, 0x20, kRingSize);

  uint8_t byte = 0;
  uint16_t got = 0;
  int filled = 0;
  while (filled < kMaxMatch) {
    read(&byte, 1, got);
    if (got == 0) break;
    ring[r + filled] = byte;
    ++filled;
  }
  int lookahead = filled;
  ws.BytesCoded = filled;

  for (int i = 1; i <= kMaxMatch; ++i) ws.InsertPosition(r - i);
  ws.InsertPosition(r);

  do {
    if (ws.MatchLength > lookahead) ws.MatchLength = static_cast<uint16_t>(lookahead);
    if (ws.MatchLength < kMinMatch) {
      ws.MatchLength = 1;
      encoder.EncodeSymbol(ring[r]);
    } else {
      encoder.EncodeSymbol(ws.MatchLength + 253);
      encoder.EncodeOffset(ws.MatchPosition);
    }
    const int step = ws.MatchLength;

    int i = 0;
    while (i < step) {
      read(&byte, 1, got);
      if (got == 0) break;
      ws.RemovePosition(s);
      ring[s] = byte;
      if (s < kMaxMatch - 1) ring[s + kWindowSize] = byte;
      s = (s + 1) & (kWindowSize - 1);
      r = (r + 1) & (kWindowSize - 1);
      ws.InsertPosition(r);
      ++i;
    }
    ws.BytesCoded += i;

    // Input ended: advance over the positions no new byte replaced.
    while (i < step) {
      ++i;
      ws.RemovePosition(s);
      s = (s + 1) & (kWindowSize - 1);
      r = (r + 1) & (kWindowSize - 1);
      if (--lookahead != 0) ws.InsertPosition(r);
    }
  } while (lookahead > 0);

  encoder.FlushBits();
  const int32_t coded = ws.BytesCoded;
  ws.FreeTables();
  if (stats) stats->MaxCodeLength = encoder.MaxCodeLength();
  return coded;
}

}  // namespace lzh
