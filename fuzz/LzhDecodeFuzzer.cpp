// The LZH decoder over arbitrary stream bytes, the codec object's memory path against the
// callback decoder over the codec's own ReadInput and WriteOutput: the same output, the same
// progress reports (each with the output size it saw) and the same read position. The first two
// input bytes give the size to produce: below 32 KiB (v & 0x7FFF), room for more than the 32,455
// symbols after which the model is rebuilt; or, when the second byte is FF, (first % 64 + 1) *
// 8 KiB, up to 512 KiB, which zero bits past the stream's end fill with symbols enough for
// rebuilds. The rest is the bit stream, framed with that size. Any stream
// decodes: to at least the size asked for and, since only a match can run past it, to at most
// 59 bytes more.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"
#include "lzh/LzhDecoder.h"

namespace {

struct TRun {
  se::MemoryStream out;
  std::vector<std::pair<int32_t, int64_t>> reports;  // bytes left, output size then
  int32_t inPos = 0;
  int32_t bytesLeft = 0;
};

void Report(int32_t left, void* data) {
  auto* run = static_cast<TRun*>(data);
  run->reports.emplace_back(left, run->out.Size());
}

enum class Path { Quiet, Memory, Callbacks };

void Decode(const std::vector<uint8_t>& framed, int32_t outSize, Path path, TRun& run) {
  lzh::TCustom_lzh codec;
  codec.FInBuffer = framed.data();
  codec.FInSize = static_cast<int32_t>(framed.size());
  codec.FOutStream = &run.out;
  if (path != Path::Quiet) {
    codec.FOnProgress = Report;
    codec.FProgressData = &run;
  }
  if (path == Path::Callbacks) {
    lzh::DecodeStream(outSize, lzh::TLzhReadProc::Bind<&lzh::TCustom_lzh::ReadInput>(&codec),
                      lzh::TLzhWriteProc::Bind<&lzh::TCustom_lzh::WriteOutput>(&codec));
  } else if (!codec.Decompress()) {
    std::abort();
  }
  run.inPos = codec.FInPos;
  run.bytesLeft = codec.FBytesLeft;
}

bool Same(const TRun& a, const TRun& b) {
  return a.out.Size() == b.out.Size() &&
         std::equal(a.out.Memory(), a.out.Memory() + a.out.Size(), b.out.Memory()) &&
         a.inPos == b.inPos && a.bytesLeft == b.bytesLeft;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t outSize =
      data[1] == 0xFF ? (data[0] % 64 + 1u) * 8192 : (data[0] | uint32_t(data[1]) << 8) & 0x7FFF;
  std::vector<uint8_t> framed(data + 2, data + size);
  for (int i = 0; i < 4; ++i) framed.push_back(static_cast<uint8_t>(outSize >> (8 * i)));

  if (framed.size() <= 4) {
    se::MemoryStream out;
    lzh::TCustom_lzh codec;
    codec.FInBuffer = framed.data();
    codec.FInSize = static_cast<int32_t>(framed.size());
    codec.FOutStream = &out;
    if (codec.Decompress() || out.Size() != 0) std::abort();  // nothing to decode is a failure
    return 0;
  }
  TRun memory, callbacks;
  Decode(framed, static_cast<int32_t>(outSize), Path::Memory, memory);
  Decode(framed, static_cast<int32_t>(outSize), Path::Callbacks, callbacks);
  const int64_t n = memory.out.Size();
  if (n < outSize || n > int64_t(outSize) + 59) std::abort();
  if (memory.inPos > int32_t(framed.size())) std::abort();
  if (!Same(memory, callbacks)) std::abort();
  if (outSize <= 0x7FFF) {  // the third run only where it stays cheap
    TRun quiet;
    Decode(framed, static_cast<int32_t>(outSize), Path::Quiet, quiet);
    if (!Same(quiet, memory)) std::abort();
  }
  if (memory.reports != callbacks.reports) std::abort();
  return 0;
}
