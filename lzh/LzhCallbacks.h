// Byte callbacks of the coders: a function bound to an object, as cheap to call as a
// plain function pointer (no allocation, no type erasure beyond one indirect call).
#pragma once

#include <cstdint>

namespace lzh {

// Fills `buffer` with up to `count` bytes; `actual` below `count` means the input is used up.
struct TLzhReadProc {
  using Fn = void (*)(void* self, uint8_t* buffer, uint16_t count, uint16_t& actual);
  void* Self = nullptr;
  Fn Call = nullptr;

  void operator()(uint8_t* buffer, uint16_t count, uint16_t& actual) const {
    Call(Self, buffer, count, actual);
  }

  // Binds a member function `void T::M(uint8_t*, uint16_t, uint16_t&)` to `object`.
  template <auto Method, class T>
  static TLzhReadProc Bind(T* object) {
    return {object, [](void* self, uint8_t* buffer, uint16_t count, uint16_t& actual) {
              (static_cast<T*>(self)->*Method)(buffer, count, actual);
            }};
  }
};

// Takes `count` bytes from `buffer`; reports in `actual` how many were taken.
struct TLzhWriteProc {
  using Fn = void (*)(void* self, const uint8_t* buffer, uint16_t count, uint16_t& actual);
  void* Self = nullptr;
  Fn Call = nullptr;

  void operator()(const uint8_t* buffer, uint16_t count, uint16_t& actual) const {
    Call(Self, buffer, count, actual);
  }

  template <auto Method, class T>
  static TLzhWriteProc Bind(T* object) {
    return {object, [](void* self, const uint8_t* buffer, uint16_t count, uint16_t& actual) {
              (static_cast<T*>(self)->*Method)(buffer, count, actual);
            }};
  }
};

}  // namespace lzh
