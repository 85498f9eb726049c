// The decoder's policies for the codec object: stream bytes straight from its buffer (ReadInput
// inlined), output from the ring to its stream in stretches.
#include <algorithm>
#include <cstddef>
#include <utility>

#include "lzh/LzhDecoder.h"
#include "lzh/LzhMemoryIo.h"

namespace lzh {
namespace {

// The ring's newest bytes, gathered while they stay contiguous and written to the stream when
// the ring wraps, at the end and before every progress report: whenever anyone can look, the
// stream holds every byte decoded, as with one write per byte. Nothing is left pending when the
// run ends by an exception, as only a progress report or the stream itself can raise one.
class TRingStreamOutput {
 public:
  explicit TRingStreamOutput(TCustom_lzh& codec) : codec_(codec) {}
  TRingStreamOutput(const TRingStreamOutput&) = delete;
  TRingStreamOutput& operator=(const TRingStreamOutput&) = delete;
  // The decoder puts every byte right after the previous one (modulo the ring), so only the end
  // of the stretch is noted here.
  void Put(const uint8_t* ring, int at, int n) {
    ring_ = ring;
    end_ = at + n;
    // The next byte goes to the ring's start, where the oldest of these may lie.
    if (end_ == kWindowSize) Flush();
  }
  void Flush() {
    const int from = from_;
    const int end = end_;
    from_ = end_ = end & (kWindowSize - 1);
    uint16_t taken = 0;
    if (end > from) codec_.WriteOutput(ring_ + from, static_cast<uint16_t>(end - from), taken);
  }
  void Finish() { Flush(); }

 private:
  TCustom_lzh& codec_;
  const uint8_t* ring_ = nullptr;
  int from_ = kWindowSize - kMaxMatch;  // ring positions [from_, end_) are not yet written
  int end_ = kWindowSize - kMaxMatch;
};

// ReadInput inlined: the codec's buffer, its read position and its progress reports, which
// see the output stream up to date. The decoder holds its own copy, so the position lives in a
// register. With a progress callback the codec's fields are written on every fetch, as the
// callback sees them; without one nobody can look before the run ends, and the copy that the
// decoder holds writes them once, as it goes (also when the output stream fails). Every fetch
// before the input ends moves the position, and the input holds at least the size field.
template <bool kReports>
class TCodecSource {
 public:
  TCodecSource(TCustom_lzh& codec, TRingStreamOutput& out)
      : codec_(&codec),
        out_(&out),
        data_(codec.FInBuffer),
        size_(codec.FInSize),
        pos_(codec.FInPos),
        progress_(codec.FOnProgress) {}
  TCodecSource(const TCodecSource&) = delete;
  TCodecSource& operator=(const TCodecSource&) = delete;
  // Only the last holder settles the codec's fields.
  TCodecSource(TCodecSource&& other) noexcept
      : codec_(std::exchange(other.codec_, nullptr)),
        out_(other.out_),
        data_(other.data_),
        size_(other.size_),
        pos_(other.pos_),
        progress_(other.progress_) {}
  TCodecSource& operator=(TCodecSource&&) = delete;
  ~TCodecSource() {
    // Until the first fetch the codec's fields stay as they are.
    if (!kReports && codec_ && pos_ != codec_->FInPos) Settle();
  }

  bool Fetch(uint8_t& byte) {
    const bool got = pos_ < size_;
    if (got) byte = data_[pos_++];
    if constexpr (kReports) {
      Settle();
      out_->Flush();
      progress_(size_ - pos_, codec_->FProgressData);
    }
    return got;
  }

 private:
  void Settle() {
    codec_->FInPos = pos_;
    codec_->FBytesLeft = size_ - pos_;
  }

  TCustom_lzh* codec_;
  TRingStreamOutput* out_;
  const uint8_t* data_;
  int32_t size_;
  int32_t pos_;
  TLzhProgressProc progress_;
};

template <bool kReports>
[[maybe_unused]] bool FetchByte(TCodecSource<kReports>& source, uint8_t& byte) {
  return source.Fetch(byte);
}

}  // namespace

void DecodeFromMemory(TCustom_lzh& codec, int64_t outSize) {
  se::MemoryStream& stream = *codec.FOutStream;
  if (outSize > 0) {
    // A valid stream expands at most 48-fold (a 60-byte match in 10 bits); a larger size field
    // belongs to a damaged stream, whose output grows as it comes.
    const int64_t plausible = 64 * static_cast<int64_t>(codec.FInSize) + 65536;
    stream.Reserve(static_cast<size_t>(std::min<int64_t>(outSize, plausible)));
  }
  TRingStreamOutput out(codec);
  if (codec.FOnProgress) {
    detail::DecodeLoop(TCodecSource<true>(codec, out), out, outSize);
  } else {
    detail::DecodeLoop(TCodecSource<false>(codec, out), out, outSize);
  }
}

}  // namespace lzh
