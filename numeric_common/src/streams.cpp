#include "pemric/streams.h"

#include <cstdio>
#include <map>

namespace pemric {
namespace {

struct Route {
  StreamSink sink = nullptr;  // set: records go to sink(context, ...)
  void* context = nullptr;
  std::FILE* file = nullptr;  // set otherwise: records go to this file, owned here
};

std::map<int32_t, Route>& Routes() {
  static std::map<int32_t, Route> routes;
  return routes;
}

void Close(Route& route) {
  if (route.file != nullptr) std::fclose(route.file);
  route = Route{};
}

}  // namespace

void DefaultStreamFileName(int32_t unit, char* buffer, std::size_t size) {
  std::snprintf(buffer, size, "fort%d", static_cast<int>(unit));
}

void AttachStream(int32_t unit, StreamSink sink, void* context) {
  Route& route = Routes()[unit];
  Close(route);
  route.sink = sink;
  route.context = context;
}

bool AttachStreamFile(int32_t unit, const char* path) {
  std::FILE* file = std::fopen(path, "w");
  if (file == nullptr) return false;
  Route& route = Routes()[unit];
  Close(route);
  route.file = file;
  return true;
}

void DetachStream(int32_t unit) {
  auto it = Routes().find(unit);
  if (it == Routes().end()) return;
  Close(it->second);
  Routes().erase(it);
}

void WriteStream(int32_t unit, const char* text, std::size_t length) {
  auto it = Routes().find(unit);
  if (it != Routes().end() && it->second.sink != nullptr) {
    it->second.sink(it->second.context, text, length);
    return;
  }
  std::FILE* out = nullptr;
  if (it != Routes().end() && it->second.file != nullptr) {
    out = it->second.file;
  } else if (unit == 6) {
    out = stdout;
  } else if (unit == 0) {
    out = stderr;
  } else {
    char name[32];
    DefaultStreamFileName(unit, name, sizeof name);
    if (!AttachStreamFile(unit, name)) return;
    out = Routes()[unit].file;
  }
  std::fwrite(text, 1, length, out);
  std::fflush(out);
}

}  // namespace pemric
