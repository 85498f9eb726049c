#include "tests/extractor/PackageTestSupport.h"

#include <gtest/gtest.h>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"

namespace testing_support {

std::string Compress(const std::string& bytes) {
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = reinterpret_cast<const uint8_t*>(bytes.data());
  codec.FInSize = static_cast<int32_t>(bytes.size());
  codec.FOutStream = &out;
  EXPECT_TRUE(codec.Compress());
  return std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
}

extractor::PackageEntry CabinetEntry(const std::vector<CabFile>& files, const std::string& name) {
  return {name, Compress(MakeStoredCabinet(files))};
}

}  // namespace testing_support
