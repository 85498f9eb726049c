// Fixed prefix code for the upper 6 bits of a 12-bit match offset (canonical; 3 to 8 bits),
// in the forms the encoder sends and the decoder inverts.
#pragma once

#include <array>
#include <cstdint>

namespace lzh {
namespace detail {

// (how many values, code length) in value order.
inline constexpr int kOffsetCodeRuns[][2] = {{1, 3}, {3, 4}, {8, 5}, {12, 6}, {24, 7}, {16, 8}};

struct OffsetCodeTables {
  std::array<uint8_t, 64> length{};    // by upper 6 bits
  std::array<uint8_t, 64> bits{};      // code in the top bits of a byte
  std::array<uint8_t, 256> high{};     // by the next 8 stream bits
  std::array<uint8_t, 256> highLen{};  // by the next 8 stream bits
};

constexpr OffsetCodeTables MakeOffsetCodeTables() {
  OffsetCodeTables t;
  int code = 0;  // left-aligned in 8 bits; each next code is the previous plus one
  int value = 0;
  for (const auto& run : kOffsetCodeRuns) {
    const int step = 256 >> run[1];
    for (int n = 0; n < run[0]; ++n, ++value, code += step) {
      t.length[value] = static_cast<uint8_t>(run[1]);
      t.bits[value] = static_cast<uint8_t>(code);
      for (int b = code; b < code + step; ++b) {
        t.high[b] = static_cast<uint8_t>(value);
        t.highLen[b] = static_cast<uint8_t>(run[1]);
      }
    }
  }
  return t;
}

inline constexpr OffsetCodeTables kOffsetCode = MakeOffsetCodeTables();

}  // namespace detail

inline constexpr const std::array<uint8_t, 64>& OffsetCodeLength = detail::kOffsetCode.length;
inline constexpr const std::array<uint8_t, 64>& OffsetCodeBits = detail::kOffsetCode.bits;
inline constexpr const std::array<uint8_t, 256>& OffsetHigh = detail::kOffsetCode.high;
inline constexpr const std::array<uint8_t, 256>& OffsetBits = detail::kOffsetCode.highLen;

static_assert(OffsetCodeBits[1] == 0x20 && OffsetCodeBits[4] == 0x50 &&
              OffsetCodeBits[12] == 0x90 && OffsetCodeBits[24] == 0xC0 &&
              OffsetCodeBits[48] == 0xF0 && OffsetCodeBits[63] == 0xFF);

}  // namespace lzh
