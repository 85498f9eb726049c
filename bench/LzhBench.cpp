// LZH encode/decode throughput and ratio, next to zlib deflate (level 6) / inflate on the same
// bytes in the same run. Usage: lzh_bench FILE...
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Best of a few runs, so that one slow run (another process) does not skew the figure.
template <class F>
double BestSeconds(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

Bytes LzhRun(bool compress, const Bytes& in) {
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = in.data();
  codec.FInSize = static_cast<int32_t>(in.size());
  codec.FOutStream = &out;
  if (!(compress ? codec.Compress() : codec.Decompress())) std::fprintf(stderr, "codec failed\n");
  return Bytes(out.Memory(), out.Memory() + out.Size());
}

Bytes Deflate(const Bytes& in) {
  uLongf size = compressBound(in.size());
  Bytes out(size);
  compress2(out.data(), &size, in.data(), in.size(), 6);
  out.resize(size);
  return out;
}

Bytes Inflate(const Bytes& in, size_t size) {
  Bytes out(size);
  uLongf n = size;
  uncompress(out.data(), &n, in.data(), in.size());
  out.resize(n);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lzh_bench FILE...\n");
    return 2;
  }
  const int runs = 3;
  std::printf("%-28s %9s | %7s %7s | %9s %9s | %9s %9s | %7s %7s\n", "file", "MB", "lzh %",
              "zlib %", "lzh enc", "zlib enc", "lzh dec", "zlib dec", "enc x", "dec x");
  std::printf("%-28s %9s | %7s %7s | %9s %9s | %9s %9s | %7s %7s\n", "", "", "size", "size", "MB/s",
              "MB/s", "MB/s", "MB/s", "lzh/z", "lzh/z");
  for (int i = 1; i < argc; ++i) {
    std::ifstream f(argv[i], std::ios::binary);
    const Bytes data((std::istreambuf_iterator<char>(f)), {});
    if (data.empty()) {
      std::fprintf(stderr, "%s: empty or unreadable\n", argv[i]);
      return 1;
    }
    const double mb = static_cast<double>(data.size()) / 1e6;
    Bytes lzh, z, back, zback;
    const double lzhEnc = BestSeconds(runs, [&] { lzh = LzhRun(true, data); });
    const double lzhDec = BestSeconds(runs, [&] { back = LzhRun(false, lzh); });
    const double zEnc = BestSeconds(runs, [&] { z = Deflate(data); });
    const double zDec = BestSeconds(runs, [&] { zback = Inflate(z, data.size()); });
    if (back != data || zback != data) {
      std::fprintf(stderr, "%s: round trip failed\n", argv[i]);
      return 1;
    }
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    std::printf("%-28s %9.2f | %7.1f %7.1f | %9.1f %9.1f | %9.1f %9.1f | %7.2f %7.2f\n",
                name.c_str(), mb, 100.0 * lzh.size() / data.size(), 100.0 * z.size() / data.size(),
                mb / lzhEnc, mb / zEnc, mb / lzhDec, mb / zDec, zEnc / lzhEnc, zDec / lzhDec);
  }
  return 0;
}
