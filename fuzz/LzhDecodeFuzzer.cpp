// The LZH decoder over arbitrary stream bytes. The first two input bytes give the size to
// produce (below 16 KiB, so that a run stays short); the rest is the bit stream, framed with that
// size as the codec object expects. Any stream decodes: to at least the size asked for and, since
// only a match can run past it, to at most 59 bytes more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t outSize = (data[0] | uint32_t(data[1]) << 8) & 0x3FFF;
  std::vector<uint8_t> framed(data + 2, data + size);
  for (int i = 0; i < 4; ++i) framed.push_back(static_cast<uint8_t>(outSize >> (8 * i)));

  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = framed.data();
  codec.FInSize = static_cast<int32_t>(framed.size());
  codec.FOutStream = &out;
  const bool ok = codec.Decompress();
  if (framed.size() <= 4) {
    if (ok || out.Size() != 0) std::abort();  // nothing to decode is a failure
    return 0;
  }
  if (!ok) std::abort();
  if (out.Size() < outSize || out.Size() > int64_t(outSize) + 59) std::abort();
  if (codec.FInPos > codec.FInSize) std::abort();
  return 0;
}
