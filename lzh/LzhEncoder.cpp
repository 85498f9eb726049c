#include "lzh/LzhEncoder.h"

namespace lzh {

int64_t EncodeStream(TLzhReadProc read, TLzhWriteProc write, TLzhEncodeStats* stats) {
  return detail::EncodeLoop(read, write, stats);
}

}  // namespace lzh
