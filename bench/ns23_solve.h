// NS23AD driven through its reverse-communication protocol on a problem of
// the test-problem library, for the benchmarks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "pemric/ns23.h"
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "problems/problem.h"
#include "problems/registry.h"

#ifdef DALVEX_COUNT_FACTORIZATIONS
// The link wraps MA57BD (-Wl,--wrap=MA57BD), so that every factorization
// NS23AD asks for passes through here and is counted. This header is
// included by one source file per benchmark program.
extern "C" void __real_MA57BD(const int32_t*, const int32_t*, const double*, double*,
                              const int32_t*, int32_t*, const int32_t*, const int32_t*, int32_t*,
                              int32_t*, const int32_t*, const double*, int32_t*, double*);
namespace ns23_bench {
inline int64_t factorizations = 0;
}
extern "C" void __wrap_MA57BD(const int32_t* n, const int32_t* ne, const double* a, double* fact,
                              const int32_t* lfact, int32_t* ifact, const int32_t* lifact,
                              const int32_t* lkeep, int32_t* keep, int32_t* pivseq,
                              const int32_t* icntl, const double* cntl, int32_t* info,
                              double* rinfo) {
  ns23_bench::factorizations += 1;
  __real_MA57BD(n, ne, a, fact, lfact, ifact, lifact, lkeep, keep, pivseq, icntl, cntl, info,
                rinfo);
}
#endif

namespace ns23_bench {

// A sum of squares as a counter. The counters print with SI prefixes, which
// end at 1e-24; anything smaller would print as if it were a plain number,
// so it is shown as 0.
inline double SumOfSquaresCounter(double ss) { return ss < 1e-24 ? 0.0 : ss; }

// The problem `name` at the size of the benchmark's argument; null, with the
// benchmark marked as skipped, when the library has no such problem.
inline std::unique_ptr<problems::Problem> SizedProblem(benchmark::State& state,
                                                       const std::string& name) {
  problems::ProblemOptions options;
  options.size = static_cast<int32_t>(state.range(0));
  auto problem = problems::MakeProblem(name, options);
  if (!problem) state.SkipWithError("unknown problem or size");
  return problem;
}

// Factorizations counted since the program started, or -1 when not counted.
inline int64_t Factorizations() {
#ifdef DALVEX_COUNT_FACTORIZATIONS
  return factorizations;
#else
  return -1;
#endif
}

struct Result {
  int32_t iflag = 0;
  int32_t evaluations = 0;  // INFO(3)
  int32_t jacobians = 0;    // Jacobian evaluations asked of the problem
  int32_t steps = 0;        // trial points (returns with IFLAG = 5)
  double ss = 0.0;          // sum of squares at the final point
  double max_residual = 0.0;  // largest |F_i| there
  int64_t factorizations = -1;  // MA57BD calls of the solve (-1: not counted)
};

class Ns23Run {
 public:
  Ns23Run(const problems::Problem& problem, double hmax) : problem_(problem), hmax_(hmax) {
    m_ = problem.NEqs();
    n_ = problem.NVars();
    irn_ = problem.JacobianRows();
    ip_.assign(n_ + 1, 0);
    for (int32_t c : problem.JacobianCols()) ip_[c] += 1;
    ip_[0] = 1;
    for (int32_t j = 1; j <= n_; ++j) ip_[j] += ip_[j - 1];
    aip_.assign(n_ + 1, 1);
    x_.resize(n_);
    f_.resize(m_);
    fjac_.resize(std::max<size_t>(irn_.size(), 1));
  }

  // Finds the workspace lengths by starts with MAXFUN = 0, which return as
  // soon as the start (pattern analysis included) has been accepted.
  void SizeWorkspace() {
    Result r;
    Run(0, &r);
  }

  // With max_residual > 0 the solve also ends, as the plug-in's driver ends
  // it, at the first evaluated point whose largest |F_i| is at most that.
  Result Solve(int32_t maxfun = 10000, double max_residual = 0.0) {
    Result r;
    max_residual_ = max_residual;
    const int64_t before = Factorizations();
    Run(maxfun, &r);
    if (before >= 0) r.factorizations = Factorizations() - before;
    problem_.Residuals(x_.data(), f_.data());
    for (double v : f_) r.ss += v * v;
    r.max_residual = MaxAbs(f_);
    return r;
  }

 private:
  void Run(int32_t maxfun, Result* r) {
    int32_t icntl[5], keep[130] = {}, lkeep[10] = {}, info[10] = {};
    double cntl[10] = {}, rkeep[72] = {}, rinfo[5] = {};
    NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
    icntl[0] = 0;
    problem_.StartingPoint(x_.data());
    problem_.Residuals(x_.data(), f_.data());
    if (hmax_ == 0.0) {
      problem_.JacobianValues(x_.data(), fjac_.data());
      r->jacobians = 1;
    }
    iw_.resize(std::max(liw_, 1));
    w_.resize(std::max(lw_, 1));
    const double sac = 1e-20, stpmin = 0.0, zero = 0.0;
    const int32_t iprint = 0;
    int32_t iflag = 1, evaluations = 1;
    for (;;) {
      NS23AD(&m_, &n_, &sac, &stpmin, &maxfun, &iprint, irn_.data(), ip_.data(), &zero,
             aip_.data(), aip_.data(), &hmax_, &liw_, iw_.data(), &lw_, w_.data(), x_.data(),
             f_.data(), fjac_.data(), &iflag, icntl, cntl, info, rinfo, keep, rkeep, lkeep);
      if (iflag == -2 || iflag == -3) {
        liw_ = std::max(liw_, info[3]);
        lw_ = std::max(lw_, info[4]);
        iw_.assign(liw_, 0);
        w_.assign(lw_, 0.0);
        continue;
      }
      if (iflag <= 0) break;
      problem_.Residuals(x_.data(), f_.data());
      evaluations += 1;
      if (max_residual_ > 0.0 && iflag != 3 && MaxAbs(f_) <= max_residual_) {
        r->iflag = 0;
        r->evaluations = evaluations;
        return;
      }
      if (hmax_ == 0.0 && (iflag == 2 || iflag == 5)) {
        problem_.JacobianValues(x_.data(), fjac_.data());
        r->jacobians += 1;
      }
      r->steps += iflag == 5 ? 1 : 0;
    }
    r->iflag = iflag;
    r->evaluations = info[2];
  }

  static double MaxAbs(const std::vector<double>& v) {
    double m = 0.0;
    for (double e : v) m = std::max(m, std::fabs(e));
    return m;
  }

  const problems::Problem& problem_;
  double hmax_, max_residual_ = 0.0;
  int32_t m_ = 0, n_ = 0, liw_ = 0, lw_ = 0;
  std::vector<int32_t> irn_, ip_, aip_, iw_;
  std::vector<double> x_, f_, fjac_, w_;
};

}  // namespace ns23_bench
