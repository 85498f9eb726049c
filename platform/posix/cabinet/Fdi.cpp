// FDICreate, FDIIsCabinet, FDICopy and FDIDestroy over libmspack, sending the notifications
// the system's cabinet library sends, in its order.
#include <mspack.h>

#include <cstdio>
#include <cstring>

#include "platform/posix/cabinet/CabinetHeader.h"
#include "platform/posix/cabinet/Fdi.h"
#include "platform/posix/cabinet/FdiContext.h"

namespace cabinet_standin {
namespace {

constexpr std::size_t kMaxPath = 260;
constexpr std::size_t kFolderBuffer = 256;  // psz3 of fdintNEXT_CABINET
constexpr int kErrorFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr int kErrorBadArguments = 160;     // ERROR_BAD_ARGUMENTS

struct Failure {
  int oper = FDIERROR_NONE;
  int type = 0;
};

// Cabinet data that libmspack cannot decode counts as a corrupt cabinet, as it does for the
// system library.
int FromMspack(int error) {
  switch (error) {
    case MSPACK_ERR_OK:
      return FDIERROR_NONE;
    case MSPACK_ERR_NOMEMORY:
      return FDIERROR_ALLOC_FAIL;
    case MSPACK_ERR_WRITE:
      return FDIERROR_TARGET_FILE;
    case MSPACK_ERR_OPEN:
      return FDIERROR_CABINET_NOT_FOUND;
    default:
      return FDIERROR_CORRUPT_CABINET;
  }
}

FdiContext* Context(void* hfdi) {
  auto* context = static_cast<FdiContext*>(hfdi);
  return context && context->magic == FdiContext::kMagic ? context : nullptr;
}

// One FDICopy call: the named cabinet, and the cabinets that follow it as far as the files
// that start in it continue.
class CopyRun {
 public:
  CopyRun(FdiContext& context, char* cabinetPath, PFNFDINOTIFY notify, void* user)
      : context_(context),
        cabinetPath_(cabinetPath ? cabinetPath : empty_),
        notify_(notify),
        user_(user),
        chain_(CallbackAllocator<Cabinet>(&context.callbacks)) {
    std::snprintf(folder_, sizeof folder_, "%s", cabinetPath_);
    context_.bridge.allocFailed = false;
  }

  ~CopyRun() {
    Detach();
    context_.bridge.CloseAll();
  }

  CopyRun(const CopyRun&) = delete;
  CopyRun& operator=(const CopyRun&) = delete;

  Failure Run(const char* name) {
    if (!name) name = empty_;
    if (std::strlen(cabinetPath_) + std::strlen(name) + 3 > kMaxPath)
      return {FDIERROR_CABINET_NOT_FOUND, kErrorFileNotFound};
    chain_.emplace_back(context_);
    chain_[0].path.append(cabinetPath_).append(name);
    {
      OpenCabinet file(context_.callbacks, chain_[0].path);
      if (!file.ok()) return {FDIERROR_CABINET_NOT_FOUND};
      if (int error = ReadHeader(context_, file.hf(), chain_[0])) return {error};
      if (CabinetInfo(chain_[0], cabinetPath_) == -1) return {FDIERROR_USER_ABORT};
      if (int error = ReadRecords(context_, file.hf(), chain_[0])) return {error};
    }
    for (std::size_t i = 0; i < chain_[0].files.size(); ++i) {
      CabinetFile& file = chain_[0].files[i];
      if (ContinuesFromPrev(file.folder)) {
        FDINOTIFICATION n = Blank();
        n.psz1 = file.name.data();
        n.psz2 = chain_[0].prevName.data();
        n.psz3 = chain_[0].prevDisk.data();
        if (notify_(fdintPARTIAL_FILE, &n) == -1) return {FDIERROR_USER_ABORT};
        continue;
      }
      FDINOTIFICATION n = Blank();
      n.psz1 = file.name.data();
      n.cb = static_cast<std::int32_t>(file.size);
      n.date = file.date;
      n.time = file.time;
      n.attribs = file.attribs;
      n.iFolder = file.folder;
      std::intptr_t hf = notify_(fdintCOPY_FILE, &n);
      if (hf == -1) return {FDIERROR_USER_ABORT};
      if (hf == 0) continue;
      int error = Extract(i, hf);
      // The target is handed back even when its data could not be completed, so that the
      // caller closes it.
      CabinetFile& done = chain_[0].files[i];
      n = Blank();
      n.psz1 = done.name.data();
      n.hf = hf;
      n.cb = (done.attribs & kAttribExecute) != 0;
      n.date = done.date;
      n.time = done.time;
      n.attribs = done.attribs;
      n.iFolder = done.folder;
      notify_(fdintCLOSE_FILE_INFO, &n);
      if (error) return {error};
    }
    return {};
  }

