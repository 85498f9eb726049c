// LZH decoder: adaptive Huffman symbols, literal bytes and (length, offset) matches over a
// 4096-byte ring. One decoder serves every caller; where the stream bytes come from (the read
// callback, or the codec object's buffer) and where the output goes are its two policies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "lzh/LzhCallbacks.h"
#include "lzh/LzhModelUpdate.h"
#include "lzh/LzhOffsetCode.h"
#include "lzh/LzhWorkState.h"

namespace lzh {

// The read callback as the decoder's byte source: one byte per request; false once the input
// is used up.
inline bool FetchByte(const TLzhReadProc& read, uint8_t& byte) {
  uint16_t actual = 0;
  read(&byte, 1, actual);
  return actual == 1;
}

namespace detail {

// The first kTopBits levels of the code tree as one table indexed by the next kTopBits bits of
// the stream (TLzhWorkState::TopCodes): it gives the leaf when the code is that short, else the
// slot reached, from which the walk goes on bit by bit. It is rebuilt when the model changes a
// slot that it read: the update swaps slots near the root rarely (a few times in a thousand
// symbols), and mostly leaves deep down.
class TTopCodes {
 public:
  static constexpr int kTopBits = TLzhTopCodes::kBits;

  // Slot or leaf (a NodeChild value) for the next kTopBits stream bits, and the bits it takes.
  static unsigned Lookup(TLzhWorkState& ws, unsigned bits, int& used) {
    TLzhTopCodes& t = ws.TopCodes;
    if (!t.Valid) Build(ws);
    const unsigned entry = t.Entry[bits];
    used = static_cast<int>(entry >> 10);
    return entry & 1023;
  }

  // Tells the table what the model update changed.
  struct TWatch {
    TLzhTopCodes& t;
    void Rebuilt() { t.Valid = false; }
    void Swapped(int n, int l) {
      if (t.Read[n] | t.Read[l]) t.Valid = false;
    }
  };

 private:
  static void Build(TLzhWorkState& ws) {
    TLzhTopCodes& t = ws.TopCodes;
    std::memset(t.Read, 0, sizeof t.Read);
    Fill(t, ws.NodeChild, kRootNode, 0, 0);
    t.Valid = true;
  }
  // Slot s, reached by the `depth` bits of `prefix`.
  static void Fill(TLzhTopCodes& t, const int16_t* child, int s, int depth, unsigned prefix) {
    if (depth == kTopBits) {
      t.Entry[prefix] = static_cast<uint16_t>(s | kTopBits << 10);
      return;
    }
    t.Read[s] = 1;
    const int c = child[s];
    if (c >= kNodeCount) {
      // A leaf above the table's depth: every continuation of its code leads to it.
      const unsigned span = 1u << (kTopBits - depth);
      for (unsigned i = 0; i < span; ++i) {
        t.Entry[prefix * span + i] = static_cast<uint16_t>(c | depth << 10);
      }
      return;
    }
    Fill(t, child, c, depth + 1, prefix * 2);
    Fill(t, child, c + 1, depth + 1, prefix * 2 + 1);
  }
};

}  // namespace detail

// Bit input and symbol decoding over a working state. `Source` is anything FetchByte takes: the
// read callback, or the codec object's buffer (a reference type, to keep one position).
//
// Stream bytes are fetched exactly when the bit-by-bit reading of the stream needs them: before
// a bit is taken, while 8 or fewer bits are buffered. Steps that take several bits at once
// (the code table, the offset's low bits) fetch as that reading would have, so every source
// sees the same requests at the same points between output bytes.
template <class Source>
class TLzhDecoder {
 public:
  TLzhDecoder(TLzhWorkState& state, Source source) : ws_(state), source_(std::move(source)) {
    ws_.TopCodes.Valid = false;
  }

  int ReadBit() {
    Refill();
    const int bit = static_cast<int>(bits_ >> 31);
    bits_ <<= 1;
    --count_;
    return bit;
  }
  int ReadByte() {
    Refill();
    const int byte = static_cast<int>(bits_ >> 24);
    bits_ <<= 8;
    count_ -= 8;
    return byte;
  }

  // The next symbol (0 to 313); updates the model.
  int DecodeSymbol() {
    Refill();
    int used = 0;
    std::ptrdiff_t n =
        detail::TTopCodes::Lookup(ws_, bits_ >> (32 - detail::TTopCodes::kTopBits), used);
    Take(used);
    if (n < kNodeCount) {
      const int16_t* const child = ws_.NodeChild;
      n = child[n];
      while (n < kNodeCount) n = child[n + ReadBit()];
    }
    const int symbol = static_cast<int>(n - kNodeCount);
    detail::UpdateModel(ws_, symbol, detail::TTopCodes::TWatch{ws_.TopCodes});
    return symbol;
  }

