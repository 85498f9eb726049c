// The cabinet writer, through the system cabinet library's own writer: what it writes reads back
// exactly through the reader, the same input always gives the same bytes, and every failure
// (of the system, or an exception inside a callback) is reported with no cabinet or temporary
// file left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/OSError.h"
#include "cab/CabWriter.h"
#include "cab/KXCabReader.h"
#include "platform/Platform.h"
#include "tests/support/FaultPlatform.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::PathExists;
using testing_support::TempDir;

// Through the platform, whose paths are UTF-8 (the standard streams take ANSI paths on Windows).
void WriteFileBytes(const std::string& path, const std::string& bytes) {
  auto& os = plat::Native();
  plat::FileHandle file = os.OpenFile(path, plat::access::kWrite, plat::share::kRead,
                                      plat::Disposition::kCreateAlways, plat::attr::kNormal);
  ASSERT_NE(file, plat::kInvalidFile) << path;
  uint32_t done = 0;
  bool ok = os.Write(file, bytes.data(), static_cast<uint32_t>(bytes.size()), done);
  os.Close(file);
  ASSERT_TRUE(ok && done == bytes.size()) << path;
}

std::string ReadFileBytes(const std::string& path) {
  auto& os = plat::Native();
  plat::FileHandle file = os.OpenFile(path, plat::access::kRead, plat::share::kRead,
                                      plat::Disposition::kOpenExisting, plat::attr::kNormal);
  if (file == plat::kInvalidFile) return {};
  std::string bytes;
  char buffer[65536];
  uint32_t done = 0;
  while (os.Read(file, buffer, sizeof buffer, done) && done > 0) bytes.append(buffer, done);
  os.Close(file);
  return bytes;
}

// Text with stretches of noise: compresses, but not to nothing, over several 32 KiB blocks.
std::string MixedContent(size_t size) {
  std::string data;
  uint32_t state = 12345;
  while (data.size() < size) {
    data += "line " + std::to_string(data.size()) + " of the larger file\r\n";
    for (int i = 0; i < 16; ++i) {
      state = state * 1103515245u + 12345u;
      data += static_cast<char>(state >> 24);
    }
  }
  data.resize(size);
  return data;
}

struct Source {
  std::string diskName;  // under the fixture's source folder
  std::string storedName;
  std::string content;
  uint16_t date, time, attributes;
};

const std::vector<Source>& Sources() {
  static const std::vector<Source> sources = {
      {"a.txt", "a.txt", "alpha\r\n", 0x5A21, 0x6000, 0x20},
      {"big.bin", "sub\\big.bin", MixedContent(100000), 0x4F8C, 0x8A3E, 0x20},
      {"empty.txt", "sub\\deeper\\empty.txt", "", 0x3A21, 0x0000, 0x00},
      {"\xC3\xBC\x62\x65r.txt", "\xC3\xBC\x62\x65r\\\xE6\x97\xA5\xE6\x9C\xAC.txt", "unicode",
       0x5A22, 0x6001, 0x20},
      {"ro.txt", "ro.txt", "read-only", 0x5A23, 0x6002, 0x21},
      {"run.exe", "run.exe", "MZ run after extraction", 0x5A24, 0x6003, 0x60},
  };
  return sources;
}

struct ReadBack {
  uint32_t size;
  uint16_t date, time, attributes;
  std::string content;
};

// Every file of a cabinet as the reader reports and extracts it, by stored name.
std::map<std::string, ReadBack> ReadCabinet(const std::string& cabinet, const std::string& out) {
  std::map<std::string, ReadBack> files;
  std::vector<std::pair<std::string, std::string>> written;
  cab::TKXCabReader reader;
  reader.OnCopyFile = [&](cab::TKXCabReader&, const std::string& name, int32_t size, uint16_t date,
                          uint16_t time, uint16_t attributes, uint16_t, std::string& dst, bool&) {
    files[name] = {static_cast<uint32_t>(size), date, time, attributes, {}};
    written.emplace_back(name, dst);
  };
  reader.Extract(cabinet, out, 0);
  for (const auto& [name, path] : written) files[name].content = ReadFileBytes(path);
  return files;
}

class CabWriterTest : public testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    GTEST_SKIP() << "the cabinet library's writer exists on Windows only (here the packer "
                    "writes cabinets with its own library)";
