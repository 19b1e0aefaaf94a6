// A reverse-communication driver for NS23AD used by the tests: it answers
// every request from a problem given by callbacks, grows the workspaces when
// asked, and records the flags it saw.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dalvex_test/near.h"
#include "dalvex_test/stream_capture.h"
#include "pemric/ns23.h"
#include "pemric/one_based.h"

namespace problems {
class Problem;
}

namespace ns23_test {

// A problem in column form, indices from 1.
struct LsqProblem {
  int32_t m = 0, n = 0;
  std::vector<int32_t> irn, ip;          // pattern of J
  std::vector<double> aval;              // constant matrix A (may be empty)
  std::vector<int32_t> airn, aip;
  std::function<void(const double* x, double* f)> residuals;
  std::function<void(const double* x, double* fjac)> jacobian;
  std::vector<double> x0;
};

// An LsqProblem from the shared test-problem library.
LsqProblem FromLibrary(const problems::Problem& problem);

struct Options {
  double sac = 0.0;
  double stpmin = 0.0;
  int32_t maxfun = 1000;
  int32_t iprint = 0;
  double hmax = 0.0;
  int32_t stream = 0;     // ICNTL(1); 0 silences
  int32_t liw = 0, lw = 0;  // first lengths tried; grown on -2 / -3
  bool grow = true;         // answer -2 / -3 by growing and calling again
  std::function<void(int32_t* icntl, double* cntl)> adjust;
  // Called at every positive return, before the evaluation.
  std::function<void(int32_t iflag, const double* x, const double* fjac)> on_return;
};

struct Outcome {
  int32_t iflag = 0;
  std::vector<double> x, f;
  std::vector<int32_t> flags;  // every IFLAG returned, in order
  int32_t info[NS23_LINFO] = {};
  double rinfo[NS23_LRINFO] = {};
  int32_t evaluations = 0;     // evaluations the driver made for NS23AD
  int32_t liw = 0, lw = 0;     // lengths in use at the end
  double ss() const;
  int count(int32_t flag) const;
  // INFO and RINFO through their names: out.Info(NS23_INFO_EVALUATIONS).
  int32_t Info(int k) const { return pemric::At(info)(k); }
  double Rinfo(int k) const { return pemric::At(rinfo)(k); }
};

Outcome Solve(const LsqProblem& problem, const Options& options);

using dalvex_test::Near;

using dalvex_test::StreamCapture;

}  // namespace ns23_test
