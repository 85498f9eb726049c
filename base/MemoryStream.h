// A growable byte buffer with a size and a position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace se {

class FileStream;

// The memory streams' allocator: the heap, below an optional ceiling on any one block, so that
// tests can make a payload buffer run out of memory.
template <typename T>
struct StreamAllocator {
  using value_type = T;
  StreamAllocator() = default;
  template <typename U>
  StreamAllocator(const StreamAllocator<U>&) noexcept {}
  T* allocate(size_t n);
  void deallocate(T* p, size_t) noexcept { ::operator delete(p); }
  bool operator==(const StreamAllocator&) const noexcept { return true; }
};

class MemoryStream {
 public:
  MemoryStream() = default;

  int64_t Size() const noexcept { return static_cast<int64_t>(data_.size()); }
  int64_t Position() const noexcept { return position_; }
  void SetPosition(int64_t position) noexcept { position_ = position < 0 ? 0 : position; }
  uint8_t* Memory() noexcept { return data_.data(); }
  const uint8_t* Memory() const noexcept { return data_.data(); }

  // Copies up to `count` bytes from the position on; returns the count copied.
  size_t Read(void* buffer, size_t count) noexcept;
  // Writes at the position, growing the stream as needed; raises EOutOfMemory when it cannot.
  void Write(const void* buffer, size_t count);
  void WriteByte(uint8_t byte) {
    if (position_ == Size()) {
      Append(byte);
    } else {
      Write(&byte, 1);
    }
  }
  // Size 0, position 0, memory given back.
  void Clear() noexcept;
  // Makes room for `capacity` bytes in advance; raises EOutOfMemory when it cannot.
  void Reserve(size_t capacity);

  // Copies exactly `count` bytes from the file's position into this stream at its position;
  // raises EReadError when the file ends first. Memory grows with the bytes actually read.
  void CopyFrom(FileStream& source, int64_t count);
  // Writes the whole content to `path`, created or truncated, with exclusive access.
  void SaveToFile(const std::string& path) const;

  // Largest block any memory stream may hold; larger growth fails as out of memory. For tests.
  static void SetBlockLimit(size_t bytes) noexcept;

 private:
  void Append(uint8_t byte);

  std::vector<uint8_t, StreamAllocator<uint8_t>> data_;
  int64_t position_ = 0;
};

size_t MemoryStreamBlockLimit() noexcept;

template <typename T>
T* StreamAllocator<T>::allocate(size_t n) {
  if (n > MemoryStreamBlockLimit() / sizeof(T)) throw std::bad_alloc();
  return static_cast<T*>(::operator new(n * sizeof(T)));
}

}  // namespace se
