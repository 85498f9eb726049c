#include "platform/posix/cabinet/FdiContext.h"

#include <climits>
#include <cstring>

namespace cabinet_standin {
namespace {

constexpr int kPermReadWrite = 0x0180;  // _S_IREAD | _S_IWRITE, as the library passes them

MspackBridge* Bridge(mspack_system* self) {
  return reinterpret_cast<MspackBridge*>(self);
}
MspackFile* File(mspack_file* f) {
  return reinterpret_cast<MspackFile*>(f);
}

mspack_file* Open(mspack_system* self, const char* filename, int mode) {
  MspackBridge* bridge = Bridge(self);
  if (mode == MSPACK_SYS_OPEN_WRITE) {
    // The stand-in names an output by the address of an MspackFile over the caller's target.
    return reinterpret_cast<mspack_file*>(const_cast<char*>(filename));
  }
  if (mode != MSPACK_SYS_OPEN_READ) return nullptr;
  void* memory = bridge->callbacks->alloc(sizeof(MspackFile));
  if (!memory) {
    bridge->allocFailed = true;
    return nullptr;
  }
  std::intptr_t hf = bridge->callbacks->open(const_cast<char*>(filename),
                                             kOpenReadOnly | kOpenBinary, kPermReadWrite);
  if (hf == -1) {
    bridge->callbacks->free(memory);
    return nullptr;
  }
  auto* file = new (memory) MspackFile{bridge, hf, true};
  file->next = bridge->open;
  if (bridge->open) bridge->open->prev = file;
  bridge->open = file;
  return reinterpret_cast<mspack_file*>(file);
}

void Close(mspack_file* f) {
  MspackFile* file = File(f);
  if (!file || !file->owned) return;  // targets belong to the caller
  MspackBridge* bridge = file->bridge;
  if (file->prev)
    file->prev->next = file->next;
  else
    bridge->open = file->next;
  if (file->next) file->next->prev = file->prev;
  bridge->callbacks->close(file->hf);
  bridge->callbacks->free(file);
}

int Read(mspack_file* f, void* buffer, int bytes) {
  MspackFile* file = File(f);
  if (bytes < 0) return -1;
  std::uint32_t got =
      file->bridge->callbacks->read(file->hf, buffer, static_cast<std::uint32_t>(bytes));
  if (got == UINT32_MAX) return -1;
  return got > static_cast<std::uint32_t>(bytes) ? -1 : static_cast<int>(got);
}

int Write(mspack_file* f, void* buffer, int bytes) {
  MspackFile* file = File(f);
  if (bytes < 0) return -1;
  std::uint32_t put =
      file->bridge->callbacks->write(file->hf, buffer, static_cast<std::uint32_t>(bytes));
  return put == static_cast<std::uint32_t>(bytes) ? bytes : -1;
}

int Seek(mspack_file* f, off_t offset, int mode) {
  MspackFile* file = File(f);
  if (offset < INT32_MIN || offset > INT32_MAX) return 1;
  int whence = mode == MSPACK_SYS_SEEK_START ? 0 : mode == MSPACK_SYS_SEEK_CUR ? 1 : 2;
  return file->bridge->callbacks->seek(file->hf, static_cast<std::int32_t>(offset), whence) == -1;
}

off_t Tell(mspack_file* f) {
  MspackFile* file = File(f);
  return file->bridge->callbacks->seek(file->hf, 0, 1);
}

void Message(mspack_file*, const char*, ...) {}

// libmspack's free has no system argument, so each of its blocks carries the callbacks that
// allocated it in a header of its own, and is freed by them whichever call frees it.
constexpr size_t kHeader = alignof(std::max_align_t);
static_assert(kHeader >= sizeof(const Callbacks*));

void* Alloc(mspack_system*, size_t bytes) {
  const Callbacks* callbacks = ActiveCallbacks::Get();
  if (!callbacks || bytes > UINT32_MAX - kHeader) return nullptr;
  auto* block =
      static_cast<unsigned char*>(callbacks->alloc(static_cast<std::uint32_t>(bytes + kHeader)));
  if (!block) return nullptr;
  std::memcpy(block, &callbacks, sizeof callbacks);
  return block + kHeader;
}

void Free(void* p) {
  if (!p) return;
  unsigned char* block = static_cast<unsigned char*>(p) - kHeader;
  const Callbacks* callbacks;
  std::memcpy(&callbacks, block, sizeof callbacks);
  callbacks->free(block);
}

void Copy(void* src, void* dst, size_t bytes) {
  std::memmove(dst, src, bytes);
}

}  // namespace
}  // namespace cabinet_standin

namespace cabinet_standin {

MspackBridge::MspackBridge(const Callbacks* c) : callbacks(c) {
  system = mspack_system{Open, Close, Read, Write, Seek, Tell, Message, Alloc, Free, Copy, nullptr};
}

void MspackBridge::CloseAll() {
  while (open) Close(reinterpret_cast<mspack_file*>(open));
}

}  // namespace cabinet_standin
