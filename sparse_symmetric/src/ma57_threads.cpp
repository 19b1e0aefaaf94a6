// Helper threads of the factorization. A loop's iterations are handed out in
// chunks from a shared counter, so a thread that starts late takes fewer of
// them and the caller never waits for work to be given out, only for the
// others to finish theirs. Helpers sleep on a condition variable between
// loops: spinning helpers would take the core from the caller's own BLAS
// calls between the shared loops.
//
// A loop may start one other loop from inside one of its iterations (the
// node loop, walking the top nodes between the subtrees that the helpers
// factorize apart, shares a large front's tiles): helpers that have no
// iteration of the outer loop at hand, or that finish one, join the inner
// loop before they take the next, so that a helper done with its subtrees
// does not sleep while the walk works through the large fronts alone.
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
    if (!busy_.compare_exchange_strong(idle, true)) {
      return Participant() && RunInner(team, n, fn, body);
    }
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
      helpers_ = helpers, active_ = 0, open_ = true, caller_ = std::this_thread::get_id();
      ++generation_;
    }
    wake_.notify_all();
    uint64_t seen_inner = 0;
    TakeOuter(seen_inner);
    std::unique_lock<std::mutex> lock(mutex_);
    // Every iteration is taken: helpers that have not woken yet have nothing
    // left to do and are not waited for (a helper without a core would
    // otherwise hold up every loop until it gets one).
    open_ = false;
    for (;;) {
      done_.wait(lock, [&] { return active_ == 0 || InnerWaiting(seen_inner); });
      if (active_ == 0) {
        caller_ = std::thread::id();
        return true;
      }
      JoinInner(lock, seen_inner);
    }
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

  // An inner loop of the current outer one: shared with the helpers that
  // are free or come free before it ends, at most team - 1 of them.
  bool RunInner(int team, int64_t n, RowBody fn, const void* body) {
    bool idle = false;
    if (!inner_busy_.compare_exchange_strong(idle, true)) return false;  // one at a time
    Loop inner;
    inner.n = n, inner.fn = fn, inner.body = body;
    inner.chunk = std::clamp<int64_t>(n / (8 * static_cast<int64_t>(team)), 1, kChunk);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      inner_ = &inner, inner_team_ = team, ++inner_generation_;
      inner_open_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
    done_.notify_all();
    inner.Take();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      inner_open_.store(false, std::memory_order_relaxed);
      inner_ = nullptr;  // no one joins from now on
      inner_done_.wait(lock, [this] { return inner_joined_ == 0; });
    }
    inner_busy_.store(false);
    return true;
  }

  // Whether the calling thread takes part in the current loop: its caller or
  // a helper (helpers run nothing but the current loop's iterations). A loop
  // of another factorization, while the helpers serve this one, runs on its
  // caller alone.
  bool Participant() {
    const std::thread::id me = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(mutex_);
    if (me == caller_) return true;
    for (const std::thread& t : threads_) {
      if (t.get_id() == me) return true;
    }
    return false;
  }

  // True when an inner loop that this thread has not joined yet has room for
  // it: at most team - 1 threads join its caller. Under mutex_.
  bool InnerWaiting(uint64_t seen_inner) const {
    return inner_ != nullptr && inner_generation_ != seen_inner && inner_joined_ < inner_team_ - 1;
  }

  // Takes iterations of the open inner loop until it has none left; called
  // and returning with `lock` held.
  void JoinInner(std::unique_lock<std::mutex>& lock, uint64_t& seen_inner) {
    seen_inner = inner_generation_;
    Loop* inner = inner_;
    ++inner_joined_;
    lock.unlock();
    inner->Take();
    lock.lock();
    if (--inner_joined_ == 0) inner_done_.notify_all();
  }

  // The outer loop's iterations for this thread; between two chunks of them,
  // the inner loop open at the time, if any (its caller is waiting on it).
  void TakeOuter(uint64_t& seen_inner) {
    for (;;) {
      const int64_t first = loop_.next.fetch_add(loop_.chunk, std::memory_order_relaxed);
      if (first >= loop_.n) break;
      const int64_t last = std::min(loop_.n, first + loop_.chunk);
      for (int64_t i = first; i < last; ++i) loop_.fn(loop_.body, i);
      if (inner_open_.load(std::memory_order_acquire)) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (InnerWaiting(seen_inner)) JoinInner(lock, seen_inner);
      }
    }
  }

  void Serve(int id) {
    uint64_t seen = 0, seen_inner = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || generation_ != seen || InnerWaiting(seen_inner); });
      if (stop_) return;
      if (generation_ == seen) {
        JoinInner(lock, seen_inner);
        continue;
      }
      seen = generation_;
      if (id >= helpers_ || !open_) continue;
      ++active_;
      lock.unlock();
      TakeOuter(seen_inner);
      lock.lock();
      if (--active_ == 0 && !open_) done_.notify_one();
    }
  }

  const pid_t owner_ = getpid();  // the process whose threads these are
  std::atomic<bool> busy_{false};  // set while a loop has the helpers
  std::mutex mutex_;  // guards what follows
  std::condition_variable wake_, done_;
  std::vector<std::thread> threads_;
  uint64_t generation_ = 0;
  int helpers_ = 0;  // helpers that may take part in the current loop
  int active_ = 0;   // of those, the ones taking its iterations now
  bool open_ = false;  // whether helpers may still join it (until the caller is done)
  std::thread::id caller_;  // the current loop's caller
  bool stop_ = false;
  Loop loop_;  // the current loop; its counter is the only field not under mutex_
  // The inner loop, while one runs: its owner, team, the number of threads
  // in it besides its caller, and a generation that tells one inner loop from
  // the next. inner_open_ mirrors inner_ != nullptr for a look without the lock.
  std::atomic<bool> inner_busy_{false};
  std::atomic<bool> inner_open_{false};
  std::condition_variable inner_done_;
  Loop* inner_ = nullptr;
  int inner_team_ = 1;
  int inner_joined_ = 0;
  uint64_t inner_generation_ = 0;
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
