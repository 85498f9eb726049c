#include "cab/KXCabReader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "cab/CabCallbacks.h"
#include "platform/Platform.h"

namespace cab {
namespace {

constexpr char kDelim = plat::kPathDelim;
// Open flags of a target file: write-only, sequential, create, truncate, binary.
constexpr int32_t kTargetOpenFlags = 0x8321;
// Room in the library's next-cabinet folder buffer, terminating NUL included.
constexpr size_t kCabPathBuffer = 256;

std::string FromLibrary(const char* s) {
  return s ? std::string(s) : std::string();
}

// A stored file name is UTF-8 where the cabinet flags it so, else in the ANSI code page; from
// here on every name and path is UTF-8.
constexpr uint16_t kNameIsUtf8 = 0x80;  // _A_NAME_IS_UTF
std::string StoredName(const char* s, uint16_t attribs) {
  std::string name = FromLibrary(s);
  return (attribs & kNameIsUtf8) != 0 ? name : plat::Current().AnsiToUtf8(name);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Index of the first case-insensitive match, or -1.
ptrdiff_t IndexOfText(const std::vector<std::string>& list, std::string_view s) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (SameText(list[i], s)) return static_cast<ptrdiff_t>(i);
  }
  return -1;
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// A folder separator of this system: Windows takes '/' as well as '\'.
bool IsDelim(char c) {
#ifdef _WIN32
  return IsSeparator(c);
#else
  return c == kDelim;
#endif
}

// A stored name as a path of this system: cabinets separate folders with "\".
std::string LocalName(std::string name) {
  if constexpr (kDelim != '\\') std::replace(name.begin(), name.end(), '\\', kDelim);
  return name;
}

// Position just past the last folder separator (and, on Windows, drive colon); 0 if none.
size_t NameStart(const std::string& path) {
#ifdef _WIN32
  size_t i = path.find_last_of("\\/:");
#else
  size_t i = path.find_last_of('/');
#endif
  return i == std::string::npos ? 0 : i + 1;
}

// Something that can be read as a cabinet without blocking or following a link: a FIFO or
// device by a successor's name would hang the extraction.
bool IsRegularFile(const std::string& path) {
  plat::DirEntry entry;
  return plat::Current().FindFile(path, entry) &&
         !(entry.attributes &
           (plat::attr::kDirectory | plat::attr::kReparsePoint | plat::attr::kDevice));
}

// A cabinet names its successor by a plain name in its own folder; anything that could lead
// elsewhere is not followed.
bool IsPlainCabinetName(std::string_view name) {
  return name.find_first_of("\\/:") == std::string_view::npos &&
         name.find("..") == std::string_view::npos;
}

// The full path with "." and ".." steps resolved, for telling whether two names are one file.
std::string NormalisedPath(const std::string& path) {
  std::string full = plat::Current().FullPathName(path);
  return full.empty() ? path : full;
}

bool FolderExists(const std::string& path) {
  uint32_t a = plat::Current().FileAttributes(path);
  return a != plat::attr::kInvalid && (a & plat::attr::kDirectory) &&
         !(a & plat::attr::kReparsePoint);
}

// Creates `folder` and every missing folder above it; the outcome is not looked at.
void ForceFolders(std::string folder) {
  while (!folder.empty() && IsDelim(folder.back())) folder.pop_back();
  if (folder.size() < 3 || FolderExists(folder)) return;
  size_t start = NameStart(folder);
  if (start > 0) ForceFolders(folder.substr(0, start));
  plat::Current().MakeFolder(folder);
}

// True when a folder between `base` and the file at `path` (below `base`) is a link.
bool PassesThroughLink(const std::string& base, const std::string& path) {
  for (size_t i = base.size(); i < path.size(); ++i) {
    if (!IsDelim(path[i])) continue;
    uint32_t a = plat::Current().FileAttributes(path.substr(0, i));
    if (a != plat::attr::kInvalid && (a & plat::attr::kReparsePoint)) return true;
  }
  return false;
}

}  // namespace

std::string JoinPath(std::initializer_list<std::string_view> parts) {
  std::string result;
  for (std::string_view part : parts) {
    if (part.empty()) continue;
    if (result.empty()) {
      result = part;
      continue;
    }
    bool endsWith = result.back() == kDelim;
    bool startsWith = part.front() == kDelim;
    if (endsWith && startsWith) {
      result.pop_back();
    } else if (!endsWith && !startsWith) {
      result += kDelim;
    }
    result += part;
  }
  return result;
}

bool IsSafeStoredName(std::string_view name, bool windows) {
  if (name.empty() || IsSeparator(name.front())) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == ':') return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::string_view step = name.substr(start, end - start);
    if (step == "..") return false;
    // Windows ignores trailing dots and blanks in a step, so "... " is ".." as well.
    if (windows && step.size() >= 2 && step.find_first_not_of(". ") == std::string_view::npos) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

TKXCabReader::TKXCabReader(void* /*owner*/) {}

TKXCabReader::~TKXCabReader() {
  // A destructor cannot raise: a context that fails to go away is dropped with the reader.
  // Callers who want to hear of it call FreeFDIHandle themselves first.
  try {
    FreeFDIHandle();
  } catch (...) {
  }
}

HFDI TKXCabReader::FDIHandle() {
  if (!FDIHandle_) {
    ERF_ = ERF{};
    ClearCallbackError();
    FDIHandle_ = FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek,
                           cpuUNKNOWN, &ERF_);
    RaiseCallbackError();
    CheckFDI(FDIHandle_ != nullptr);
  }
  return FDIHandle_;
}

