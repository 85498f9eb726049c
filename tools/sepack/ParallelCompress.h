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

// Compresses every job's input file (read in pieces, CompressFile), on up to `threads` threads
// at once (0: one per core), and hands the streams to `sink` in job order on the calling thread;
// a job starts only while fewer than `threads` streams wait to be handed on, so memory holds no
// more than that many compressed entries. The output never depends on the number of threads. The
// first error, from a job or from `sink`, stops the jobs not yet started and is raised once all
// have ended.
void CompressInOrder(const std::vector<CompressJob>& jobs,
                     const std::function<void(size_t index, std::string_view stream)>& sink,
                     unsigned threads = 0);

}  // namespace sepack
