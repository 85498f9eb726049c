// The memory stream's file operations, kept apart so that code using memory streams alone
// does not pull in the file layer.
#include <algorithm>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/MemoryStream.h"

namespace se {

void MemoryStream::CopyFrom(FileStream& source, int64_t count) {
  // Bounded chunks: a size field larger than the file never allocates for bytes that are
  // not there.
  uint8_t chunk[64 * 1024];
  while (count > 0) {
    int32_t want = static_cast<int32_t>(std::min<int64_t>(count, sizeof chunk));
    int32_t got = source.Read(chunk, want);
    if (got <= 0) RaiseReadError();
    Write(chunk, static_cast<size_t>(got));
    count -= got;
  }
}

void MemoryStream::SaveToFile(const std::string& path) const {
  FileStream file(path, FileStream::Mode::kCreate);
  file.WriteBuffer(data_.data(), data_.size());
}

}  // namespace se
