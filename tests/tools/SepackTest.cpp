// sepack as a user runs it: compress/decompress, make/list/verify, extract-cab, and the
// packages it makes run by the native stub.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>

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
  EXPECT_EQ(Sepack("help make"), 0);
  EXPECT_NE(out_.find("SOURCE_DATE_EPOCH"), std::string::npos) << out_;
  EXPECT_EQ(Sepack("verify --help"), 0);
  EXPECT_NE(out_.find("Application Error"), std::string::npos) << out_;
  EXPECT_EQ(Sepack("help frobnicate"), 2);
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
                   Quote(Fixture("stored.cab")) + " " + Quote(Fixture("attribs.cab"))),
            0)
      << err_;
  const std::string package = Bytes2String(Read(Path("setup")));
  const std::string stub = Bytes2String(Read(NativeStub()));
  std::string tail = extractor::PackageTail({{"kem.cab", Compressed(Read(Fixture("stored.cab")))},
                                             {"kem.cab", Compressed(Read(Fixture("attribs.cab")))}},
                                            "Install the fixtures?");
  // Zero bytes at the end of the payload area (counted in its size) make the package a multiple
  // of 8 bytes long, ready for signing.
  const size_t padding = (8 - (stub.size() + tail.size()) % 8) % 8;
  const size_t areaField = tail.size() - 12 - 21;
  std::string area;
  extractor::AppendLittleEndian32(
      area, extractor::LittleEndian32(reinterpret_cast<const uint8_t*>(tail.data()) + areaField) +
                static_cast<int32_t>(padding));
  tail.replace(areaField, 4, std::string(padding, '\0') + area);
  const std::string expected = stub + tail;
  EXPECT_EQ(expected.size() % 8, 0u);
  EXPECT_TRUE(package == expected) << "package differs from stub + tail";
  const auto trailer =
      extractor::ReadTrailer(static_cast<int64_t>(package.size()), [&](int64_t at) {
        return extractor::LittleEndian32(reinterpret_cast<const uint8_t*>(package.data()) + at);
      });
  ASSERT_TRUE(trailer.has_value());
  EXPECT_EQ(trailer->promptLength, 21);
  EXPECT_EQ(static_cast<int64_t>(package.size()) - 12 - 21 - trailer->areaSize,
            static_cast<int64_t>(stub.size()));
  EXPECT_TRUE((fs::status(Path("setup")).permissions() & fs::perms::owner_exec) != fs::perms::none);

  ASSERT_EQ(Sepack("list " + Quote(Path("setup"))), 0) << err_;
  for (const char* part :
       {"prompt: \"Install the fixtures?\"", "entry 1: \"kem.cab\"", "sub\\deep\\notes.txt",
        "entry 2: \"kem.cab\"", "R----  2021-02-02 09:07:06          50  ro.txt",
        "---AX  2021-06-06 13:35:30          52  run.exe"}) {
    EXPECT_NE(out_.find(part), std::string::npos) << part << "\n" << out_;
  }
  // Sound packages run rux.exe; these cabinets hold none.
  EXPECT_EQ(Sepack("verify " + Quote(Path("setup"))), 1) << out_ << err_;
  EXPECT_NE(err_.find("finds no rux.exe"), std::string::npos) << err_;
}

// A folder made into a package, then run by the native stub: the question, the extraction
// with subfolders, the launched rux.exe, the clean-up. A helper script keeps its execute bit
// and runs; a data file gains none.
TEST_F(SepackTest, PackageMadeFromAFolderRunsItsProgram) {
  fs::create_directories(Path("app/sub"));
  Write(Path("app/rux.exe"), {});
  std::ofstream(Path("app/rux.exe"))
      << "#!/bin/sh\n"
         "echo \"ran in $(pwd)\" > \"$SE_TEST_MARK\"\n"
         "cat sub/data.txt >> \"$SE_TEST_MARK\"\n"
         "sub/helper.sh\n"
         "[ -x sub/data.txt ] && echo data runnable >> \"$SE_TEST_MARK\"\n";
  std::ofstream(Path("app/sub/data.txt")) << "payload\n";
  std::ofstream(Path("app/sub/helper.sh")) << "#!/bin/sh\necho helper ran >> \"$SE_TEST_MARK\"\n";
  fs::permissions(Path("app/sub/helper.sh"), fs::perms::owner_exec, fs::perm_options::add);
  fs::permissions(Path("app/sub/data.txt"),
                  fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::remove);
  ASSERT_EQ(
      std::system(("TZ=UTC touch -d '2021-03-04 05:06:08' " + Quote(Path("app/sub/data.txt")) +
                   " && chmod a-w " + Quote(Path("app/sub/data.txt")))
                      .c_str()),
      0);

  ASSERT_EQ(
      Sepack("make -o " + Quote(Path("setup")) + " --prompt 'Say hello?' " + Quote(Path("app"))), 0)
      << err_;
  ASSERT_EQ(Sepack("list " + Quote(Path("setup"))), 0) << err_;
  EXPECT_NE(out_.find("---A-  "), std::string::npos) << out_;
  // Its time (in UTC) and read-only, as the folder had them.
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
  EXPECT_NE(mark.find("helper ran"), std::string::npos) << mark;
  EXPECT_EQ(mark.find("data runnable"), std::string::npos) << mark;
  EXPECT_TRUE(fs::is_empty(Path("tmp")));  // the work folder is gone
}

