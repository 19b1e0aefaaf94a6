// Numbered output streams: where the printed records of the numeric routines go.
//
// A stream number selects a destination:
//   6            standard output
//   0            standard error
//   any other    the file "fort" + number in the working directory ("fort17"),
//                created on its first record and kept open until detached
// unless a sink has been attached to the number, which then receives every
// record instead. The host services reserve numbers for the plug-in; a
// reserved number thus writes its "fortN" file with no further set-up.
//
// Each family of routines decides for itself which numbers silence a stream;
// this facility writes whatever it is given.
//
// Safe to use from several threads at once, as long as each stream number is
// used by one thread at a time: solvers on different threads each print to a
// stream of their own. Output never fails loudly: a file that cannot be
// created, or a write that fails (a full device), drops that record and every
// later one until the stream is detached, and StreamLostOutput tells so.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pemric {

// Receives one or more whole lines, each ending in '\n'.
using StreamSink = void (*)(void* context, const char* text, std::size_t length);

// Routes stream `unit` to `sink` until detached. Replaces any earlier route.
void AttachStream(int32_t unit, StreamSink sink, void* context);

// Routes stream `unit` to the file at `path` (truncated now). False if it
// cannot be opened; the earlier route then stays.
bool AttachStreamFile(int32_t unit, const char* path);

// Restores the default destination of `unit`, closing any file it had open.
void DetachStream(int32_t unit);

// Writes `length` bytes of text to stream `unit`.
void WriteStream(int32_t unit, const char* text, std::size_t length);

// Makes the registry's entry for stream `unit` now, so that nothing its
// records do later needs memory of the registry: a stream's first record
// otherwise makes the entry, and when the heap cannot hold it that record is
// lost without a trace. The default file is still created at the first
// record. False when the heap cannot hold the entry. Detaching ends it.
bool PrepareStream(int32_t unit);

// Marks stream `unit` as having lost a record that never reached it (its
// text could not be built): the stream closes its file and drops every later
// record until it is attached or detached again, as after a failed write.
// The console streams 6 and 0, unless attached, keep no such mark.
void MarkStreamLost(int32_t unit);

// True when records written to `unit` since it was last attached or detached
// were lost: its file could not be created or a write to it failed.
bool StreamLostOutput(int32_t unit);

// The default file name of a stream: "fort" + number.
void DefaultStreamFileName(int32_t unit, char* buffer, std::size_t size);

}  // namespace pemric
