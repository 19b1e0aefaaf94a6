// NS23AD driven through its reverse-communication protocol on a problem of
// the test-problem library, for the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "pemric/ns23.h"
#include "pemric/one_based.h"
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <utility>

#include "problems/problem.h"
#include "problems/registry.h"

#ifdef DALVEX_COUNT_FACTORIZATIONS
// The link wraps MA57BD and the three linear-algebra steps of NS23AD
// (-Wl,--wrap=...; the steps by their C++ symbol names, their argument types
// from the family's private header ns23_step.h), so that every call
// NS23AD makes passes through here and is counted and timed, with no hook in
// the library. This header is included by one source file per benchmark
// program.
#include "ns23_step.h"

namespace ns23_bench {
inline int64_t factorizations = 0;
// Seconds spent in each step since the program started.
struct StepSeconds {
  double analysis = 0.0;       // NS23Analyse: patterns of B and B^T B, MA57AD
  double factorize = 0.0;      // NS23Factorize: forming B^T B + delta I, MA57BD
  double ma57bd = 0.0;         // MA57BD alone
  double solve = 0.0;          // NS23SolveStep: B^T r and two MA57CD solutions
};
inline StepSeconds step_seconds;

// Adds the time from its construction to its destruction to `total`.
class StepClock {
 public:
  explicit StepClock(double& total) : total_(total), start_(std::chrono::steady_clock::now()) {}
  ~StepClock() {
    total_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  double& total_;
  std::chrono::steady_clock::time_point start_;
};
}  // namespace ns23_bench

extern "C" void __real_MA57BD(const int32_t*, const int32_t*, const double*, double*,
                              const int32_t*, int32_t*, const int32_t*, const int32_t*, int32_t*,
                              int32_t*, const int32_t*, const double*, int32_t*, double*);
extern "C" void __wrap_MA57BD(const int32_t* n, const int32_t* ne, const double* a, double* fact,
                              const int32_t* lfact, int32_t* ifact, const int32_t* lifact,
                              const int32_t* lkeep, int32_t* keep, int32_t* pivseq,
                              const int32_t* icntl, const double* cntl, int32_t* info,
                              double* rinfo) {
  ns23_bench::factorizations += 1;
  ns23_bench::StepClock clock(ns23_bench::step_seconds.ma57bd);
  __real_MA57BD(n, ne, a, fact, lfact, ifact, lifact, lkeep, keep, pivseq, icntl, cntl, info,
                rinfo);
}

// pemric::MA57FactorizeTrusted, what NS23Factorize calls, counted and timed
// as MA57BD (Itanium C++ ABI name).
extern "C" void __real__ZN6pemric20MA57FactorizeTrustedEPKiS1_PKdPdS1_PiS1_S1_S5_S5_S1_S3_S5_S4_(
    const int32_t*, const int32_t*, const double*, double*, const int32_t*, int32_t*,
    const int32_t*, const int32_t*, int32_t*, int32_t*, const int32_t*, const double*, int32_t*,
    double*);
extern "C" void __wrap__ZN6pemric20MA57FactorizeTrustedEPKiS1_PKdPdS1_PiS1_S1_S5_S5_S1_S3_S5_S4_(
    const int32_t* n, const int32_t* ne, const double* a, double* fact, const int32_t* lfact,
    int32_t* ifact, const int32_t* lifact, const int32_t* lkeep, int32_t* keep, int32_t* pivseq,
    const int32_t* icntl, const double* cntl, int32_t* info, double* rinfo) {
  ns23_bench::factorizations += 1;
  ns23_bench::StepClock clock(ns23_bench::step_seconds.ma57bd);
  __real__ZN6pemric20MA57FactorizeTrustedEPKiS1_PKdPdS1_PiS1_S1_S5_S5_S1_S3_S5_S4_(
      n, ne, a, fact, lfact, ifact, lifact, lkeep, keep, pivseq, icntl, cntl, info, rinfo);
}

// pemric::ns23::NS23Analyse, NS23Factorize and NS23SolveStep (Itanium C++ ABI
// names), with the family's own types for their arguments.
using pemric::OneBased;
using pemric::ns23::Patterns;
using pemric::ns23::StepArrays;
using pemric::ns23::StepMeasures;
using pemric::ns23::StepPrinting;
using pemric::ns23::StepVectors;
extern "C" int32_t __real__ZN6pemric4ns2311NS23AnalyseERKNS0_8PatternsEiPiNS_8OneBasedIiEENS5_IdEE(
    const Patterns&, int32_t, int32_t*, OneBased<int32_t>, OneBased<double>);
extern "C" int32_t __wrap__ZN6pemric4ns2311NS23AnalyseERKNS0_8PatternsEiPiNS_8OneBasedIiEENS5_IdEE(
    const Patterns& b, int32_t liw, int32_t* iw, OneBased<int32_t> keep, OneBased<double> rkeep) {
  ns23_bench::StepClock clock(ns23_bench::step_seconds.analysis);
  return __real__ZN6pemric4ns2311NS23AnalyseERKNS0_8PatternsEiPiNS_8OneBasedIiEENS5_IdEE(
      b, liw, iw, keep, rkeep);
}
extern "C" int32_t __real__ZN6pemric4ns2313NS23FactorizeERKNS0_10StepArraysEPKdS5_d(
    const StepArrays&, const double*, const double*, double);
extern "C" int32_t __wrap__ZN6pemric4ns2313NS23FactorizeERKNS0_10StepArraysEPKdS5_d(
    const StepArrays& a, const double* fjac, const double* aval, double lamda) {
  ns23_bench::StepClock clock(ns23_bench::step_seconds.factorize);
  return __real__ZN6pemric4ns2313NS23FactorizeERKNS0_10StepArraysEPKdS5_d(a, fjac, aval, lamda);
}
extern "C" StepMeasures
__real__ZN6pemric4ns2313NS23SolveStepERKNS0_10StepArraysERKNS0_11StepVectorsEdRKNS0_12StepPrintingE(
    const StepArrays&, const StepVectors&, double, const StepPrinting&);
extern "C" StepMeasures
__wrap__ZN6pemric4ns2313NS23SolveStepERKNS0_10StepArraysERKNS0_11StepVectorsEdRKNS0_12StepPrintingE(
    const StepArrays& a, const StepVectors& v, double lamda, const StepPrinting& printing) {
  ns23_bench::StepClock clock(ns23_bench::step_seconds.solve);
  return __real__ZN6pemric4ns2313NS23SolveStepERKNS0_10StepArraysERKNS0_11StepVectorsEdRKNS0_12StepPrintingE(
      a, v, lamda, printing);
}
#endif

namespace ns23_bench {

using pemric::At;

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

// Largest |F_i| of the problem at x.
inline double MaxResidual(const problems::Problem& problem, const double* x) {
  std::vector<double> f(static_cast<size_t>(problem.NEqs()));
  problem.Residuals(x, f.data());
  double m = 0.0;
  for (double v : f) m = std::max(m, std::fabs(v));
  return m;
}

// The benchmarks' one stopping rule, the plug-in's: the largest |F_i| at most
// 1e-8 max(1, largest |F_i| at the starting point).
inline double SolvedBar(const problems::Problem& problem) {
  std::vector<double> x0(static_cast<size_t>(problem.NVars()));
  problem.StartingPoint(x0.data());
  return 1e-8 * std::max(1.0, MaxResidual(problem, x0.data()));
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
  // Where the time of the solve went, in seconds; the linear-algebra steps
  // only when they are timed (StepsTimed()).
  struct Split {
    double analysis = 0.0;       // patterns of B and B^T B, their MA57AD analysis
    double normal = 0.0;         // forming B^T B + delta I (all attempts)
    double factorization = 0.0;  // MA57BD
    double solves = 0.0;         // B^T r and the two MA57CD solutions of each step
    double evaluations = 0.0;    // residuals and Jacobians, in the problem library
    double total = 0.0;          // the whole solve
  } seconds;
};

// True when the link wraps the steps of NS23AD, so that Result carries their
// times.
inline bool StepsTimed() {
#ifdef DALVEX_COUNT_FACTORIZATIONS
  return true;
#else
  return false;
#endif
}

// The split of a solve's time as counters, in percent of the whole.
inline void ReportSplit(benchmark::State& state, const Result::Split& t) {
  if (!(t.total > 0.0)) return;
  const double known = t.analysis + t.normal + t.factorization + t.solves + t.evaluations;
  const std::pair<const char*, double> parts[] = {
      {"analysis%", t.analysis}, {"normal%", t.normal},  {"factor%", t.factorization},
      {"solves%", t.solves},     {"evals%", t.evaluations}, {"other%", t.total - known}};
  for (const auto& [label, seconds] : parts) state.counters[label] = 100.0 * seconds / t.total;
}

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
#ifdef DALVEX_COUNT_FACTORIZATIONS
    const StepSeconds steps_before = step_seconds;
#endif
    evaluation_seconds_ = 0.0;
    const auto start = std::chrono::steady_clock::now();
    Run(maxfun, &r);
    r.seconds.total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.seconds.evaluations = evaluation_seconds_;
#ifdef DALVEX_COUNT_FACTORIZATIONS
    r.seconds.analysis = step_seconds.analysis - steps_before.analysis;
    r.seconds.factorization = step_seconds.ma57bd - steps_before.ma57bd;
    r.seconds.normal = step_seconds.factorize - steps_before.factorize - r.seconds.factorization;
    r.seconds.solves = step_seconds.solve - steps_before.solve;
#endif
    if (before >= 0) r.factorizations = Factorizations() - before;
    problem_.Residuals(x_.data(), f_.data());
    for (double v : f_) r.ss += v * v;
    r.max_residual = MaxAbs(f_);
    return r;
  }

