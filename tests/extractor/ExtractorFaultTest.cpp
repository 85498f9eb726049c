// The extraction run in-process over the fault-injecting platform: every call on the road can be
// made to fail, and each failure keeps its promise (message, outcome, nothing written outside
// the work folder, the package untouched, the work folder removed where the run says so).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "cab/CabCallbacks.h"
#include "cab/EKXCabinet.h"
#include "extractor/Extractor_U1.h"
#include "extractor/TopLevelHandler.h"
#include "lzh/LzhWorkState.h"
#include "tests/extractor/PackageTestSupport.h"
#include "tests/support/FaultPlatform.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CabinetEntry;
using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

// 12:00:00.000 UTC draws the folder number 810283776 first.
constexpr plat::SystemTime kNoon{12, 0, 0, 0};
constexpr const char* kFirstFolder = "se_810283776";

// `tail` with the 32-bit field at `at` replaced by `value`.
std::string WithField(std::string tail, size_t at, int32_t value) {
  std::string field;
  extractor::AppendLittleEndian32(field, value);
  return tail.replace(at, 4, field);
}

// The "SE error" boxes shown, in order: each an OK box right after a warning beep.
void ExpectSeErrorBoxes(const FaultPlatform& fault, const std::vector<std::string>& texts) {
  std::vector<std::string> shown;
  size_t message = 0;
  const auto& calls = fault.Calls();
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op != Op::kShowMessage || calls[i].failed) continue;
    const auto& box = fault.Messages().at(message++);
    if (box.caption != "SE error") continue;
    shown.push_back(box.text);
    EXPECT_EQ(box.style, plat::mb::kOk) << box.text;
    EXPECT_TRUE(i > 0 && calls[i - 1].op == Op::kBeep) << "no beep right before " << box.text;
  }
  EXPECT_EQ(shown, texts);
  EXPECT_EQ(fault.Beeps(), std::vector<uint32_t>(texts.size(), plat::mb::kIconExclamation));
}

// One package in a scratch folder, run over a fault-injecting platform.
struct Scene {
  Scene() {
    plat::Native().MakeFolder(tmp);
    UsePackage(extractor::PackageTail(
        {CabinetEntry(
            {{"rux.exe", "probe"}, {"sub\\a.txt", std::string(3000, 'a')}, {"b.txt", "bee"}})},
        ""));
    fault.SetProgramPath(package);
    fault.SetTempPath(tmp + plat::kPathDelim);
    fault.SetTimeOfDay(kNoon);
    fault.AnswerMessages({plat::mb::kIdYes});
    // Never start anything for real: the launch is observed, not made.
    fault.FailWhen([](Op op, const std::string&) -> std::optional<uint32_t> {
      if (op == Op::kRunAndWait) return testing_support::kNotFoundCode;
      return std::nullopt;
    });
  }

  // Makes the package the stub image followed by `tail`.
  void UsePackage(const std::string& tail) {
    WriteFileBytes(package, "IMAGE" + tail);
    original = ReadFileBytes(package);
  }

  // Runs as the entry point does; returns the exit code and keeps the error's text.
  int RunStub() {
    plat::ScopedPlatform use(fault);
    try {
      extractor::TExtractor run;
      run.Run();
      return 0;
    } catch (...) {
      applicationError = extractor::ApplicationErrorText(std::current_exception());
      return 1;
    }
  }

  std::vector<std::string> Leftovers() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Launched() {
    for (const auto& call : fault.Calls()) {
      if (call.op == Op::kRunAndWait) return call.path;
    }
    return "";
  }
  // Every path the run changed lies in the work folder (or is the folder itself).
  void ExpectOnlyWorkFolderChanged() {
    const std::string prefix = dir / "tmp/se_";
    for (const auto& path : fault.ChangedPaths()) {
      EXPECT_EQ(path.rfind(prefix, 0), 0u) << "changed outside the work folder: " << path;
    }
    EXPECT_EQ(ReadFileBytes(package), original);
  }

