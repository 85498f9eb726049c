#include "extractor/Extractor_U1.h"

#include <algorithm>
#include <vector>

#include "base/Exception.h"
#include "cab/KXCabReader.h"
#include "extractor/EntryDecoder.h"
#include "extractor/PackageLayout.h"
#include "platform/Platform.h"

namespace extractor {
namespace {

constexpr char kDelim = plat::kPathDelim;
constexpr const char* kQuestionCaption = "Quillmark Extractor";
constexpr const char* kErrorCaption = "SE error";
constexpr const char* kCabinetName = "kem.cab";
constexpr const char* kProgramName = "rux.exe";
constexpr const char* kFolderPrefix = "se_";
// Drawn names that already exist are passed over; this many draws, then the run gives up.
constexpr int kFolderTries = 100;
// Clean-up retries: 10, 20, 40, ... ms between passes, at most 640 ms, about 2.5 s in all.
constexpr uint32_t kFirstRetryPause = 10;
constexpr uint32_t kLongestRetryPause = 640;
constexpr uint32_t kRetryBudget = 2500;

// The payload area, read strictly forward; reading past its end is a stream read error.
class PayloadReader {
 public:
  PayloadReader(se::FileStream& file, int64_t end) : file_(file), end_(end) {}

  int32_t ReadInt32() {
    uint8_t bytes[4];
    Read(bytes, sizeof bytes);
    return LittleEndian32(bytes);
  }
  void Skip(int64_t count) {
    Check(count);
    file_.Seek(count, plat::SeekOrigin::kCurrent);
  }
  // Raises a stream read error unless `count` more bytes lie inside the area.
  void Check(int64_t count) {
    if (count < 0 || count > end_ - file_.Position()) se::RaiseReadError();
  }

 private:
  void Read(void* buffer, int64_t count) {
    Check(count);
    file_.ReadBuffer(buffer, static_cast<size_t>(count));
  }
  se::FileStream& file_;
  int64_t end_;
};

// What a clean-up pass left behind, as far as it matters for trying again.
struct Leftovers {
  bool any = false;   // something could not be deleted
  bool busy = false;  // ... and at least one failure may clear by itself
  void Failed(plat::Platform& os) {
    any = true;
    busy = busy || os.IsTransientError(os.LastError());
  }
};

// Everything inside `folder` (not the folder itself), depth first; links are removed, never
// followed, and nothing outside the folder is changed (ForceRemoveFile). Failures are passed
// over: whatever cannot be deleted stays, and `left` says so.
void DeleteFolderContents(const std::string& folder, Leftovers& left) {
  auto& os = plat::Current();
  std::vector<plat::DirEntry> entries;
  if (!os.FindFiles(folder, entries)) return;
  for (const auto& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    std::string path = folder + kDelim + entry.name;
    const bool link = entry.attributes & plat::attr::kReparsePoint;
    if (entry.attributes & plat::attr::kDirectory) {
      if (!link) DeleteFolderContents(path, left);
      if (!os.RemoveFolder(path)) left.Failed(os);
    } else if (!os.ForceRemoveFile(path)) {
      left.Failed(os);
    }
  }
}

}  // namespace

uint32_t TExtractor::SeedFromTime(uint16_t hour, uint16_t minute, uint16_t second,
                                  uint16_t milliseconds) {
  return ((uint32_t(hour) * 60 + minute) * 60 + second) * 1000 + milliseconds;
}

uint32_t TExtractor::DrawFolderNumber(uint32_t& state) {
  state = state * 134775813u + 1u;
  return static_cast<uint32_t>((uint64_t(state) * 2147483647u) >> 32);
}

void TExtractor::Run() {
  auto& os = plat::Current();
  PackageStream_ =
      std::make_unique<se::FileStream>(os.ProgramPath(), se::FileStream::Mode::kOpenRead);
  if (!CheckSignature()) {
    ShowError("Not a valid SE file");
    PackageStream_.reset();
    return;
  }
  if (!AskToContinue()) {
    PackageStream_.reset();
    return;
  }
  CreateWorkFolder();
  if (!ExtractPayload()) {
    ShowError("Error extracting files");
    RemoveWorkFolder();
    PackageStream_.reset();
    return;
  }
  LaunchProgram();
  PackageStream_.reset();
  RemoveWorkFolder();
}

void TExtractor::ShowError(const std::string& text) {
  auto& os = plat::Current();
  os.Beep(plat::mb::kIconExclamation);
  os.ShowMessage(text, kErrorCaption, plat::mb::kOk);
}

int64_t TExtractor::PackageSize() {
  // A signed package ends where its certificate table (and the padding before it) begins.
  if (PackageEnd_ < 0) {
    PackageEnd_ =
        PackageEnd(PackageStream_->Size(), [this](int64_t at) { return ReadInt32At(at); });
  }
  return PackageEnd_;
}

int32_t TExtractor::ReadInt32At(int64_t position) {
  uint8_t bytes[4] = {};
  if (position < 0 || PackageStream_->Seek(position, plat::SeekOrigin::kBegin) != position ||
      PackageStream_->Read(bytes, 4) != 4) {
    return 0;
  }
  return LittleEndian32(bytes);
}

bool TExtractor::CheckSignature() {
  const auto trailer =
      ReadTrailer(PackageStream_->Size(), [this](int64_t at) { return ReadInt32At(at); });
  if (!trailer) return false;
  PackageEnd_ = trailer->end;
  return true;
}

bool TExtractor::AskToContinue() {
  const int64_t size = PackageSize();
  PromptLength_ = ReadInt32At(size - 8);
  std::string question = "Continue?";
  if (PromptLength_ < 1) {
    PromptLength_ = 0;
  } else {
    std::vector<char> text(static_cast<size_t>(PromptLength_) + 1, '\0');
    PackageStream_->Seek(size - (int64_t(PromptLength_) + 8), plat::SeekOrigin::kBegin);
    PackageStream_->ReadBuffer(text.data(), static_cast<size_t>(PromptLength_));
    question.assign(text.data());  // the text ends at its first NUL
  }
  return plat::Current().ShowMessage(question, kQuestionCaption,
                                     plat::mb::kYesNo | plat::mb::kIconQuestion) ==
         plat::mb::kIdYes;
}

bool TExtractor::ExtractPayload() {
  const int64_t size = PackageSize();
  const int64_t areaEnd = size - (int64_t(PromptLength_) + 12);
  const int32_t area = ReadInt32At(areaEnd);
  const int64_t areaStart = areaEnd - area;
  PackageStream_->Seek(areaStart, plat::SeekOrigin::kBegin);
  PayloadReader payload(*PackageStream_, areaEnd);
  const int32_t count = payload.ReadInt32();

  const std::string cabinet = WorkFolder_ + kDelim + kCabinetName;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t dataSize = payload.ReadInt32();
    const int32_t nameLength = payload.ReadInt32();
    payload.Skip(nameLength);  // the name is never used
    payload.Check(dataSize);
    // Straight from the package into kem.cab. A stream that cannot be genuine, or that fails
    // to decode, is reported, not handed on.
    if (!DecodeEntry(*PackageStream_, dataSize, cabinet)) return false;
    cab::TKXCabReader reader;
    reader.Extract(cabinet, WorkFolder_, 0);
  }
  return true;
}

