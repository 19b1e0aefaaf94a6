#include "dalvex/error.hpp"

namespace dalvex {

const char* to_string(ErrorCode code) {
  switch (code) {
    case ErrorCode::kInvalidArgument: return "invalid argument";
    case ErrorCode::kIndexOutOfRange: return "index out of range";
    case ErrorCode::kNotSymmetric: return "not symmetric";
    case ErrorCode::kNotFinite: return "not finite";
    case ErrorCode::kPatternMismatch: return "pattern mismatch";
    case ErrorCode::kWrongState: return "wrong state";
    case ErrorCode::kTooLarge: return "too large";
    case ErrorCode::kUnavailable: return "unavailable";
    case ErrorCode::kMalformedInput: return "malformed input";
    case ErrorCode::kRoutineStatus: return "routine status";
    case ErrorCode::kFile: return "file";
  }
  return "unknown";
}

}  // namespace dalvex
