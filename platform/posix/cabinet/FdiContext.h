// An FDI context: the caller's memory and file callbacks, the error record, and the pieces built
// on them (an allocator for our own containers, a libmspack system over the same callbacks).
#pragma once

#include <mspack.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "platform/posix/cabinet/Fdi.h"

namespace cabinet_standin {

struct Callbacks {
  PFNALLOC alloc;
  PFNFREE free;
  PFNOPEN open;
  PFNREAD read;
  PFNWRITE write;
  PFNCLOSE close;
  PFNSEEK seek;
};

// Raised inside the stand-in when the caller's alloc callback fails; never crosses an export.
struct OutOfMemory {};

// Routes container memory through the caller's alloc and free callbacks.
template <class T>
struct CallbackAllocator {
  using value_type = T;
  const Callbacks* callbacks;

  explicit CallbackAllocator(const Callbacks* c) : callbacks(c) {}
  template <class U>
  CallbackAllocator(const CallbackAllocator<U>& other) : callbacks(other.callbacks) {}

  T* allocate(std::size_t n) {
    if (n > UINT32_MAX / sizeof(T)) throw OutOfMemory{};
    void* p = callbacks->alloc(static_cast<std::uint32_t>(n * sizeof(T)));
    if (!p) throw OutOfMemory{};
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) { callbacks->free(p); }
  template <class U>
  bool operator==(const CallbackAllocator<U>& other) const {
    return callbacks == other.callbacks;
  }
};

using String = std::basic_string<char, std::char_traits<char>, CallbackAllocator<char>>;
template <class T>
using Vector = std::vector<T, CallbackAllocator<T>>;

// A file libmspack works on: a cabinet it opened through the caller's open callback (owned), or
// the caller's open target handle, handed to libmspack as the "file name" of the output.
struct MspackBridge;
struct MspackFile {
  MspackBridge* bridge;
  std::intptr_t hf;
  bool owned;
  // Owned files still open, so that none outlives an FDICopy call.
  MspackFile* prev = nullptr;
  MspackFile* next = nullptr;
};

// libmspack's system interface over the caller's callbacks. The struct starts with the
// mspack_system libmspack is given, so its callbacks can find the rest.
struct MspackBridge {
  mspack_system system;
  const Callbacks* callbacks;
  MspackFile* open = nullptr;
  bool allocFailed = false;  // an open failed for want of memory, not for want of the file

  explicit MspackBridge(const Callbacks* c);
  // Closes whatever libmspack left open.
  void CloseAll();
};

// libmspack hands its decompressors a copy of the system interface, so its alloc cannot find
// the callbacks through its argument; they are those of the FDI call under way on this thread.
class ActiveCallbacks {
 public:
  explicit ActiveCallbacks(const Callbacks* c) : saved_(current_) { current_ = c; }
  ~ActiveCallbacks() { current_ = saved_; }
  ActiveCallbacks(const ActiveCallbacks&) = delete;
  ActiveCallbacks& operator=(const ActiveCallbacks&) = delete;
  static const Callbacks* Get() { return current_; }

 private:
  const Callbacks* saved_;
  static inline thread_local const Callbacks* current_ = nullptr;
};

struct FdiContext {
  static constexpr std::uint32_t kMagic = 0x49444653;  // "SFDI"
  std::uint32_t magic = kMagic;
  Callbacks callbacks;
  ERF* erf;
  MspackBridge bridge;

  FdiContext(const Callbacks& c, ERF* e) : callbacks(c), erf(e), bridge(&callbacks) {}

  void Fail(int oper, int type = 0) {
    erf->erfOper = oper;
    erf->erfType = type;
    erf->fError = 1;
  }
  CallbackAllocator<char> Allocator() const { return CallbackAllocator<char>(&callbacks); }
};

}  // namespace cabinet_standin
