// The terminal side of the command-line host: the message sink that shows
// the solver's messages as they come, and a progress line redrawn in place.
#ifndef DALVEX_RUN_CONSOLE_H
#define DALVEX_RUN_CONSOLE_H

#include <cstdio>
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

 private:
  void ClearProgress();
  void Notice(const char* text);

  std::FILE* out_;
  bool live_;
  bool progress_shown_ = false;  // the cursor sits at the end of a progress line
  bool at_line_start_ = true;    // the last character written was a line end
  // Kept in place: Print runs inside the solver's calls and must not throw.
  char message_[256] = "";
  bool message_found_ = false;   // message_ holds a line of this call
  bool error_found_ = false;     // ... and that line is an error line
};

}  // namespace dalvex_run

#endif  // DALVEX_RUN_CONSOLE_H