 private:
  FDINOTIFICATION Blank() const {
    FDINOTIFICATION n{};
    n.pv = user_;
    return n;
  }

  std::intptr_t CabinetInfo(Cabinet& cabinet, char* path) {
    FDINOTIFICATION n = Blank();
    n.psz1 = cabinet.nextName.data();
    n.psz2 = cabinet.nextDisk.data();
    n.psz3 = path;
    n.setID = cabinet.setID;
    n.iCabinet = cabinet.index;
    return notify_(fdintCABINET_INFO, &n);
  }

  int Extract(std::size_t index, std::intptr_t hf) {
    try {
      std::size_t wanted = attached_ ? attached_ : 1;
      if (ContinuesToNext(chain_[0].files[index].folder)) {
        if (int error = FollowSet(index)) return error;
        wanted = chain_.size();
      }
      if (wanted > attached_)
        if (int error = Attach(wanted)) return error;
      // The first cabinet's files lead the merged list in their stored order.
      mscabd_file* file = merged_->files;
      for (std::size_t i = 0; file && i < index; ++i) file = file->next;
      if (!file) return FDIERROR_CORRUPT_CABINET;
      MspackFile target{&context_.bridge, hf, false};
      return MspackFailure(
          decompressor_->extract(decompressor_, file, reinterpret_cast<const char*>(&target)));
    } catch (const OutOfMemory&) {
      return FDIERROR_ALLOC_FAIL;
    }
  }

  // Gives libmspack the first `count` cabinets of the chain, merged, on a fresh decompressor
  // (one that had stopped at the end of a cabinet cannot go on).
  int Attach(std::size_t count) {
    Detach();
    decompressor_ = mspack_create_cab_decompressor(&context_.bridge.system);
    if (!decompressor_) return FDIERROR_ALLOC_FAIL;
    mscabd_cabinet* last = nullptr;
    for (std::size_t k = 0; k < count; ++k) {
      mscabd_cabinet* cabinet = decompressor_->open(decompressor_, chain_[k].path.c_str());
      if (!cabinet) return MspackFailure(decompressor_->last_error(decompressor_));
      if (!last) {
        merged_ = cabinet;
      } else if (int error = decompressor_->append(decompressor_, last, cabinet)) {
        decompressor_->close(decompressor_, cabinet);
        return MspackFailure(error);
      }
      last = cabinet;
    }
    attached_ = count;
    // libmspack reads ahead into the next data block, and the last block of a folder that
    // continues is split: the cabinets attached offer only the blocks before it, as the system
    // library does, which asks for the next cabinet only for a file that needs it. This holds
    // for the last cabinet attached, however many come before it.
    const Cabinet& tail = chain_[count - 1];
    if (tail.HasNext() && ContinuesIntoNext(tail)) {
      mscabd_folder* folder = merged_->folders;
      while (folder->next) folder = folder->next;
      if (folder->num_blocks > 0) --folder->num_blocks;
    }
    return FDIERROR_NONE;
  }

  int MspackFailure(int error) const {
    if (error != MSPACK_ERR_OK && context_.bridge.allocFailed) return FDIERROR_ALLOC_FAIL;
    return FromMspack(error);
  }

  void Detach() {
    if (decompressor_) {
      if (merged_) decompressor_->close(decompressor_, merged_);
      mspack_destroy_cab_decompressor(decompressor_);
    }
    decompressor_ = nullptr;
    merged_ = nullptr;
    attached_ = 0;
  }

  static bool ContinuesIntoNext(const Cabinet& cabinet) {
    for (const CabinetFile& f : cabinet.files)
      if (ContinuesToNext(f.folder)) return true;
    return false;
  }

  // Reaches the cabinets that the file's data runs into: as long as its record in the last
  // cabinet reached says it continues to the next one.
  int FollowSet(std::size_t index) {
    std::uint32_t offset = chain_[0].files[index].offset, size = chain_[0].files[index].size;
    std::uint16_t folder = chain_[0].files[index].folder;
    for (std::size_t k = 0; ContinuesToNext(folder); ++k) {
      if (k + 1 == chain_.size())
        if (int error = ReachNext()) return error;
      folder = 0;
      for (const CabinetFile& f : chain_[k + 1].files)
        if (ContinuesFromPrev(f.folder) && f.offset == offset && f.size == size) {
          folder = f.folder;
          break;
        }
    }
    return FDIERROR_NONE;
  }

