// The packer's parts that the command line cannot reach cheaply: how folders are cut into
// cabinets whatever their size, compressing from files and side by side, the prompt's UTF-8
// check.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "tests/extractor/PackageTestSupport.h"
#include "tests/support/FaultPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/sepack/CodecRun.h"
#include "tools/sepack/FileIo.h"
#include "tools/sepack/FolderCabinet.h"
#include "tools/sepack/ParallelCompress.h"
#include "tools/sepack/TextChecks.h"

namespace {

using sepack::FolderFile;

std::vector<size_t> RunSizes(const std::vector<uint64_t>& sizes, uint64_t target) {
  std::vector<FolderFile> files;
  for (const uint64_t s : sizes) files.push_back({std::to_string(files.size()), {}, s});
  std::vector<size_t> counts;
  for (const auto& run : sepack::SplitIntoCabinets(files, target)) counts.push_back(run.size());
  return counts;
}

TEST(SplitIntoCabinets, RunsStayWithinTheTargetAndKeepTheOrder) {
  constexpr uint64_t GiB = 1ull << 30;
  const struct {
    std::vector<uint64_t> sizes;
    uint64_t target;
    std::vector<size_t> runs;
  } cases[] = {
      {{1}, 10, {1}},
      {{4, 6, 1}, 10, {2, 1}},      // exactly the target still fits
      {{0, 0, 10, 0}, 10, {4}},     // empty files join any run
      {{3, 25, 3}, 10, {1, 1, 1}},  // a larger file makes a run of its own
      {{25, 0, 3}, 10, {2, 1}},
      // A folder of 2.5 GiB in files of 0.5 GiB, cut at the real target: no cabinet comes near
      // the 2 GiB a cabinet folder can hold.
      {{GiB / 2, GiB / 2, GiB / 2, GiB / 2, GiB / 2}, sepack::kCabinetTargetBytes, {1, 1, 1, 1, 1}},
      {{sepack::kMaxCabinetFolderBytes, 1}, sepack::kCabinetTargetBytes, {1, 1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunSizes(c.sizes, c.target), c.runs);
  }
}

// Stored times: UTC calendar fields, capped by SOURCE_DATE_EPOCH, held within what a cabinet
// can store.
TEST(DosTimeOf, GivesTheUtcFieldsWithinTheCabinetRange) {
  const auto dos = [](int year, int month, int day, int hour, int minute, int second) {
    return std::pair<uint16_t, uint16_t>(
        static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day),
        static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2)));
  };
  const struct {
    int64_t seconds;
    std::optional<int64_t> cap;
    std::pair<uint16_t, uint16_t> expected;
  } cases[] = {
      {315532800, {}, dos(1980, 1, 1, 0, 0, 0)},
      {951827696, {}, dos(2000, 2, 29, 12, 34, 56)},   // a leap day
      {1709251199, {}, dos(2024, 2, 29, 23, 59, 58)},  // odd seconds round down
      {4107542400, {}, dos(2100, 3, 1, 0, 0, 0)},      // 2100 is no leap year
      {0, {}, dos(1980, 1, 1, 0, 0, 0)},               // before 1980: its first second
      {-86400, {}, dos(1980, 1, 1, 0, 0, 0)},
      {9999999999, {}, dos(2107, 12, 31, 23, 59, 58)},        // past 2107: its last
      {1709251199, 951827696, dos(2000, 2, 29, 12, 34, 56)},  // capped
      {951827696, 1709251199, dos(2000, 2, 29, 12, 34, 56)},  // under the cap: kept
  };
  for (const auto& c : cases) {
    std::pair<uint16_t, uint16_t> got;
    sepack::DosTimeOf(c.seconds, c.cap, got.first, got.second);
    EXPECT_EQ(got, c.expected) << c.seconds;
  }
}

std::vector<std::string> Inputs() {
  std::mt19937 rng(5);
  std::vector<std::string> inputs;
  for (size_t size : {0u, 1u, 70000u, 3000u, 150000u, 9u}) {
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>('a' + rng() % (size % 7 + 2));
    inputs.push_back(data);
  }
  return inputs;
}

// Each input in a file of its own.
std::vector<std::string> InputFiles(const testing_support::TempDir& dir,
                                    const std::vector<std::string>& inputs) {
  std::vector<std::string> paths;
  for (const auto& in : inputs) {
    paths.push_back(dir / ("in" + std::to_string(paths.size())));
    testing_support::WriteFileBytes(paths.back(), in);
  }
  return paths;
}

// Compressing from a file in pieces gives the codec object's stream of the whole input, across
// the reader's 1 MiB pieces and for an empty file.
TEST(CompressFile, GivesTheCodecObjectsStream) {
  testing_support::TempDir dir;
  std::vector<std::string> inputs = Inputs();
  std::mt19937 rng(7);
  std::string large((1 << 20) + 4321, '\0');
  for (auto& c : large) c = static_cast<char>(rng() % 5 == 0 ? rng() : 'x');
  inputs.push_back(large);
  const std::vector<std::string> paths = InputFiles(dir, inputs);
  for (size_t i = 0; i < inputs.size(); ++i) {
    const se::MemoryStream stream = sepack::CompressFile(paths[i], "test", false);
    const std::string got(reinterpret_cast<const char*>(stream.Memory()),
                          static_cast<size_t>(stream.Size()));
    EXPECT_TRUE(got == testing_support::Compress(inputs[i])) << inputs[i].size();
  }
  try {
    sepack::CompressFile(dir / "missing", "test", false);
    ADD_FAILURE() << "a missing file compressed";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("cannot read '" + (dir / "missing") + "': "),
              std::string::npos)
        << e.what();
  }
}

