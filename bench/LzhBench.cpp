// LZH encode/decode throughput next to zlib deflate (level 6) / inflate on the same bytes in the
// same run, each the best of a few runs by the thread's CPU time (steady on a machine that other
// jobs share). Checks both round trips. Usage:
//   lzh_bench [--runs N] [--encode-target X] [--decode-target X] FILE...
// A target applies to the files after it; a ratio is LZH's speed over zlib's.
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class F>
double BestSeconds(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double t0 = CpuSeconds();
    f();
    best = std::min(best, CpuSeconds() - t0);
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

void PrintRow(const char* what, double lzh, double zlib, double target) {
  const double ratio = lzh / zlib;
  std::printf("  %-7s LZH %7.1f MB/s   zlib %7.1f MB/s   %5.2f x", what, lzh, zlib, ratio);
  if (target > 0)
    std::printf("   (target >= %.1f x: %s)", target, ratio >= target ? "met" : "NOT met");
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  double encodeTarget = 0;
  double decodeTarget = 0;
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--runs" || arg == "--encode-target" || arg == "--decode-target") && i + 1 < argc) {
      const char* value = argv[++i];
      if (arg == "--runs") runs = std::max(1, std::atoi(value));
      if (arg == "--encode-target") encodeTarget = std::atof(value);
      if (arg == "--decode-target") decodeTarget = std::atof(value);
      continue;
    }
    std::ifstream f(arg, std::ios::binary);
    const Bytes data((std::istreambuf_iterator<char>(f)), {});
    if (data.empty()) {
      std::fprintf(stderr, "%s: empty or unreadable\n", arg.c_str());
      return 1;
    }
    ++files;
    const double mb = static_cast<double>(data.size()) / 1e6;
    Bytes lzh, z, back, zback;
    const double lzhEnc = BestSeconds(runs, [&] { lzh = LzhRun(true, data); });
    const double lzhDec = BestSeconds(runs, [&] { back = LzhRun(false, lzh); });
    const double zEnc = BestSeconds(runs, [&] { z = Deflate(data); });
    const double zDec = BestSeconds(runs, [&] { zback = Inflate(z, data.size()); });
    if (back != data || zback != data) {
      std::fprintf(stderr, "%s: round trip failed\n", arg.c_str());
      return 1;
    }
    const std::string name = arg.substr(arg.find_last_of('/') + 1);
    std::printf("%s: %.2f MB; compressed to %.1f %% (LZH), %.1f %% (zlib)\n", name.c_str(), mb,
                100.0 * static_cast<double>(lzh.size()) / static_cast<double>(data.size()),
                100.0 * static_cast<double>(z.size()) / static_cast<double>(data.size()));
    PrintRow("encode", mb / lzhEnc, mb / zEnc, encodeTarget);
    PrintRow("decode", mb / lzhDec, mb / zDec, decodeTarget);
  }
  if (files == 0) {
    std::fprintf(stderr,
                 "usage: lzh_bench [--runs N] [--encode-target X] [--decode-target X] FILE...\n");
    return 2;
  }
  return 0;
}
