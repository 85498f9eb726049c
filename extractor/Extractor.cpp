// The stub's entry point: one extraction run from the program's own file.
#include "extractor/Extractor_U1.h"
#include "extractor/TopLevelHandler.h"
#include "platform/Platform.h"

int main() {
  // Before anything can load a library: never from the folder the package was downloaded to.
  plat::Current().RestrictLibrarySearch();
  try {
    extractor::TExtractor run;
    run.Run();
  } catch (...) {
    extractor::ShowApplicationError(std::current_exception());
    return 1;
  }
  return 0;
}