void TKXCabReader::FreeFDIHandle() {
  if (!FDIHandle_) return;
  HFDI handle = FDIHandle_;
  FDIHandle_ = nullptr;
  ClearCallbackError();
  bool ok = FDIDestroy(handle);
  RaiseCallbackError();
  CheckFDI(ok);
}

void TKXCabReader::CheckFDI(bool success) {
  if (success) return;
  ERF_.erfType = static_cast<int32_t>(LastOSError);
  if (!refusal_.empty()) throw EKXCabinet(ERF_, false, refusal_);
  throw EKXCabinet(ERF_, false);
}

void TKXCabReader::Extract(const std::string& cabinetPath, const std::string& destFolder,
                           TKXCabExtractOptions options) {
  std::string full = plat::Current().FullPathName(cabinetPath);
  CabinetFile_ = full.empty() ? cabinetPath : full;
  DestDir_ = destFolder;
  if (DestDir_.empty() || DestDir_.back() != kDelim) DestDir_ += kDelim;
  SourceNames_.clear();
  DestNames_.clear();
  ExpectedSizes_.clear();

  std::string current = CabinetFile_;
  // Cabinets a copy has started on, by normalised path: a set whose links lead back to one
  // ends there, however the link spells its name.
  std::vector<std::string> started;
  while (!current.empty()) {
    started.push_back(NormalisedPath(current));
    NextCabinet_.clear();
    NextDisk_.clear();
    CurrentCabinet_ = current;
    ContinuationCabinet_.clear();
    ContinuationSeen_ = false;
    refusal_.clear();
    incomplete_.clear();
    incompleteError_ = 0;
    aborting_ = false;
    LastWriteError = 0;

    size_t start = NameStart(current);
    std::string name = current.substr(start);
    std::string folder = current.substr(0, start);
    HFDI context = FDIHandle();
    ClearCallbackError();
    bool ok = FDICopy(context, name.data(), folder.data(), 0, NotifyCallback, nullptr, this);
    if (!ok || aborting_ || CallbackErrorPending()) DiscardUnfinishedTargets();
    RaiseCallbackError();
    if (!incomplete_.empty() && (ok || ERF_.erfOper == FDIERROR_USER_ABORT)) {
      // A short target is a failed write, whether or not the library noticed; a library error
      // of its own (a corrupt cabinet, say) stands as reported.
      ERF_ = ERF{FDIERROR_TARGET_FILE, 0, 1};
      LastOSError = incompleteError_;
      refusal_ = "The file \"" + incomplete_ + "\" was not written completely";
      ok = false;
    } else if (ok && aborting_) {
      // The library went on after an abort (none honours one given on a close): the copy was
      // abandoned all the same.
      ERF_ = ERF{FDIERROR_USER_ABORT, 0, 1};
      LastOSError = 0;
      ok = false;
    }
    CheckFDI(ok);

    if (ContinuationSeen_) {
      current = ContinuationCabinet_;
    } else if (SameText(current, NextCabinet_)) {
      current.clear();
    } else {
      current = NextCabinet_;
    }
    if (!current.empty() && ((options & ceoSingleCabinet) || !IsRegularFile(current) ||
                             IndexOfText(started, NormalisedPath(current)) >= 0)) {
      current.clear();
    }
  }
}

