// The encoder's policies for the codec object: input straight from its buffer (ReadInput
// inlined), output to its stream in blocks.
#include "lzh/LzhEncoder.h"
#include "lzh/LzhMemoryIo.h"

namespace lzh {
namespace {

// Bytes gather in a block that goes to the stream when full, at the end,
// before every progress report and when the run ends by an exception: whenever anyone can look,
// the stream holds every byte produced, as with one write per byte.
class TBlockOutput {
 public:
  explicit TBlockOutput(TCustom_lzh& codec) : codec_(codec) {}
  TBlockOutput(const TBlockOutput&) = delete;
  TBlockOutput& operator=(const TBlockOutput&) = delete;
  ~TBlockOutput() {
    try {
      Flush();
    } catch (...) {  // only on the way out of a failed run; its own error goes on
    }
  }
  void Put(uint8_t byte) {
    block_[used_++] = byte;
    if (used_ == sizeof block_) Flush();
  }
  void Flush() {
    const auto n = static_cast<uint16_t>(used_);
    used_ = 0;
    uint16_t taken = 0;
    if (n) codec_.WriteOutput(block_, n, taken);
  }

 private:
  TCustom_lzh& codec_;
  size_t used_ = 0;
  uint8_t block_[8192];  // at most what one WriteOutput call takes
};

[[maybe_unused]] void PutByte(TBlockOutput& out, uint8_t byte) {
  out.Put(byte);
}

// ReadInput inlined: the codec's input buffer, its read position and its progress reports.
class TCodecInput {
 public:
  TCodecInput(TCustom_lzh& codec, TBlockOutput& out) : codec_(codec), out_(out) {}
  bool Next(uint8_t& byte) {
    const bool got = codec_.FInPos < codec_.FInSize;
    if (got) byte = codec_.FInBuffer[codec_.FInPos++];
    codec_.FBytesLeft = codec_.FInSize - codec_.FInPos;
    if (codec_.FOnProgress) {
      out_.Flush();
      codec_.FOnProgress(codec_.FBytesLeft, codec_.FProgressData);
    }
    return got;
  }

 private:
  TCustom_lzh& codec_;
  TBlockOutput& out_;
};

[[maybe_unused]] bool TakeByte(TCodecInput& input, uint8_t& byte) {
  return input.Next(byte);
}

}  // namespace

int64_t EncodeFromMemory(TCustom_lzh& codec) {
  TBlockOutput out(codec);
  TCodecInput in(codec, out);
  const int64_t coded = detail::EncodeLoop<TCodecInput&, TBlockOutput&>(in, out, nullptr);
  out.Flush();
  return coded;
}

}  // namespace lzh
