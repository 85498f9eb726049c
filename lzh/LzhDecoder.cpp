#include "lzh/LzhDecoder.h"

namespace lzh {

void DecodeStream(int64_t outSize, TLzhReadProc read, TLzhWriteProc write) {
  detail::TCallbackOutput out(write);
  detail::DecodeLoop(read, out, outSize);
}

}  // namespace lzh
