// Decoding between memory buffers for the codec object: the stream read through a 64-bit
// window, the code tree's top levels through a table, the output straight from the ring.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "lzh/LzhMemoryIo.h"
#include "lzh/LzhModelUpdate.h"
#include "lzh/LzhOffsetCode.h"
#include "lzh/LzhWorkState.h"

namespace lzh {

namespace {

// The stream as a 64-bit window over the input buffer, zero bits past its end. It reads
// ahead of the byte-wise bit input, so the bytes that input would have fetched are derived
// from the bits consumed instead (see Fetched).
class TMemoryBits {
 public:
  TMemoryBits(const uint8_t* data, int32_t size) : data_(data), size_(size < 0 ? 0 : size) {}

  // At least 57 bits available: a whole item (a code of at most 22 bits and an offset of at
  // most 14) needs no further refill.
  void Fill() {
    if (avail_ > 56) return;
    if (pos_ + 8 <= size_) {
      uint64_t v;
      std::memcpy(&v, data_ + pos_, sizeof v);
      bits_ |= __builtin_bswap64(v) >> avail_;
      pos_ += (63 - avail_) >> 3;
      avail_ |= 56;
    } else {
      while (avail_ <= 56) {
        const uint64_t byte = pos_ < size_ ? data_[pos_] : 0;
        ++pos_;
        bits_ |= byte << (56 - avail_);
        avail_ += 8;
      }
    }
  }
  unsigned Bit() {
    const unsigned bit = static_cast<unsigned>(bits_ >> 63);
    bits_ <<= 1;
    --avail_;
    return bit;
  }
  unsigned Peek(int n) const { return static_cast<unsigned>(bits_ >> (64 - n)); }
  void Skip(int n) {
    bits_ <<= n;
    avail_ -= n;
  }
  // Bytes that the byte-wise input would have fetched by now, given that its last read was a
  // single bit (every item ends with one): it refills to 9 bits before each read, so after
  // consuming B bits it has fetched (B - 1 + 9) / 8 rounded up, that is (B + 15) / 8.
  int64_t Fetched() const {
    const int64_t consumed = 8 * pos_ - avail_;
    return consumed == 0 ? 0 : (consumed + 15) / 8;
  }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t pos_ = 0;  // bytes taken into the window
  uint64_t bits_ = 0;
  int avail_ = 0;
};

// Mirrors ReadInput's bookkeeping for the fetches the byte-wise decoder would have made, and
// reports each one to the progress callback in order.
class TFetchReport {
 public:
  explicit TFetchReport(TCustom_lzh& codec) : codec_(codec) {}
  // One report per fetch up to `fetched`, in order, with the read position of each.
  void CatchUp(int64_t fetched) {
    while (done_ < fetched) {
      ++done_;
      Settle();
      if (codec_.FOnProgress) codec_.FOnProgress(codec_.FBytesLeft, codec_.FProgressData);
    }
  }
  // The read position after `fetched` fetches, without reports (nobody listens).
  void Skip(int64_t fetched) {
    if (fetched == done_) return;  // nothing fetched leaves both at 0
    done_ = fetched;
    Settle();
  }

 private:
  void Settle() {
    codec_.FInPos = static_cast<int32_t>(std::min<int64_t>(done_, codec_.FInSize));
    codec_.FBytesLeft = codec_.FInSize - codec_.FInPos;
  }

  TCustom_lzh& codec_;
  int64_t done_ = 0;
};

// The first kTopBits levels of the code tree as one table indexed by the next kTopBits bits of
// the stream: it gives the leaf when the code is that short, else the slot reached, from which
// the walk goes on bit by bit. It is rebuilt when the model changes a slot that it read: the
// update swaps slots near the root rarely (a few times in a thousand symbols), and mostly
// leaves deep down.
class TTopCodes {
 public:
  static constexpr int kTopBits = 6;

  explicit TTopCodes(const int16_t* child) : child_(child) {}

  // The next symbol; the shape must be current (see Watch).
  int Decode(TMemoryBits& in) {
    if (!valid_) Build();
    const unsigned entry = table_[in.Peek(kTopBits)];
    in.Skip(static_cast<int>(entry >> 10));
    std::ptrdiff_t n = entry & 1023;
    if (n < kNodeCount) {
      n = child_[n];
      while (n < kNodeCount) n = child_[n + in.Bit()];
    }
    return static_cast<int>(n - kNodeCount);
  }

  struct TWatch {
    TTopCodes& codes;
    void Rebuilt() { codes.valid_ = false; }
    void Swapped(int n, int l) {
      if (codes.read_[n] | codes.read_[l]) codes.valid_ = false;
    }
  };
  TWatch Watch() { return {*this}; }

