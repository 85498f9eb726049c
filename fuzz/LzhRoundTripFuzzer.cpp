// The codec round trip: whatever Compress makes, Decompress turns back into the input exactly,
// and the stream is never so short that the stub would refuse it as an impossible expansion
// (n stream bytes decode to at most 48 x n bytes).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  se::MemoryStream packed;
  lzh::TCustom_lzh encoder;
  encoder.FInBuffer = data;
  encoder.FInSize = static_cast<int32_t>(size);
  encoder.FOutStream = &packed;
  if (!encoder.Compress()) std::abort();
  if (packed.Size() < 4) std::abort();

  const uint8_t* sizeField = packed.Memory() + packed.Size() - 4;
  const uint32_t declared = sizeField[0] | uint32_t(sizeField[1]) << 8 |
                            uint32_t(sizeField[2]) << 16 | uint32_t(sizeField[3]) << 24;
  if (declared != size) std::abort();
  if (size > 0 && uint64_t(size) > 48 * uint64_t(packed.Size() - 4)) std::abort();

  se::MemoryStream unpacked;
  lzh::TCustom_lzh decoder;
  decoder.FInBuffer = packed.Memory();
  decoder.FInSize = static_cast<int32_t>(packed.Size());
  decoder.FOutStream = &unpacked;
  const bool ok = decoder.Decompress();
  if (size == 0) return 0;  // a 4-byte stream is refused: there is nothing to decode
  if (!ok || unpacked.Size() != static_cast<int64_t>(size)) std::abort();
  if (std::memcmp(unpacked.Memory(), data, size) != 0) std::abort();
  return 0;
}
