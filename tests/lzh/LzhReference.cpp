#include "tests/lzh/LzhReference.h"

#include <cstring>
#include <memory>

namespace lzh_ref {
namespace {

constexpr int N = 4096, F = 60, Threshold = 2, NChar = 256 - Threshold + F;  // 314 symbols
constexpr int T = 2 * NChar - 1, R = T - 1, MaxFreq = 0x8000, Nil = N;

struct Model {
  uint16_t freq[T + 1];
  int16_t prnt[T + NChar];
  int16_t son[T];

  Model() {
    for (int i = 0; i < NChar; ++i) {
      freq[i] = 1;
      son[i] = static_cast<int16_t>(i + T);
      prnt[i + T] = static_cast<int16_t>(i);
    }
    for (int i = 0, j = NChar; j <= R; i += 2, ++j) {
      freq[j] = static_cast<uint16_t>(freq[i] + freq[i + 1]);
      son[j] = static_cast<int16_t>(i);
      prnt[i] = prnt[i + 1] = static_cast<int16_t>(j);
    }
    freq[T] = 0xFFFF;
    prnt[R] = 0;
  }

  void Rebuild() {
    for (int i = 0, j = 0; i < T; ++i) {
      if (son[i] >= T) {
        freq[j] = static_cast<uint16_t>((freq[i] + 1) / 2);
        son[j] = son[i];
        ++j;
      }
    }
    for (int i = 0, j = NChar; j < T; i += 2, ++j) {
      const uint16_t f = static_cast<uint16_t>(freq[i] + freq[i + 1]);
      int k = j - 1;
      while (f < freq[k]) --k;
      ++k;
      for (int m = j; m > k; --m) {
        freq[m] = freq[m - 1];
        son[m] = son[m - 1];
      }
      freq[k] = f;
      son[k] = static_cast<int16_t>(i);
    }
    for (int i = 0; i < T; ++i) {
      const int k = son[i];
      prnt[k] = static_cast<int16_t>(i);
      if (k < T) prnt[k + 1] = static_cast<int16_t>(i);
    }
  }

  void Update(int c) {
    if (freq[R] == MaxFreq) Rebuild();
    int n = prnt[c + T];
    do {
      const uint16_t k = ++freq[n];
      if (freq[n + 1] < k) {
        int l = n + 1;
        while (freq[l] < k) ++l;
        --l;
        freq[n] = freq[l];
        freq[l] = k;
        const int i = son[n];
        prnt[i] = static_cast<int16_t>(l);
        if (i < T) prnt[i + 1] = static_cast<int16_t>(l);
        const int j = son[l];
        son[l] = static_cast<int16_t>(i);
        prnt[j] = static_cast<int16_t>(n);
        if (j < T) prnt[j + 1] = static_cast<int16_t>(n);
        son[n] = static_cast<int16_t>(j);
        n = l;
      }
      n = prnt[n];
    } while (n != 0);
  }
};

// Prefix code of the upper 6 offset bits: (count, length) runs in value order.
constexpr int kRuns[][2] = {{1, 3}, {3, 4}, {8, 5}, {12, 6}, {24, 7}, {16, 8}};

struct Encoder {
  const Bytes& in;
  size_t inPos = 0;
  Bytes out;
  uint8_t text[N + F - 1];
  int lson[N + 1], rson[N + 257], dad[N + 1];
  int matchLength = 0, matchPosition = 0;
  std::vector<bool> bits;
  Model model;

  explicit Encoder(const Bytes& input) : in(input) {}

  bool Next(uint8_t& c) {
    if (inPos >= in.size()) return false;
    c = in[inPos++];
    return true;
  }

  void Insert(int r) {
    int cmp = 1;
    const uint8_t* key = &text[r];
    int p = N + 1 + key[0];
    rson[r] = lson[r] = Nil;
    matchLength = 0;
    for (;;) {
      if (cmp >= 0) {
        if (rson[p] != Nil) {
          p = rson[p];
        } else {
          rson[p] = r;
          dad[r] = p;
          return;
        }
      } else {
        if (lson[p] != Nil) {
          p = lson[p];
        } else {
          lson[p] = r;
          dad[r] = p;
          return;
        }
      }
      int i = 1;
      for (; i < F; ++i) {
        cmp = key[i] - text[p + i];
        if (cmp != 0) break;
      }
      if (i > Threshold) {
        const int c = ((r - p) & (N - 1)) - 1;
        if (i > matchLength) {
          matchPosition = c;
          matchLength = i;
          if (matchLength >= F) break;
        } else if (i == matchLength && c < matchPosition) {
          matchPosition = c;
        }
      }
    }
    dad[r] = dad[p];
    lson[r] = lson[p];
    rson[r] = rson[p];
    dad[lson[p]] = r;
    dad[rson[p]] = r;
    if (rson[dad[p]] == p) {
      rson[dad[p]] = r;
    } else {
      lson[dad[p]] = r;
    }
    dad[p] = Nil;
  }

