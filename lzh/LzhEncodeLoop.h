// The encoder's loop, shared by the callback coder (EncodeStream) and the codec object's memory
// coder: Input has bool Next(uint8_t&) (false: the input has ended), Output has Put(uint8_t)
// and Flush().
#pragma once

#include <cstdint>
#include <cstring>

#include "lzh/LzhEncoder.h"
#include "lzh/LzhModelUpdate.h"
#include "lzh/LzhOffsetCode.h"
#include "lzh/LzhWorkState.h"

namespace lzh::detail {

// Bits gathered in a 64-bit word, whole bytes passed on at once.
template <class Output>
class TBitWriter {
 public:
  explicit TBitWriter(Output& out) : out_(out) {}
  // Appends the low n bits of code (n up to 56), most significant first.
  void Put(uint64_t code, int n) {
    bits_ = (bits_ << n) | code;
    count_ += n;
    while (count_ >= 8) {
      count_ -= 8;
      out_.Put(static_cast<uint8_t>(bits_ >> count_));
    }
  }
  // Pads the last byte with 0 bits.
  void Finish() {
    if (count_ > 0) out_.Put(static_cast<uint8_t>(bits_ << (8 - count_)));
    count_ = 0;
  }

 private:
  Output& out_;
  uint64_t bits_ = 0;
  int count_ = 0;  // 0 to 7 between calls
};

template <class Input, class Output>
int64_t EncodeLoop(Input& in, Output& out, TLzhEncodeStats* stats) {
  TLzhWorkState ws;
  ws.AllocTables();
  ws.BytesCoded = 0;
  ws.InitModel();
  ws.ResetTree();
  TBitWriter<Output> bits(out);
  uint8_t* const ring = ws.Ring;
  const int16_t* const parent = ws.NodeParent;
  int maxCodeLength = 0;

  const auto sendSymbol = [&](int symbol) {
    // Branch bits from the leaf up; the root's lands in the highest place and goes out first.
    // Leaf weights of at least 1 under a root weight of at most 0x8000 keep codes within 22
    // bits (Fibonacci bound), well inside one Put.
    uint64_t code = 0;
    int length = 0;
    int k = parent[kNodeCount + symbol];
    do {
      code |= static_cast<uint64_t>(k & 1) << length;
      ++length;
      k = parent[k];
    } while (k != kRootNode);
    if (length > maxCodeLength) maxCodeLength = length;
    bits.Put(code, length);
    detail::UpdateModel(ws, symbol);
  };

  int s = 0;
  int r = kWindowSize - kMaxMatch;
  // Every ring byte starts as a space, the mirrored tail included, so that bytes past the end
  // of a short input (which take part in comparisons) are the same on every run.
  std::memset(ring, 0x20, kRingSize);

  uint8_t byte = 0;
  int filled = 0;
  while (filled < kMaxMatch && in.Next(byte)) ring[r + filled++] = byte;
  int lookahead = filled;
  ws.BytesCoded = filled;

  for (int i = 1; i <= kMaxMatch; ++i) ws.InsertPosition(r - i);
  ws.InsertPosition(r);

  do {
    if (ws.MatchLength > lookahead) ws.MatchLength = static_cast<uint16_t>(lookahead);
    if (ws.MatchLength < kMinMatch) {
      ws.MatchLength = 1;
      sendSymbol(ring[r]);
    } else {
      sendSymbol(ws.MatchLength + 253);
      const int offset = ws.MatchPosition;
      const int high = offset >> 6;
      const int n = OffsetCodeLength[high];
      bits.Put(static_cast<uint64_t>(OffsetCodeBits[high] >> (8 - n)) << 6 | (offset & 63), n + 6);
    }
    const int step = ws.MatchLength;

    int i = 0;
    while (i < step && in.Next(byte)) {
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

  bits.Finish();
  out.Flush();
  const int64_t coded = ws.BytesCoded;
  ws.FreeTables();
  if (stats) stats->MaxCodeLength = maxCodeLength;
  return coded;
}

}  // namespace lzh::detail
