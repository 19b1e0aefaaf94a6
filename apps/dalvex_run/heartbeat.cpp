#include "heartbeat.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace dalvex_run {
namespace {

std::string Seconds(double s, bool tenths) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f s", tenths ? 1 : 0, s);
  return buf;
}

}  // namespace

std::string HeartbeatLine(const Tally::Figures& f, bool tenths) {
  std::string line = Seconds(f.seconds, tenths) + ", Solve call " + std::to_string(f.calls);
  line += f.in_call ? " running for " + Seconds(f.call_seconds, tenths) : " returned";
  if (f.evaluations == 0) return line + ", no evaluation yet";
  line += ", " + std::to_string(f.evaluations) + (f.evaluations == 1 ? " evaluation; " : " evaluations; ");
  return line + ProgressFigures(f.evaluations - 1, f.sum_squares, f.largest, f.differencing);
}

Heartbeat::Heartbeat(Tally& tally, std::FILE* plain, Console* live, double seconds)
    : tally_(tally), plain_(plain), live_(live), seconds_(seconds) {
  if (plain_ == nullptr && live_ == nullptr) return;
  try {
    thread_ = std::thread([this] { Beat(); });
  } catch (const std::exception&) {
    // No thread (or no memory for one): the run goes on without the heartbeat.
  }
}

Heartbeat::~Heartbeat() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

// One tick's lines: a plain one when its interval has passed, the live one
// while a call has run for a second or more.
void Heartbeat::BeatOnce(std::chrono::steady_clock::time_point& next_plain,
                         std::chrono::steady_clock::duration interval, bool tenths) {
  using Clock = std::chrono::steady_clock;
  const Tally::Figures f = tally_.Read();
  if (!f.started) {  // the interval counts from the first call
    next_plain = Clock::now() + interval;
    return;
  }
  if (plain_ != nullptr && Clock::now() >= next_plain) {
    std::fprintf(plain_, "dalvex-run: %s\n", HeartbeatLine(f, tenths).c_str());
    std::fflush(plain_);
    next_plain += interval;
    if (next_plain <= Clock::now()) next_plain = Clock::now() + interval;
  }
  if (live_ != nullptr && f.in_call && f.call_seconds >= 1.0) live_->Progress("  " + HeartbeatLine(f, false));
}

// Wakes every tick until stopped (the solve's own thread draws the live line
// between calls).
void Heartbeat::Beat() {
  using Clock = std::chrono::steady_clock;
  const double tick = live_ != nullptr ? std::min(seconds_, 1.0) : seconds_;
  const bool tenths = seconds_ < 1.0;
  const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds_));
  Clock::time_point next_plain = Clock::now() + interval;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::duration<double>(tick), [this] { return stop_; })) {
    try {
      BeatOnce(next_plain, interval, tenths);
    } catch (const std::exception&) {
      // No memory for a line: this beat is skipped, the solve goes on.
    }
  }
}

}  // namespace dalvex_run
