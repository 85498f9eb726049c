// The cabinet reader: extracts every file of a cabinet, and of the cabinets that continue it,
// into a destination folder through the system's cabinet library, with events to rename, skip,
// inspect or abort.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "cab/CabIntf.h"
#include "cab/EKXCabinet.h"

namespace cab {

class TKXCabReader;

// Reader options (a one-byte set).
enum TKXCabReaderOption : uint8_t {
  croExecuteOnExtract = 0x01,            // open files marked run-after-extract through the shell
  croDontOverwriteReadOnlyFiles = 0x02,  // leave read-only targets alone and skip the file
};
using TKXCabReaderOptions = uint8_t;

// Extract options (a one-byte set).
enum TKXCabExtractOption : uint8_t {
  ceoSingleCabinet = 0x01,  // stop after the named cabinet
};
using TKXCabExtractOptions = uint8_t;

using TKXCabReaderCabinetInfoEvent = std::function<void(
    TKXCabReader& Sender, const std::string& aNextCabName, const std::string& aNextDiskName,
    const std::string& aCabPath, uint16_t aSetID, uint16_t aCabNo, bool& anAbort)>;
using TKXCabReaderCopyFileEvent =
    std::function<void(TKXCabReader& Sender, const std::string& aSrcFileName,
                       int32_t anUncompressedSize, uint16_t aDate, uint16_t aTime, uint16_t anAttrs,
                       uint16_t aFolderNo, std::string& aDstFullFileName, bool& anAbort)>;
using TKXCabReaderCopyPartialFileEvent = std::function<void(
    TKXCabReader& Sender, const std::string& aSrcFileName, const std::string& aStartCabName,
    const std::string& aStartDiskName, const std::string& aDstFullFileName, bool& anAbort)>;
using TKXCabReaderCloseFileEvent =
    std::function<void(TKXCabReader& Sender, const std::string& aSrcFileName, uint16_t aDate,
                       uint16_t aTime, uint16_t anAttrs, uint16_t aFolderNo, bool& anExec,
                       const std::string& aDstFullFileName, bool& anAbort)>;
using TKXCabReaderNextCabinetEvent = std::function<void(
    TKXCabReader& Sender, const std::string& aCabName, const std::string& aDiskName,
    std::string& aCabPath, TFDIERROR anError, bool& anAbort)>;
using TKXCabReaderUnrecognizedNotifyEvent =
    std::function<void(TKXCabReader& Sender, TFDINOTIFICATIONTYPE aNotifyType,
                       TFDINOTIFICATION& aNotify, int32_t& aResult)>;

// Joins path parts with exactly one separator at each seam; empty parts are skipped.
std::string JoinPath(std::initializer_list<std::string_view> parts);

// True when a name stored in a cabinet, joined to a destination folder, stays inside it:
// not empty, not absolute, no drive or stream (":"), no ".." step, no control character; with
// `windows` (the default on Windows), no step of dots and blanks only either, which Windows
// reads as "..". A packer checks names with the Windows rules whatever it runs on.
#ifdef _WIN32
bool IsSafeStoredName(std::string_view name, bool windows = true);
#else
bool IsSafeStoredName(std::string_view name, bool windows = false);
#endif

class TKXCabReader {
 public:
  // `owner` is recorded only; whoever creates a reader destroys it.
  explicit TKXCabReader(void* owner = nullptr);
  virtual ~TKXCabReader();
  TKXCabReader(const TKXCabReader&) = delete;
  TKXCabReader& operator=(const TKXCabReader&) = delete;

  // Extracts the cabinet at `cabinetPath` (and its successors unless ceoSingleCabinet) into
  // `destFolder`. Raises EKXCabinet when a library call fails, EOSError when the library
  // cannot be loaded, and passes on an error raised by an event handler.
  void Extract(const std::string& cabinetPath, const std::string& destFolder,
               TKXCabExtractOptions options);

