#include "tools/sepack/ParallelCompress.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "base/MemoryStream.h"
#include "tools/sepack/CodecRun.h"

namespace sepack {

void CompressInOrder(const std::vector<CompressJob>& jobs,
                     const std::function<void(size_t, std::string_view)>& sink, unsigned threads) {
  const size_t count = jobs.size();
  if (count == 0) return;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  const size_t workers = std::min<size_t>(threads, count);
  // One bar on the terminal only when one stream is made at a time.
  const bool progress = workers == 1;

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::optional<se::MemoryStream>> done(count);
  size_t next = 0;     // the next job to start
  size_t written = 0;  // jobs handed to the sink
  bool stop = false;
  std::exception_ptr error;
  const auto fail = [&](std::exception_ptr e) {
    const std::lock_guard lock(mutex);
    if (!error) error = e;
    stop = true;
    changed.notify_all();
  };

  const auto work = [&] {
    for (;;) {
      size_t index = 0;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || next >= count || next < written + workers; });
        if (stop || next >= count) return;
        index = next++;
      }
      try {
        se::MemoryStream stream = CompressFile(jobs[index].input(), jobs[index].label, progress);
        const std::lock_guard lock(mutex);
        done[index] = std::move(stream);
        changed.notify_all();
      } catch (...) {
        fail(std::current_exception());
        return;
      }
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(workers);
  for (size_t i = 0; i < workers; ++i) pool.emplace_back(work);

  try {
    for (size_t index = 0; index < count; ++index) {
      se::MemoryStream stream;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || done[index].has_value(); });
        if (!done[index]) break;  // a job failed
        stream = std::move(*done[index]);
        done[index].reset();
      }
      sink(index, std::string_view(reinterpret_cast<const char*>(stream.Memory()),
                                   static_cast<size_t>(stream.Size())));
      const std::lock_guard lock(mutex);
      written = index + 1;
      changed.notify_all();
    }
  } catch (...) {
    fail(std::current_exception());
  }
  for (auto& t : pool) t.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace sepack
