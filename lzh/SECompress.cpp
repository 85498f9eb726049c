#include "lzh/SECompress.h"

#include "lzh/LzhCodec.h"

namespace lzh {

bool TSECompress::DecompressStream(se::MemoryStream& source, se::MemoryStream& dest) {
  source.SetPosition(0);
  TCustom_lzh codec;
  codec.FInBuffer = source.Memory();
  codec.FInSize = static_cast<int32_t>(source.Size());
  codec.FOutStream = &dest;
  return codec.Decompress();
}

}  // namespace lzh
