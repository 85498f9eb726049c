// The coders run straight between memory buffers for the codec object: no callback per byte,
// the same reads, progress reports and results as through ReadInput and WriteOutput.
#pragma once

#include <cstdint>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"

namespace lzh {

// Compresses codec.FInSize bytes at codec.FInBuffer into codec.FOutStream (bit stream only);
// returns the bytes coded. Keeps FInPos and FBytesLeft as ReadInput would.
int64_t EncodeFromMemory(TCustom_lzh& codec);

// Decodes outSize bytes from codec.FInBuffer into codec.FOutStream, fetching (and reporting
// through FOnProgress) exactly the input bytes that DecodeStream over ReadInput would.
void DecodeFromMemory(TCustom_lzh& codec, int64_t outSize);

}  // namespace lzh