intptr_t CABAPI TKXCabReader::NotifyCallback(TFDINOTIFICATIONTYPE type,
                                             TFDINOTIFICATION* notification) {
  auto* reader = static_cast<TKXCabReader*>(notification->pv);
  // Nothing may unwind through the library: record the error and abort the copy instead.
  intptr_t result;
  try {
    if (reader->aborting_) {
      // The copy is over for the reader once it has answered abort. A library that goes on
      // all the same hears abort again and no handler runs, so that the first error stands.
      LastOSError = 0;
      if (type == fdintCLOSE_FILE_INFO) reader->CloseTarget(*notification);
      result = -1;
    } else {
      // A close notification meets its fault point once the handle is closed.
      if (type != fdintCLOSE_FILE_INFO) CallbackFaultPoint("notify");
      result = reader->HandleNotification(type, *notification);
    }
  } catch (...) {
    RecordCallbackError();
    result = -1;
  }
  if (result == -1) reader->aborting_ = true;
  return result;
}

intptr_t TKXCabReader::HandleNotification(TFDINOTIFICATIONTYPE type,
                                          TFDINOTIFICATION& notification) {
  LastOSError = 0;
  switch (type) {
    case fdintCABINET_INFO:
      return OnCabinetInfoNotify(notification);
    case fdintPARTIAL_FILE:
      return OnPartialFileNotify(notification);
    case fdintCOPY_FILE:
      return OnCopyFileNotify(notification);
    case fdintCLOSE_FILE_INFO:
      return OnCloseFileNotify(notification);
    case fdintNEXT_CABINET:
      return OnNextCabinetNotify(notification);
    default: {
      int32_t result = 0;
      if (OnUnrecognizedNotify) OnUnrecognizedNotify(*this, type, notification, result);
      return result;
    }
  }
}

intptr_t TKXCabReader::OnCabinetInfoNotify(TFDINOTIFICATION& n) {
  bool abort = false;
  std::string next = FromLibrary(n.psz1), disk = FromLibrary(n.psz2), path = FromLibrary(n.psz3);
  if (!ContinuationCabinet_.empty()) CurrentCabinet_ = ContinuationCabinet_;
  // A successor is looked for in this cabinet's folder only.
  NextCabinet_ = next.empty() || !IsPlainCabinetName(next) ? std::string() : JoinPath({path, next});
  NextDisk_ = disk;
  if (OnCabinetInfo) OnCabinetInfo(*this, next, disk, path, n.setID, n.iCabinet, abort);
  return abort ? -1 : 0;
}

intptr_t TKXCabReader::OnPartialFileNotify(TFDINOTIFICATION& n) {
  bool abort = false;
  std::string name = FromLibrary(n.psz1);
  ptrdiff_t i = IndexOfText(SourceNames_, name);
  std::string dst = i >= 0 ? DestNames_[i] : std::string();
  if (OnCopyPartialFile) {
    OnCopyPartialFile(*this, name, FromLibrary(n.psz2), FromLibrary(n.psz3), dst, abort);
  }
  return abort ? -1 : 0;
}

intptr_t TKXCabReader::Refuse(std::string reason) {
  refusal_ = std::move(reason);
  return -1;
}

intptr_t TKXCabReader::OnCopyFileNotify(TFDINOTIFICATION& n) {
  auto& os = plat::Current();
  bool abort = false;
  std::string name = StoredName(n.psz1, n.attribs);
  const std::string stored = JoinPath({DestDir_, LocalName(name)});
  std::string dst = stored;
  if (OnCopyFile) {
    OnCopyFile(*this, name, n.cb, n.date, n.time, n.attribs, n.iFolder, dst, abort);
  }
  if (abort) return -1;
  if (dst.empty()) return 0;
  // A stored name is written only inside the destination folder, never through a link; a
  // handler that chose another path answers for it.
  if (dst == stored) {
    if (!IsSafeStoredName(name)) {
      return Refuse("Refused a file name that leads outside the destination folder: \"" + name +
                    "\"");
    }
    if (PassesThroughLink(DestDir_, dst)) {
      return Refuse("Refused to write through a link: \"" + name + "\"");
    }
  }

  size_t start = NameStart(dst);
  if (start > 0) ForceFolders(dst.substr(0, start));

  uint32_t attributes = os.FileAttributes(dst);
  if (attributes != plat::attr::kInvalid && !(attributes & plat::attr::kDirectory) &&
      (attributes & plat::attr::kReadOnly)) {
    if (Options & croDontOverwriteReadOnlyFiles) return 0;
    os.SetAttributes(dst, attributes & ~plat::attr::kReadOnly);
  }

  plat::FileHandle handle = OpenTranslated(dst, kTargetOpenFlags);
  if (handle == plat::kInvalidFile) return -1;
  try {
    SourceNames_.reserve(SourceNames_.size() + 1);
    DestNames_.reserve(DestNames_.size() + 1);
    ExpectedSizes_.reserve(ExpectedSizes_.size() + 1);
  } catch (...) {
    os.Close(handle);
    throw;
  }
  SourceNames_.push_back(name);
  DestNames_.push_back(dst);
  ExpectedSizes_.push_back(n.cb);
  return handle;
}