#endif
    auto& os = plat::Current();
    ASSERT_TRUE(os.MakeFolder(src));
    ASSERT_TRUE(os.MakeFolder(temp));
    for (const Source& s : Sources()) {
      WriteFileBytes(src + "\\" + s.diskName, s.content);
      files.push_back({src + "\\" + s.diskName, s.storedName, s.date, s.time, s.attributes});
    }
    // The writer's temporary files go here, where the tests can see that none is left.
    fault.SetTempPath(temp + "\\");
  }

  // Names in the temporary folder ("." and ".." aside).
  std::vector<std::string> TempLeftovers() {
    std::vector<plat::DirEntry> entries;
    plat::Native().FindFiles(temp, entries);
    std::vector<std::string> names;
    for (const auto& e : entries)
      if (e.name != "." && e.name != "..") names.push_back(e.name);
    return names;
  }

  TempDir dir;
  std::string src = dir / "src", temp = dir / "temp";
  std::vector<cab::CabSourceFile> files;
  FaultPlatform fault;
};

TEST_F(CabWriterTest, ReadsBackExactlyThroughTheReader) {
  std::string cabinet = dir / "out.cab";
  {
    plat::ScopedPlatform use(fault);
    cab::WriteCabinet(cabinet, files);
  }
  EXPECT_TRUE(TempLeftovers().empty());

  // One cabinet of one MSZIP folder, set 0, linked to no other cabinet.
  std::string bytes = ReadFileBytes(cabinet);
  ASSERT_GT(bytes.size(), 44u);
  auto u16 = [&](size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                                 static_cast<uint8_t>(bytes[at + 1]) << 8);
  };
  EXPECT_EQ(bytes.substr(0, 4), "MSCF");
  EXPECT_EQ(u16(26), 1);                 // folders
  EXPECT_EQ(u16(28), Sources().size());  // files
  EXPECT_EQ(u16(30), 0);                 // flags: no previous or next cabinet, no reserve
  EXPECT_EQ(u16(32), 0);                 // set ID
  EXPECT_EQ(u16(34), 0);                 // the first cabinet of its set
  EXPECT_EQ(u16(36 + 6), 1);             // the folder's compression: MSZIP
  EXPECT_GE(u16(36 + 4), 4);             // the large file spans several data blocks
  EXPECT_LT(bytes.size(), 100000u);      // and is compressed

  auto read = ReadCabinet(cabinet, dir / "out");
  ASSERT_EQ(read.size(), Sources().size());
  for (const Source& s : Sources()) {
    SCOPED_TRACE(s.storedName);
    ASSERT_EQ(read.count(s.storedName), 1u);
    const ReadBack& r = read[s.storedName];
    EXPECT_EQ(r.size, s.content.size());
    EXPECT_EQ(r.content, s.content);
    EXPECT_EQ(r.date, s.date);
    EXPECT_EQ(r.time, s.time);
    bool nonAscii = std::any_of(s.storedName.begin(), s.storedName.end(),
                                [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    EXPECT_EQ(r.attributes, s.attributes | (nonAscii ? 0x80 : 0));
  }
}

TEST_F(CabWriterTest, SameInputGivesTheSameBytes) {
  plat::ScopedPlatform use(fault);
  cab::WriteCabinet(dir / "1.cab", files);
  // The files' own times and attributes play no part.
  for (const auto& f : files) {
    plat::FileHandle h = plat::Current().OpenFile(f.path, plat::access::kWrite, plat::share::kRead,
                                                  plat::Disposition::kOpenExisting, 0);
    ASSERT_NE(h, plat::kInvalidFile);
    plat::Current().SetFileTimeFromDos(h, 0x4021, 0x1234);
    plat::Current().Close(h);
    plat::Current().SetAttributes(f.path, plat::attr::kReadOnly);
  }
  cab::WriteCabinet(dir / "2.cab", files);
  for (const auto& f : files) plat::Current().SetAttributes(f.path, plat::attr::kNormal);
  std::string first = ReadFileBytes(dir / "1.cab");
  EXPECT_FALSE(first.empty());
  EXPECT_TRUE(first == ReadFileBytes(dir / "2.cab"));
}

TEST_F(CabWriterTest, WritesOnSeveralThreadsAtOnce) {
  cab::WriteCabinet(dir / "single.cab", files);
  std::string expected = ReadFileBytes(dir / "single.cab");
  std::vector<std::thread> threads;
  std::vector<std::string> errors(4);
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      try {
        cab::WriteCabinet(dir / ("t" + std::to_string(i) + ".cab"), files);
      } catch (const std::exception& e) {
        errors[i] = e.what();
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(errors[i], "");
    EXPECT_TRUE(ReadFileBytes(dir / ("t" + std::to_string(i) + ".cab")) == expected) << i;
  }
}

// What fails, and what the message must name.
struct FailureCase {
  const char* what;
  std::string cabinet;   // relative to the test folder
  std::string missing;   // a source file that is not there (empty: none)
  const char* mentions;  // in the message
};

TEST_F(CabWriterTest, FailuresAreExplainedAndLeaveNothingBehind) {
  const FailureCase cases[] = {
      {"missing source", "out.cab", "src\\gone.txt", "gone.txt"},
      {"output folder missing", "no-such-folder\\out.cab", "", "cannot write the cabinet file"},
  };
  plat::ScopedPlatform use(fault);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto list = files;
    if (!c.missing.empty()) list.insert(list.begin() + 1, {dir / c.missing, "gone.txt", 0, 0, 0});
    std::string cabinet = dir / c.cabinet;
    try {
      cab::WriteCabinet(cabinet, list);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      std::string message = e.what();
      EXPECT_NE(message.find(cabinet), std::string::npos) << message;
      EXPECT_NE(message.find(c.mentions), std::string::npos) << message;
      // The system's own words for the cause follow the library's.
      EXPECT_NE(message.find("): "), std::string::npos) << message;
    }
    EXPECT_FALSE(PathExists(cabinet));
    EXPECT_TRUE(TempLeftovers().empty());
  }
}

