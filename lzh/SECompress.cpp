#include "lzh/SECompress.h"

#include <cstdint>
#include <limits>

#include "lzh/LzhCodec.h"

namespace lzh {

bool TSECompress::DecompressStream(se::MemoryStream& source, se::MemoryStream& dest) {
  source.SetPosition(0);
  // The codec addresses its input with 32-bit counts: a larger block would be cut short (or
  // wrap to a negative size) without notice, so it is refused as a stream the codec cannot read.
  if (source.Size() > std::numeric_limits<int32_t>::max()) {
    dest.Clear();
    return false;
  }
  TCustom_lzh codec;
  codec.FInBuffer = source.Memory();
  codec.FInSize = static_cast<int32_t>(source.Size());
  codec.FOutStream = &dest;
  return codec.Decompress();
}

}  // namespace lzh
