#include "base/BufferedFile.h"

#include <algorithm>
#include <new>
#include <utility>

#include "base/Exception.h"

namespace se {
namespace {

std::vector<uint8_t, StreamAllocator<uint8_t>> Buffer(size_t size) {
  try {
    return std::vector<uint8_t, StreamAllocator<uint8_t>>(size);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
}

}  // namespace

FileRangeReader::FileRangeReader(FileStream& file, int64_t count, size_t bufferSize)
    : file_(file), unread_(count < 0 ? 0 : count), buffer_(Buffer(bufferSize)) {}

size_t FileRangeReader::ReadSlow(uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (next_ == end_) {
      if (unread_ == 0) break;
      const auto want = static_cast<int32_t>(std::min<int64_t>(unread_, int64_t(buffer_.size())));
      const int32_t got = file_.Read(buffer_.data(), want);
      // The range lies inside the file: a short read is a failure, not the end.
      if (got <= 0) RaiseReadError();
      unread_ -= got;
      next_ = 0;
      end_ = static_cast<size_t>(got);
    }
    const size_t step = std::min(n - done, end_ - next_);
    std::memcpy(out + done, buffer_.data() + next_, step);
    next_ += step;
    done += step;
  }
  return done;
}

FileWriter::FileWriter(std::string path, size_t bufferSize)
    : path_(std::move(path)), buffer_(Buffer(bufferSize)) {}

void FileWriter::WriteSlow(const uint8_t* data, size_t n) {
  while (n > 0) {
    if (used_ == buffer_.size()) Flush();
    const size_t step = std::min(n, buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, data, step);
    used_ += step;
    written_ += static_cast<int64_t>(step);
    data += step;
    n -= step;
  }
}

void FileWriter::Flush() {
  if (!file_) file_ = std::make_unique<FileStream>(path_, FileStream::Mode::kCreate);
  file_->WriteBuffer(buffer_.data(), used_);
  used_ = 0;
}

void FileWriter::Close() {
  Flush();
  file_.reset();
}

}  // namespace se
