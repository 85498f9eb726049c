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
                     const std::function<void(size_t, std::string_view)>& sink, unsigned threads,
                     unsigned inputsAtOnce) {
  const size_t count = jobs.size();
  if (count == 0) return;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  const size_t workers = std::min<size_t>(threads, count);
  // One bar on the terminal only when one stream is made at a time.
  const bool progress = workers == 1;

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::optional<std::string>> inputs(count);  // made, not yet compressed
  std::vector<std::optional<se::MemoryStream>> done(count);
  size_t nextInput = 0;     // the next job whose input to make
  size_t making = 0;        // inputs being made now
  size_t nextCompress = 0;  // the next job to compress
  size_t written = 0;       // jobs handed to the sink
  bool stop = false;
  std::exception_ptr error;
  const auto fail = [&](std::exception_ptr e) {
    const std::lock_guard lock(mutex);
    if (!error) error = e;
    stop = true;
    changed.notify_all();
  };
  // Streams wait in memory for their turn: compression starts only while fewer than `workers`
  // of them are under way or waiting. Inputs (files) may be made one job further ahead, so that
  // when making inputs is the slower stage it never waits for a compression to end.
  const auto canMake = [&] {
    return nextInput < count && (inputsAtOnce == 0 || making < inputsAtOnce) &&
           nextInput < written + workers + 1;
  };
  const auto canCompress = [&] {
    return nextCompress < count && inputs[nextCompress].has_value() &&
           nextCompress < written + workers;
  };

  const auto work = [&] {
    for (;;) {
      std::unique_lock lock(mutex);
      changed.wait(lock,
                   [&] { return stop || nextCompress >= count || canMake() || canCompress(); });
      if (stop || nextCompress >= count) return;
      try {
        // Making inputs first: where only one can be made at a time, that chain of work is the
        // one that must never stand still.
        if (canMake()) {
          const size_t index = nextInput++;
          ++making;
          lock.unlock();
          std::string input = jobs[index].input();
          lock.lock();
          --making;
          inputs[index] = std::move(input);
        } else {
          const size_t index = nextCompress++;
          const std::string input = std::move(*inputs[index]);
          inputs[index].reset();
          lock.unlock();
          se::MemoryStream stream = CompressFile(input, jobs[index].label, progress);
          lock.lock();
          done[index] = std::move(stream);
        }
        changed.notify_all();
      } catch (...) {
        if (lock.owns_lock()) lock.unlock();
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
