// Makes fixture cabinets and cabinet sets with the system cabinet library's FCI.
//
//   fcimake OUTDIR NAMEPATTERN MAXCAB COMP SETID ITEM...
//
// NAMEPATTERN holds one %d for the cabinet number (1, 2, ...); the disk names follow "disk%d".
// Cabinets are numbered from 0 inside the set, as the format's iCabinet field counts them.
// MAXCAB caps each cabinet's size (0: no cap). COMP is none, mszip, lzx or quantum.
// Each ITEM is SRC=NAME=ATTRS (ATTRS in hex; bit 0x40 asks for run-after-extract), or
// "flush" to close the current folder. Every file gets a fixed date and time derived from
// its position, so the cabinets come out the same on each run.
#include <windows.h>

#include <fci.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Settings {
  std::string pattern;
  unsigned long maxCab = 0;
  int fileIndex = 0;
  unsigned attribs = 0;  // of the file being added
};
Settings settings;

void* DIAMONDAPI Alloc(ULONG cb) {
  return std::malloc(cb);
}
void DIAMONDAPI Free(void* p) {
  std::free(p);
}

INT_PTR DIAMONDAPI Open(char* name, int oflag, int pmode, int* err, void*) {
  int fd = _open(name, oflag | _O_BINARY, pmode ? pmode : (_S_IREAD | _S_IWRITE));
  if (fd < 0) *err = errno;
  return fd;
}
UINT DIAMONDAPI Read(INT_PTR hf, void* p, UINT cb, int* err, void*) {
  int n = _read(static_cast<int>(hf), p, cb);
  if (n < 0) *err = errno;
  return static_cast<UINT>(n);
}
UINT DIAMONDAPI Write(INT_PTR hf, void* p, UINT cb, int* err, void*) {
  int n = _write(static_cast<int>(hf), p, cb);
  if (n < 0) *err = errno;
  return static_cast<UINT>(n);
}
int DIAMONDAPI Close(INT_PTR hf, int* err, void*) {
  int r = _close(static_cast<int>(hf));
  if (r) *err = errno;
  return r;
}
LONG DIAMONDAPI Seek(INT_PTR hf, LONG dist, int type, int* err, void*) {
  long r = _lseek(static_cast<int>(hf), dist, type);
  if (r < 0) *err = errno;
  return r;
}
int DIAMONDAPI Delete(char* name, int* err, void*) {
  int r = std::remove(name);
  if (r) *err = errno;
  return r;
}
BOOL DIAMONDAPI TempFile(char* buf, int cb, void*) {
  static int n = 0;
  char dir[MAX_PATH];
  if (!GetTempPathA(sizeof dir, dir)) return FALSE;
  return std::snprintf(buf, cb, "%sfcimake%lu_%d.tmp", dir, GetCurrentProcessId(), ++n) < cb;
}
int DIAMONDAPI Placed(PCCAB, char*, LONG, BOOL, void*) {
  return 0;
}
LONG DIAMONDAPI Status(UINT, ULONG, ULONG, void*) {
  return 0;
}

void NameCabinet(PCCAB cab) {
  std::snprintf(cab->szCab, sizeof cab->szCab, settings.pattern.c_str(), cab->iCab + 1);
  std::snprintf(cab->szDisk, sizeof cab->szDisk, "disk%d", cab->iCab + 1);
}
BOOL DIAMONDAPI NextCabinet(PCCAB cab, ULONG, void*) {
  NameCabinet(cab);
  return TRUE;
}

// Attributes come from the command line; date and time are fixed per file.
INT_PTR DIAMONDAPI OpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attribs, int* err,
                            void*) {
  int i = settings.fileIndex;
  *date = static_cast<USHORT>(((2021 - 1980) << 9) | ((1 + i % 12) << 5) | (1 + i % 28));
  *time = static_cast<USHORT>(((8 + i % 12) << 11) | ((i * 7 % 60) << 5) | (i * 3 % 30));
  *attribs = static_cast<USHORT>(settings.attribs);
  return Open(name, _O_RDONLY, 0, err, nullptr);
}

TCOMP ParseCompression(const char* s) {
  if (!std::strcmp(s, "none")) return tcompTYPE_NONE;
  if (!std::strcmp(s, "mszip")) return tcompTYPE_MSZIP;
  if (!std::strcmp(s, "lzx")) return TCOMPfromLZXWindow(15);
  if (!std::strcmp(s, "quantum")) return TCOMPfromTypeLevelMemory(tcompTYPE_QUANTUM, 4, 10);
  std::fprintf(stderr, "unknown compression %s\n", s);
  std::exit(2);
}

int Fail(const char* what, const ERF& erf) {
  std::fprintf(stderr, "%s failed: erfOper=%d erfType=%d\n", what, erf.erfOper, erf.erfType);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: fcimake OUTDIR NAMEPATTERN MAXCAB COMP SETID ITEM...\n");
    return 2;
  }
  settings.pattern = argv[2];
  settings.maxCab = std::strtoul(argv[3], nullptr, 10);
  TCOMP comp = ParseCompression(argv[4]);

  CCAB ccab{};
  ccab.cb = settings.maxCab ? settings.maxCab : 0x7FFFFFFF;
  ccab.cbFolderThresh = 0x7FFFFFFF;
  ccab.setID = static_cast<USHORT>(std::strtoul(argv[5], nullptr, 0));
  ccab.iCab = 0;
  ccab.iDisk = 1;
  std::snprintf(ccab.szCabPath, sizeof ccab.szCabPath, "%s\\", argv[1]);
  NameCabinet(&ccab);

  ERF erf{};
  HFCI fci = FCICreate(&erf, Placed, Alloc, Free, Open, Read, Write, Close, Seek, Delete, TempFile,
                       &ccab, nullptr);
  if (!fci) return Fail("FCICreate", erf);
  for (int i = 6; i < argc; ++i) {
    std::string item = argv[i];
    if (item == "flush") {
      if (!FCIFlushFolder(fci, NextCabinet, Status)) return Fail("FCIFlushFolder", erf);
      continue;
    }
    size_t a = item.find('='), b = item.rfind('=');
    if (a == std::string::npos || a == b) {
      std::fprintf(stderr, "bad item %s\n", item.c_str());
      return 2;
    }
    std::string src = item.substr(0, a), name = item.substr(a + 1, b - a - 1);
    unsigned attrs = static_cast<unsigned>(std::strtoul(item.c_str() + b + 1, nullptr, 16));
    settings.attribs = attrs & ~0x40u;
    settings.fileIndex++;
    if (!FCIAddFile(fci, src.data(), name.data(), (attrs & 0x40) != 0, NextCabinet, Status,
                    OpenInfo, comp))
      return Fail("FCIAddFile", erf);
  }
  if (!FCIFlushCabinet(fci, FALSE, NextCabinet, Status)) return Fail("FCIFlushCabinet", erf);
  FCIDestroy(fci);
  return 0;
}