  // The FDI context, created on first access.
  HFDI FDIHandle();
  // Destroys the FDI context if there is one; raises EKXCabinet when that fails.
  void FreeFDIHandle();
  // Raises EKXCabinet built from the error record when `success` is false.
  void CheckFDI(bool success);
  // Handles one library notification; the result is what the library expects for its type.
  intptr_t HandleNotification(TFDINOTIFICATIONTYPE type, TFDINOTIFICATION& notification);

  std::string Name;
  intptr_t Tag = 0;

  // Published properties.
  TKXCabReaderOptions Options = 0;
  TKXCabReaderCabinetInfoEvent OnCabinetInfo;
  TKXCabReaderCopyFileEvent OnCopyFile;
  TKXCabReaderCopyPartialFileEvent OnCopyPartialFile;
  TKXCabReaderCloseFileEvent OnCloseFile;
  TKXCabReaderNextCabinetEvent OnNextCabinet;
  TKXCabReaderUnrecognizedNotifyEvent OnUnrecognizedNotify;

  // State of the current extraction, readable by event handlers.
  const std::string& CabinetFile() const { return CabinetFile_; }
  const std::string& DestDir() const { return DestDir_; }
  const std::string& NextCabinet() const { return NextCabinet_; }
  const std::string& NextDisk() const { return NextDisk_; }
  const std::string& CurrentCabinet() const { return CurrentCabinet_; }
  const std::string& ContinuationCabinet() const { return ContinuationCabinet_; }
  bool ContinuationSeen() const { return ContinuationSeen_; }
  const ERF& ErrorRecord() const { return ERF_; }
  // Target files currently open: their names in the cabinet and the paths written to.
  const std::vector<std::string>& SourceNames() const { return SourceNames_; }
  const std::vector<std::string>& DestNames() const { return DestNames_; }

 private:
  static intptr_t CABAPI NotifyCallback(TFDINOTIFICATIONTYPE type, TFDINOTIFICATION* notification);
  intptr_t OnCabinetInfoNotify(TFDINOTIFICATION& n);
  intptr_t OnPartialFileNotify(TFDINOTIFICATION& n);
  intptr_t OnCopyFileNotify(TFDINOTIFICATION& n);
  intptr_t OnCloseFileNotify(TFDINOTIFICATION& n);
  intptr_t OnNextCabinetNotify(TFDINOTIFICATION& n);
  intptr_t Refuse(std::string reason);
  // Closes a target the library hands back and takes it off the lists: a whole one gets the
  // cabinet's date, time and attributes; one short of its size is removed.
  struct ClosedTarget {
    std::string name;  // as stored in the cabinet
    std::string path;  // empty when the name was not among the open targets
    bool whole = true;
  };
  ClosedTarget CloseTarget(TFDINOTIFICATION& n);
  // Removes the targets still open when a copy failed: the library abandoned them part-written.
  void DiscardUnfinishedTargets();

  HFDI FDIHandle_ = nullptr;
  std::string CabinetFile_;
  std::string DestDir_;
  std::string NextCabinet_;
  std::string NextDisk_;
  std::string CurrentCabinet_;
  std::string ContinuationCabinet_;
  bool ContinuationSeen_ = false;
  ERF ERF_{};
  std::vector<std::string> SourceNames_;
  std::vector<std::string> DestNames_;
  // The size each open target must reach (parallel to the lists above): a library that does
  // not notice a failed write (Wine's does not) must not turn a full disk into a short file.
  std::vector<int64_t> ExpectedSizes_;

  // Why the reader itself aborted the current copy (added to the error's message).
  std::string refusal_;
  // A target that was closed short of its size, and the OS error of the write that failed.
  std::string incomplete_;
  uint32_t incompleteError_ = 0;
  // Set once a notification has answered -1 (or a handler raised): the reader then answers
  // abort to everything, and Extract raises even if the library finishes regardless.
  bool aborting_ = false;
};

}  // namespace cab
