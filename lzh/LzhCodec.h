// The codec object: compresses or decompresses a block in memory into a memory stream, framing
// the compressed form as the bit stream followed by the uncompressed size (4 bytes, LE).
#pragma once

#include <cstdint>

#include "base/MemoryStream.h"
#include "lzh/LzhCallbacks.h"
#include "lzh/LzhException.h"

namespace lzh {

// Called after every read from the input with the input bytes left and the user value.
using TLzhProgressProc = void (*)(int32_t bytesLeft, void* data);

class TCustom_lzh {
 public:
  TCustom_lzh() = default;
  virtual ~TCustom_lzh() = default;

  // Compresses FInSize bytes at FInBuffer into FOutStream. False when there is no output
  // stream or the codec's tables cannot be obtained or released; other errors pass through.
  virtual bool Compress();
  // Decompresses the LZH stream of FInSize bytes at FInBuffer into FOutStream. False as for
  // Compress, and for an input of 4 bytes or fewer.
  virtual bool Decompress();

  // The coders' byte callbacks over FInBuffer and FOutStream. Compress and Decompress run the
  // coders with the same reads, progress reports and writes inlined (LzhMemoryIo.h).
  void ReadInput(uint8_t* buffer, uint16_t count, uint16_t& actual);
  void WriteOutput(const uint8_t* buffer, uint16_t count, uint16_t& actual);

  TLzhProgressProc FOnProgress = nullptr;
  void* FProgressData = nullptr;
  int32_t FBytesLeft = 0;                  // input bytes not yet read, as of the last read
  int32_t FInPos = 0;                      // input bytes read so far
  const uint8_t* FInBuffer = nullptr;      // not owned
  se::MemoryStream* FOutStream = nullptr;  // not owned
  int32_t FInSize = 0;
};

}  // namespace lzh
