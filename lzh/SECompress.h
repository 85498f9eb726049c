// The self-extractor's entry into the codec: one memory stream's LZH stream into another.
#pragma once

#include "base/MemoryStream.h"

namespace lzh {

class TSECompress {
 public:
  // Decompresses the LZH stream held in `source` (read from its first byte, whatever its
  // position) into `dest`, leaving dest's position at the end. False as TCustom_lzh::Decompress,
  // and for a source of 2 GiB or more, which the codec's 32-bit counts cannot address.
  bool DecompressStream(se::MemoryStream& source, se::MemoryStream& dest);
};

}  // namespace lzh
