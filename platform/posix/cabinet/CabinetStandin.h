// The stand-in for the system's cabinet library on POSIX: its export table, which the
// platform's module loader searches when asked for "cabinet.dll".
#pragma once

#include <span>

namespace cabinet_standin {

struct Export {
  const char* name;
  void* address;
};

// The nine entry points (five FCI, four FDI), each with the library's published prototype
// (declared in platform/posix/cabinet/Fdi.h).
std::span<const Export> Exports();

}  // namespace cabinet_standin
