// The misuse tables of the C++ interface's tests: each case is a call that
// must throw dalvex::Error with a given code and a message holding a given
// piece.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dalvex/error.hpp"

namespace dalvex_test {

struct MisuseCase {
  const char* what;
  std::function<void()> call;
  dalvex::ErrorCode code;
  const char* names;  // a piece of the message
};

inline void ExpectErrors(const std::vector<MisuseCase>& cases) {
  for (const MisuseCase& k : cases) {
    SCOPED_TRACE(k.what);
    try {
      k.call();
      ADD_FAILURE() << "no dalvex::Error";
    } catch (const dalvex::Error& e) {
      EXPECT_EQ(e.code(), k.code) << dalvex::to_string(e.code()) << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(k.names), std::string::npos) << e.what();
    }
  }
}

}  // namespace dalvex_test
