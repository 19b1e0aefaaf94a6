// Signs of life while one Solve call runs for long (a large factorization
// can take minutes): a thread of the tool's own reads the solve's figures
// (Tally) and prints a plain progress line on standard error at the
// requested interval, and on a terminal redraws the live line once a second
// with the running call's time.  The plug-in is never called from it.
#ifndef DALVEX_RUN_HEARTBEAT_H
#define DALVEX_RUN_HEARTBEAT_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "console.h"
#include "run.h"

namespace dalvex_run {

// "12 s, Solve call 3 running for 8 s, 2 evaluations; Iter 1, ...": what a
// progress line says of the solve as it stands.  `tenths` gives times to a
// tenth of a second.
std::string HeartbeatLine(const Tally::Figures& f, bool tenths);

class Heartbeat {
 public:
  // Plain lines on `plain` every `seconds` (none when null); the live line on
  // `live` (none when null).  Starts the thread when there is anything to do.
  Heartbeat(Tally& tally, std::FILE* plain, Console* live, double seconds);
  ~Heartbeat();  // stops the thread
  Heartbeat(const Heartbeat&) = delete;
  Heartbeat& operator=(const Heartbeat&) = delete;

 private:
  void Beat();
  void BeatOnce(std::chrono::steady_clock::time_point& next_plain, std::chrono::steady_clock::duration interval,
                bool tenths);

  Tally& tally_;
  std::FILE* plain_;
  Console* live_;
  double seconds_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace dalvex_run

#endif  // DALVEX_RUN_HEARTBEAT_H