void TExtractor::CreateWorkFolder() {
  auto& os = plat::Current();
  plat::SystemTime now = os.UtcTimeOfDay();
  uint32_t state = SeedFromTime(now.hour, now.minute, now.second, now.milliseconds);
  std::string temp;
  if (!os.TempPath(temp) || temp.empty()) {
    throw se::Exception("Cannot find the temporary folder");
  }
  if (temp.back() != kDelim) temp += kDelim;
  // Never use a folder that already exists (or a link by that name): draw again.
  for (int attempt = 0; attempt < kFolderTries; ++attempt) {
    std::string candidate = temp + kFolderPrefix + std::to_string(DrawFolderNumber(state));
    if (os.FileAttributes(candidate) != plat::attr::kInvalid) continue;
    if (os.MakeFolder(candidate, /*ownerOnly=*/true)) {
      WorkFolder_ = candidate;
      WorkFolderCreated_ = true;
      return;
    }
  }
  throw se::Exception("Cannot create a work folder in " + temp);
}

void TExtractor::LaunchProgram() {
  plat::Current().RunAndWait(WorkFolder_ + kDelim + kProgramName, WorkFolder_);
}

void TExtractor::RemoveWorkFolder() {
  if (!WorkFolderCreated_) return;
  auto& os = plat::Current();
  // The launched program's console host, a scanner or an indexer may hold the folder or a file
  // in it for a moment after the program ends: a pass that fails for such a reason is repeated
  // with growing pauses, for about 2.5 s in all, and then given up without a word.
  uint32_t pause = kFirstRetryPause;
  uint32_t waited = 0;
  for (;;) {
    Leftovers left;
    DeleteFolderContents(WorkFolder_, left);
    if (os.RemoveFolder(WorkFolder_)) return;
    if (!left.any) left.Failed(os);
    if (!left.busy || waited >= kRetryBudget) return;
    os.Pause(pause);
    waited += pause;
    pause = std::min(pause * 2, kLongestRetryPause);
  }
}

}  // namespace extractor
