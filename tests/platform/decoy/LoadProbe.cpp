// Loads "cabinet.dll" by its bare name in a fresh process, beside the decoy, and tells by its
// exit code which library came: 42 the decoy, 0 another, 1 none.
//   LoadProbe plain     - LoadLibraryA with the ordinary search order
//   LoadProbe restrict  - the same after the platform's RestrictLibrarySearch
// Started without a command line (as RunAndWait starts programs) it instead writes its current
// directory to "ran.txt" there, after a pause that shows whether it was waited for.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/Platform.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    Sleep(300);
    char folder[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
    if (std::FILE* out = std::fopen("ran.txt", "wb")) {
      std::fwrite(folder, 1, length, out);
      std::fclose(out);
    }
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "restrict") == 0) plat::Native().RestrictLibrarySearch();
  const HMODULE module = LoadLibraryA("cabinet.dll");
  if (module == nullptr) return 1;
  return GetProcAddress(module, "SeDecoyMarker") != nullptr ? 42 : 0;
}
