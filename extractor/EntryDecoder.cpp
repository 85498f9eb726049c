#include "extractor/EntryDecoder.h"

#include "base/BufferedFile.h"
#include "extractor/PackageLayout.h"
#include "lzh/LzhCallbacks.h"
#include "lzh/LzhDecoder.h"
#include "lzh/LzhException.h"

namespace extractor {
namespace {

// The codec's callbacks over the package and the cabinet file.
struct EntryPipe {
  se::FileRangeReader& in;
  se::FileWriter& out;

  void Read(uint8_t* buffer, uint16_t count, uint16_t& actual) {
    actual = static_cast<uint16_t>(in.Read(buffer, count));
  }
  void Write(const uint8_t* buffer, uint16_t count, uint16_t& actual) {
    out.Write(buffer, count);
    actual = count;
  }
};

}  // namespace

bool DecodeEntry(se::FileStream& package, int32_t dataSize, const std::string& cabinet) {
  if (dataSize < 5) return false;
  const int64_t start = package.Position();
  // The size word ends the stream.
  uint8_t word[4];
  package.Seek(start + dataSize - 4, plat::SeekOrigin::kBegin);
  package.ReadBuffer(word, sizeof word);
  package.Seek(start, plat::SeekOrigin::kBegin);
  const int32_t declared = LittleEndian32(word);
  if (declared < 0 || declared > MaxDecodedSize(dataSize)) return false;

  // The reader serves the whole stream, size word included, as the codec reads it in memory.
  se::FileRangeReader in(package, dataSize);
  se::FileWriter out(cabinet);
  EntryPipe pipe{in, out};
  try {
    lzh::DecodeStream(declared, lzh::TLzhReadProc::Bind<&EntryPipe::Read>(&pipe),
                      lzh::TLzhWriteProc::Bind<&EntryPipe::Write>(&pipe));
  } catch (const lzh::ElzhException&) {
    return false;
  }
  if (out.Written() < declared) return false;
  out.Close();
  package.Seek(start + dataSize, plat::SeekOrigin::kBegin);
  return true;
}

}  // namespace extractor