  TempDir dir;
  std::string tmp = dir / "tmp";
  std::string package = dir / "setup.exe";
  std::string original;
  std::string applicationError;
  FaultPlatform fault;
};

class ExtractorFaults : public testing::Test, public Scene {};

TEST_F(ExtractorFaults, NormalRunUsesTheDrawnFolderAndRemovesIt) {
  EXPECT_EQ(RunStub(), 0);
  EXPECT_EQ(Launched(), dir / (std::string("tmp/") + kFirstFolder + "/rux.exe"));
  EXPECT_TRUE(Leftovers().empty());
  ExpectOnlyWorkFolderChanged();
  ASSERT_EQ(fault.Messages().size(), 1u);
  EXPECT_EQ(fault.Messages()[0].text, "Continue?");
  EXPECT_EQ(fault.Messages()[0].caption, "Quillmark Extractor");
  EXPECT_EQ(fault.Messages()[0].style, plat::mb::kYesNo | plat::mb::kIconQuestion);
}

// A negative prompt length is no prompt; a negative entry count is no entries.
TEST(ExtractorFaultTable, NegativeCountsMeanNone) {
  struct Case {
    const char* what;
    bool entryCount;  // else the prompt length
    int32_t value;
    bool extracts;
  };
  const Case cases[] = {{"prompt length -5", false, -5, true}, {"entry count -1", true, -1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    std::string tail = extractor::PackageTail({CabinetEntry({{"rux.exe", "probe"}})}, "");
    scene.UsePackage(WithField(tail, c.entryCount ? 0 : tail.size() - 8, c.value));
    EXPECT_EQ(scene.RunStub(), 0);
    ASSERT_FALSE(scene.fault.Messages().empty());
    EXPECT_EQ(scene.fault.Messages()[0].text, "Continue?");
    const auto& changed = scene.fault.ChangedPaths();
    const bool wroteCabinet = std::any_of(changed.begin(), changed.end(), [](const std::string& p) {
      return p.find("kem.cab") != std::string::npos;
    });
    EXPECT_EQ(wroteCabinet, c.extracts);
    EXPECT_EQ(scene.fault.Count(Op::kRunAndWait), 1);  // the launch is tried either way
    EXPECT_TRUE(scene.Leftovers().empty());
    scene.ExpectOnlyWorkFolderChanged();
  }
}

TEST_F(ExtractorFaults, FolderThatAlreadyExistsIsNeverTouched) {
  std::string theirs = dir / (std::string("tmp/") + kFirstFolder);
  plat::Native().MakeFolder(theirs);
  WriteFileBytes(theirs + plat::kPathDelim + "theirs.txt", "keep me");
  EXPECT_EQ(RunStub(), 0);
  EXPECT_EQ(ReadFileBytes(theirs + plat::kPathDelim + "theirs.txt"), "keep me");
  EXPECT_NE(Launched().find("se_"), std::string::npos);
  EXPECT_EQ(Launched().find(kFirstFolder), std::string::npos);
  EXPECT_EQ(Leftovers(), std::vector<std::string>{kFirstFolder});
  for (const auto& path : fault.ChangedPaths())
    EXPECT_EQ(path.find(kFirstFolder), std::string::npos);
}

#ifndef _WIN32
TEST_F(ExtractorFaults, LinkByTheDrawnNameIsNeverFollowed) {
  std::string elsewhere = dir / "elsewhere";
  plat::Native().MakeFolder(elsewhere);
  WriteFileBytes(dir / "elsewhere/theirs.txt", "keep me");
  fs::create_directory_symlink(elsewhere, dir / (std::string("tmp/") + kFirstFolder));
  EXPECT_EQ(RunStub(), 0);
  EXPECT_EQ(ReadFileBytes(dir / "elsewhere/theirs.txt"), "keep me");
  EXPECT_EQ(fs::directory_iterator(elsewhere)->path().filename(), "theirs.txt");
  EXPECT_TRUE(fs::is_symlink(dir / (std::string("tmp/") + kFirstFolder)));
  EXPECT_EQ(Launched().find(kFirstFolder), std::string::npos);
}

TEST_F(ExtractorFaults, WorkFolderIsPrivate) {
  // Look at the folder while it exists: when the launch is attempted.
  std::string launched;
  fs::perms perms{};
  fault.OnCall([&](const FaultPlatform::Call& call) {
    if (call.op == Op::kRunAndWait) {
      launched = call.path;
      perms = fs::status(fs::path(call.path).parent_path()).permissions();
    }
  });
  EXPECT_EQ(RunStub(), 0);
  ASSERT_NE(launched.find(kFirstFolder), std::string::npos) << "no launch seen: " << launched;
  EXPECT_EQ(perms & fs::perms::owner_all, fs::perms::owner_all);
  EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
}
#endif

TEST_F(ExtractorFaults, NoTemporaryFolderIsAClearError) {
  fault.FailNth(Op::kTempPath, 1, testing_support::kNotFoundCode);
  EXPECT_EQ(RunStub(), 1);
  EXPECT_NE(applicationError.find("Cannot find the temporary folder."), std::string::npos)
      << applicationError;
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ExtractorFaults, FolderThatCannotBeMadeIsAClearError) {
  fault.FailNth(Op::kMakeFolder, 0, testing_support::kAccessDeniedCode);
  EXPECT_EQ(RunStub(), 1);
  EXPECT_NE(applicationError.find("Cannot create a work folder in "), std::string::npos)
      << applicationError;
  EXPECT_TRUE(Leftovers().empty());
  EXPECT_EQ(fault.Count(Op::kMakeFolder), 100);  // bounded
}

// One call on the road fails; the run ends as promised.
TEST(ExtractorFaultTable, EachFailingCallKeepsItsPromise) {
  enum Outcome { kQuietAndClean, kApplicationError, kExtractError };
  struct Case {
    const char* what;
    Op op;
    int nth;           // the n-th call of op counted from the start of the run; 0: every one
    std::string path;  // only calls about paths containing this count ("" = all)
    Outcome outcome;
    const char* message;  // part of the Application Error text, if any
    bool folderStays;
  };
  const std::string kem = "kem.cab";
  const Case cases[] = {
      {"open the package", Op::kOpenFile, 1, "setup.exe", kApplicationError,
       "Exception EFOpenError", false},
      // A trailer that cannot be read is no package; the payload that cannot be read is lost.
      // Every read: a first failed one is read again.
      {"read the trailer", Op::kRead, 0, "setup.exe", kQuietAndClean, "Not a valid SE file", false},
      {"read an entry", Op::kRead, 7, "setup.exe", kApplicationError, "Stream read error.", true},
      {"create kem.cab", Op::kOpenFile, 1, kem, kApplicationError, "Exception EFCreateError", true},
      {"write kem.cab", Op::kWrite, 1, kem, kApplicationError, "Stream write error.", true},
      {"cabinet library opens kem.cab", Op::kOpenFile, 2, kem, kApplicationError,
       "Exception EKXCabinet", true},
      {"cabinet library reads kem.cab", Op::kRead, 2, kem, kApplicationError,
       "Exception EKXCabinet", true},
      {"cabinet library seeks kem.cab", Op::kSeek, 1, kem, kApplicationError,
       "Exception EKXCabinet", true},
      {"create an extracted file", Op::kOpenFile, 1, "b.txt", kApplicationError,
       "Exception EKXCabinet", true},
      {"write an extracted file", Op::kWrite, 1, "a.txt", kApplicationError, "Exception EKXCabinet",
       true},
      {"cabinet library closes kem.cab", Op::kClose, 2, kem, kQuietAndClean, nullptr, false},
      {"spawn", Op::kRunAndWait, 1, "", kQuietAndClean, nullptr, false},
      // The folder, not yet empty, is tried again.
      {"find at clean-up", Op::kFindFiles, 1, "", kQuietAndClean, nullptr, false},
      {"delete at clean-up", Op::kForceRemoveFile, 1, "b.txt", kQuietAndClean, nullptr, true},
      {"remove a folder at clean-up", Op::kRemoveFolder, 1, "sub", kQuietAndClean, nullptr, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    auto& fault = scene.fault;
    int seen = 0;
    auto launchFails = [](Op op) { return op == Op::kRunAndWait; };
    fault.FailWhen([&](Op op, const std::string& path) -> std::optional<uint32_t> {
      if (op == c.op && (c.path.empty() || path.find(c.path) != std::string::npos) &&
          (++seen == c.nth || c.nth == 0)) {
        // At clean-up, one that does not clear by itself (passing ones are retried).
        const bool cleanUp = op == Op::kForceRemoveFile || op == Op::kRemoveFolder;
        return cleanUp ? testing_support::kNotFoundCode : testing_support::kAccessDeniedCode;
      }
      if (launchFails(op)) return testing_support::kNotFoundCode;
      return std::nullopt;
    });
    int code = scene.RunStub();
    EXPECT_EQ(code, c.outcome == kApplicationError ? 1 : 0);
    if (c.outcome == kQuietAndClean) {
      // A quiet ending shows no "SE error" box, unless the row names the one it shows.
      ExpectSeErrorBoxes(
          fault, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    } else if (c.message) {
      EXPECT_NE(scene.applicationError.find(c.message), std::string::npos)
          << scene.applicationError;
    }
    EXPECT_EQ(scene.Leftovers().size(), c.folderStays ? 1u : 0u);
    scene.ExpectOnlyWorkFolderChanged();
    EXPECT_EQ(seen >= c.nth, true) << "the call was never made";
  }
}

TEST(ExtractorFaultTable, DiskFillingUpIsAnErrorNotASilentLoss) {
  struct Case {
    uint64_t room;  // bytes that still fit
    const char* message;
  };
  // kem.cab cannot be written whole; then an extracted file cannot.
  const uint64_t cabinetSize =
      testing_support::MakeStoredCabinet(
          {{"rux.exe", "probe"}, {"sub\\a.txt", std::string(3000, 'a')}, {"b.txt", "bee"}})
          .size();
  const Case cases[] = {{100, "Stream write error."},
                        {cabinetSize + 1000, "Failure writing to target file"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.room);
    Scene scene;
    scene.fault.DiskFullAfter(c.room);
    EXPECT_EQ(scene.RunStub(), 1);
    EXPECT_NE(scene.applicationError.find(c.message), std::string::npos) << scene.applicationError;
    scene.ExpectOnlyWorkFolderChanged();
  }
}

// Noise that the codec cannot shrink: an entry several read and write buffers long.
std::string Noise(size_t size) {
  std::string bytes(size, '\0');
  uint32_t x = 2463534242u;
  for (auto& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return bytes;
}

// Entries go from the package straight into kem.cab: a failure part-way through the entry ends
// the run as a failure before it did, with what was written left in the work folder.
TEST(ExtractorFaultTable, FailurePartWayThroughALargeEntry) {
  const std::string big = Noise(1 << 20);
  const size_t cabinetSize =
      testing_support::MakeStoredCabinet({{"rux.exe", "probe"}, {"big.bin", big}}).size();
  struct Case {
    const char* what;
    bool readFails;  // else the disk fills up
    const char* message;
  };
  const Case cases[] = {{"read fails", true, "Stream read error."},
                        {"disk full", false, "Stream write error."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    scene.UsePackage(
        extractor::PackageTail({CabinetEntry({{"rux.exe", "probe"}, {"big.bin", big}})}, ""));
    int reads = 0;
    scene.fault.FailWhen([&](Op op, const std::string& path) -> std::optional<uint32_t> {
      if (op == Op::kRunAndWait) return testing_support::kNotFoundCode;
      // Trailer 4, entry count, compressed size, name length, size word, then the data: the
      // fourth read of the data fails, after some of kem.cab has been written.
      if (c.readFails && op == Op::kRead && path == scene.package && ++reads == 13) {
        return testing_support::kAccessDeniedCode;
      }
      return std::nullopt;
    });
    if (!c.readFails) scene.fault.DiskFullAfter(cabinetSize / 2);
    EXPECT_EQ(scene.RunStub(), 1);
    EXPECT_NE(scene.applicationError.find(c.message), std::string::npos) << scene.applicationError;
    ASSERT_EQ(scene.Leftovers(), std::vector<std::string>{kFirstFolder});
    const std::string cabinet =
        scene.tmp + plat::kPathDelim + kFirstFolder + plat::kPathDelim + "kem.cab";
    const auto written = fs::file_size(cabinet);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, cabinetSize);
    EXPECT_EQ(scene.fault.Count(Op::kRunAndWait), 0);
    scene.ExpectOnlyWorkFolderChanged();
  }
}

// The codec's tables cannot be had, or cannot be given back once the whole cabinet is out:
// the entry is reported as not extracted, and the run cleans up.
// An error met inside a cabinet library callback ends the run as any error of the extraction
// does (Application Error, exit code 1, the work folder left), never by unwinding through the
// library, which the 32-bit build cannot survive.
TEST(ExtractorFaultTable, ErrorInsideACabinetCallbackIsAnApplicationError) {
  static const char* target;
  for (const char* callback : {"alloc", "open", "read", "write", "notify"}) {
    SCOPED_TRACE(callback);
    target = callback;
    Scene scene;
    cab::CallbackFaultHook = [](const char* name) {
      if (std::string(name) == target) throw std::runtime_error(std::string("forced in ") + name);
    };
    const int code = scene.RunStub();
    cab::CallbackFaultHook = nullptr;
    EXPECT_EQ(code, 1);
    EXPECT_NE(scene.applicationError.find(std::string("forced in ") + callback), std::string::npos)
        << scene.applicationError;
    EXPECT_EQ(scene.Leftovers().size(), 1u);
    EXPECT_EQ(scene.fault.Count(Op::kRunAndWait), 0);
    scene.ExpectOnlyWorkFolderChanged();
  }
}

TEST(ExtractorFaultTable, CodecFailureIsReportedAndCleanedUp) {
  class Tables final : public lzh::TLzhTableAllocator {
   public:
    explicit Tables(bool failAllocate) : failAllocate_(failAllocate) {
      previous_ = lzh::SetLzhTableAllocator(this);
    }
    ~Tables() override { lzh::SetLzhTableAllocator(previous_); }
    void* Allocate(std::size_t bytes) override {
      return failAllocate_ ? nullptr : ::operator new(bytes);
    }
    bool Release(void* block) noexcept override {
      ::operator delete(block);
      return false;
    }

   private:
    bool failAllocate_;
    lzh::TLzhTableAllocator* previous_;
  };
  for (bool failAllocate : {true, false}) {
    SCOPED_TRACE(failAllocate);
    Scene scene;
    Tables tables(failAllocate);
    EXPECT_EQ(scene.RunStub(), 0);
    ASSERT_EQ(scene.fault.Messages().size(), 2u);
    ExpectSeErrorBoxes(scene.fault, {"Error extracting files"});
    EXPECT_EQ(scene.fault.Count(Op::kRunAndWait), 0);
    EXPECT_TRUE(scene.Leftovers().empty());
    scene.ExpectOnlyWorkFolderChanged();
  }
}

TEST_F(ExtractorFaults, ReadOnlyHiddenAndDeepFilesAreCleanedUp) {
  testing_support::CabFile readOnly{"a\\b\\c\\d\\ro.txt", "r", 0x5A21, 0x6000, 0x21};
  testing_support::CabFile hidden{"a\\b\\hidden.txt", "h", 0x5A21, 0x6000, 0x27};
  UsePackage(extractor::PackageTail({CabinetEntry({readOnly, hidden})}, ""));
  EXPECT_EQ(RunStub(), 0);
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ExtractorFaults, RunningOutOfMemoryIsAnApplicationError) {
  // The buffers between the package, the codec and kem.cab cannot be had.
  for (size_t limit : {size_t{1000}, size_t{8}}) {
    SCOPED_TRACE(limit);
    Scene scene;
    se::MemoryStream::SetBlockLimit(limit);
    int code = scene.RunStub();
    se::MemoryStream::SetBlockLimit(SIZE_MAX);
    EXPECT_EQ(code, 1);
    EXPECT_NE(scene.applicationError.find("Exception EOutOfMemory"), std::string::npos)
        << scene.applicationError;
    EXPECT_NE(scene.applicationError.find("Out of memory."), std::string::npos);
    scene.ExpectOnlyWorkFolderChanged();
  }
}

// n stream bytes decode to at most 48 x n bytes; a size field beyond that is refused before
// anything is allocated for it, as a failed decompression.
TEST_F(ExtractorFaults, SizeFieldBeyondWhatTheStreamCanHoldIsRefused) {
  const int32_t n = 10;
  for (int32_t declared : {48 * n, 48 * n + 1}) {
    SCOPED_TRACE(declared);
    Scene scene;
    std::string stream(static_cast<size_t>(n), '\0');
    extractor::AppendLittleEndian32(stream, declared);
    scene.UsePackage(extractor::PackageTail({{"kem.cab", stream}}, ""));
    int code = scene.RunStub();
    if (declared == 48 * n) {
      // Decoded, not a cabinet: the reader says so.
      EXPECT_EQ(code, 1);
      EXPECT_NE(scene.applicationError.find("Exception EKXCabinet"), std::string::npos);
    } else {
      EXPECT_EQ(code, 0);
      ASSERT_EQ(scene.fault.Messages().size(), 2u);
      EXPECT_EQ(scene.fault.Messages()[1].text, "Error extracting files");
      EXPECT_EQ(scene.fault.Messages()[1].caption, "SE error");
      EXPECT_TRUE(scene.Leftovers().empty());
    }
    scene.ExpectOnlyWorkFolderChanged();
  }
}

// Entry fields that point outside the payload area are read errors, found before anything is
// allocated for them or read past the area (into the trailer or beyond the file).
TEST(ExtractorFaultTable, EntryFieldsOutsideThePayloadArea) {
  struct Case {
    const char* what;
    size_t at;  // offset of a 32-bit field in the tail
    int32_t value;
  };
  const Case cases[] = {
      {"entry count past the entries", 0, INT32_MAX}, {"negative compressed size", 4, -1},
      {"compressed size past the area", 4, 1 << 20},  {"negative name length", 8, -7},
      {"name length past the area", 8, INT32_MAX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    std::string tail = extractor::PackageTail({CabinetEntry({{"rux.exe", "probe"}})}, "");
    scene.UsePackage(WithField(tail, c.at, c.value));
    EXPECT_EQ(scene.RunStub(), 1);
    EXPECT_NE(scene.applicationError.find("Exception EReadError"), std::string::npos)
        << scene.applicationError;
    EXPECT_NE(scene.applicationError.find("Stream read error."), std::string::npos);
    scene.ExpectOnlyWorkFolderChanged();
  }
}

// A stored name flagged as UTF-8 is created with its characters; any other is read in the ANSI
// code page (on POSIX, names are bytes and stay as they are).
TEST_F(ExtractorFaults, StoredNamesKeepTheirCharacters) {
  const std::string utf8 = "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt";  // Cyrillic
  const std::string ansi = "caf\xE9.txt";                           // e acute in most code pages
  testing_support::CabFile flagged{utf8, "u", 0x5A21, 0x6000, 0xA0};
  UsePackage(
      extractor::PackageTail({CabinetEntry({{"rux.exe", "probe"}, flagged, {ansi, "a"}})}, ""));
  std::vector<std::string> names;
  fault.OnCall([&](const FaultPlatform::Call& call) {
    if (call.op != Op::kRunAndWait) return;  // the files are all there now
    std::vector<plat::DirEntry> entries;
    plat::Native().FindFiles(call.path.substr(0, call.path.find_last_of("\\/")), entries);
    for (const auto& entry : entries) names.push_back(entry.name);
  });
  EXPECT_EQ(RunStub(), 0);
  std::string ansiAsStored = plat::Native().AnsiToUtf8(ansi);
#ifdef _WIN32
  EXPECT_NE(ansiAsStored, ansi);  // converted, not passed on as bytes
#endif
  for (const auto& expected : {utf8, ansiAsStored}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  }
  EXPECT_TRUE(Leftovers().empty());
}

// A clean-up that fails because something holds the folder or a file for a moment (a console
// host, a scanner) is tried again with growing pauses, for a bounded time, and never reported.
TEST(ExtractorFaultTable, BusyCleanUpIsRetriedForABoundedTime) {
  struct Case {
    const char* what;
    Op op;
    std::string path;  // calls about paths ending in this
    int failures;      // how many times it fails; -1 = always
    uint32_t code;
    bool folderStays;
    bool pauses;
  };
  const std::string work = kFirstFolder;
  const Case cases[] = {
      {"work folder in use", Op::kRemoveFolder, work, 3, testing_support::kInUseCode, false, true},
      {"work folder not yet empty", Op::kRemoveFolder, work, 2, testing_support::kNotEmptyCode,
       false, true},
      {"file in use", Op::kForceRemoveFile, "b.txt", 4, testing_support::kInUseCode, false, true},
      {"work folder in use for good", Op::kRemoveFolder, work, -1, testing_support::kInUseCode,
       true, true},
      {"file gone wrong for good", Op::kForceRemoveFile, "b.txt", -1,
       testing_support::kNotFoundCode, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    int failed = 0;
    scene.fault.FailWhen([&](Op op, const std::string& path) -> std::optional<uint32_t> {
      if (op == Op::kRunAndWait) return testing_support::kNotFoundCode;
      const bool match = path.size() >= c.path.size() &&
                         path.compare(path.size() - c.path.size(), c.path.size(), c.path) == 0;
      if (op == c.op && match && (c.failures < 0 || failed < c.failures)) {
        ++failed;
        return c.code;
      }
      return std::nullopt;
    });
    EXPECT_EQ(scene.RunStub(), 0);
    EXPECT_EQ(scene.fault.Messages().size(), 1u);  // the question only
    EXPECT_EQ(scene.Leftovers().size(), c.folderStays ? 1u : 0u);
    const uint64_t paused = scene.fault.PausedMilliseconds();
    if (!c.pauses) {
      EXPECT_EQ(paused, 0u);
    } else if (c.failures < 0) {
      EXPECT_GE(paused, 2000u);  // given up after about 2.5 s
      EXPECT_LE(paused, 3000u);
    } else {
      EXPECT_EQ(scene.fault.Count(Op::kPause), c.failures);  // one pause per failed pass
      EXPECT_LT(paused, 1000u);
    }
    scene.ExpectOnlyWorkFolderChanged();
  }
}

TEST(ApplicationError, NamesClassModuleAndMessage) {
  std::string text;
  try {
    throw se::EReadError("Stream read error");
  } catch (...) {
    text = extractor::ApplicationErrorText(std::current_exception());
  }
  EXPECT_EQ(text.rfind("Exception EReadError in module ", 0), 0u) << text;
  EXPECT_NE(text.find(" at "), std::string::npos);
  // A full stop is added once.
  EXPECT_EQ(text.substr(text.size() - 19), "\nStream read error.") << text;
  try {
    throw se::Exception("Already ends.");
  } catch (...) {
    text = extractor::ApplicationErrorText(std::current_exception());
  }
  EXPECT_EQ(text.substr(text.size() - 14), "\nAlready ends.");
}

}  // namespace
