// Writes the seed corpora under fuzz/corpus/ from the cabinet fixtures and the codec's own
// output: `fuzz_make_seeds <source dir>`. Seeds are committed; rerun after a format change.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "extractor/PackageLayout.h"
#include "lzh/LzhCodec.h"
#include "tests/support/CabBuilder.h"

namespace fs = std::filesystem;

namespace {

std::string Load(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Save(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Compress(const std::string& plain) {
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = reinterpret_cast<const uint8_t*>(plain.data());
  codec.FInSize = static_cast<int32_t>(plain.size());
  codec.FOutStream = &out;
  if (!codec.Compress()) throw std::runtime_error("compression failed");
  return {reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size())};
}

// A decoder seed: the size to produce (2 bytes) and the bit stream without its size word.
std::string DecodeSeed(const std::string& stream, uint16_t outSize) {
  std::string seed{static_cast<char>(outSize & 0xFF), static_cast<char>(outSize >> 8)};
  return seed + stream;
}

std::string PathSeed(uint32_t flags, const std::string& name) {
  std::string seed;
  for (int i = 0; i < 4; ++i) seed += static_cast<char>((flags >> (8 * i)) & 0xFF);
  return seed + name;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: fuzz_make_seeds <source dir>\n";
    return 2;
  }
  const fs::path root = argv[1];
  const fs::path cabs = root / "tests/fixtures/cab";
  const fs::path out = root / "fuzz/corpus";

  const std::string text = "Hello, hello, hello! A small text with repeats: abcabcabcabc.\n";
  const std::string stored = Load(cabs / "stored.cab");
  const std::string attribs = Load(cabs / "attribs.cab");

  // The decoder: streams the encoder made, and the hand-made ones of the edge cases.
  for (const auto& [name, plain] : {std::pair{"text", text}, {"attribs", attribs}}) {
    std::string stream = Compress(plain);
    stream.resize(stream.size() - 4);
    Save(out / "lzh_decode" / name, DecodeSeed(stream, static_cast<uint16_t>(plain.size())));
  }
  Save(out / "lzh_decode/literal", DecodeSeed(std::string("\x00\x00", 2), 1));
  Save(out / "lzh_decode/match", DecodeSeed(std::string("\x8C\x00\x00", 3), 3));
  Save(out / "lzh_decode/literal-match", DecodeSeed(std::string("\xE6\xC6\x00\x00", 4), 4));
  // No stream at all and the largest size: zero bits decode to enough symbols for rebuilds.
  Save(out / "lzh_decode/zeros-rebuild", DecodeSeed("", 0xFF3F));

  Save(out / "lzh_roundtrip/text", text);
  Save(out / "lzh_roundtrip/attribs", attribs);
  Save(out / "lzh_roundtrip/runs", std::string(300, 'a') + std::string(200, '\0') + text);

  // The stand-in and the reader over it: the fixtures, a set as one input, and names that try
  // to leave the destination, also from the later cabinet of a set.
  using testing_support::MakeStoredCabinet;
  for (const char* dir : {"cabinet_standin", "cab_reader"}) {
    for (const char* name : {"stored.cab", "mszip.cab", "lzx.cab", "attribs.cab",
                             "truncated-header.cab", "corrupt.cab"}) {
      Save(out / dir / name, Load(cabs / name));
    }
    Save(out / dir / "set2", Load(cabs / "set2_1.cab") + Load(cabs / "set2_2.cab"));
  }
  Save(out / "cab_reader/climbing-names", MakeStoredCabinet({{"..\\up", "x"},
                                                             {"sub\\..\\..\\x", "x"},
                                                             {"\\root", "x"},
                                                             {"C:\\drive", "x"},
                                                             {"a:stream", "x"},
                                                             {"ctl\x01", "x"},
                                                             {"sub\\ok.txt", "fine"}}));
  Save(out / "cab_reader/set-later-climbs",
       MakeStoredCabinet({{"first.txt", "one"}}, {"", "set2_2.cab", 0}) +
           MakeStoredCabinet({{"..\\..\\later", "two"}}, {"kem.cab", "", 1}));

  const uint32_t target = 0x8321, read = 0x8000;
  Save(out / "cab_paths/plain", PathSeed(target, "a.txt"));
  Save(out / "cab_paths/nested", PathSeed(target, "sub\\dir\\a.txt"));
  Save(out / "cab_paths/parent", PathSeed(read, "sub\\..\\..\\x"));
  Save(out / "cab_paths/absolute", PathSeed(0x0502, "\\x"));
  Save(out / "cab_paths/drive", PathSeed(0x1140, "C:\\x"));
  Save(out / "cab_paths/dots", PathSeed(0x0109, "a/./.../b"));

  // Whole packages: a stand-in program image, then the tail the packer appends.
  const std::string image = "MZ" + std::string(62, '\0');
  const std::string stream = Compress(stored);
  Save(out / "package/one-entry", image + extractor::PackageTail({{"kem.cab", stream}}, ""));
  Save(out / "package/prompt-two-entries",
       image + extractor::PackageTail({{"kem.cab", stream}, {"", Compress(attribs)}},
                                      "Install the demo?"));
  Save(out / "package/no-entries", image + extractor::PackageTail({}, "Go?"));
  return 0;
}
