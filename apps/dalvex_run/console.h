// The terminal side of the command-line host: the message sink that shows
// the solver's messages as they come, and a progress line redrawn in place.
// The solve's thread prints the messages while the heartbeat's thread may
// redraw the progress line: every operation holds the console's lock.
#ifndef DALVEX_RUN_CONSOLE_H
#define DALVEX_RUN_CONSOLE_H

#include <cstdio>
#include <mutex>
#include <string>

#include "vorn/host_interfaces.h"

namespace dalvex_run {

class Console final : public VornMessageSink {
 public:
  // `live` enables the progress line; it is meant for a terminal only.
  Console(std::FILE* out, bool live) : out_(out), live_(live) {}

  // The sink's two operations: a whole message, then a flush.
  void VORN_CALL Print(const char* text) override;
  void VORN_CALL Flush() override;

  // Replaces the progress line (no effect unless live).
  void Progress(const std::string& line);
  // Ends any progress line or unterminated message, so that what follows
  // starts on a line of its own.
  void EndLine();
  // Writes text of our own (not a solver message).
  void Write(const std::string& text);

  // A new Solve call begins: its message (below) is looked for afresh.
  void MarkCall();
  // What a failure says: the first of the solver's error lines ("**FATAL
  // ...", "NS23: ...") since MarkCall, or failing that the first line that is
  // neither a per-iteration report nor debug text.  Empty if none.
  const char* Message() const { return message_; }
  // The file of the solver's output unit ("fort1"), as its set-up message
  // names it, and whether the solver told of a write to it failing; empty
  // when it reserved none (Iprint = 0).
  const char* unit_file() const { return unit_file_; }
  bool unit_failed() const { return unit_failed_; }

 private:
  void ClearProgress();
  void EndLineLocked();
  void Notice(const char* text);
  void NoticeUnit(const char* text);

  std::mutex mutex_;
  std::FILE* out_;
  bool live_;
  bool progress_shown_ = false;  // the cursor sits at the end of a progress line
  bool at_line_start_ = true;    // the last character written was a line end
  // Kept in place: Print runs inside the solver's calls and must not throw.
  char message_[256] = "";
  bool message_found_ = false;   // message_ holds a line of this call
  bool error_found_ = false;     // ... and that line is an error line
  char unit_file_[64] = "";
  bool unit_failed_ = false;
};

}  // namespace dalvex_run

#endif  // DALVEX_RUN_CONSOLE_H
