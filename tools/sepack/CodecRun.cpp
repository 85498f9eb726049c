#include "tools/sepack/CodecRun.h"

#include <limits>
#include <stdexcept>

#include "lzh/LzhCodec.h"
#include "tools/sepack/Progress.h"

namespace sepack {

se::MemoryStream RunCodec(CodecOp op, const std::vector<uint8_t>& input, const std::string& label,
                          bool progress) {
  // The codec counts input bytes in 32-bit signed integers.
  if (input.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::runtime_error(label + ": input larger than 2 GiB - 1 bytes is not supported");
  }
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = input.data();
  codec.FInSize = static_cast<int32_t>(input.size());
  codec.FOutStream = &out;
  ProgressBar bar(label, progress ? static_cast<int64_t>(input.size()) : 0);
  if (bar.Enabled()) {
    codec.FOnProgress = &ProgressBar::OnProgress;
    codec.FProgressData = &bar;
  }
  const bool ok = op == CodecOp::kCompress ? codec.Compress() : codec.Decompress();
  if (!ok) {
    // Decompress also answers false for a stream it cannot decode.
    throw std::runtime_error(label + (op == CodecOp::kCompress
                                          ? ": the codec could not get its working memory"
                                          : ": not a valid LZH stream"));
  }
  return out;
}

}  // namespace sepack