TKXCabReader::ClosedTarget TKXCabReader::CloseTarget(TFDINOTIFICATION& n) {
  auto& os = plat::Current();
  // The handle is closed before anything else can fail.
  std::string name;
  ptrdiff_t i;
  try {
    name = StoredName(n.psz1, n.attribs);
    i = IndexOfText(SourceNames_, name);
  } catch (...) {
    os.Close(n.hf);
    throw;
  }
  const int64_t written = i >= 0 ? os.Seek(n.hf, 0, plat::SeekOrigin::kEnd) : 0;
  os.Close(n.hf);
  if (i < 0) return {std::move(name), {}, true};
  ClosedTarget closed{std::move(name), std::move(DestNames_[i]), true};
  const bool complete = written == ExpectedSizes_[i];
  SourceNames_.erase(SourceNames_.begin() + i);
  DestNames_.erase(DestNames_.begin() + i);
  ExpectedSizes_.erase(ExpectedSizes_.begin() + i);
  if (complete) {
    SetTargetFileInfo(closed.path, n.date, n.time, n.attribs);
    return closed;
  }
  // Not a file of the cabinet, only the start of one: it must not stay behind looking whole.
  os.RemoveFile(closed.path);
  closed.whole = false;
  return closed;
}

void TKXCabReader::DiscardUnfinishedTargets() {
  // The library closes a target it abandons; what it wrote is not the cabinet's file.
  for (const std::string& dst : DestNames_) plat::Current().RemoveFile(dst);
}

intptr_t TKXCabReader::OnCloseFileNotify(TFDINOTIFICATION& n) {
  ClosedTarget closed = CloseTarget(n);
  CallbackFaultPoint("notify");
  if (!closed.whole) {
    incomplete_ = closed.name;
    incompleteError_ = LastWriteError;
    return -1;
  }
  const std::string& name = closed.name;
  const std::string& dst = closed.path;
  bool abort = false;
  bool exec = (n.cb & 1) != 0;
  if (OnCloseFile) OnCloseFile(*this, name, n.date, n.time, n.attribs, n.iFolder, exec, dst, abort);
  if (abort) return -1;
  if (exec && (Options & croExecuteOnExtract) && !dst.empty()) plat::Current().ShellOpen(dst);
  return 1;
}

intptr_t TKXCabReader::OnNextCabinetNotify(TFDINOTIFICATION& n) {
  bool abort = false;
  std::string cabName = FromLibrary(n.psz1);
  intptr_t result;
  if (OnNextCabinet) {
    std::string path = FromLibrary(n.psz3);
    OnNextCabinet(*this, cabName, FromLibrary(n.psz2), path, n.fdie, abort);
    if (abort) {
      result = -1;
    } else {
      if (path.empty() || path.back() != kDelim) path += kDelim;
      if (path.size() >= kCabPathBuffer || !n.psz3) {
        // The library's buffer holds 255 characters: a longer folder cannot be handed back.
        result = Refuse("The folder of the next cabinet is too long: \"" + path + "\"");
      } else {
        std::memcpy(n.psz3, path.c_str(), path.size() + 1);
        result = 0;
      }
    }
  } else {
    result = n.fdie == FDIERROR_NONE ? 0 : -1;
  }
  ContinuationCabinet_ = JoinPath({FromLibrary(n.psz3), cabName});
  ContinuationSeen_ = true;
  // The library is about to open the cabinet: only a plain name in the folder given, and
  // nothing there that would block the open (a FIFO) or lead through a link.
  if (result == 0 && !IsPlainCabinetName(cabName)) {
    result = Refuse("Refused the name of the next cabinet: \"" + cabName + "\"");
  } else if (result == 0 &&
             plat::Current().FileAttributes(ContinuationCabinet_) != plat::attr::kInvalid &&
             !IsRegularFile(ContinuationCabinet_)) {
    result = Refuse("The next cabinet is not a file: \"" + ContinuationCabinet_ + "\"");
  }
  return result;
}

}  // namespace cab
