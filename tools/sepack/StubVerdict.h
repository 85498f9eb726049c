// What the stub would do with a package: its own run (the extractor's TExtractor::Run) over a
// platform that reports the package as the program's own file, works in a throw-away temporary
// folder, answers Yes, and launches nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sepack {

struct StubVerdict {
  struct Box {
    std::string text;
    std::string caption;
    uint32_t style = 0;
  };
  std::vector<Box> boxes;      // every message box of the run, the question included
  bool launched = false;       // the run reached the launch
  bool programFound = false;   // ... and rux.exe was a file at the top of the work folder
  int64_t filesExtracted = 0;  // files in the work folder at the launch, kem.cab left out
  std::string error;           // the "Application Error" text when an error escaped the run

  // The stub would extract every entry without an error and run rux.exe.
  bool Sound() const { return error.empty() && launched && programFound; }
  // Why not, in the stub's own words; empty when sound.
  std::string Reason() const;
};

// Runs the stub's extraction of the package at `path`; whatever the stub writes lies in a
// scratch folder removed afterwards. Raises only when the scratch folder cannot be made.
StubVerdict JudgeAsTheStub(const std::string& path);

}  // namespace sepack
