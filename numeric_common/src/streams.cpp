#include "pemric/streams.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <new>

namespace pemric {
namespace {

struct Route {
  StreamSink sink = nullptr;  // set: records go to sink(context, ...)
  void* context = nullptr;
  std::FILE* file = nullptr;  // set otherwise: records go to this file, owned here
  bool lost = false;          // a record was lost: the file could not be opened or written
};

// One registry for the process. Solvers on different threads print to
// different streams at the same time, so every look-up and change of a route,
// and every write to a file it owns, happens under this lock. A sink is
// called outside it: a sink may be slow, and may print again itself.
std::mutex& RoutesLock() {
  static std::mutex lock;
  return lock;
}

std::map<int32_t, Route>& Routes() {
  static std::map<int32_t, Route> routes;
  return routes;
}

void Close(Route& route) {
  if (route.file != nullptr) std::fclose(route.file);
  route = Route{};
}

// The route of `unit`, created empty when there is none; null only when the
// heap cannot hold a new entry.
Route* RouteOf(int32_t unit) noexcept {
  try {
    return &Routes()[unit];
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Writes to a file the route owns. A short write or a failed flush (a full
// device, an I/O error) closes the file and marks the stream: later records
// are dropped rather than written after a gap, so the file holds an
// unbroken beginning of the output.
void WriteFile(Route& route, const char* text, std::size_t length) {
  const bool written = std::fwrite(text, 1, length, route.file) == length;
  if (std::fflush(route.file) == 0 && written) return;
  std::fclose(route.file);
  route.file = nullptr;
  route.lost = true;
}

}  // namespace

void DefaultStreamFileName(int32_t unit, char* buffer, std::size_t size) {
  std::snprintf(buffer, size, "fort%d", static_cast<int>(unit));
}

void AttachStream(int32_t unit, StreamSink sink, void* context) {
  std::lock_guard<std::mutex> hold(RoutesLock());
  Route* route = RouteOf(unit);
  if (route == nullptr) return;
  Close(*route);
  route->sink = sink;
  route->context = context;
}

bool AttachStreamFile(int32_t unit, const char* path) {
  std::FILE* file = std::fopen(path, "w");
  if (file == nullptr) return false;
  std::lock_guard<std::mutex> hold(RoutesLock());
  Route* route = RouteOf(unit);
  if (route == nullptr) {
    std::fclose(file);
    return false;
  }
  Close(*route);
  route->file = file;
  return true;
}

void DetachStream(int32_t unit) {
  std::lock_guard<std::mutex> hold(RoutesLock());
  auto it = Routes().find(unit);
  if (it == Routes().end()) return;
  Close(it->second);
  Routes().erase(it);
}

bool StreamLostOutput(int32_t unit) {
  std::lock_guard<std::mutex> hold(RoutesLock());
  auto it = Routes().find(unit);
  return it != Routes().end() && it->second.lost;
}

void WriteStream(int32_t unit, const char* text, std::size_t length) {
  std::unique_lock<std::mutex> hold(RoutesLock());
  auto it = Routes().find(unit);
  if (it == Routes().end() && (unit == 6 || unit == 0)) {
    hold.unlock();
    std::FILE* out = unit == 6 ? stdout : stderr;
    std::fwrite(text, 1, length, out);
    std::fflush(out);
    return;
  }
  // The first record of a stream with no route makes one. (A stream whose
  // route was prepared needs no memory here: see PrepareStream.)
  Route* route = it != Routes().end() ? &it->second : RouteOf(unit);
  if (route == nullptr || route->lost) return;  // a stream that lost output stays silent until detached
  if (route->sink != nullptr) {
    const StreamSink sink = route->sink;
    void* const context = route->context;
    hold.unlock();
    sink(context, text, length);
    return;
  }
  // The default file, opened at the stream's first record and kept open. A
  // file that cannot be created marks the stream instead, so that later
  // records do not try again one by one.
  if (route->file == nullptr) {
    char name[32];
    DefaultStreamFileName(unit, name, sizeof name);
    route->file = std::fopen(name, "w");
    route->lost = route->file == nullptr;
  }
  if (route->file != nullptr) WriteFile(*route, text, length);
}

bool PrepareStream(int32_t unit) {
  if (unit == 6 || unit == 0) return true;  // the console needs no route
  std::lock_guard<std::mutex> hold(RoutesLock());
  return RouteOf(unit) != nullptr;
}

void MarkStreamLost(int32_t unit) {
  std::lock_guard<std::mutex> hold(RoutesLock());
  auto it = Routes().find(unit);
  // The console keeps no record of losses: a record lost there is just missing.
  if (it == Routes().end() && (unit == 6 || unit == 0)) return;
  Route* route = it != Routes().end() ? &it->second : RouteOf(unit);
  if (route == nullptr) return;
  if (route->file != nullptr) std::fclose(route->file);
  route->file = nullptr;
  route->lost = true;
}

}  // namespace pemric