  // The next match offset (0 to 4095).
  int DecodeOffset() {
    const int b = ReadByte();
    // The first byte holds the prefix code and the start of the lower 6 bits; `rest` more
    // bits (1 to 6) complete them.
    const int rest = OffsetBits[b] - 2;
    Fetch();  // 1 to 8 bits are left after a byte: the next bit read would fetch one byte
    const int low =
        static_cast<int>((static_cast<unsigned>(b) << rest | bits_ >> (32 - rest)) & 63);
    Take(rest);
    return OffsetHigh[b] * 64 + low;
  }

 private:
  // Keeps 9 to 16 bits buffered; an exhausted input reads as zero bytes.
  void Refill() {
    if (count_ <= 8) {
      Fetch();
      if (count_ <= 8) Fetch();  // only at the very start, with nothing buffered
    }
  }
  // Places the next stream byte just below the bits held.
  void Fetch() {
    uint8_t byte = 0;
    if (!FetchByte(source_, byte)) byte = 0;
    bits_ |= static_cast<uint32_t>(byte) << (24 - count_);
    count_ += 8;
  }
  // Takes n bits (at most 9) just after a refill. Taken one at a time, they would have caused
  // one fetch (before the bit that found 8 left) exactly when fewer than 8 remain at the end.
  void Take(int n) {
    bits_ <<= n;
    count_ -= n;
    if (count_ < 8) Refill();
  }

  TLzhWorkState& ws_;
  Source source_;
  // The input bit buffer: count_ bits (0 to 16 between calls), the oldest in bit 31, all bits
  // below them 0. Held here rather than in the working state so that it can live in registers.
  uint32_t bits_ = 0;
  int count_ = 0;
};

// The read callback, deduced from the constructor's argument.
TLzhDecoder(TLzhWorkState&, TLzhReadProc)->TLzhDecoder<TLzhReadProc>;

namespace detail {

// The ring's newest bytes as the decoder stores them, to the write callback one byte per call.
class TCallbackOutput {
 public:
  explicit TCallbackOutput(TLzhWriteProc write) : write_(write) {}
  void Put(const uint8_t* ring, int at, int n) {
    uint16_t taken = 0;
    for (int i = 0; i < n; ++i) write_(ring + at + i, 1, taken);
  }
  void Finish() {}

 private:
  TLzhWriteProc write_;
};

// Decodes items until `count` (bytes produced so far) reaches outSize; returns the final count.
// A match is always written whole, so the result may pass outSize by up to 59. Counting in 64
// bits keeps that sum exact for every 32-bit or 64-bit size. `Output` takes each stretch of
// ring bytes as soon as it is stored: Put(ring, at, n), the n bytes from ring position `at`
// (at + n is at most 4096).
template <class Source, class Output>
int64_t DecodeItems(TLzhDecoder<Source>& decoder, uint8_t* ring, int& r, Output& out, int64_t count,
                    int64_t outSize) {
  constexpr int kMask = kWindowSize - 1;
  while (count < outSize) {
    const int symbol = decoder.DecodeSymbol();
    if (symbol < 256) {
      ring[r] = static_cast<uint8_t>(symbol);
      out.Put(ring, r, 1);
      r = (r + 1) & kMask;
      ++count;
      continue;
    }
    const int offset = decoder.DecodeOffset();
    const int length = symbol - 253;
    const int src = r - offset - 1;
    if (src >= 0 && r + length < kWindowSize && offset + 1 >= length) {
      std::memcpy(ring + r, ring + src, static_cast<std::size_t>(length));  // no overlap, no wrap
      out.Put(ring, r, length);
      r += length;
    } else {
      // Overlapping copies repeat the bytes just stored, one at a time.
      for (int k = 0; k < length; ++k) {
        ring[r] = ring[(src + k) & kMask];
        out.Put(ring, r, 1);
        r = (r + 1) & kMask;
      }
    }
    count += length;
  }
  return count;
}

// One whole decode: obtains and releases the working state around DecodeItems.
template <class Source, class Output>
void DecodeLoop(Source source, Output& out, int64_t outSize) {
  TLzhWorkState ws;
  ws.AllocTables();
  ws.InitModel();
  // The whole ring is set, not only the 4036 positions a valid stream may copy from, so that a
  // damaged stream decodes the same on every run.
  std::memset(ws.Ring, 0x20, kWindowSize);
  int r = kWindowSize - kMaxMatch;
  TLzhDecoder<Source> decoder(ws, std::move(source));
  DecodeItems(decoder, ws.Ring, r, out, 0, outSize);
  out.Finish();
  ws.FreeTables();
}

}  // namespace detail

// Produces `outSize` bytes through `write` from the stream that `read` supplies (nothing for a
// size of 0 or less). Raises ElzhException when the tables cannot be obtained or released;
// callback errors pass through.
void DecodeStream(int64_t outSize, TLzhReadProc read, TLzhWriteProc write);

}  // namespace lzh
