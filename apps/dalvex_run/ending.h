// How a run ends before its time: an interrupt (SIGINT, SIGTERM, SIGHUP, or
// Ctrl-C and a closed console on Windows) or memory running out.  Either way
// the tool writes what it knows, through the EarlyWriter that the run arms
// once its files are open: the history so far and a JSON summary with the
// exit status and the reason, leaving every other file as it was.
//
// A signal is caught by a handler that only writes its number to a pipe; a
// thread of the tool's own reads it and does the writing, so that nothing
// but that one write runs in the handler.  The process then ends by the same
// signal, as a shell expects of an interrupted program (status 128 + the
// signal's number).  A second signal while the first is handled ends the
// process at once.
//
// The run's normal end and an early one exclude each other: whichever comes
// first writes the files, and an early end that comes after the files were
// written leaves them as they are.
#ifndef DALVEX_RUN_ENDING_H
#define DALVEX_RUN_ENDING_H

#include <string>

namespace dalvex_run {

class EarlyWriter {
 public:
  virtual ~EarlyWriter() = default;
  // Writes what is known: `status` is the exit status, `reason` one line of
  // why, `word` the short name for the history's last row.
  virtual void Write(int status, const std::string& reason, const char* word) = 0;
};

// Installs the handlers and the thread that acts on them; standard output
// closed under the tool (a pipe whose reader is gone) then fails its writes,
// reported as exit status 3, rather than killing the tool with SIGPIPE.
void InstallEndings();

// The writer of the run under way, or null.
void ArmEarlyEnd(EarlyWriter* writer);

// Ends the run early from this thread: the armed writer writes what is
// known, unless an end has already been written.  The caller then exits.
void EndEarly(int status, const std::string& reason, const char* word);

// Held while the normal end writes its files.  An early end meanwhile waits,
// and then writes nothing.  If an early end came first, the constructor never
// returns: the process is about to end.
class NormalEnd {
 public:
  NormalEnd();
  ~NormalEnd();
  NormalEnd(const NormalEnd&) = delete;
  NormalEnd& operator=(const NormalEnd&) = delete;
};

}  // namespace dalvex_run

#endif  // DALVEX_RUN_ENDING_H
