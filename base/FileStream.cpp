#include "base/FileStream.h"

#include <algorithm>

#include "base/Exception.h"

namespace se {

FileStream::FileStream(const std::string& path, Mode mode) : path_(path) {
  auto& os = plat::Current();
  if (mode == Mode::kOpenRead) {
    handle_ = os.OpenFile(path, plat::access::kRead, plat::share::kRead | plat::share::kWrite,
                          plat::Disposition::kOpenExisting, plat::attr::kNormal);
    if (handle_ == plat::kInvalidFile) throw EFOpenError("Cannot open file " + path);
  } else {
    handle_ = os.OpenFile(path, plat::access::kRead | plat::access::kWrite, plat::share::kNone,
                          plat::Disposition::kCreateAlways, plat::attr::kNormal);
    if (handle_ == plat::kInvalidFile) throw EFCreateError("Cannot create file " + path);
  }
}

FileStream::~FileStream() {
  plat::Current().Close(handle_);
}

int64_t FileStream::Seek(int64_t offset, plat::SeekOrigin origin) {
  return plat::Current().Seek(handle_, offset, origin);
}

int64_t FileStream::Position() {
  return Seek(0, plat::SeekOrigin::kCurrent);
}

int64_t FileStream::Size() {
  int64_t here = Position();
  int64_t size = Seek(0, plat::SeekOrigin::kEnd);
  Seek(here, plat::SeekOrigin::kBegin);
  return size;
}

int32_t FileStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  uint32_t done = 0;
  if (!plat::Current().Read(handle_, buffer, static_cast<uint32_t>(count), done)) return 0;
  return static_cast<int32_t>(done);
}

void FileStream::ReadBuffer(void* buffer, size_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    int32_t want = static_cast<int32_t>(std::min<size_t>(count, 1u << 30));
    int32_t got = Read(p, want);
    if (got <= 0) RaiseReadError();
    p += got;
    count -= static_cast<size_t>(got);
  }
}

void FileStream::WriteBuffer(const void* buffer, size_t count) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    uint32_t want = static_cast<uint32_t>(std::min<size_t>(count, 1u << 30));
    uint32_t done = 0;
    if (!plat::Current().Write(handle_, p, want, done) || done == 0) RaiseWriteError();
    p += done;
    count -= done;
  }
}

}  // namespace se
