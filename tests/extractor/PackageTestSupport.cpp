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

namespace {
constexpr size_t kPeHeader = 0x40;
size_t DirectoriesAt(uint16_t magic) {
  return kPeHeader + 24 + (magic == 0x20B ? 112 : 96);
}
void Put32(std::string& bytes, size_t at, uint32_t value) {
  std::string le;
  extractor::AppendLittleEndian32(le, static_cast<int32_t>(value));
  bytes.replace(at, 4, le);
}
}  // namespace

std::string PeImage(uint16_t magic) {
  const size_t directories = DirectoriesAt(magic);
  std::string image(directories + 5 * 8, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPeHeader);
  image.replace(kPeHeader, 4, std::string("PE\0\0", 4));
  Put32(image, kPeHeader + 20, static_cast<uint32_t>(directories + 5 * 8 - kPeHeader - 24));
  Put32(image, kPeHeader + 24, magic);
  Put32(image, directories - 4, 5);  // the number of data directories
  return image;
}

void SetSecurityDirectory(std::string& file, uint32_t offset, uint32_t size, uint16_t magic) {
  Put32(file, DirectoriesAt(magic) + 4 * 8, offset);
  Put32(file, DirectoriesAt(magic) + 4 * 8 + 4, size);
}

}  // namespace testing_support
