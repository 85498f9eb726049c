// The reader over the fixture cabinets: sets, continued files, attributes, run-after-extract.
#include <gtest/gtest.h>

#include <filesystem>

#include "cab/KXCabReader.h"
#include "platform/Platform.h"
#include "tests/support/CabBuilder.h"
#include "tests/support/FaultPlatform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"

namespace {

using cab::TKXCabReader;
using testing_support::PathExists;
using testing_support::TempDir;

class CabinetSet : public testing::Test {
 protected:
  // Copies fixture cabinets into the scratch folder; returns the path of the first.
  std::string Fixtures(std::initializer_list<const char*> names, const std::string& into = "") {
    std::string first;
    if (!into.empty()) plat::Current().MakeFolder(dir / into);
    for (const char* name : names) {
      std::string to = into.empty() ? dir / name : dir / (into + "/" + name);
      testing_support::WriteFileBytes(
          to, testing_support::ReadFileBytes(
                  testing_support::SourcePath(std::string("tests/fixtures/cab/") + name)));
      if (first.empty()) first = to;
    }
    return first;
  }
  std::string Out() {
    plat::Current().MakeFolder(dir / "out");
    return dir / "out";
  }
  // Records cabinets seen, partial files and closed files.
  void Record() {
    reader.OnCabinetInfo = [this](TKXCabReader&, const std::string&, const std::string&,
                                  const std::string&, uint16_t, uint16_t number,
                                  bool&) { cabinets.push_back(number); };
    reader.OnCopyPartialFile = [this](TKXCabReader&, const std::string& name,
                                      const std::string& startCab, const std::string&,
                                      const std::string& dst, bool&) {
      partial.push_back(name + "@" + startCab + (dst.empty() ? "" : "=known"));
    };
    reader.OnCloseFile = [this](TKXCabReader&, const std::string& name, uint16_t, uint16_t,
                                uint16_t, uint16_t, bool&, const std::string&,
                                bool&) { closed.push_back(name); };
  }

