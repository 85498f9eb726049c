// Upper-case hexadecimal text, without the C library's printf (which would more than double
// the size of the Windows stub).
#pragma once

#include <cstdint>
#include <string>

namespace se {

// `value` in upper-case hex digits, zero-padded on the left to at least `minDigits`, never cut.
inline std::string UpperHex(uint64_t value, int minDigits) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  std::string text(minDigits > n ? static_cast<size_t>(minDigits - n) : 0, '0');
  while (n > 0) text += digits[--n];
  return text;
}

}  // namespace se
