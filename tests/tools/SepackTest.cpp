// sepack as a user runs it: compress/decompress, make/list/verify, extract-cab, and the
// packages it makes run by the native stub.
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

#include "extractor/PackageLayout.h"
#include "tests/extractor/PackageTestSupport.h"
#include "tests/support/TestPaths.h"

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

  // Runs sepack with `args`; returns the exit code and keeps stdout in out_, stderr in err_.
  int Sepack(const std::string& args) { return Run(std::string("'") + SEPACK_PATH + "' " + args); }
  int Run(const std::string& commandLine) {
    const std::string outFile = Path("stdout.txt");
    const std::string errFile = Path("stderr.txt");
    const std::string command = commandLine + " >>'" + outFile + "' 2>'" + errFile + "'";
    const int status = std::system(command.c_str());
    out_ = Text(outFile);
    err_ = Text(errFile);
    fs::remove(outFile);
    fs::remove(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string Text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::string Quote(const std::string& path) { return "'" + path + "'"; }

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
  std::string out_;
  std::string err_;
};

std::string Fixture(const std::string& name) {
  return testing_support::SourcePath("tests/fixtures/cab/" + name);
}

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

std::string Compressed(const Bytes& input) {
  return testing_support::Compress(std::string(input.begin(), input.end()));
}

TEST_F(SepackTest, CompressMatchesCodecAndDecompressRestores) {
  const Bytes input = Sample();
  Write(Path("in.bin"), input);
  ASSERT_EQ(Sepack("compress '" + Path("in.bin") + "' '" + Path("in.lzh") + "'"), 0) << err_;
  ASSERT_EQ(Sepack("decompress '" + Path("in.lzh") + "' '" + Path("out.bin") + "'"), 0) << err_;
  EXPECT_TRUE(Read(Path("out.bin")) == input);

  const std::string expected = Compressed(input);
  EXPECT_TRUE(Read(Path("in.lzh")) == Bytes(expected.begin(), expected.end()));
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

// The native stub that `sepack make` copies by default: the one built beside sepack.
std::string NativeStub() {
  return (fs::path(SEPACK_PATH).parent_path() / "extractor").string();
}

std::string Bytes2String(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

TEST_F(SepackTest, MakeFromCabinetsWritesTheExactLayoutThatListAndVerifyRead) {
  ASSERT_EQ(Sepack("make -o " + Quote(Path("setup")) + " --prompt 'Install the fixtures?' " +
                   Quote(Fixture("stored.cab")) + " " + Quote(Fixture("mszip.cab"))),
            0)
      << err_;
  const std::string package = Bytes2String(Read(Path("setup")));
  const std::string expected =
      Bytes2String(Read(NativeStub())) +
      extractor::PackageTail({{"kem.cab", Compressed(Read(Fixture("stored.cab")))},
                              {"kem.cab", Compressed(Read(Fixture("mszip.cab")))}},
                             "Install the fixtures?");
  EXPECT_TRUE(package == expected) << "package differs from stub + tail";
  const auto trailer =
      extractor::ReadTrailer(static_cast<int64_t>(package.size()), [&](int64_t at) {
        return extractor::LittleEndian32(reinterpret_cast<const uint8_t*>(package.data()) + at);
      });
  ASSERT_TRUE(trailer.has_value());
  EXPECT_EQ(trailer->promptLength, 21);
  EXPECT_EQ(static_cast<int64_t>(package.size()) - 12 - 21 - trailer->areaSize,
            static_cast<int64_t>(Read(NativeStub()).size()));
  EXPECT_TRUE((fs::status(Path("setup")).permissions() & fs::perms::owner_exec) != fs::perms::none);

  ASSERT_EQ(Sepack("list " + Quote(Path("setup"))), 0) << err_;
  for (const char* part :
       {"prompt: \"Install the fixtures?\"", "entry 1: \"kem.cab\"", "sub\\deep\\notes.txt",
        "entry 2: \"kem.cab\"", "sub\\big.txt", "2020-01-02 03:04:06", "  39493  sub\\big.txt"}) {
    EXPECT_NE(out_.find(part), std::string::npos) << part << "\n" << out_;
  }
  EXPECT_EQ(Sepack("verify " + Quote(Path("setup"))), 0) << out_ << err_;
  EXPECT_NE(out_.find("entry 2: ok, 3 files"), std::string::npos) << out_;
}

// A folder made into a package, then run by the native stub: the question, the extraction
// with subfolders, the launched rux.exe, the clean-up.
TEST_F(SepackTest, PackageMadeFromAFolderRunsItsProgram) {
  fs::create_directories(Path("app/sub"));
  Write(Path("app/rux.exe"), {});
  std::ofstream(Path("app/rux.exe")) << "#!/bin/sh\n"
                                        "echo \"ran in $(pwd)\" > \"$SE_TEST_MARK\"\n"
                                        "cat sub/data.txt >> \"$SE_TEST_MARK\"\n";
  std::ofstream(Path("app/sub/data.txt")) << "payload\n";
  ASSERT_EQ(std::system(("touch -d '2021-03-04 05:06:08' " + Quote(Path("app/sub/data.txt")) +
                         " && chmod a-w " + Quote(Path("app/sub/data.txt")))
                            .c_str()),
            0);

  ASSERT_EQ(
      Sepack("make -o " + Quote(Path("setup")) + " --prompt 'Say hello?' " + Quote(Path("app"))), 0)
      << err_;
  ASSERT_EQ(Sepack("list " + Quote(Path("setup"))), 0) << err_;
  EXPECT_NE(out_.find("---A-  "), std::string::npos) << out_;
  // Local time and read-only, as the folder had them.
  EXPECT_NE(out_.find("R--A-  2021-03-04 05:06:08           8  sub\\data.txt"), std::string::npos)
      << out_;
  EXPECT_NE(out_.find("rux.exe"), std::string::npos) << out_;
  ASSERT_EQ(Sepack("verify " + Quote(Path("setup"))), 0) << out_ << err_;

  fs::create_directory(Path("tmp"));
  Write(Path("yes"), {'y', '\n'});
  const int code = Run("TMPDIR=" + Quote(Path("tmp")) + " SE_TEST_MARK=" + Quote(Path("mark")) +
                       " " + Quote(Path("setup")) + " <" + Quote(Path("yes")));
  EXPECT_EQ(code, 0) << err_;
  EXPECT_NE(err_.find("Say hello?"), std::string::npos) << err_;
  const std::string mark = Text(Path("mark"));
  EXPECT_EQ(mark.rfind("ran in " + Path("tmp") + "/se_", 0), 0u) << mark;
  EXPECT_NE(mark.find("payload"), std::string::npos) << mark;
  EXPECT_TRUE(fs::is_empty(Path("tmp")));  // the work folder is gone
}

TEST_F(SepackTest, MakeRefusesBadInputsAndWritesNothing) {
  Write(Path("nul-prompt"), {'A', 0, 'B'});
  fs::create_directory(Path("empty"));
  Write(Path("huge.cab"), {});
  fs::resize_file(Path("huge.cab"), 2147483648u);  // sparse: nothing is read before the refusal
  // A copy of sepack with no stub beside it and no Windows build next to its build folder.
  fs::create_directories(Path("lone/build/bin"));
  fs::copy_file(SEPACK_PATH, Path("lone/build/bin/sepack"));
  const std::string lone = Quote(Path("lone/build/bin/sepack"));
  const std::string out = " -o " + Quote(Path("out")) + " ";
  const struct {
    std::string command;
    const char* message;
  } cases[] = {
      {"make" + out + Quote(Fixture("notcab.cab")), "is not a cabinet file"},
      {"make" + out + Quote(Fixture("stored.cab")) + " " + Quote(Fixture("truncated.cab")),
       "cut short"},
      {"make" + out + Quote(Fixture("corrupt.cab")), "is damaged"},
      {"make" + out + Quote(Fixture("set2_1.cab")), "part of a cabinet set"},
      {"make" + out + Quote(Path("missing.cab")), "does not exist"},
      {"make" + out + Quote(Path("empty")), "holds no files"},
      {"make" + out + Quote(Path("huge.cab")), "at most 2147483647 bytes"},
      {"make" + out, "no inputs"},
      {"make" + out + "--prompt-file " + Quote(Path("nul-prompt")) + " " +
           Quote(Fixture("stored.cab")),
       "NUL"},
      {"make" + out + "--target win95 " + Quote(Fixture("stored.cab")), "unknown target"},
      {"make" + out + "--stub " + Quote(Path("nostub")) + " " + Quote(Fixture("stored.cab")),
       "nostub"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(Sepack(c.command), 0) << c.command;
    EXPECT_NE(err_.find(c.message), std::string::npos) << c.command << "\n" << err_;
    EXPECT_FALSE(fs::exists(Path("out"))) << c.command;
  }
  const struct {
    const char* target;
    std::string expected;
  } stubs[] = {{"linux", Path("lone/build/bin/extractor")},
               {"win64", Path("lone/build-win64/bin/extractor.exe")},
               {"win32", Path("lone/build-win32/bin/extractor.exe")}};
  for (const auto& s : stubs) {
    EXPECT_NE(
        Run(lone + " make" + out + "--target " + s.target + " " + Quote(Fixture("stored.cab"))), 0);
    EXPECT_NE(err_.find("'" + s.expected + "'"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(Path("out")));
  }
  // Once the Windows build is there, --target finds its stub.
  fs::create_directories(Path("lone/build-win64/bin"));
  Write(Path("lone/build-win64/bin/extractor.exe"), {'M', 'Z', '!'});
  ASSERT_EQ(Run(lone + " make" + out + "--target win64 " + Quote(Fixture("stored.cab"))), 0)
      << err_;
  EXPECT_EQ(Bytes2String(Read(Path("out"))).substr(0, 3), "MZ!");
}

TEST_F(SepackTest, ListAndVerifyRejectWhatIsNotASoundPackage) {
  ASSERT_EQ(Sepack("make -o " + Quote(Path("setup")) + " " + Quote(Fixture("stored.cab"))), 0)
      << err_;
  const std::string good = Bytes2String(Read(Path("setup")));
  const size_t stub = Read(NativeStub()).size();
  const size_t data = stub + 4 + 8 + 7;  // entry count, sizes, "kem.cab"
  const size_t dataSize = good.size() - 12 - data;
  auto damaged = [&](const std::string& name, auto change) {
    std::string bytes = good;
    change(bytes);
    Write(Path(name), Bytes(bytes.begin(), bytes.end()));
    return Path(name);
  };
  auto put32 = [](std::string& b, size_t at, int32_t v) {
    std::string le;
    extractor::AppendLittleEndian32(le, v);
    b.replace(at, 4, le);
  };
  const struct {
    std::string package;
    const char* message;
    bool headerDamage;  // list, which reads no file data, notices only this
  } cases[] = {
      // Bytes flipped inside the entry's data, early and late.
      {damaged("early", [&](std::string& b) { b[data + dataSize / 4] ^= 0x5A; }), "FAILED", false},
      {damaged("late", [&](std::string& b) { b[data + dataSize * 3 / 4] ^= 0x5A; }), "FAILED",
       false},
      // A size word no stream of this length decodes to: refused, not allocated.
      {damaged("word", [&](std::string& b) { put32(b, data + dataSize - 4, 0x7FFFFFFF); }),
       "size word", false},
      // Header fields that point past the payload area.
      {damaged("size", [&](std::string& b) { put32(b, stub + 4, 0x7FFFFFFF); }), "passes the end",
       true},
      {damaged("name", [&](std::string& b) { put32(b, stub + 8, -1); }), "name length", true},
      {damaged("count", [&](std::string& b) { put32(b, stub, 1000); }), "entry 2 of 1000", true},
  };
  for (const auto& c : cases) {
    EXPECT_NE(Sepack("verify " + Quote(c.package)), 0) << c.package << "\n" << out_;
    EXPECT_NE((out_ + err_).find(c.message), std::string::npos) << out_ << err_;
    if (c.headerDamage) {
      EXPECT_NE(Sepack("list " + Quote(c.package)), 0) << c.package << "\n" << out_;
      EXPECT_NE(err_.find("damaged package"), std::string::npos) << err_;
    }
  }
  for (const std::string& other : {Fixture("stored.cab"), NativeStub(), Path("missing")}) {
    EXPECT_NE(Sepack("list " + Quote(other)), 0);
    EXPECT_NE(Sepack("verify " + Quote(other)), 0);
    if (other != Path("missing")) {
      EXPECT_NE(err_.find("not an SE package"), std::string::npos) << err_;
    }
  }
}

TEST_F(SepackTest, ExtractCabFollowsCabinetSetsAndFailsCleanly) {
  const struct {
    const char* first;
    std::vector<std::pair<std::string, uintmax_t>> files;
  } sets[] = {
      {"set2_1.cab",
       {{"intro.txt", 84},
        {"docs/big.txt", 39493},
        {"span.bin", 6000},
        {"tail.txt", 135},
        {"after.txt", 112}}},
      {"set3_1.cab",
       {{"intro.txt", 84}, {"long.bin", 9000}, {"tail.txt", 135}, {"after.txt", 112}}},
  };
  for (const auto& set : sets) {
    const std::string out = Path(std::string("out-") + set.first);
    ASSERT_EQ(Sepack("extract-cab " + Quote(Fixture(set.first)) + " " + Quote(out)), 0) << err_;
    for (const auto& [name, size] : set.files) {
      EXPECT_EQ(fs::file_size(out + "/" + name), size) << name;
      EXPECT_NE(out_.find(name), std::string::npos) << out_;
    }
  }
  EXPECT_NE(Sepack("extract-cab " + Quote(Fixture("corrupt.cab")) + " " + Quote(Path("bad"))), 0);
  EXPECT_NE(err_.find("corrupt.cab"), std::string::npos) << err_;
  EXPECT_NE(err_.find("corrupt [0x"), std::string::npos) << err_;
}

}  // namespace