 private:
  void Run(int32_t maxfun, Result* r) {
    int32_t icntl[NS23_LICNTL], info[NS23_LINFO] = {};
    int32_t keep[NS23_LKEEP] = {}, lkeep[NS23_LLKEEP] = {};
    double cntl[NS23_LCNTL] = {}, rkeep[NS23_LRKEEP] = {}, rinfo[NS23_LRINFO] = {};
    NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
    At(icntl)(NS23_ICNTL_STREAM) = 0;
    problem_.StartingPoint(x_.data());
    Residuals();
    if (hmax_ == 0.0) {
      JacobianValues();
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
        liw_ = std::max(liw_, At(info)(NS23_INFO_LIW_NEEDED));
        lw_ = std::max(lw_, At(info)(NS23_INFO_LW_NEEDED));
        iw_.assign(liw_, 0);
        w_.assign(lw_, 0.0);
        continue;
      }
      if (iflag <= 0) break;
      Residuals();
      evaluations += 1;
      if (max_residual_ > 0.0 && iflag != 3 && MaxAbs(f_) <= max_residual_) {
        r->iflag = 0;
        r->evaluations = evaluations;
        return;
      }
      if (hmax_ == 0.0 && (iflag == 2 || iflag == 5)) {
        JacobianValues();
        r->jacobians += 1;
      }
      r->steps += iflag == 5 ? 1 : 0;
    }
    r->iflag = iflag;
    r->evaluations = At(info)(NS23_INFO_EVALUATIONS);
  }

  // The problem's evaluations at x_, timed.
  void Residuals() {
    const auto start = std::chrono::steady_clock::now();
    problem_.Residuals(x_.data(), f_.data());
    evaluation_seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  void JacobianValues() {
    const auto start = std::chrono::steady_clock::now();
    problem_.JacobianValues(x_.data(), fjac_.data());
    evaluation_seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  static double MaxAbs(const std::vector<double>& v) {
    double m = 0.0;
    for (double e : v) m = std::max(m, std::fabs(e));
    return m;
  }

  const problems::Problem& problem_;
  double hmax_, max_residual_ = 0.0;
  double evaluation_seconds_ = 0.0;  // in the problem's evaluations during the solve
  int32_t m_ = 0, n_ = 0, liw_ = 0, lw_ = 0;
  std::vector<int32_t> irn_, ip_, aip_, iw_;
  std::vector<double> x_, f_, fjac_, w_;
};

}  // namespace ns23_bench
