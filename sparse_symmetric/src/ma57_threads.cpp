// Helper threads of the factorization. A loop's iterations are handed out in
// chunks from a shared counter, so a thread that starts late takes fewer of
// them and the caller never waits for work to be given out, only for the
// others to finish theirs. Helpers sleep on a condition variable between
// loops: spinning helpers would take the core from the caller's own BLAS
// calls between the shared loops.
#include "ma57_threads.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#if PEMRIC_FRONT_THREADS
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <sched.h>
#include <unistd.h>
#endif

namespace pemric {
namespace ma57 {

int ParseThreadCount(const char* text, int fallback) {
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*end != '\0' || v < 1) return fallback;
  return static_cast<int>(std::min<long>(v, kMaxThreads));
}

#if PEMRIC_FRONT_THREADS && PEMRIC_BLAS_REENTRANT
namespace {

// The cores this process may run on (its affinity mask), at least 1.
int AvailableCores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

// Iterations per chunk at most: short rows are taken a few at a time, so
// that the shared counter is rarely touched; tiles of a large update, few and
// long, one at a time.
constexpr int64_t kChunk = 8;

// One shared loop: body(i) for i = 0 .. n-1, in chunks.
struct Loop {
  int64_t n = 0;
  int64_t chunk = 1;
  RowBody fn = nullptr;
  const void* body = nullptr;
  std::atomic<int64_t> next{0};

  void Take() {
    for (;;) {
      const int64_t first = next.fetch_add(chunk, std::memory_order_relaxed);
      if (first >= n) return;
      const int64_t last = std::min(n, first + chunk);
      for (int64_t i = first; i < last; ++i) fn(body, i);
    }
  }
};

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

  bool Run(int team, int64_t n, RowBody fn, const void* body) {
    // In a child forked after the helpers started, they do not exist. A loop
    // started while the helpers serve another (of this factorization, from
    // inside that loop, or of another one) runs on its caller alone.
    if (team <= 1 || getpid() != owner_) return false;
    bool idle = false;
    if (!busy_.compare_exchange_strong(idle, true)) return false;
    struct Release {
      std::atomic<bool>& flag;
      ~Release() { flag.store(false); }
    } release{busy_};
    const int helpers = static_cast<int>(std::min<int64_t>(team - 1, n - 1));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!Start(helpers)) return false;
      loop_.n = n, loop_.fn = fn, loop_.body = body;
      loop_.chunk = std::clamp<int64_t>(n / (8 * static_cast<int64_t>(team)), 1, kChunk);
      loop_.next.store(0, std::memory_order_relaxed);
      helpers_ = helpers, pending_ = helpers;
      ++generation_;
    }
    wake_.notify_all();
    loop_.Take();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    return true;
  }

 private:
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

  void Serve(int id) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
      if (id >= helpers_) continue;
      lock.unlock();
      loop_.Take();
      lock.lock();
      if (--pending_ == 0) done_.notify_one();
    }
  }

  const pid_t owner_ = getpid();  // the process whose threads these are
  std::atomic<bool> busy_{false};  // set while a loop has the helpers
  std::mutex mutex_;  // guards what follows
  std::condition_variable wake_, done_;
  std::vector<std::thread> threads_;
  uint64_t generation_ = 0;
  int helpers_ = 0;  // helpers taking part in the current loop
  int pending_ = 0;  // of those, the ones not yet done
  bool stop_ = false;
  Loop loop_;  // the current loop; its counter is the only field not under mutex_
};

}  // namespace

int ConfiguredThreads() {
  static const int threads = ParseThreadCount(std::getenv("DALVEX_NUM_THREADS"),
                                              std::min(AvailableCores(), kMaxThreads));
  return threads;
}

bool RunSharedRows(int team, int64_t n, RowBody fn, const void* body) {
  static Helpers helpers;
  return helpers.Run(team, n, fn, body);
}

#else

int ConfiguredThreads() { return 1; }

bool RunSharedRows(int, int64_t, RowBody, const void*) { return false; }

#endif

}  // namespace ma57
}  // namespace pemric
