// sepack compress/decompress as a user runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "lzh/LzhCodec.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

class SepackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sepack_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs sepack with `args`; returns the exit code and keeps stderr in err_.
  int Sepack(const std::string& args) {
    const std::string errFile = Path("stderr.txt");
    const std::string command =
        std::string("'") + SEPACK_PATH + "' " + args + " 2>'" + errFile + "'";
    const int status = std::system(command.c_str());
    std::ifstream in(errFile);
    err_.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static void Write(const std::string& path, const Bytes& data) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
  }
  static Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_))
      names.push_back(e.path().filename().string());
    return names;
  }

  fs::path dir_;
  std::string err_;
};

Bytes Sample() {
  std::mt19937 rng(11);
  Bytes data;
  while (data.size() < 200000) {
    if (rng() % 3) {
      data.insert(data.end(), 1 + rng() % 40, static_cast<uint8_t>('a' + rng() % 6));
    } else {
      data.push_back(static_cast<uint8_t>(rng()));
    }
  }
  return data;
}

TEST_F(SepackTest, CompressMatchesCodecAndDecompressRestores) {
  const Bytes input = Sample();
  Write(Path("in.bin"), input);
  ASSERT_EQ(Sepack("compress '" + Path("in.bin") + "' '" + Path("in.lzh") + "'"), 0) << err_;
  ASSERT_EQ(Sepack("decompress '" + Path("in.lzh") + "' '" + Path("out.bin") + "'"), 0) << err_;
  EXPECT_TRUE(Read(Path("out.bin")) == input);

  se::MemoryStream expected;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = input.data();
  codec.FInSize = static_cast<int32_t>(input.size());
  codec.FOutStream = &expected;
  ASSERT_TRUE(codec.Compress());
  EXPECT_TRUE(Read(Path("in.lzh")) ==
              Bytes(expected.Memory(), expected.Memory() + expected.Size()));
  EXPECT_EQ(Files().size(), 3u);  // no temporary files left
}

TEST_F(SepackTest, EmptyFileRoundTrips) {
  Write(Path("empty"), {});
  ASSERT_EQ(Sepack("compress '" + Path("empty") + "' '" + Path("e.lzh") + "'"), 0) << err_;
  ASSERT_EQ(Sepack("decompress '" + Path("e.lzh") + "' '" + Path("e.out") + "'"), 0) << err_;
  EXPECT_TRUE(Read(Path("e.out")).empty());
}

TEST_F(SepackTest, FailuresExplainAndLeaveNoOutput) {
  Write(Path("short.lzh"), {0, 0, 1, 0});
  Write(Path("old"), {'k', 'e', 'e', 'p'});
  const struct {
    std::string args;
    const char* message;
    const char* out;
  } cases[] = {
      {"compress '" + Path("missing") + "' '" + Path("o1") + "'", "missing", "o1"},
      {"decompress '" + Path("missing") + "' '" + Path("o2") + "'", "missing", "o2"},
      {"decompress '" + Path("short.lzh") + "' '" + Path("o3") + "'", "not an LZH stream", "o3"},
      {"compress '" + dir_.string() + "' '" + Path("o4") + "'", "cannot read", "o4"},
      {"compress '" + Path("missing") + "' '" + Path("old") + "'", "missing", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_NE(Sepack(c.args), 0) << c.args;
    EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
    if (c.out) {
      EXPECT_FALSE(fs::exists(Path(c.out))) << c.args;
    }
  }
  EXPECT_EQ(Read(Path("old")), (Bytes{'k', 'e', 'e', 'p'}));  // an existing OUT stays intact
  EXPECT_EQ(Files().size(), 2u);
}

TEST_F(SepackTest, UsageHelpAndVersion) {
  EXPECT_EQ(Sepack("--help >/dev/null"), 0);
  EXPECT_EQ(Sepack("--version >/dev/null"), 0);
  EXPECT_EQ(Sepack(""), 2);
  EXPECT_NE(err_.find("usage"), std::string::npos);
  EXPECT_EQ(Sepack("frobnicate"), 2);
  EXPECT_NE(err_.find("unknown command"), std::string::npos);
  EXPECT_EQ(Sepack("compress onlyone"), 2);
  EXPECT_NE(err_.find("usage: sepack compress IN OUT"), std::string::npos);
}

}  // namespace
