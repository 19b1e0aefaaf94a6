// Helper threads of the factorization. They sleep on a condition variable
// between loops: helpers that spin while they wait (as OpenMP's do by default)
// take cycles from the threaded DGEMM that runs between the shared loops,
// which on a machine with as many BLAS threads as cores costs more than the
// loops gain. A loop's rows are handed out in chunks from a shared counter,
// so a helper that wakes late takes fewer of them and the caller never waits
// for work to be given out, only for the helpers to finish their chunks.
#include "ma57_threads.h"

#if PEMRIC_FRONT_THREADS
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

extern "C" int openblas_get_num_threads(void) __attribute__((weak));
#endif

namespace pemric {
namespace ma57 {

#if PEMRIC_FRONT_THREADS
namespace {

// Rows per chunk: short enough that a large front's triangle divides evenly,
// long enough that the shared counter is rarely touched.
constexpr int64_t kChunkRows = 8;
// Helpers at most, whatever BLAS says.
constexpr int kMaxHelpers = 63;

class Helpers {
 public:
  ~Helpers() {
    if (getpid() != owner_) {
      // A forked child has none of these threads: nothing to stop or wait for.
      for (std::thread& t : threads_) t.detach();
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  bool Run(int64_t n, RowBody fn, const void* body) {
    const int team = Team();
    // In a child forked after the helpers started, they do not exist.
    if (team <= 1 || getpid() != owner_) return false;
    std::unique_lock<std::mutex> busy(busy_, std::try_to_lock);
    if (!busy.owns_lock()) return false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!Start(team - 1)) return false;
      n_ = n, fn_ = fn, body_ = body, next_.store(0, std::memory_order_relaxed);
      helpers_ = team - 1, pending_ = team - 1;
      ++generation_;
    }
    wake_.notify_all();
    Chunks();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    return true;
  }

 private:
  static int Team() {
    int threads = 1;
    if (front_threads > 0) {
      threads = front_threads;
    } else if (openblas_get_num_threads != nullptr) {
      threads = openblas_get_num_threads();
    }
    return std::clamp(threads, 1, kMaxHelpers + 1);
  }

  // Starts helpers up to `count`; false when the system refuses a thread or
  // the memory for one (the loop then runs on the caller alone; the helpers
  // started are kept). Nothing is thrown out of the factorization.
  bool Start(int count) {
    while (static_cast<int>(threads_.size()) < count) {
      try {
        threads_.emplace_back([this, id = static_cast<int>(threads_.size())] { Serve(id); });
      } catch (...) {
        return false;
      }
    }
    return true;
  }

  void Chunks() {
    for (;;) {
      const int64_t first = next_.fetch_add(kChunkRows, std::memory_order_relaxed);
      if (first >= n_) return;
      const int64_t last = std::min(n_, first + kChunkRows);
      for (int64_t i = first; i < last; ++i) fn_(body_, i);
    }
  }

  void Serve(int id) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
      if (id >= helpers_) continue;
      lock.unlock();
      Chunks();
      lock.lock();
      if (--pending_ == 0) done_.notify_one();
    }
  }

  const pid_t owner_ = getpid();  // the process whose threads these are
  std::mutex busy_;   // held by the factorization using the helpers
  std::mutex mutex_;  // guards what follows, but for next_
  std::condition_variable wake_, done_;
  std::vector<std::thread> threads_;
  uint64_t generation_ = 0;
  int helpers_ = 0;  // helpers taking part in the current loop
  int pending_ = 0;  // of those, the ones not yet done
  bool stop_ = false;
  int64_t n_ = 0;
  RowBody fn_ = nullptr;
  const void* body_ = nullptr;
  std::atomic<int64_t> next_{0};
};

}  // namespace

bool RunSharedRows(int64_t n, RowBody fn, const void* body) {
  static Helpers helpers;
  return helpers.Run(n, fn, body);
}

#else

bool RunSharedRows(int64_t, RowBody, const void*) { return false; }

#endif

}  // namespace ma57
}  // namespace pemric