TEST_F(SepackTest, MakeRefusesBadInputsAndWritesNothing) {
  Write(Path("nul-prompt"), {'A', 0, 'B'});
  Write(Path("latin1"), {'M', 0xF6, 'c', 'h', 't', 'e', 'n', '?'});
  Write(Path("notes.txt"), {'h', 'i'});
  using testing_support::MakeStoredCabinet;
  testing_support::WriteFileBytes(Path("climb.cab"), MakeStoredCabinet({{"..\\..\\x", "x"}}));
  testing_support::WriteFileBytes(Path("absolute.cab"), MakeStoredCabinet({{"\\x", "x"}}));
  testing_support::WriteFileBytes(Path("drive.cab"), MakeStoredCabinet({{"c:\\x", "x"}}));
  testing_support::WriteFileBytes(Path("dots.cab"), MakeStoredCabinet({{"a\\... \\x", "x"}}));
  testing_support::WriteFileBytes(Path("dup.cab"), MakeStoredCabinet({{"HELLO.TXT", "x"}}));
  fs::create_directories(Path("app/sub"));
  Write(Path("app/hello.txt"), {'h', 'i'});
  ASSERT_EQ(Sepack("make -o " + Quote(Path("package")) + " " + Quote(Fixture("stored.cab"))), 0);
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
      // Names that would leave the work folder, or overwrite one another there.
      {"make" + out + Quote(Path("climb.cab")), "'..\\..\\x', whose name leads out"},
      {"make" + out + Quote(Path("absolute.cab")), "'\\x', whose name leads out"},
      {"make" + out + Quote(Path("drive.cab")), "'c:\\x', whose name leads out"},
      {"make" + out + Quote(Path("dots.cab")), "'a\\... \\x', whose name leads out"},
      {"make" + out + Quote(Fixture("stored.cab")) + " " + Quote(Path("dup.cab")),
       "'HELLO.TXT' is given twice"},
      {"make" + out + Quote(Path("app")) + " " + Quote(Path("dup.cab")),
       "'HELLO.TXT' is given twice"},
      // Outputs that would be packed into themselves or cannot be written.
      {"make -o " + Quote(Path("app/setup")) + " " + Quote(Path("app")), "inside the input folder"},
      {"make -o " + Quote(Path("app/sub/setup")) + " " + Quote(Path("app")),
       "inside the input folder"},
      {"make -o " + Quote(Path("nowhere/setup")) + " " + Quote(Path("app")), "No such file"},
      // Stubs that are not bare extractors; a prompt that is not UTF-8.
      {"make" + out + "--stub " + Quote(Path("notes.txt")) + " " + Quote(Fixture("stored.cab")),
       "is not a program"},
      {"make" + out + "--stub " + Quote(Path("package")) + " " + Quote(Fixture("stored.cab")),
       "is an SE package already"},
      {"make" + out + "--stub " + Quote(NativeStub()) + " --target linux " +
           Quote(Fixture("stored.cab")),
       "not both"},
      {"make" + out + "--prompt-file " + Quote(Path("latin1")) + " " + Quote(Fixture("stored.cab")),
       "is not valid UTF-8 text (at byte 1)"},
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

// Signing appends a certificate table to the package and names it in the PE security
// directory; make leaves nothing for signing to pad, refuses a stub that is signed already,
// and list and verify read the package before the table.
TEST_F(SepackTest, SignedPackagesAreReadBeforeTheirCertificateTable) {
  std::string stub = testing_support::PeImage() + "code";
  Write(Path("stub.exe"), Bytes(stub.begin(), stub.end()));
  fs::create_directories(Path("app"));
  std::ofstream(Path("app/rux.exe")) << "program";
  const std::string make =
      "make --stub " + Quote(Path("stub.exe")) + " " + Quote(Path("app")) + " -o ";
  ASSERT_EQ(Sepack(make + Quote(Path("setup.exe"))), 0) << err_;
  std::string package = Bytes2String(Read(Path("setup.exe")));
  EXPECT_EQ(package.size() % 8, 0u);
  EXPECT_EQ(package.compare(0, stub.size(), stub), 0);

  // As a signing tool leaves it: the table right after the package, named by the directory.
  const size_t tableAt = package.size();
  testing_support::SetSecurityDirectory(package, static_cast<uint32_t>(tableAt), 24);
  package += std::string("\x18\0\0\0\0\x02\x02\0", 8) + std::string(16, 'c');
  Write(Path("signed.exe"), Bytes(package.begin(), package.end()));
  for (const char* command : {"list ", "verify "}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(Sepack(command + Quote(Path("signed.exe"))), 0) << err_;
    EXPECT_NE(out_.find("signed: yes (certificate table of 24 bytes at byte " +
                        std::to_string(tableAt) + ")"),
              std::string::npos)
        << out_;
  }
  ASSERT_EQ(Sepack("list " + Quote(Path("setup.exe"))), 0) << err_;
  EXPECT_NE(out_.find("signed: no"), std::string::npos) << out_;

  // The signed file as a stub: refused, nothing written.
  EXPECT_EQ(Sepack("make --stub " + Quote(Path("signed.exe")) + " " + Quote(Fixture("stored.cab")) +
                   " -o " + Quote(Path("again.exe"))),
            1);
  EXPECT_NE(err_.find("is already signed"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(Path("again.exe")));
}

// verify gives the stub's own verdict: over a table of damaged packages, it calls sound exactly
// what the stub extracts and runs, and otherwise tells what the stub shows.
TEST_F(SepackTest, VerifyAgreesWithTheStubOverDamagedPackages) {
  fs::create_directories(Path("app/sub"));
  std::ofstream(Path("app/rux.exe")) << "#!/bin/sh\ntouch \"$SE_TEST_MARK\"\n";
  std::ofstream(Path("app/sub/data.txt")) << std::string(3000, 'd');
  ASSERT_EQ(Sepack("make -o " + Quote(Path("good")) + " --prompt 'Go?' " + Quote(Path("app"))), 0)
      << err_;
  ASSERT_EQ(Sepack("make -o " + Quote(Path("norux")) + " " + Quote(Fixture("stored.cab"))), 0);
  const std::string good = Bytes2String(Read(Path("good")));
  const size_t stub = Read(NativeStub()).size();
  const size_t area = good.size() - 12 - 3;  // the area size field
  const size_t data = stub + 4 + 8 + 7;      // entry count, sizes, "kem.cab"
  auto put32 = [](std::string& b, size_t at, int32_t v) {
    std::string le;
    extractor::AppendLittleEndian32(le, v);
    b.replace(at, 4, le);
  };
  auto get32 = [&](size_t at) {
    return extractor::LittleEndian32(reinterpret_cast<const uint8_t*>(good.data()) + at);
  };
  // The entry's compressed size (the area may end in padding for signing).
  const auto dataSize = static_cast<size_t>(get32(stub + 4));
  struct Case {
    std::string name;
    std::string bytes;
  };
  std::vector<Case> cases;
  auto add = [&](std::string name, auto change) {
    std::string bytes = good;
    change(bytes);
    cases.push_back({std::move(name), std::move(bytes)});
  };
  add("good", [](std::string&) {});
  add("norux", [&](std::string& b) { b = Bytes2String(Read(Path("norux"))); });
  add("signature", [&](std::string& b) { b.back() ^= 1; });
  add("appended", [&](std::string& b) { b += "x"; });
  for (const int32_t v : {0, -1, 2, 4, 1 << 30}) {
    add("prompt" + std::to_string(v), [&](std::string& b) { put32(b, b.size() - 8, v); });
  }
  for (const int64_t d : {-1, 1, -4, 4}) {
    add("area" + std::to_string(d),
        [&](std::string& b) { put32(b, area, static_cast<int32_t>(get32(area) + d)); });
  }
  for (const int32_t v : {0, -1, 2, 1000}) {
    add("count" + std::to_string(v), [&](std::string& b) { put32(b, stub, v); });
  }
  for (const int32_t v : {-1, 0, 4, 5, static_cast<int32_t>(dataSize) - 1,
                          static_cast<int32_t>(dataSize) + 1, 0x7FFFFFFF}) {
    add("size" + std::to_string(v), [&](std::string& b) { put32(b, stub + 4, v); });
  }
  for (const int32_t v : {-1, 6, 8, 0x7FFFFFFF}) {
    add("name" + std::to_string(v), [&](std::string& b) { put32(b, stub + 8, v); });
  }
  const size_t word = data + dataSize - 4;
  for (const int64_t d : {-1, 1, -100}) {
    add("word" + std::to_string(d),
        [&](std::string& b) { put32(b, word, static_cast<int32_t>(get32(word) + d)); });
  }
  add("word-max", [&](std::string& b) { put32(b, word, 0x7FFFFFFF); });
  add("word-negative", [&](std::string& b) { put32(b, word, -5); });
  // Ignored bytes between the entry and the area size field.
  add("ignored", [&](std::string& b) {
    b.insert(area, "zzzz");
    put32(b, area + 4, get32(area) + 4);
  });
  for (int k = 0; k < 24; ++k) {
    const size_t at = data + dataSize * static_cast<size_t>(k) / 24;
    add("flip" + std::to_string(k),
        [&](std::string& b) { b[at] ^= static_cast<char>(1 << (k % 8)); });
  }

  Write(Path("yes"), {'y', '\n'});
  int sound = 0;
  for (const Case& c : cases) {
    const std::string package = Path("pkg-" + c.name);
    Write(package, Bytes(c.bytes.begin(), c.bytes.end()));
    fs::permissions(package, fs::perms::owner_all);
    fs::remove_all(Path("tmp"));
    fs::remove(Path("mark"));
    fs::create_directory(Path("tmp"));
    const int code = Run("TMPDIR=" + Quote(Path("tmp")) + " SE_TEST_MARK=" + Quote(Path("mark")) +
                         " " + Quote(package) + " <" + Quote(Path("yes")));
    const std::string stubSays = err_;
    const bool ran = fs::exists(Path("mark"));
    const bool stubSound = code == 0 && ran && stubSays.find("SE error") == std::string::npos;

    EXPECT_EQ(Sepack("verify " + Quote(package)) == 0, stubSound) << c.name << "\n" << err_;
    sound += stubSound;
    if (stubSound) continue;
    // The stub's own words: its error box, or the Application Error's class and message.
    const size_t box = stubSays.find("Application Error\n");
    if (box != std::string::npos) {
      const size_t line = stubSays.find('\n', box + 18);
      const std::string first = stubSays.substr(box + 18, stubSays.find(" at ", box) - box - 18);
      const std::string message =
          stubSays.substr(line + 1, stubSays.find('\n', line + 1) - line - 1);
      EXPECT_NE(err_.find(first), std::string::npos) << c.name << "\n" << stubSays << err_;
      EXPECT_NE(err_.find(message), std::string::npos) << c.name << "\n" << stubSays << err_;
    } else if (stubSays.find("SE error\n") != std::string::npos) {
      const size_t at = stubSays.find("SE error\n") + 9;
      const std::string text = stubSays.substr(at, stubSays.find('\n', at) - at);
      EXPECT_NE(err_.find("\"" + text + "\" (SE error)"), std::string::npos) << c.name << err_;
    } else {
      EXPECT_NE(err_.find("no rux.exe"), std::string::npos) << c.name << "\n" << err_;
    }
  }
  // Both verdicts occur, so the table shows agreement and not a constant answer.
  EXPECT_GE(sound, 4);  // good, prompt lengths 0 and -1, ignored bytes
  EXPECT_LE(sound, static_cast<int>(cases.size()) - 20);
  ASSERT_EQ(Sepack("verify " + Quote(Path("pkg-ignored"))), 0) << err_;
  // The four inserted, after the padding that aligns the package for signing.
  const std::string ignored = std::to_string(4 + area - (data + dataSize));
  EXPECT_NE(out_.find("note: " + ignored + " bytes between the last entry"), std::string::npos)
      << out_;
}

TEST_F(SepackTest, ListAndExtractRejectWhatIsNotASoundPackage) {
  for (const std::string& other : {Fixture("stored.cab"), NativeStub(), Path("missing")}) {
    EXPECT_NE(Sepack("list " + Quote(other)), 0);
    EXPECT_NE(Sepack("verify " + Quote(other)), 0);
    if (other != Path("missing")) {
      EXPECT_NE(err_.find("Not a valid SE file"), std::string::npos) << err_;
    }
  }
  // A path that names no package is said so, not judged as a package the stub fails on.
  for (const auto& [path, reason] :
       {std::pair{Path("missing"), "cannot open"}, std::pair{Path(""), "is a folder"}}) {
    EXPECT_EQ(Sepack("verify " + Quote(path)), 1);
    EXPECT_NE(err_.find(reason), std::string::npos) << err_;
    EXPECT_EQ(err_.find("Application Error"), std::string::npos) << err_;
  }
  // Entries decoded as the stub decodes them: a size word out of its bounds.
  ASSERT_EQ(Sepack("make -q -o " + Quote(Path("setup")) + " " + Quote(Fixture("stored.cab"))), 0);
  std::string bytes = Bytes2String(Read(Path("setup")));
  const size_t stub = Read(NativeStub()).size();
  const size_t word = stub + 4 + 8 + 7 +
                      static_cast<size_t>(extractor::LittleEndian32(
                          reinterpret_cast<const uint8_t*>(bytes.data()) + stub + 4)) -
                      4;
  const struct {
    int32_t value;
    const char* message;
  } cases[] = {{0x7FFFFFFF, "size word (2147483647) cannot belong"},
               {-1, "size word (-1) cannot belong"}};
  for (const auto& c : cases) {
    std::string le;
    extractor::AppendLittleEndian32(le, c.value);
    bytes.replace(word, 4, le);
    Write(Path("damaged"), Bytes(bytes.begin(), bytes.end()));
    EXPECT_EQ(Sepack("list " + Quote(Path("damaged"))), 1);
    EXPECT_NE(out_.find(c.message), std::string::npos) << out_;
    EXPECT_EQ(Sepack("extract " + Quote(Path("damaged")) + " " + Quote(Path("out"))), 1);
    EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
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

// An output that names an input, directly or through a link, is refused and the input stays.
TEST_F(SepackTest, OutputThatIsAnInputIsRefusedAndTheInputKept) {
  const Bytes cabinet = Read(Fixture("stored.cab"));
  Write(Path("a.cab"), cabinet);
  fs::create_hard_link(Path("a.cab"), Path("hard.cab"));
  fs::copy_file(NativeStub(), Path("stub"));
  fs::create_symlink(Path("a.cab"), Path("soft.cab"));
  const std::string stream = Compressed(cabinet);
  Write(Path("s.lzh"), Bytes(stream.begin(), stream.end()));
  const std::string commands[] = {
      "make -o " + Quote(Path("a.cab")) + " " + Quote(Path("a.cab")),
      "make -o " + Quote(Path("hard.cab")) + " " + Quote(Path("a.cab")),
      "make -o " + Quote(Path("soft.cab")) + " " + Quote(Path("a.cab")),
      "make -o " + Quote(Path("./stub")) + " --stub " + Quote(Path("stub")) + " " +
          Quote(Fixture("stored.cab")),
      "compress " + Quote(Path("a.cab")) + " " + Quote(Path("a.cab")),
      "decompress " + Quote(Path("s.lzh")) + " " + Quote(Path("s.lzh")),
  };
  for (const auto& command : commands) {
    EXPECT_EQ(Sepack(command), 1) << command;
    EXPECT_NE(err_.find("is the input"), std::string::npos) << command << "\n" << err_;
  }
  EXPECT_EQ(Read(Path("a.cab")), cabinet);
  EXPECT_EQ(Bytes2String(Read(Path("s.lzh"))), stream);
  EXPECT_EQ(Read(Path("stub")), Read(NativeStub()));
  EXPECT_EQ(Files().size(), 5u);  // no temporary files left
}

// decompress holds every stream to the extractor's own bound instead of filling memory.
TEST_F(SepackTest, DecompressRefusesSizeWordsNoStreamCanReach) {
  std::mt19937 rng(94);
  Bytes garbage(94);
  for (auto& b : garbage) b = static_cast<uint8_t>(rng());
  garbage[93] = 0x7F;  // a size word near 2 GiB
  Write(Path("garbage"), garbage);
  Bytes text(204, 'x');  // the size word 0x10787878: 276 MB from 200 bytes
  Write(Path("text"), text);
  Bytes edge(10, 0);  // 6 bytes of stream decode to at most 288
  edge[6] = 0x21;
  edge[7] = 0x01;  // 289
  Write(Path("edge"), edge);
  for (const char* name : {"garbage", "text", "edge"}) {
    EXPECT_EQ(Sepack("decompress " + Quote(Path(name)) + " " + Quote(Path("out"))), 1) << name;
    EXPECT_NE(err_.find("cannot belong to a stream of"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(Path("out")));
  }
  edge[6] = 0x20;  // 288: within the bound
  Write(Path("edge"), edge);
  EXPECT_EQ(Sepack("decompress " + Quote(Path("edge")) + " " + Quote(Path("out"))), 0) << err_;
  EXPECT_GE(fs::file_size(Path("out")), 288u);
}

TEST_F(SepackTest, CompressAndDecompressUseStandardStreams) {
  const Bytes input = Sample();
  Write(Path("in.bin"), input);
  ASSERT_EQ(Run("'" SEPACK_PATH "' compress - - <" + Quote(Path("in.bin")) +
                " | '" SEPACK_PATH "' decompress - " + Quote(Path("out.bin"))),
            0)
      << err_;
  EXPECT_TRUE(Read(Path("out.bin")) == input);
}

// What make tells about the program the stub launches, and the prompt file's last line break.
TEST_F(SepackTest, MakeWarnsOfTheProgramInAnotherCaseAndTrimsThePromptFile) {
  fs::create_directory(Path("app"));
  Write(Path("app/RUX.EXE"), {'x'});
  Write(Path("prompt"), {'G', 'o', '?', '\n'});
  ASSERT_EQ(Sepack("make --output=" + Quote(Path("setup")) + " --prompt-file " +
                   Quote(Path("prompt")) + " " + Quote(Path("app"))),
            0)
      << err_;
  EXPECT_NE(err_.find("warning: the program is stored as 'RUX.EXE'"), std::string::npos) << err_;
  ASSERT_EQ(Sepack("list " + Quote(Path("setup"))), 0) << err_;
  EXPECT_NE(out_.find("prompt: \"Go?\"\n"), std::string::npos) << out_;

  // What a cabinet cannot hold is named, not dropped silently.
  fs::create_directories(Path("app/empty"));
  fs::create_directories(Path("elsewhere"));
  Write(Path("elsewhere/target.txt"), {'t'});
  fs::create_directory_symlink(Path("elsewhere"), Path("app/linked-folder"));
  fs::create_symlink(Path("elsewhere/target.txt"), Path("app/linked-file"));
  ASSERT_EQ(Sepack("make -o " + Quote(Path("setup")) + " " + Quote(Path("app"))), 0) << err_;
  for (const char* note : {"app/empty': an empty folder", "app/linked-folder': a link to a folder",
                           "app/linked-file' is a link: its target's content is stored"}) {
    EXPECT_NE(err_.find(note), std::string::npos) << note << "\n" << err_;
  }
  fs::remove(Path("app/linked-folder"));
  fs::remove(Path("app/linked-file"));
  fs::remove(Path("app/empty"));

  fs::rename(Path("app/RUX.EXE"), Path("app/rux.exe"));
  ASSERT_EQ(Sepack("make -q -o" + Quote(Path("setup")) + " " + Quote(Path("app"))), 0) << err_;
  EXPECT_EQ(out_ + err_, "");
}

// Bytes for a folder of `files` files of `size` bytes each, quick to compress.
void FillFolder(const std::string& folder, int files, size_t size) {
  fs::create_directories(folder);
  std::mt19937 rng(7);
  for (int i = 0; i < files; ++i) {
    Bytes data(size);
    for (size_t k = 0; k < size; k += 64) {
      std::fill_n(data.begin() + static_cast<ptrdiff_t>(k), std::min<size_t>(64, size - k),
                  static_cast<uint8_t>(rng() % 4));
    }
    std::ofstream(folder + "/file" + std::to_string(i) + ".bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(size));
  }
}

// A large folder becomes several entries that together extract what the folder holds.
TEST_F(SepackTest, LargeFolderIsSplitIntoSeveralEntries) {
  FillFolder(Path("big"), 3, 2u << 20);
  std::ofstream(Path("big/rux.exe")) << "#!/bin/sh\nls > \"$SE_TEST_MARK\"\n";
  fs::permissions(Path("big/rux.exe"), fs::perms::owner_all);
  ASSERT_EQ(Sepack("make -o " + Quote(Path("setup")) + " " + Quote(Path("big"))), 0) << err_;
  EXPECT_NE(out_.find("2 entries"), std::string::npos) << out_;
  ASSERT_EQ(Sepack("list " + Quote(Path("setup"))), 0) << err_;
  EXPECT_NE(out_.find("entries: 2"), std::string::npos) << out_;

  fs::create_directory(Path("tmp"));
  Write(Path("yes"), {'y', '\n'});
  ASSERT_EQ(Run("TMPDIR=" + Quote(Path("tmp")) + " SE_TEST_MARK=" + Quote(Path("mark")) + " " +
                Quote(Path("setup")) + " <" + Quote(Path("yes"))),
            0)
      << err_;
  EXPECT_EQ(Text(Path("mark")), "file0.bin\nfile1.bin\nfile2.bin\nkem.cab\nrux.exe\n");
}

// Interrupted, make leaves neither its scratch folder nor a partial output behind.
TEST_F(SepackTest, InterruptedMakeRemovesItsScratchFiles) {
  // Random bytes compress slowly enough that make is still at work when it is stopped the
  // moment its scratch folder appears; stopped first, it cannot finish before the interrupt.
  fs::create_directories(Path("big"));
  std::mt19937 rng(11);
  for (int i = 0; i < 6; ++i) {
    Bytes data(4u << 20);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    Write(Path("big/file" + std::to_string(i) + ".bin"), data);
  }
  fs::create_directory(Path("tmp"));
  const int code =
      Run("TMPDIR=" + Quote(Path("tmp")) + " '" SEPACK_PATH "' make -o " + Quote(Path("setup")) +
          " " + Quote(Path("big")) + " & pid=$!; until [ -n \"$(ls " + Quote(Path("tmp")) +
          ")\" ]; do sleep 0.01; done; kill -STOP $pid; kill -INT $pid; kill -CONT $pid; " +
          "wait $pid");
  EXPECT_EQ(code, 128 + SIGINT) << err_;
  EXPECT_TRUE(fs::is_empty(Path("tmp")));
  for (const auto& name : Files()) EXPECT_EQ(name.rfind("setup", 0), std::string::npos) << name;
}

// extract writes every entry's files, as the stub would, and runs nothing; a name that would
// leave the folder is refused by the reader's own rule.
TEST_F(SepackTest, ExtractWritesEveryEntryAndRunsNothing) {
  fs::create_directories(Path("app/sub"));
  std::ofstream(Path("app/rux.exe")) << "#!/bin/sh\ntouch \"$SE_TEST_MARK\"\n";
  std::ofstream(Path("app/sub/data.txt")) << "payload\n";
  ASSERT_EQ(Sepack("make -o " + Quote(Path("setup")) + " " + Quote(Path("app")) + " " +
                   Quote(Fixture("attribs.cab"))),
            0)
      << err_;
  ASSERT_EQ(Run("SE_TEST_MARK=" + Quote(Path("mark")) + " '" SEPACK_PATH "' extract " +
                Quote(Path("setup")) + " " + Quote(Path("out/x"))),
            0)
      << err_;
  EXPECT_EQ(Text(Path("out/x/sub/data.txt")), "payload\n");
  EXPECT_EQ(fs::file_size(Path("out/x/ro.txt")), 50u);
  EXPECT_TRUE(fs::exists(Path("out/x/rux.exe")));
  EXPECT_FALSE(fs::exists(Path("mark")));
  EXPECT_NE(out_.find("9 files extracted"), std::string::npos) << out_;

  const std::string climbing =
      Bytes2String(Read(NativeStub())) +
      extractor::PackageTail({testing_support::CabinetEntry({{"..\\evil.txt", "x"}})}, "");
  Write(Path("climbing"), Bytes(climbing.begin(), climbing.end()));
  EXPECT_EQ(Sepack("extract " + Quote(Path("climbing")) + " " + Quote(Path("out/y"))), 1);
  EXPECT_NE(err_.find("entry 1: "), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(Path("out/evil.txt")));
}

TEST_F(SepackTest, ListAsJsonGivesEveryFile) {
  fs::create_directories(Path("app/sub"));
  std::ofstream(Path("app/rux.exe")) << "x";
  std::ofstream(Path("app/sub/d\"q.txt")) << "payload\n";
  ASSERT_EQ(
      std::system(
          ("TZ=UTC touch -d '2021-03-04 05:06:08' " + Quote(Path("app/sub/d\"q.txt"))).c_str()),
      0);
  ASSERT_EQ(Sepack("make -o " + Quote(Path("setup")) + " --prompt 'Go?' " + Quote(Path("app")) +
                   " " + Quote(Fixture("attribs.cab"))),
            0)
      << err_;
  ASSERT_EQ(Sepack("list --json " + Quote(Path("setup"))), 0) << err_;
  Write(Path("list.json"), Bytes(out_.begin(), out_.end()));
  const std::string script =
      "import json,sys; d=json.load(open(sys.argv[1])); "
      "print(d['prompt'], d['entryCount'], len(d['entries'])); "
      "[print(f['name'], f['size'], f['time'], f['attributes']) "
      "for e in d['entries'] for f in e['files']]";
  ASSERT_EQ(Run("python3 -c \"" + script + "\" " + Quote(Path("list.json"))), 0) << err_;
  EXPECT_EQ(out_,
            "Go? 2 2\n"
            "rux.exe 1 " +
                out_.substr(out_.find("rux.exe 1 ") + 10, 19) +
                " 32\n"
                "sub\\d\"q.txt 8 2021-03-04 05:06:08 32\n"
                "ro.txt 50 2021-02-02 09:07:06 1\n"
                "hidden.txt 58 2021-03-03 10:14:12 2\n"
                "system.txt 58 2021-04-04 11:21:18 4\n"
                "archive.txt 60 2021-05-05 12:28:24 32\n"
                "run.exe 52 2021-06-06 13:35:30 96\n"
                "plain.txt 56 2021-07-07 14:42:36 0\n"
                "all.txt 52 2021-08-08 15:49:42 103\n");
}

// The same folder makes the same bytes in any time zone; SOURCE_DATE_EPOCH caps the times;
// execute bits travel as the execute attribute and come back on extraction.
TEST_F(SepackTest, FoldersPackReproduciblyWithTheirExecuteBits) {
  fs::create_directory(Path("app"));
  std::ofstream(Path("app/rux.exe")) << "#!/bin/sh\n";
  std::ofstream(Path("app/helper.sh")) << "#!/bin/sh\n";
  std::ofstream(Path("app/new.txt")) << "new\n";
  std::ofstream(Path("app/old.txt")) << "old\n";
  fs::permissions(Path("app/helper.sh"), fs::perms::owner_exec, fs::perm_options::add);
  ASSERT_EQ(std::system(("TZ=UTC touch -d '2030-01-01 00:00:00' " + Quote(Path("app/new.txt")) +
                         " && TZ=UTC touch -d '2010-05-06 07:08:10' " + Quote(Path("app/old.txt")))
                            .c_str()),
            0);
  const char* zones[] = {"UTC", "Asia/Tokyo", "America/New_York"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Run(std::string("TZ=") + zones[i] + " '" SEPACK_PATH "' make -q -o " +
                  Quote(Path("setup" + std::to_string(i))) + " " + Quote(Path("app"))),
              0)
        << err_;
  }
  EXPECT_EQ(Read(Path("setup0")), Read(Path("setup1")));
  EXPECT_EQ(Read(Path("setup0")), Read(Path("setup2")));

  ASSERT_EQ(Run("SOURCE_DATE_EPOCH=1600000000 '" SEPACK_PATH "' make -q -o " +
                Quote(Path("capped")) + " " + Quote(Path("app"))),
            0)
      << err_;
  ASSERT_EQ(Sepack("list " + Quote(Path("capped"))), 0) << err_;
  for (const char* line : {"---A-  2020-09-13 12:26:40           4  new.txt",
                           "---A-  2010-05-06 07:08:10           4  old.txt"}) {
    EXPECT_NE(out_.find(line), std::string::npos) << line << "\n" << out_;
  }
  const size_t helper = out_.find("helper.sh");
  ASSERT_NE(helper, std::string::npos);
  EXPECT_EQ(out_.substr(out_.rfind('\n', helper) + 3, 7), "---AX  ") << out_;
  EXPECT_NE(Run("SOURCE_DATE_EPOCH=soon '" SEPACK_PATH "' make -o " + Quote(Path("x")) + " " +
                Quote(Path("app"))),
            0);
  EXPECT_NE(err_.find("SOURCE_DATE_EPOCH"), std::string::npos) << err_;

  ASSERT_EQ(Sepack("extract " + Quote(Path("capped")) + " " + Quote(Path("out"))), 0) << err_;
  const auto exec = [&](const char* name) {
    return (fs::status(Path(std::string("out/") + name)).permissions() & fs::perms::owner_exec) !=
           fs::perms::none;
  };
  EXPECT_TRUE(exec("helper.sh"));
  EXPECT_FALSE(exec("new.txt"));
  // Extracted over files of the same names, they come out as stored, not as found.
  fs::permissions(Path("out/new.txt"), fs::perms::owner_exec, fs::perm_options::add);
  ASSERT_EQ(Sepack("extract " + Quote(Path("capped")) + " " + Quote(Path("out"))), 0) << err_;
  EXPECT_TRUE(exec("helper.sh"));
  EXPECT_FALSE(exec("new.txt"));
}

}  // namespace
