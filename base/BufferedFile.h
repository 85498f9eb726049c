// Buffered reading of a stretch of a file and buffered writing of a new file, with memory
// bounded by the buffer whatever the size of the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/FileStream.h"
#include "base/MemoryStream.h"

namespace se {

// Reads the `count` bytes that follow a file stream's position on construction.
class FileRangeReader {
 public:
  // Raises EOutOfMemory when the buffer cannot be had.
  FileRangeReader(FileStream& file, int64_t count, size_t bufferSize = kDefaultBuffer);

  // Copies up to `n` bytes; fewer only once the range is used up. Raises EReadError when the
  // file ends or fails inside the range.
  size_t Read(uint8_t* out, size_t n) {
    if (n <= end_ - next_) {
      std::memcpy(out, buffer_.data() + next_, n);
      next_ += n;
      return n;
    }
    return ReadSlow(out, n);
  }

  static constexpr size_t kDefaultBuffer = 256 * 1024;

 private:
  size_t ReadSlow(uint8_t* out, size_t n);

  FileStream& file_;
  int64_t unread_;  // bytes of the range not yet in the buffer
  std::vector<uint8_t, StreamAllocator<uint8_t>> buffer_;
  size_t next_ = 0;
  size_t end_ = 0;
};

// Writes the file `path`, created or truncated with exclusive access when the first bytes
// reach it (or on Close, when there are none).
class FileWriter {
 public:
  // Raises EOutOfMemory when the buffer cannot be had.
  explicit FileWriter(std::string path, size_t bufferSize = FileRangeReader::kDefaultBuffer);

  // Raises EFCreateError when the file cannot be created and EWriteError when it takes fewer
  // bytes than it is given (a full disk).
  void Write(const uint8_t* data, size_t n) {
    if (n <= buffer_.size() - used_) {
      std::memcpy(buffer_.data() + used_, data, n);
      used_ += n;
      written_ += static_cast<int64_t>(n);
      return;
    }
    WriteSlow(data, n);
  }
  // Writes what is buffered and closes the file; the same errors as Write.
  void Close();
  // Bytes given to Write so far.
  int64_t Written() const noexcept { return written_; }

 private:
  void WriteSlow(const uint8_t* data, size_t n);
  void Flush();

  std::string path_;
  std::unique_ptr<FileStream> file_;
  std::vector<uint8_t, StreamAllocator<uint8_t>> buffer_;
  size_t used_ = 0;
  int64_t written_ = 0;
};

}  // namespace se