  TempDir dir;
  TKXCabReader reader;
  std::vector<int> cabinets;
  std::vector<std::string> partial, closed;
};

TEST_F(CabinetSet, FollowsTwoAndThreeCabinetSets) {
  struct Case {
    std::initializer_list<const char*> cabs;
    std::vector<int> seen;                                 // cabinets announced, in order
    std::vector<std::pair<std::string, uintmax_t>> files;  // closed, in order, and their sizes
  };
  const Case cases[] = {
      {{"set2_1.cab", "set2_2.cab"},
       {0, 1, 1},
       {{"intro.txt", 84},
        {"docs\\big.txt", 39493},
        {"span.bin", 6000},
        {"tail.txt", 135},
        {"after.txt", 112}}},
      // Stored: the first file shares a block with one that spans all three.
      {{"set3_1.cab", "set3_2.cab", "set3_3.cab"},
       {0, 1, 2, 2},
       {{"intro.txt", 84}, {"long.bin", 9000}, {"tail.txt", 135}, {"after.txt", 112}}},
      // The same with MSZIP, where the decoder reads ahead into the next block.
      {{"set3z_1.cab", "set3z_2.cab", "set3z_3.cab"},
       {0, 1, 2, 2},
       {{"intro.txt", 84}, {"wide.bin", 60000}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(*c.cabs.begin());
    TempDir scratch;
    TKXCabReader r;
    std::vector<int> seen;
    std::vector<std::pair<std::string, uintmax_t>> files;
    r.OnCabinetInfo = [&](TKXCabReader&, const std::string&, const std::string&, const std::string&,
                          uint16_t, uint16_t number, bool&) { seen.push_back(number); };
    r.OnCloseFile = [&](TKXCabReader&, const std::string& name, uint16_t, uint16_t, uint16_t,
                        uint16_t, bool&, const std::string& dst,
                        bool&) { files.emplace_back(name, std::filesystem::file_size(dst)); };
    std::string first;
    for (const char* name : c.cabs) {
      std::string to = scratch / name;
      testing_support::WriteFileBytes(
          to, testing_support::ReadFileBytes(
                  testing_support::SourcePath(std::string("tests/fixtures/cab/") + name)));
      if (first.empty()) first = to;
    }
    EXPECT_NO_THROW(r.Extract(first, scratch.Path(), 0));
    EXPECT_EQ(files, c.files);
    EXPECT_EQ(seen, c.seen);
  }
}

TEST_F(CabinetSet, SingleCabinetOptionStopsAfterTheNamedOne) {
  std::string first = Fixtures({"set2_1.cab", "set2_2.cab"});
  Record();
  reader.Extract(first, Out(), cab::ceoSingleCabinet);
  // The spanning file is still finished from the next cabinet, but no copy starts there.
  EXPECT_EQ(cabinets, (std::vector<int>{0, 1}));
  EXPECT_TRUE(partial.empty());
  EXPECT_EQ(closed.size(), 5u);

  cabinets.clear();
  closed.clear();
  reader.Extract(first, dir / "out", 0);
  EXPECT_EQ(cabinets, (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(partial.size(), 4u);
}

TEST_F(CabinetSet, StartingInTheMiddleReportsContinuedFiles) {
  Fixtures({"set2_1.cab"});
  std::string second = Fixtures({"set2_2.cab"});
  Record();
  reader.Extract(second, Out(), 0);
  // Files that began in the first cabinet; none was opened by this extraction.
  EXPECT_NE(std::find(partial.begin(), partial.end(), "span.bin@set2_1.cab"), partial.end());
  EXPECT_EQ(partial.size(), 4u);
}

TEST_F(CabinetSet, MissingSuccessorAbortsTheSpanningFile) {
  std::string first = Fixtures({"set2_1.cab"});
  try {
    reader.Extract(first, Out(), 0);
    FAIL() << "no error";
  } catch (const cab::EKXCabinet& e) {
    EXPECT_EQ(e.ErrorCode, cab::FDIERROR_USER_ABORT) << e.Message();
  }
  EXPECT_TRUE(PathExists(dir / "out/intro.txt"));  // what was complete stays
}

TEST_F(CabinetSet, NextCabinetHandlerPointsElsewhereOrGivesUp) {
  std::string first = Fixtures({"set2_1.cab"});
  Fixtures({"set2_2.cab"}, "more");
  std::vector<int> errors;
  reader.OnNextCabinet = [&](TKXCabReader&, const std::string& name, const std::string&,
                             std::string& path, cab::TFDIERROR error, bool& abort) {
    EXPECT_EQ(name, "set2_2.cab");
    errors.push_back(error);
    if (error == cab::FDIERROR_NONE) {
      path = dir / "more";
    } else {
      abort = true;
    }
  };
  reader.Extract(first, Out(), 0);
  EXPECT_EQ(errors, std::vector<int>{0});
  EXPECT_TRUE(PathExists(dir / "out/after.txt"));

  // Pointed at a folder without it, the library reports the failure and the handler aborts.
  errors.clear();
  reader.OnNextCabinet = [&](TKXCabReader&, const std::string&, const std::string&,
                             std::string& path, cab::TFDIERROR error, bool& abort) {
    errors.push_back(error);
    if (error == cab::FDIERROR_NONE) {
      path = dir / "nowhere";
    } else {
      abort = true;
    }
  };
  EXPECT_THROW(reader.Extract(first, dir / "out", 0), cab::EKXCabinet);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1], cab::FDIERROR_CABINET_NOT_FOUND);
}

TEST_F(CabinetSet, FolderTooLongForTheLibraryIsRefused) {
  std::string first = Fixtures({"set2_1.cab", "set2_2.cab"});
  reader.OnNextCabinet = [&](TKXCabReader&, const std::string&, const std::string&,
                             std::string& path, cab::TFDIERROR,
                             bool&) { path = std::string(300, 'x'); };
  try {
    reader.Extract(first, Out(), 0);
    FAIL() << "no error";
  } catch (const cab::EKXCabinet& e) {
    EXPECT_NE(e.Message().find("too long"), std::string::npos) << e.Message();
  }
}

TEST_F(CabinetSet, RestoresAttributesAndOpensMarkedFilesOnlyWhenAsked) {
  std::string cab = Fixtures({"attribs.cab"});
  testing_support::FaultPlatform fault;
  fault.FailNth(testing_support::Op::kShellOpen, 0, 5);  // never really open anything
  plat::ScopedPlatform use(fault);

  reader.Extract(cab, Out(), 0);
  EXPECT_EQ(fault.Count(testing_support::Op::kShellOpen), 0);
  auto& os = plat::Current();
  EXPECT_TRUE(os.FileAttributes(dir / "out/ro.txt") & plat::attr::kReadOnly);
  EXPECT_FALSE(os.FileAttributes(dir / "out/plain.txt") & plat::attr::kReadOnly);
#ifdef _WIN32
  EXPECT_TRUE(os.FileAttributes(dir / "out/hidden.txt") & plat::attr::kHidden);
  EXPECT_TRUE(os.FileAttributes(dir / "out/system.txt") & plat::attr::kSystem);
  EXPECT_EQ(os.FileAttributes(dir / "out/all.txt") & 0x67u, 0x27u);
#endif

  reader.Options = cab::croExecuteOnExtract;
  reader.Extract(cab, dir / "out", 0);
  std::vector<std::string> opened;
  for (const auto& call : fault.Calls()) {
    if (call.op == testing_support::Op::kShellOpen) opened.push_back(call.path);
  }
  // run.exe and all.txt carry the run-after-extract mark.
  EXPECT_EQ(opened, (std::vector<std::string>{dir / "out/run.exe", dir / "out/all.txt"}));

  // A close handler can veto the opening, or ask for it on an unmarked file.
  reader.OnCloseFile = [](TKXCabReader&, const std::string& name, uint16_t, uint16_t, uint16_t,
                          uint16_t, bool& exec, const std::string&,
                          bool&) { exec = name == "plain.txt"; };
  reader.Extract(cab, dir / "out", 0);
  EXPECT_EQ(fault.Count(testing_support::Op::kShellOpen), 3);
}

}  // namespace
