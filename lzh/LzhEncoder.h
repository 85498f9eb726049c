// LZH encoder: greedy LZSS parse with the match-finding tree, symbols through the adaptive
// Huffman model, offsets through the fixed prefix code; writes exactly what the decoder reads.
// One encoder serves every caller; where the input comes from (the read callback, or the codec
// object's buffer) and where the stream goes are its two policies.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "lzh/LzhCallbacks.h"
#include "lzh/LzhModelUpdate.h"
#include "lzh/LzhOffsetCode.h"
#include "lzh/LzhWorkState.h"

namespace lzh {

// Observations of one encode, for tests and tools.
struct TLzhEncodeStats {
  int MaxCodeLength = 0;  // longest symbol code sent, in bits
};

// The write callback as the encoder's byte sink: one byte per call.
inline void PutByte(const TLzhWriteProc& write, uint8_t byte) {
  uint16_t taken = 0;
  write(&byte, 1, taken);
}

// The read callback as the encoder's input: one byte per request; false once the input ended.
inline bool TakeByte(const TLzhReadProc& read, uint8_t& byte) {
  uint16_t got = 0;
  read(&byte, 1, got);
  return got != 0;
}

// Bit output and symbol/offset coding over a working state. `Sink` is anything PutByte takes:
// the write callback, or the codec object's output (a reference type).
template <class Sink>
class TLzhEncoder {
 public:
  TLzhEncoder(TLzhWorkState& state, Sink sink) : ws_(state), sink_(std::forward<Sink>(sink)) {}

  // Writes n (1 to 16) bits held in the top of `code`; all lower bits of `code` are 0. Every
  // byte leaves as soon as it is complete.
  void WriteBits(int n, uint16_t code) {
    bits_ |= static_cast<uint32_t>(code) << (16 - count_);
    count_ += n;
    while (count_ >= 8) {
      PutByte(sink_, static_cast<uint8_t>(bits_ >> 24));
      bits_ <<= 8;
      count_ -= 8;
    }
  }
  // Writes the last, partly filled byte, padded with 0 bits.
  void FlushBits() {
    if (count_ > 0) PutByte(sink_, static_cast<uint8_t>(bits_ >> 24));
    bits_ = 0;
    count_ = 0;
  }

  void EncodeSymbol(int symbol) {
    // Climb from the leaf, gathering branch bits so that the root's ends up first. Codes can be
    // longer than 16 bits; with leaf weights of at least 1 and a root weight of at most 0x8000
    // the tree is at most 22 deep (Fibonacci bound), so a 64-bit word holds any code, and it
    // leaves in pieces of at most 16 bits.
    const int16_t* const parent = ws_.NodeParent;
    uint64_t code = 0;
    int length = 0;
    int k = parent[kNodeCount + symbol];
    do {
      code |= static_cast<uint64_t>(k & 1) << length;
      ++length;
      k = parent[k];
    } while (k != kRootNode);
    if (length > maxCodeLength_) maxCodeLength_ = length;
    for (int left = length; left > 0;) {
      const int n = left > 16 ? 16 : left;
      left -= n;
      WriteBits(n, static_cast<uint16_t>((code >> left) << (16 - n)));
    }
    detail::UpdateModel(ws_, symbol);
  }

  void EncodeOffset(int offset) {
    const int high = offset >> 6;
    WriteBits(OffsetCodeLength[high], static_cast<uint16_t>(OffsetCodeBits[high] << 8));
    WriteBits(6, static_cast<uint16_t>((offset & 63) << 10));
  }

  int MaxCodeLength() const { return maxCodeLength_; }

 private:
  TLzhWorkState& ws_;
  Sink sink_;
  // The output bit buffer: count_ bits (0 to 7 between calls), the first in bit 31, all bits
  // below them 0. Held here rather than in the working state so that it can live in registers.
  uint32_t bits_ = 0;
  int count_ = 0;
  int maxCodeLength_ = 0;
};

// The write callback, deduced from the constructor's argument.
TLzhEncoder(TLzhWorkState&, TLzhWriteProc)->TLzhEncoder<TLzhWriteProc>;

namespace detail {

// One whole encode of what `input` delivers (TakeByte(input, byte)) into `sink`; returns the
// number of bytes read.
template <class Input, class Sink>
int64_t EncodeLoop(Input input, Sink sink, TLzhEncodeStats* stats) {
  TLzhWorkState ws;
  ws.AllocTables();
  ws.BytesCoded = 0;
  ws.InitModel();
  ws.ResetTree();
  TLzhEncoder<Sink> encoder(ws, std::forward<Sink>(sink));
  uint8_t* const ring = ws.Ring;

  int s = 0;
  int r = kWindowSize - kMaxMatch;
  // Every ring byte starts as a space, the mirrored tail included, so that bytes past the end
  // of a short input (which take part in comparisons) are the same on every run.
  std::memset(ring, 0x20, kRingSize);

  uint8_t byte = 0;
  int filled = 0;
  while (filled < kMaxMatch && TakeByte(input, byte)) ring[r + filled++] = byte;
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
    // The oldest position leaves, the new byte takes its place, and r moves on to the position
    // to insert next.
    const auto advance = [&](uint8_t next) {
      ws.RemovePosition(s);
      ring[s] = next;
      if (s < kMaxMatch - 1) ring[s + kWindowSize] = next;
      s = (s + 1) & (kWindowSize - 1);
      r = (r + 1) & (kWindowSize - 1);
      ++i;
    };
    while (i < step) {
      if (!TakeByte(input, byte)) break;
      advance(byte);
      // The step's last position gives the next match; so does r when the input ends after it.
      if (i == step || !TakeByte(input, byte)) {
        ws.InsertPosition(r);
        break;
      }
      // Another position follows r in this step. When the two are in different trees and the
      // removal between them is in a third, inserting them side by side is the same as one
      // after the other (the byte written there belongs to no key either insertion reads).
      const int a = r;
      const bool apart = ring[a] != ring[(a + 1) & (kWindowSize - 1)] &&
                         (ws.TreeParent[s] == NoNode || ring[s] != ring[a]);
      if (apart) {
        advance(byte);
        ws.InsertTwoPositions(a, r);
      } else {
        ws.InsertPosition(a);
        advance(byte);
        ws.InsertPosition(r);
      }
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
  const int64_t coded = ws.BytesCoded;
  ws.FreeTables();
  if (stats) stats->MaxCodeLength = encoder.MaxCodeLength();
  return coded;
}

}  // namespace detail

// Encodes every byte that `read` delivers (one per request, 0 = input ended) into `write`;
// returns the number of bytes read. Raises ElzhException when the tables cannot be obtained or
// released; callback errors pass through.
int64_t EncodeStream(TLzhReadProc read, TLzhWriteProc write, TLzhEncodeStats* stats = nullptr);

}  // namespace lzh