 private:
  void Build() {
    std::memset(read_, 0, sizeof read_);
    Fill(kRootNode, 0, 0);
    valid_ = true;
  }
  // Slot s, reached by the `depth` bits of `prefix`.
  void Fill(int s, int depth, unsigned prefix) {
    if (depth == kTopBits) {
      table_[prefix] = static_cast<uint16_t>(s | kTopBits << 10);
      return;
    }
    read_[s] = 1;
    const int c = child_[s];
    if (c >= kNodeCount) {
      // A leaf above the table's depth: every continuation of its code leads to it.
      const unsigned span = 1u << (kTopBits - depth);
      for (unsigned i = 0; i < span; ++i) {
        table_[prefix * span + i] = static_cast<uint16_t>(c | depth << 10);
      }
      return;
    }
    Fill(c, depth + 1, prefix * 2);
    Fill(c + 1, depth + 1, prefix * 2 + 1);
  }

  const int16_t* child_;
  bool valid_ = false;
  uint16_t table_[1 << kTopBits];  // slot or leaf (child value), and bits used << 10
  uint8_t read_[kNodeCount];       // slots whose child entry the table depends on
};

// Output gathered in the ring itself: each stretch since the last flush goes to the stream
// when the write position r wraps and at the end, and when the run ends by an exception (so
// the stream holds every byte decoded until then, as with one write per byte).
class TRingOutput {
 public:
  TRingOutput(se::MemoryStream& stream, const uint8_t* ring, const int& r)
      : stream_(stream), ring_(ring), r_(r), from_(r) {}
  TRingOutput(const TRingOutput&) = delete;
  TRingOutput& operator=(const TRingOutput&) = delete;
  ~TRingOutput() {
    if (finished_) return;
    try {
      Flush();
    } catch (...) {  // only on the way out of a failed run; its own error goes on
    }
  }
  // Call with r == kWindowSize before wrapping it to 0.
  void Flush() {
    if (r_ > from_) stream_.Write(ring_ + from_, static_cast<size_t>(r_ - from_));
    from_ = r_ & (kWindowSize - 1);
  }
  void Finish() {
    Flush();
    finished_ = true;
  }

 private:
  se::MemoryStream& stream_;
  const uint8_t* ring_;
  const int& r_;
  int from_;
  bool finished_ = false;
};

}  // namespace

void DecodeFromMemory(TCustom_lzh& codec, int32_t outSize) {
  TLzhWorkState ws;
  ws.AllocTables();
  ws.InitModel();
  uint8_t* const ring = ws.Ring;
  std::memset(ring, 0x20, kWindowSize);
  int r = kWindowSize - kMaxMatch;
  int32_t count = 0;
  TMemoryBits in(codec.FInBuffer, codec.FInSize);
  TFetchReport fetches(codec);
  se::MemoryStream& stream = *codec.FOutStream;
  if (outSize > 0) {
    // A valid stream expands at most 48-fold (a 60-byte match in 10 bits); a larger size field
    // belongs to a damaged stream, whose output grows as it comes.
    const int64_t plausible = 64 * static_cast<int64_t>(codec.FInSize) + 65536;
    stream.Reserve(static_cast<size_t>(std::min<int64_t>(outSize, plausible)));
  }
  TRingOutput out(stream, ring, r);
  TTopCodes top(ws.NodeChild);
  const bool report = codec.FOnProgress != nullptr;
  // Without reports the read position is settled once, at the end, also when the output
  // stream fails.
  struct TPositionOnError {
    TMemoryBits& in;
    TFetchReport& fetches;
    bool quiet;
    ~TPositionOnError() {
      if (quiet) fetches.Skip(in.Fetched());
    }
  } onError{in, fetches, !report};

  while (count < outSize) {
    in.Fill();
    const int symbol = top.Decode(in);
    detail::UpdateModel(ws, symbol, top.Watch());
    if (symbol < 256) {
      ring[r++] = static_cast<uint8_t>(symbol);
      if (r == kWindowSize) {
        out.Flush();
        r = 0;
      }
      ++count;
    } else {
      const int b = static_cast<int>(in.Peek(8));
      const int codeLength = OffsetBits[b];
      const int offset = OffsetHigh[b] * 64 + static_cast<int>(in.Peek(codeLength + 6) & 63);
      in.Skip(codeLength + 6);
      const int length = symbol - 253;
      const int src = r - offset - 1;
      if (src >= 0 && r + length < kWindowSize && offset + 1 >= length) {
        std::memcpy(ring + r, ring + src, static_cast<size_t>(length));  // no overlap, no wrap
        r += length;
      } else {
        // Overlapping copies repeat the bytes just written, one at a time.
        for (int k = 0; k < length; ++k) {
          ring[r] = ring[(src + k) & (kWindowSize - 1)];
          if (++r == kWindowSize) {
            out.Flush();
            r = 0;
          }
        }
      }
      count += length;
    }
    if (report) fetches.CatchUp(in.Fetched());
  }
  out.Finish();
  if (report) fetches.CatchUp(in.Fetched());  // else onError settles the read position
  ws.FreeTables();
}

}  // namespace lzh
