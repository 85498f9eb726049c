// Makes a package for the Windows end-to-end run under Wine:
//   make_test_package OUT STUB PROMPT [--data-past-end] STORED_NAME=FILE...
// Each STORED_NAME=FILE goes into one stored cabinet, the single payload entry.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/extractor/PackageTestSupport.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s OUT STUB PROMPT [--data-past-end] NAME=FILE...\n", argv[0]);
    return 2;
  }
  bool pastEnd = false;
  std::vector<testing_support::CabFile> files;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--data-past-end") == 0) {
      pastEnd = true;
      continue;
    }
    const char* eq = std::strchr(argv[i], '=');
    if (!eq) return 2;
    files.push_back({std::string(argv[i], static_cast<size_t>(eq - argv[i])),
                     testing_support::ReadFileBytes(eq + 1)});
  }
  std::string tail = extractor::PackageTail({testing_support::CabinetEntry(files)}, argv[3]);
  if (pastEnd) {
    std::string big;
    extractor::AppendLittleEndian32(big, 1 << 30);
    tail.replace(4, 4, big);  // the first entry's compressed size
  }
  testing_support::WriteFileBytes(argv[1], testing_support::ReadFileBytes(argv[2]) + tail);
  return 0;
}
