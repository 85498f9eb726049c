// Drives a cabinet library's FDI the way the cabinet reader does (one FDICopy per cabinet,
// following the set) over plain stdio callbacks, and writes down every notification, what the
// library closed on its own, and each call's result and error record as text. The same driver
// runs against the system's cabinet.dll under Wine and against the POSIX stand-in.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/posix/cabinet/Fdi.h"

namespace fdi_test {

namespace fdi = cabinet_standin;

struct FdiApi {
  decltype(&fdi::FDICreate) create;
  decltype(&fdi::FDIIsCabinet) isCabinet;
  decltype(&fdi::FDICopy) copy;
  decltype(&fdi::FDIDestroy) destroy;
};

// The library under test on this build: cabinet.dll on Windows, the stand-in elsewhere.
FdiApi LibraryApi();

// How the notification handler answers, beyond what the reader does by default.
struct Scenario {
  const char* name;     // also the recording's file name
  const char* cabinet;  // relative to the fixture folder; "-" for an FDIIsCabinet-only scenario
  const char* abortAt = nullptr;     // "COPY_FILE:2" returns -1 from the 2nd COPY_FILE
  const char* skip = nullptr;        // COPY_FILE returns 0 for this name
  const char* nextFolder = nullptr;  // written into psz3 at the first fdintNEXT_CABINET
  bool retry = false;                // on fdie != 0, restore the proposed folder and go on
  const char* isCabinet = nullptr;   // also probe this file (relative) with FDIIsCabinet
};

inline void PrintTo(const Scenario& scenario, std::ostream* os) {
  *os << scenario.name;
}

// Callback statistics of the last Record() call.
struct CallCounts {
  int alloc = 0, free = 0, open = 0, read = 0, write = 0, close = 0, seek = 0;
  int liveBlocks = 0;   // allocated and not yet freed
  int openHandles = 0;  // opened and not yet closed (cabinets and targets)
  int unknownCloses = 0;
};

struct Options {
  int failOpenOfCabinets = 0;  // open callback fails for cabinets from this call on (1-based)
  int failAllocFrom = 0;       // alloc callback fails from this call on (1-based)
};

// Every recorded scenario.
const std::vector<Scenario>& Scenarios();

// The folder that holds the fixture cabinets, ending in "/".
std::string FixtureDir();

// Runs one scenario and returns its transcript; counts land in `counts` when given.
std::string Record(const FdiApi& api, const Scenario& scenario, const Options& options = {},
                   CallCounts* counts = nullptr);

}  // namespace fdi_test