TEST_F(CabWriterTest, StoredNamesTheFormatCannotHoldAreRefused) {
  for (const std::string& name : {std::string(), std::string(256, 'n')}) {
    auto list = files;
    list[0].storedName = name;
    EXPECT_THROW(cab::WriteCabinet(dir / "out.cab", list), std::runtime_error) << name.size();
    EXPECT_FALSE(PathExists(dir / "out.cab"));
  }
}

// Every kind of platform call the callbacks make, failed by the system or raising an exception,
// at its first and at its last use in a clean run: the writer throws (nothing unwinds through
// the library), and the partial cabinet and the temporary files are gone.
TEST_F(CabWriterTest, CallbackFaultsThrowAndLeaveNothingBehind) {
  std::string cabinet = dir / "out.cab";
  std::map<Op, int> clean;
  {
    plat::ScopedPlatform use(fault);
    cab::WriteCabinet(cabinet, files);
  }
  for (Op op : {Op::kOpenFile, Op::kRead, Op::kWrite, Op::kSeek, Op::kClose, Op::kTempPath})
    clean[op] = fault.Count(op);
  plat::Native().RemoveFile(cabinet);

  for (const auto& [op, count] : clean) {
    ASSERT_GT(count, 0) << testing_support::OpName(op);
    for (int nth : std::set<int>{1, count}) {
      for (bool raise : {false, true}) {
        SCOPED_TRACE(std::string(testing_support::OpName(op)) + " #" + std::to_string(nth) +
                     (raise ? " raises" : " fails"));
        FaultPlatform faulty;
        faulty.SetTempPath(temp + "\\");
        if (raise) {
          int seen = 0;
          faulty.FailWhen([&, op = op, nth](Op called, const std::string&) {
            if (called == op && ++seen == nth) throw std::runtime_error("forced fault");
            return std::optional<uint32_t>();
          });
        } else {
          faulty.FailNth(op, nth, testing_support::kAccessDeniedCode);
        }
        bool threw = false;
        {
          plat::ScopedPlatform use(faulty);
          try {
            cab::WriteCabinet(cabinet, files);
          } catch (const std::runtime_error& e) {
            threw = true;
            // The cause in words: the exception's, or the system's for the failed call.
            std::string cause =
                raise ? "forced fault" : se::TrimmedErrorText(testing_support::kAccessDeniedCode);
            EXPECT_NE(std::string(e.what()).find(cause), std::string::npos) << e.what();
          }
        }
        // An exception always fails the cabinet; a system failure may be one the library can
        // live with (closing a file it has read through), and then the cabinet is whole.
        if (raise) {
          EXPECT_TRUE(threw);
        }
        if (threw) {
          EXPECT_FALSE(PathExists(cabinet));
        } else {
          EXPECT_EQ(ReadCabinet(cabinet, dir / "check").size(), Sources().size());
          plat::Native().RemoveFile(cabinet);
        }
        EXPECT_TRUE(TempLeftovers().empty());
      }
    }
  }
}

}  // namespace

#ifndef _WIN32
// Here the cabinet library is the stand-in, which reads cabinets only: the writer says so.
TEST(CabWriterStandIn, SaysThatItCannotWriteCabinets) {
  TempDir dir;
  try {
    cab::WriteCabinet(dir / "out.cab", {{dir / "a", "a", 0, 0, 0}});
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("cannot write cabinets"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(PathExists(dir / "out.cab"));
}
#endif