  // Asks for the next cabinet until it is found or the caller gives up.
  int ReachNext() {
    const Cabinet& last = chain_.back();
    if (!last.HasNext()) return FDIERROR_CORRUPT_CABINET;
    String nextName = last.nextName, nextDisk = last.nextDisk;
    std::uint16_t setID = last.setID, index = last.index;
    int fdie = FDIERROR_NONE;
    for (;;) {
      FDINOTIFICATION n = Blank();
      n.psz1 = nextName.data();
      n.psz2 = nextDisk.data();
      n.psz3 = folder_;
      n.fdie = fdie;
      if (notify_(fdintNEXT_CABINET, &n) != 0) return FDIERROR_USER_ABORT;
      folder_[kFolderBuffer - 1] = '\0';
      if (std::strlen(folder_) + nextName.size() + 3 > kMaxPath) {
        fdie = FDIERROR_CABINET_NOT_FOUND;
        continue;
      }
      Cabinet next(context_);
      String path(context_.Allocator());
      path.append(folder_).append(nextName);
      fdie = ReadCabinet(context_, path, next);
      if (!fdie && (next.setID != setID || next.index != index + 1)) fdie = FDIERROR_WRONG_CABINET;
      if (fdie) continue;
      if (CabinetInfo(next, folder_) == -1) return FDIERROR_USER_ABORT;
      chain_.push_back(std::move(next));
      return FDIERROR_NONE;
    }
  }

  static inline char empty_[1] = "";
  FdiContext& context_;
  char* cabinetPath_;
  PFNFDINOTIFY notify_;
  void* user_;
  char folder_[kFolderBuffer];
  Vector<Cabinet> chain_;  // the cabinets reached, first the named one
  mscab_decompressor* decompressor_ = nullptr;
  mscabd_cabinet* merged_ = nullptr;  // the named cabinet, with attached_ - 1 successors
  std::size_t attached_ = 0;
};

}  // namespace

void* FDICreate(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read, PFNWRITE write,
                PFNCLOSE close, PFNSEEK seek, int, ERF* erf) {
  if (!alloc || !free) {
    if (erf) *erf = {FDIERROR_NONE, kErrorBadArguments, 1};
    return nullptr;
  }
  int selftest;
  MSPACK_SYS_SELFTEST(selftest);
  void* memory = selftest == MSPACK_ERR_OK ? alloc(sizeof(FdiContext)) : nullptr;
  if (!memory) {
    if (erf) *erf = {FDIERROR_ALLOC_FAIL, 0, 1};
    return nullptr;
  }
  return new (memory) FdiContext(Callbacks{alloc, free, open, read, write, close, seek}, erf);
}

int FDIIsCabinet(void* hfdi, std::intptr_t hf, FDICABINETINFO* info) {
  FdiContext* context = Context(hfdi);
  if (!context || !info) return 0;
  try {
    Cabinet cabinet(*context);
    if (ReadHeader(*context, hf, cabinet)) return 0;
    info->cbCabinet = static_cast<std::int32_t>(cabinet.size);
    info->cFolders = cabinet.folders;
    info->cFiles = cabinet.fileCount;
    info->setID = cabinet.setID;
    info->iCabinet = cabinet.index;
    info->fReserve = cabinet.HasReserve();
    info->hasprev = cabinet.HasPrev();
    info->hasnext = 0;  // the system library never reports it here
    return 1;
  } catch (const OutOfMemory&) {
    return 0;
  }
}

int FDICopy(void* hfdi, char* cabinet, char* cabinetPath, int, PFNFDINOTIFY notify, PFNFDIDECRYPT,
            void* user) {
  FdiContext* context = Context(hfdi);
  if (!context || !notify) return 0;
  ActiveCallbacks active(&context->callbacks);
  Failure failure;
  try {
    CopyRun run(*context, cabinetPath, notify, user);
    failure = run.Run(cabinet);
  } catch (const OutOfMemory&) {
    failure = {FDIERROR_ALLOC_FAIL};
  }
  if (failure.oper == FDIERROR_NONE) return 1;
  context->Fail(failure.oper, failure.type);
  return 0;
}

int FDIDestroy(void* hfdi) {
  FdiContext* context = Context(hfdi);
  if (!context) return 0;
  PFNFREE free = context->callbacks.free;
  context->~FdiContext();
  free(context);
  return 1;
}

}  // namespace cabinet_standin
