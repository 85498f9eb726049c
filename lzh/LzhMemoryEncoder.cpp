// Encoding between memory buffers for the codec object: ReadInput inlined, output in blocks.
#include "lzh/LzhEncodeLoop.h"
#include "lzh/LzhMemoryIo.h"

namespace lzh {
namespace {

// ReadInput inlined: the codec's input buffer, its read position and its progress callback.
class TMemoryInput {
 public:
  explicit TMemoryInput(TCustom_lzh& codec) : codec_(codec) {}
  bool Next(uint8_t& byte) {
    const bool got = codec_.FInPos < codec_.FInSize;
    if (got) byte = codec_.FInBuffer[codec_.FInPos++];
    codec_.FBytesLeft = codec_.FInSize - codec_.FInPos;
    if (codec_.FOnProgress) codec_.FOnProgress(codec_.FBytesLeft, codec_.FProgressData);
    return got;
  }

 private:
  TCustom_lzh& codec_;
};

// WriteOutput batched: bytes gather in a block that goes to the stream when full, at the end,
// and when the run ends by an exception (so the stream holds every byte produced until then).
class TMemoryOutput {
 public:
  explicit TMemoryOutput(se::MemoryStream& stream) : stream_(stream) {}
  TMemoryOutput(const TMemoryOutput&) = delete;
  TMemoryOutput& operator=(const TMemoryOutput&) = delete;
  ~TMemoryOutput() {
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
    const size_t n = used_;
    used_ = 0;
    if (n) stream_.Write(block_, n);
  }

 private:
  se::MemoryStream& stream_;
  size_t used_ = 0;
  uint8_t block_[8192];
};

}  // namespace

int64_t EncodeFromMemory(TCustom_lzh& codec) {
  TMemoryInput in(codec);
  TMemoryOutput out(*codec.FOutStream);
  return detail::EncodeLoop(in, out, nullptr);
}

}  // namespace lzh