TEST(CompressInOrder, GivesTheSerialStreamsInOrderWhateverTheThreads) {
  testing_support::TempDir dir;
  const std::vector<std::string> inputs = Inputs();
  // Inputs take a moment to make, so that workers free to make more would overlap.
  std::atomic<int> makingNow{0};
  std::atomic<int> mostAtOnce{0};
  std::vector<sepack::CompressJob> jobs;
  for (const auto& path : InputFiles(dir, inputs)) {
    jobs.push_back({"job", [&, path] {
                      const int now = ++makingNow;
                      int most = mostAtOnce.load();
                      while (now > most && !mostAtOnce.compare_exchange_weak(most, now)) {
                      }
                      std::this_thread::sleep_for(std::chrono::milliseconds(2));
                      --makingNow;
                      return path;
                    }});
  }
  for (const unsigned threads : {1u, 2u, 4u, 16u}) {
    for (const unsigned inputsAtOnce : {0u, 1u}) {
      SCOPED_TRACE(testing::Message() << threads << " threads, inputs at once " << inputsAtOnce);
      mostAtOnce = 0;
      std::vector<std::string> streams;
      sepack::CompressInOrder(
          jobs,
          [&](size_t index, std::string_view stream) {
            EXPECT_EQ(index, streams.size());
            streams.emplace_back(stream);
          },
          threads, inputsAtOnce);
      ASSERT_EQ(streams.size(), inputs.size());
      for (size_t i = 0; i < inputs.size(); ++i) {
        EXPECT_TRUE(streams[i] == testing_support::Compress(inputs[i])) << i;
      }
      if (inputsAtOnce == 1) {
        EXPECT_EQ(mostAtOnce.load(), 1);
      }
    }
  }
}

TEST(CompressInOrder, TheFirstErrorStopsTheRest) {
  testing_support::TempDir dir;
  const std::string input = InputFiles(dir, {std::string(1000, 'x')})[0];
  std::atomic<int> started{0};
  std::vector<sepack::CompressJob> jobs;
  for (int i = 0; i < 50; ++i) {
    jobs.push_back({"job", [&started, &input, i] {
                      ++started;
                      if (i == 3) throw std::runtime_error("job 4 failed");
                      return input;
                    }});
  }
  size_t handed = 0;
  EXPECT_THROW(
      {
        try {
          sepack::CompressInOrder(
              jobs, [&](size_t, std::string_view) { ++handed; }, 2);
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "job 4 failed");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_LE(handed, 3u);
  EXPECT_LT(started.load(), 50);
  // An error from the sink stops the jobs as well.
  started = 0;
  EXPECT_THROW(sepack::CompressInOrder(
                   jobs, [](size_t, std::string_view) { throw std::length_error("full"); }, 2),
               std::length_error);
  EXPECT_LT(started.load(), 50);
}

TEST(InvalidUtf8Offset, FindsTheFirstBadByte) {
  const struct {
    std::string text;
    size_t bad;
  } cases[] = {
      {"", std::string::npos},
      {"Install? \xD0\x94\xD0\xB0 \xE2\x9C\x93 \xF0\x9F\x98\x80", std::string::npos},
      {"M\xF6"
       "chten",
       1},                      // Latin-1
      {"ab\xC0\xAF", 2},        // overlong "/"
      {"\xE0\x80\xAF", 0},      // overlong, three bytes
      {"x\xED\xA0\x80", 1},     // a surrogate
      {"\xF4\x90\x80\x80", 0},  // past U+10FFFF
      {"ok\xE2\x9C", 2},        // cut short
      {"\x80", 0},              // a lone continuation byte
  };
  for (const auto& c : cases) EXPECT_EQ(sepack::InvalidUtf8Offset(c.text), c.bad) << c.text;
}

}  // namespace

namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<plat::DirEntry> entries;
  plat::Native().FindFiles(folder, entries);
  std::vector<std::string> names;
  for (const auto& e : entries) {
    if (e.name != "." && e.name != "..") names.push_back(e.name);
  }
  return names;
}

}  // namespace

// An output is whole or not there: a write, close or rename that fails leaves the file that was
// there before and no temporary file beside it.
TEST(AtomicOutput, AFailureKeepsTheOldFileAndLeavesNoTemporary) {
  using testing_support::Op;
  const struct {
    const char* what;
    std::function<void(testing_support::FaultPlatform&)> fault;
  } cases[] = {
      {"disk full", [](auto& f) { f.DiskFullAfter(1000); }},
      {"rename refused",
       [](auto& f) { f.FailNth(Op::kRenameOver, 1, testing_support::kAccessDeniedCode); }},
      {"close fails", [](auto& f) { f.FailNth(Op::kClose, 1, testing_support::kDiskFullCode); }},
  };
  for (const auto& c : cases) {
    testing_support::TempDir dir;
    const std::string target = dir / "out.bin";
    sepack::WriteFileAtomically(target, {std::string_view("old")});
    {
      testing_support::FaultPlatform fault;
      c.fault(fault);
      const plat::ScopedPlatform use(fault);
      EXPECT_THROW(sepack::WriteFileAtomically(target, {std::string(5000, 'n')}),
                   std::runtime_error)
          << c.what;
    }
    const std::vector<uint8_t> kept = sepack::ReadWholeFile(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "old") << c.what;
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"out.bin"}) << c.what;
  }
}
