// Statuses of the numeric routines that the C++ interface has no outcome
// for: they become Error kRoutineStatus, with the routine's status kept.
#pragma once

#include <cstdint>
#include <string>

#include "dalvex/error.hpp"

namespace dalvex::internal {

// "MA57BD returned status -3 (INFO(2) = 1200)".
[[noreturn]] inline void ThrowRoutineStatus(const char* routine, int32_t status, int32_t value) {
  throw Error(ErrorCode::kRoutineStatus,
              std::string(routine) + " returned status " + std::to_string(status) +
                  " (INFO(2) = " + std::to_string(value) + ")",
              status);
}

}  // namespace dalvex::internal