  void Delete(int p) {
    if (dad[p] == Nil) return;
    int q;
    if (rson[p] == Nil) {
      q = lson[p];
    } else if (lson[p] == Nil) {
      q = rson[p];
    } else {
      q = lson[p];
      if (rson[q] != Nil) {
        do q = rson[q];
        while (rson[q] != Nil);
        rson[dad[q]] = lson[q];
        dad[lson[q]] = dad[q];
        lson[q] = lson[p];
        dad[lson[p]] = q;
      }
      rson[q] = rson[p];
      dad[rson[p]] = q;
    }
    dad[q] = dad[p];
    if (rson[dad[p]] == p) {
      rson[dad[p]] = q;
    } else {
      lson[dad[p]] = q;
    }
    dad[p] = Nil;
  }

  void PutBits(unsigned value, int n) {
    for (int i = n - 1; i >= 0; --i) bits.push_back((value >> i) & 1);
  }

  void EncodeChar(int c) {
    std::vector<bool> code;
    for (int k = model.prnt[c + T]; k != R; k = model.prnt[k]) code.push_back(k & 1);
    for (auto it = code.rbegin(); it != code.rend(); ++it) bits.push_back(*it);
    model.Update(c);
  }

  void EncodePosition(int c) {
    int high = c >> 6, code = 0, value = 0;
    for (const auto& run : kRuns) {
      for (int i = 0; i < run[0]; ++i, ++value) {
        if (value == high) {
          PutBits(static_cast<unsigned>(code), run[1]);
          PutBits(static_cast<unsigned>(c & 63), 6);
          return;
        }
        code += 1;
      }
      code <<= 1;  // the next run's codes are one bit longer
    }
  }

  Bytes Run() {
    for (int i = N + 1; i <= N + 256; ++i) rson[i] = Nil;
    for (int i = 0; i < N; ++i) dad[i] = Nil;
    dad[N] = Nil;
    int s = 0, r = N - F;
    std::memset(text, ' ', sizeof text);
    int len = 0;
    uint8_t c;
    while (len < F && Next(c)) text[r + len++] = c;
    for (int i = 1; i <= F; ++i) Insert(r - i);
    Insert(r);
    int32_t coded = len;
    do {
      if (matchLength > len) matchLength = len;
      if (matchLength <= Threshold) {
        matchLength = 1;
        EncodeChar(text[r]);
      } else {
        EncodeChar(255 - Threshold + matchLength);
        EncodePosition(matchPosition);
      }
      const int last = matchLength;
      int i = 0;
      for (; i < last && Next(c); ++i) {
        Delete(s);
        text[s] = c;
        if (s < F - 1) text[s + N] = c;
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        Insert(r);
      }
      coded += i;
      while (i++ < last) {
        Delete(s);
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        if (--len) Insert(r);
      }
    } while (len > 0);
    Bytes stream((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i) {
      if (bits[i]) stream[i / 8] = static_cast<uint8_t>(stream[i / 8] | 0x80 >> (i % 8));
    }
    for (int b = 0; b < 4; ++b) stream.push_back(static_cast<uint8_t>(coded >> (8 * b)));
    return stream;
  }
};

struct Decoder {
  const Bytes& in;
  Decoded result;
  unsigned buf = 0;
  int len = 0;
  Model model;

  explicit Decoder(const Bytes& lzh) : in(lzh) {}

  int Bit() {
    while (len <= 8) {
      uint8_t c = 0;
      if (static_cast<size_t>(result.inPos) < in.size()) c = in[result.inPos++];
      result.progress.push_back(static_cast<int32_t>(in.size()) - result.inPos);
      buf |= static_cast<unsigned>(c) << (8 - len);
      len += 8;
    }
    const int bit = (buf >> 15) & 1;
    buf = (buf << 1) & 0xFFFF;
    --len;
    return bit;
  }

  void Run() {
    const size_t n = in.size();
    const int32_t size = static_cast<int32_t>(in[n - 4] | in[n - 3] << 8 | in[n - 2] << 16 |
                                              static_cast<uint32_t>(in[n - 1]) << 24);
    uint8_t text[N];
    std::memset(text, ' ', sizeof text);
    int r = N - F;
    for (int32_t count = 0; count < size;) {
      int c = model.son[R];
      while (c < T) c = model.son[c + Bit()];
      c -= T;
      model.Update(c);
      if (c < 256) {
        result.out.push_back(static_cast<uint8_t>(c));
        text[r++] = static_cast<uint8_t>(c);
        r &= N - 1;
        ++count;
        continue;
      }
      // Offset: the prefix code's value by walking its runs, then the 6 lower bits.
      int code = 0, length = 0, value = 0, first = 0, high = -1;
      for (const auto& run : kRuns) {
        while (length < run[1]) {
          code = 2 * code + Bit();
          ++length;
        }
        if (code - first < run[0]) {
          high = value + code - first;
          break;
        }
        value += run[0];
        first = (first + run[0]) << 1;
      }
      int low = 0;
      for (int i = 0; i < 6; ++i) low = 2 * low + Bit();
      const int src = r - (high * 64 + low) - 1;
      for (int k = 0; k < c - 253; ++k) {
        const uint8_t b = text[(src + k) & (N - 1)];
        result.out.push_back(b);
        text[r++] = b;
        r &= N - 1;
        ++count;
      }
    }
  }
};

}  // namespace

Bytes Compress(const Bytes& input) {
  auto encoder = std::make_unique<Encoder>(input);
  return encoder->Run();
}

Decoded Decompress(const Bytes& lzh) {
  auto decoder = std::make_unique<Decoder>(lzh);
  decoder->Run();
  return std::move(decoder->result);
}

}  // namespace lzh_ref
