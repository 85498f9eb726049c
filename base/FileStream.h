// A byte stream over a file, with 64-bit size and position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace se {

class FileStream {
 public:
  enum class Mode {
    kOpenRead,  // read access, others may read and write, the file must exist
    kCreate,    // read and write access, exclusive, created or truncated
  };

  // Raises EFOpenError "Cannot open file %s" or EFCreateError "Cannot create file %s".
  FileStream(const std::string& path, Mode mode);
  ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  int64_t Size();
  int64_t Position();
  int64_t Seek(int64_t offset, plat::SeekOrigin origin);
  // A plain read: returns the count read, fewer at the end of the file (0 on failure).
  int32_t Read(void* buffer, int32_t count);
  // Reads exactly `count` bytes or raises EReadError.
  void ReadBuffer(void* buffer, size_t count);
  // Writes exactly `count` bytes or raises EWriteError.
  void WriteBuffer(const void* buffer, size_t count);
  const std::string& Path() const noexcept { return path_; }

 private:
  std::string path_;
  plat::FileHandle handle_;
};

}  // namespace se
