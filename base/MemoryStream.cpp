#include "base/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "base/Exception.h"

namespace se {
namespace {
[[noreturn]] void RaiseOutOfMemory() {
  throw EOutOfMemory("Out of memory");
}
size_t blockLimit = std::numeric_limits<size_t>::max();
}  // namespace

size_t MemoryStreamBlockLimit() noexcept {
  return blockLimit;
}
void MemoryStream::SetBlockLimit(size_t bytes) noexcept {
  blockLimit = bytes;
}

size_t MemoryStream::Read(void* buffer, size_t count) noexcept {
  if (position_ >= Size()) return 0;
  size_t n = std::min(count, static_cast<size_t>(Size() - position_));
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

void MemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  size_t end = static_cast<size_t>(position_) + count;
  try {
    if (end > data_.size()) data_.resize(end);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory();
  } catch (const std::length_error&) {
    RaiseOutOfMemory();
  }
  std::memcpy(data_.data() + position_, buffer, count);
  position_ = static_cast<int64_t>(end);
}

void MemoryStream::Append(uint8_t byte) {
  try {
    data_.push_back(byte);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory();
  }
  ++position_;
}

void MemoryStream::Clear() noexcept {
  decltype(data_)().swap(data_);
  position_ = 0;
}

void MemoryStream::Reserve(size_t capacity) {
  try {
    data_.reserve(capacity);
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory();
  } catch (const std::length_error&) {
    RaiseOutOfMemory();
  }
}

}  // namespace se
