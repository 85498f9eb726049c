// Compressing a package's entries side by side: every entry is an independent LZH stream.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sepack {

struct CompressJob {
  std::string label;                   // for messages: "compressing ..."
  std::function<std::string()> input;  // makes the file to compress, gives its path; on a worker
};

// Compresses every job's input file (made by `input`, then read in pieces by CompressFile), on
// up to `threads` threads at once (0: one per core), and hands the streams to `sink` in job order
// on the calling thread. Making inputs comes before compressing, with at most `inputsAtOnce`
// made at once (0: no limit; 1 where the maker works one at a time anyway), so that such a chain
// of work never stands still; a compression starts only while fewer than `threads` streams are
// under way or wait to be handed on, so memory holds no more than that many compressed entries.
// The output never depends on the number of threads. The first error, from a job or from
// `sink`, stops the jobs not yet started and is raised once all have ended.
void CompressInOrder(const std::vector<CompressJob>& jobs,
                     const std::function<void(size_t index, std::string_view stream)>& sink,
                     unsigned threads = 0, unsigned inputsAtOnce = 0);

}  // namespace sepack
