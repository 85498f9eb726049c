// The codec object runs the one encoder and the one decoder with memory policies: ReadInput and
// WriteOutput inlined instead of called per byte, the output written in stretches that are
// complete whenever a progress report runs, so reads, reports and output are as through the
// callbacks.
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
