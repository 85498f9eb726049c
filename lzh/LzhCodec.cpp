#include "lzh/LzhCodec.h"

#include <cstring>

#include "lzh/LzhMemoryIo.h"

namespace lzh {

void TCustom_lzh::ReadInput(uint8_t* buffer, uint16_t count, uint16_t& actual) {
  int32_t m = FInSize - FInPos;
  if (count < m) m = count;
  if (m == 1) {
    *buffer = FInBuffer[FInPos];
  } else if (m > 0) {
    std::memcpy(buffer, FInBuffer + FInPos, static_cast<size_t>(m));
  }
  actual = static_cast<uint16_t>(m > 0 ? m : 0);
  FInPos += actual;
  FBytesLeft = FInSize - FInPos;
  if (FOnProgress) FOnProgress(FBytesLeft, FProgressData);
}

void TCustom_lzh::WriteOutput(const uint8_t* buffer, uint16_t count, uint16_t& actual) {
  if (count == 1) {
    FOutStream->WriteByte(*buffer);
  } else {
    FOutStream->Write(buffer, count);
  }
  actual = count;
}

bool TCustom_lzh::Compress() {
  if (!FOutStream) return false;
  FOutStream->Clear();
  FInPos = 0;
  FBytesLeft = 0;
  int64_t coded = 0;
  try {
    coded = EncodeFromMemory(*this);
  } catch (const ElzhException&) {
    return false;
  }
  FOutStream->SetPosition(FOutStream->Size());
  // The count cannot exceed FInSize, so it fits the 32-bit size field.
  const auto size = static_cast<uint32_t>(coded);
  const uint8_t trailer[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                              static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
  FOutStream->Write(trailer, sizeof trailer);
  return true;
}

bool TCustom_lzh::Decompress() {
  if (!FOutStream) return false;
  FOutStream->Clear();
  FInPos = 0;
  FBytesLeft = 0;
  if (FInSize <= 4) return false;
  const uint8_t* sizeField = FInBuffer + FInSize - 4;
  const auto outSize = static_cast<int32_t>(
      static_cast<uint32_t>(sizeField[0]) | static_cast<uint32_t>(sizeField[1]) << 8 |
      static_cast<uint32_t>(sizeField[2]) << 16 | static_cast<uint32_t>(sizeField[3]) << 24);
  try {
    DecodeFromMemory(*this, outSize);
  } catch (const ElzhException&) {
    return false;
  }
  return true;
}

}  // namespace lzh
