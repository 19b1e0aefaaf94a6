// Where the C++ interface's diagnostics go: nowhere unless the caller gives
// a sink. Nothing is ever written to the standard streams.
#pragma once

#include <functional>
#include <string_view>

namespace dalvex {

// Receives one line at a time, without its line end. Called on the thread
// that runs the phase; it must not call back into the object that logs.
using LogSink = std::function<void(std::string_view line)>;

}  // namespace dalvex
