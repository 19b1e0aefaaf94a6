// LDLT: the three MA57 phases behind one object that owns their arrays.
//
// The analysis (MA57AD) runs with the ordering the options name: its own
// approximate minimum degree, or a pivot order supplied through KEEP(1..N)
// (METIS, natural, the caller's). The factorization (MA57BD) starts from
// the analysis's forecast of FACT and IFACT and, when delayed pivots need
// more, grows the array that ran short to the length the routine forecasts
// and factorizes again, so the caller never meets a space failure. Solves
// (MA57CD) use workspace of their own, so several may run at once.
#include "dalvex/ldlt.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dalvex/error.hpp"
#include "factor_determinant.h"
#include "metis_ordering.h"
#include "pemric.h"
#include "routine_status.h"

namespace dalvex {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The controls of every phase: no printing on any stream, threshold
// partial pivoting with 1x1 and 2x2 pivots, the caller's thresholds.
struct Controls {
  int32_t icntl[MA57_LICNTL];
  double cntl[MA57_LCNTL];

  explicit Controls(const LDLTOptions& options) {
    MA57SetDefaults(cntl, icntl);
    icntl[MA57_ICNTL_ERROR_STREAM - 1] = -1;
    icntl[MA57_ICNTL_WARNING_STREAM - 1] = -1;
    icntl[MA57_ICNTL_MONITOR_STREAM - 1] = -1;
    icntl[MA57_ICNTL_PRINT_LEVEL - 1] = 0;
    icntl[MA57_ICNTL_PIVOTING - 1] = MA57_PIVOT_THRESHOLD;
    cntl[MA57_CNTL_THRESHOLD - 1] = options.pivot_threshold;
    cntl[MA57_CNTL_ZERO_PIVOT - 1] = options.zero_pivot_tolerance;
  }
};

// One run of the analysis and what it leaves.
struct Analysis {
  std::vector<int32_t> keep;
  int32_t info[MA57_LINFO] = {};
  double rinfo[MA57_LRINFO] = {};

  int32_t Info(int position) const { return info[position - 1]; }
  double forecast_flops() const { return rinfo[MA57_RINFO_FORECAST_ELIMINATION - 1]; }
};

// positions: the pivot position (from 1) of each variable, or null for the
// analysis's own minimum-degree order.
Analysis RunAnalysis(const SymmetricMatrix& a,
                     const Controls& controls,
                     const std::vector<int32_t>* positions) {
  const int32_t n = a.order();
  const int32_t ne = static_cast<int32_t>(a.stored_entries());
  const int32_t lkeep = 5 * n + ne + std::max(n, ne) + 42;  // fits: checked by the matrix
  Analysis r;
  r.keep.assign(static_cast<size_t>(lkeep), 0);
  int32_t icntl[MA57_LICNTL];
  std::copy(controls.icntl, controls.icntl + MA57_LICNTL, icntl);
  if (positions != nullptr) {
    icntl[MA57_ICNTL_SUPPLIED_ORDER - 1] = 1;
    std::copy(positions->begin(), positions->end(), r.keep.begin());
  }
  // The analysis may write to the index arrays (it zeroes entries out of
  // range, which these have none of): it gets copies.
  std::vector<int32_t> irn(a.routine_rows().begin(), a.routine_rows().end());
  std::vector<int32_t> jcn(a.routine_columns().begin(), a.routine_columns().end());
  irn.resize(std::max<size_t>(irn.size(), 1));
  jcn.resize(std::max<size_t>(jcn.size(), 1));
  std::vector<int32_t> iwork(5 * static_cast<size_t>(n));
  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, r.keep.data(), iwork.data(), icntl, r.info,
         r.rinfo);
  if (r.info[MA57_INFO_STATUS - 1] < 0)
    internal::ThrowRoutineStatus("MA57AD", r.info[MA57_INFO_STATUS - 1],
                                 r.info[MA57_INFO_VALUE - 1]);
  return r;
}

// The caller's elimination order (variables from 0, first eliminated
// first) as the positions the analysis takes.
std::vector<int32_t> GivenPositions(const std::vector<int32_t>& order, int32_t n) {
  if (static_cast<int64_t>(order.size()) != n) {
    throw Error(ErrorCode::kInvalidArgument,
                "LDLTOptions::elimination_order has " + std::to_string(order.size()) +
                    " entries for a matrix of order " + std::to_string(n));
  }
  std::vector<int32_t> positions(static_cast<size_t>(n), 0);
  for (int32_t k = 0; k < n; ++k) {
    const int32_t v = order[k];
    const std::string at =
        "LDLTOptions::elimination_order[" + std::to_string(k) + "] = " + std::to_string(v);
    if (v < 0 || v >= n)
      throw Error(ErrorCode::kIndexOutOfRange, at + " lies outside 0.." + std::to_string(n - 1));
    if (positions[v] != 0) throw Error(ErrorCode::kInvalidArgument, at + " repeats a variable");
    positions[v] = k + 1;
  }
  return positions;
}

std::vector<int32_t> NaturalPositions(int32_t n) {
  std::vector<int32_t> positions(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) positions[i] = i + 1;
  return positions;
}

// A length of FACT or IFACT for a factorization that ran short: what the
// routine forecasts, with a tenth more against further delays, and at least
// half as much again as before.
int32_t Grown(int32_t current, int64_t forecast) {
  if (current >= kMax32) {
    throw Error(ErrorCode::kTooLarge,
                "the factors need more than the 32-bit lengths of FACT and IFACT");
  }
  const int64_t wanted = std::max(forecast + forecast / 10, int64_t{current} + current / 2 + 1);
  return static_cast<int32_t>(std::min(wanted, kMax32));
}

int32_t WithMargin(int64_t forecast) {
  return static_cast<int32_t>(std::min(forecast + forecast / 20 + 64, kMax32));
}

template <class T>
struct Array {
  std::unique_ptr<T[]> data;
  int32_t size = 0;
  void Allocate(int32_t n) {
    data.reset();  // the old array goes before the new one comes
    data.reset(new T[static_cast<size_t>(std::max(n, 1))]);
    size = n;
  }
};

std::string Format(const char* format, double a, double b, double c) {
  char line[200];
  std::snprintf(line, sizeof line, format, a, b, c);
  return line;
}

}  // namespace

const char* to_string(FactorStatus status) {
  switch (status) {
    case FactorStatus::kNone: return "none";
    case FactorStatus::kSuccess: return "success";
    case FactorStatus::kSingular: return "singular";
  }
  return "unknown";
}

struct LDLT::State {
  LDLTOptions options;
  Controls controls;
  std::optional<SymmetricMatrix> matrix;  // the analysed pattern, then the factorized matrix
  bool analysed = false;
  Analysis analysis;
  Array<double> fact;
  Array<int32_t> ifact;
  int32_t info[MA57_LINFO] = {};  // of the last factorization
  FactorStatus status = FactorStatus::kNone;
  double norm = 0.0;  // ||A||_inf of the factorized matrix
  LogDeterminant determinant;
  LDLTStatistics stats;

  explicit State(LDLTOptions o) : options(std::move(o)), controls(options) {}

  void Log(const std::string& line) const {
    if (options.log) options.log(line);
  }
  void RequireFactors() const {
    if (status == FactorStatus::kNone) {
      throw Error(ErrorCode::kWrongState, "the LDLT holds no factorization: call Factorize first");
    }
  }
  void Solve(double* b, int64_t columns, int64_t leading_dimension) const;
  double ScaledResidual(const double* b,
                        const double* x,
                        int64_t columns,
                        int64_t ld,
                        std::vector<double>& residual) const;
};

LDLT::LDLT(LDLTOptions options) {
  options.Validate();
  state_ = std::make_unique<State>(std::move(options));
}

LDLT::~LDLT() = default;
LDLT::LDLT(LDLT&&) noexcept = default;
LDLT& LDLT::operator=(LDLT&&) noexcept = default;

void LDLT::Analyse(const SymmetricMatrix& a) {
  State& s = *state_;
  s.analysed = false;
  s.status = FactorStatus::kNone;
  s.matrix.reset();
  const auto start = Clock::now();
  LDLTStatistics stats;
  stats.order = a.order();
  stats.matrix_entries = a.stored_entries();
  Ordering used = s.options.ordering;
  switch (s.options.ordering) {
    case Ordering::kAmd:
      s.analysis = RunAnalysis(a, s.controls, nullptr);
      stats.amd_forecast_flops = s.analysis.forecast_flops();
      break;
    case Ordering::kNatural: {
      const auto positions = NaturalPositions(a.order());
      s.analysis = RunAnalysis(a, s.controls, &positions);
      break;
    }
    case Ordering::kGiven: {
      const auto positions = GivenPositions(s.options.elimination_order, a.order());
      s.analysis = RunAnalysis(a, s.controls, &positions);
      break;
    }
    case Ordering::kMetis: {
      const auto ordering_start = Clock::now();
      const auto positions = internal::MetisPositions(a);
      stats.ordering_seconds = SecondsSince(ordering_start);
      s.analysis = RunAnalysis(a, s.controls, &positions);
      stats.metis_forecast_flops = s.analysis.forecast_flops();
      break;
    }
    case Ordering::kAuto: {
      // Both orders are analysed; the one forecasting fewer operations is
      // kept (minimum degree on a tie, or without METIS).
      s.analysis = RunAnalysis(a, s.controls, nullptr);
      stats.amd_forecast_flops = s.analysis.forecast_flops();
      used = Ordering::kAmd;
      if (MetisAvailable()) {
        const auto ordering_start = Clock::now();
        const auto positions = internal::MetisPositions(a);
        Analysis metis = RunAnalysis(a, s.controls, &positions);
        stats.metis_forecast_flops = metis.forecast_flops();
        if (metis.forecast_flops() < s.analysis.forecast_flops()) {
          s.analysis = std::move(metis);
          used = Ordering::kMetis;
        }
        stats.ordering_seconds = SecondsSince(ordering_start);
      }
      break;
    }
  }
  stats.ordering = used;
  stats.forecast_factor_entries = s.analysis.Info(MA57_INFO_FORECAST_REAL);
  stats.forecast_flops = s.analysis.forecast_flops();
  stats.forecast_largest_front = s.analysis.Info(MA57_INFO_FORECAST_FRONT);
  stats.forecast_bytes = 8 * int64_t{s.analysis.Info(MA57_INFO_FACT_NO_COMPRESS)} +
                         4 * int64_t{s.analysis.Info(MA57_INFO_IFACT_NO_COMPRESS)} +
                         4 * static_cast<int64_t>(s.analysis.keep.size());
  stats.analyse_seconds = SecondsSince(start);
  s.stats = stats;
  s.matrix = a;
  s.analysed = true;
  s.Log("analysis: order " + std::to_string(a.order()) + ", " + std::to_string(a.stored_entries()) +
        " entries, ordering " + to_string(used) +
        Format(", forecast %.3g factor entries, %.3g flops, %.3f s", stats.forecast_factor_entries,
               stats.forecast_flops, stats.analyse_seconds));
}

FactorStatus LDLT::Factorize(const SymmetricMatrix& a) {
  State& s = *state_;
  if (!a.has_values()) {
    throw Error(ErrorCode::kInvalidArgument, "a pattern without values cannot be factorized");
  }
  if (!s.analysed) {
    Analyse(a);
  } else if (!s.matrix->SamePattern(a)) {
    throw Error(ErrorCode::kPatternMismatch,
                "the matrix's pattern is not the analysed one; call Analyse for a new pattern");
  }
  s.status = FactorStatus::kNone;
  s.matrix = a;
  const auto start = Clock::now();
  const int32_t n = a.order();
  const int32_t ne = static_cast<int32_t>(a.stored_entries());
  const int32_t lkeep = static_cast<int32_t>(s.analysis.keep.size());
  int32_t lfact = WithMargin(s.analysis.Info(MA57_INFO_FACT_NO_COMPRESS));
  int32_t lifact = WithMargin(s.analysis.Info(MA57_INFO_IFACT_NO_COMPRESS));
  std::vector<int32_t> pivots(static_cast<size_t>(n));
  const Span<const double> values = a.routine_values();
  const double one = 0.0;
  const double* a_values = values.empty() ? &one : values.data();
  double rinfo[MA57_LRINFO] = {};
  int64_t peak = 0;
  int32_t attempts = 0;
  for (;;) {
    ++attempts;
    if (s.fact.size != lfact) s.fact.Allocate(lfact);
    if (s.ifact.size != lifact) s.ifact.Allocate(lifact);
    peak = std::max(peak,
                    8 * int64_t{lfact} + 4 * int64_t{lifact} + 4 * int64_t{lkeep} + 4 * int64_t{n});
    MA57BD(&n, &ne, a_values, s.fact.data.get(), &lfact, s.ifact.data.get(), &lifact, &lkeep,
           s.analysis.keep.data(), pivots.data(), s.controls.icntl, s.controls.cntl, s.info, rinfo);
    if (s.info[MA57_INFO_STATUS - 1] == MA57_ERR_LFACT) {
      lfact = Grown(lfact, s.info[MA57_INFO_MIN_LFACT_COMPRESS - 1]);
    } else if (s.info[MA57_INFO_STATUS - 1] == MA57_ERR_LIFACT) {
      lifact = Grown(lifact, s.info[MA57_INFO_MIN_LIFACT_COMPRESS - 1]);
    } else {
      break;
    }
  }
  if (s.info[MA57_INFO_STATUS - 1] == MA57_ERR_FACTORS_NOT_FINITE) {
    // Finite values whose factors overflow, such as the reciprocal of a
    // subnormal pivot: no solve could give a finite answer.
    throw Error(ErrorCode::kNotFinite, "the factors are not finite: elimination step " +
                                           std::to_string(s.info[MA57_INFO_VALUE - 1]) + " overflows",
                s.info[MA57_INFO_STATUS - 1]);
  }
  if (s.info[MA57_INFO_STATUS - 1] < 0)
    internal::ThrowRoutineStatus("MA57BD", s.info[MA57_INFO_STATUS - 1],
                                 s.info[MA57_INFO_VALUE - 1]);
  s.status = s.info[MA57_INFO_STATUS - 1] == MA57_WARN_SINGULAR ? FactorStatus::kSingular
                                                                : FactorStatus::kSuccess;
  s.norm = a.NormInf();
  s.determinant = s.status == FactorStatus::kSuccess
                      ? internal::DeterminantOfFactors(s.fact.data.get(), s.ifact.data.get())
                      : LogDeterminant{};
  LDLTStatistics& st = s.stats;
  st.factor_entries = s.info[MA57_INFO_FACTOR_ENTRIES - 1];
  st.fill =
      st.matrix_entries > 0 ? static_cast<double>(st.factor_entries) / st.matrix_entries : 0.0;
  st.flops = rinfo[MA57_RINFO_ELIMINATION_OPS - 1];
  st.largest_front = s.info[MA57_INFO_LARGEST_FRONT - 1];
  st.two_by_two_pivots = s.info[MA57_INFO_TWO_BY_TWO - 1];
  st.delayed_pivots = s.info[MA57_INFO_DELAYED - 1];
  st.rank = s.info[MA57_INFO_RANK - 1];
  st.factorizations = attempts;
  st.peak_bytes = std::max(st.peak_bytes, peak);
  st.factorize_seconds = SecondsSince(start);
  s.Log("factorization: " + std::string(to_string(s.status)) + ", rank " + std::to_string(st.rank) +
        Format(", %.3g factor entries, %.3g flops, %.3f s", st.factor_entries, st.flops,
               st.factorize_seconds));
  return s.status;
}

// MA57CD on `columns` right-hand sides, in chunks whose lengths the
// routine's 32-bit arguments can hold.
void LDLT::State::Solve(double* b, int64_t columns, int64_t leading_dimension) const {
  const int32_t n = matrix->order();
  const int64_t chunk = std::max<int64_t>(1, kMax32 / std::max<int64_t>(leading_dimension, n));
  std::vector<int32_t> blocks(static_cast<size_t>(n));
  std::vector<double> work;
  const int32_t job = MA57_JOB_FULL;
  const int32_t lrhs = static_cast<int32_t>(leading_dimension);
  for (int64_t first = 0; first < columns; first += chunk) {
    const int32_t nrhs = static_cast<int32_t>(std::min(chunk, columns - first));
    const int32_t lw = n * nrhs;
    work.resize(static_cast<size_t>(lw));
    int32_t info[MA57_LINFO] = {};
    MA57CD(&job, &n, fact.data.get(), &fact.size, ifact.data.get(), &ifact.size, &nrhs,
           b + first * leading_dimension, &lrhs, work.data(), &lw, blocks.data(), controls.icntl,
           info);
    if (info[MA57_INFO_STATUS - 1] < 0)
      internal::ThrowRoutineStatus("MA57CD", info[MA57_INFO_STATUS - 1], info[MA57_INFO_VALUE - 1]);
  }
}

// max over the columns of ||b - A x||_inf / (||A||_inf ||x||_inf + ||b||_inf);
// `residual` receives b - A x (n per column, packed).
double LDLT::State::ScaledResidual(const double* b,
                                   const double* x,
                                   int64_t columns,
                                   int64_t ld,
                                   std::vector<double>& residual) const {
  const int32_t n = matrix->order();
  residual.resize(static_cast<size_t>(n * columns));
  double worst = 0.0;
  for (int64_t c = 0; c < columns; ++c) {
    const double* xc = x + c * ld;
    const double* bc = b + c * n;
    Span<double> rc(residual.data() + c * n, static_cast<size_t>(n));
    matrix->Multiply(Span<const double>(xc, static_cast<size_t>(n)), rc);
    double r_norm = 0.0, x_norm = 0.0, b_norm = 0.0;
    for (int32_t i = 0; i < n; ++i) {
      rc[i] = bc[i] - rc[i];
      r_norm = std::max(r_norm, std::fabs(rc[i]));
      x_norm = std::max(x_norm, std::fabs(xc[i]));
      b_norm = std::max(b_norm, std::fabs(bc[i]));
    }
    const double scale = norm * x_norm + b_norm;
    const double omega = scale > 0.0 ? r_norm / scale : (r_norm > 0.0 ? 1.0 : 0.0);
    if (!(omega <= worst)) worst = omega;  // NaN wins
  }
  return worst;
}

SolveReport LDLT::SolveInPlace(Span<double> b,
                               int64_t columns,
                               int64_t leading_dimension,
                               const SolveOptions& options) const {
  const State& s = *state_;
  s.RequireFactors();
  const int64_t n = s.matrix->order();
  if (columns < 1 || leading_dimension < n ||
      static_cast<int64_t>(b.size()) < (columns - 1) * leading_dimension + n) {
    throw Error(ErrorCode::kInvalidArgument,
                "right-hand sides of " + std::to_string(b.size()) + " values do not hold " +
                    std::to_string(columns) + " columns of " + std::to_string(n) +
                    " with leading dimension " + std::to_string(leading_dimension));
  }
  if (options.refinement_steps < 0) {
    throw Error(ErrorCode::kInvalidArgument, "SolveOptions::refinement_steps is " +
                                                 std::to_string(options.refinement_steps) +
                                                 "; it must be >= 0");
  }
  for (int64_t c = 0; c < columns; ++c) {
    for (int64_t i = 0; i < n; ++i) {
      if (!std::isfinite(b[c * leading_dimension + i])) {
        throw Error(ErrorCode::kNotFinite, "right-hand side " + std::to_string(c) +
                                               " has a non-finite value at " + std::to_string(i));
      }
    }
  }
  const auto start = Clock::now();
  SolveReport report;
  const bool check = options.refinement_steps > 0 || options.compute_residual;
  std::vector<double> rhs;
  if (check) {  // b itself, packed, before it becomes x
    rhs.resize(static_cast<size_t>(n * columns));
    for (int64_t c = 0; c < columns; ++c) {
      std::copy_n(b.data() + c * leading_dimension, n, rhs.data() + c * n);
    }
  }
  s.Solve(b.data(), columns, leading_dimension);
  if (check) {
    // Iterative refinement: x += A^-1 (b - A x) while the scaled residual
    // at least halves; a step that does not lower it is not kept.
    const double eps = std::numeric_limits<double>::epsilon();
    std::vector<double> residual, trial(static_cast<size_t>(n * columns)), trial_residual;
    double omega = s.ScaledResidual(rhs.data(), b.data(), columns, leading_dimension, residual);
    while (report.refinement_steps < options.refinement_steps && omega > eps) {
      s.Solve(residual.data(), columns, n);
      for (int64_t c = 0; c < columns; ++c) {
        for (int64_t i = 0; i < n; ++i)
          trial[c * n + i] = b[c * leading_dimension + i] + residual[c * n + i];
      }
      const double trial_omega =
          s.ScaledResidual(rhs.data(), trial.data(), columns, n, trial_residual);
      ++report.refinement_steps;
      if (!(trial_omega < omega)) break;
      for (int64_t c = 0; c < columns; ++c)
        std::copy_n(trial.data() + c * n, n, b.data() + c * leading_dimension);
      const bool halved = trial_omega <= omega / 2;
      omega = trial_omega;
      residual.swap(trial_residual);
      if (!halved) break;
    }
    report.scaled_residual = omega;
  }
  report.seconds = SecondsSince(start);
  return report;
}

SolveReport LDLT::SolveInPlace(Span<double> b, const SolveOptions& options) const {
  state_->RequireFactors();
  if (static_cast<int64_t>(b.size()) != order()) {
    throw Error(ErrorCode::kInvalidArgument, "a right-hand side of " + std::to_string(b.size()) +
                                                 " values does not hold " +
                                                 std::to_string(order()));
  }
  return SolveInPlace(b, 1, order(), options);
}

std::vector<double> LDLT::Solve(Span<const double> b,
                                const SolveOptions& options,
                                SolveReport* report) const {
  std::vector<double> x(b.begin(), b.end());
  const SolveReport r = SolveInPlace(Span<double>(x), options);
  if (report != nullptr) *report = r;
  return x;
}

FactorStatus LDLT::status() const { return state_->status; }

Inertia LDLT::inertia() const {
  const State& s = *state_;
  s.RequireFactors();
  Inertia in;
  in.negative = s.info[MA57_INFO_NEGATIVE - 1];
  in.zero = s.matrix->order() - s.info[MA57_INFO_RANK - 1];
  in.positive = s.info[MA57_INFO_RANK - 1] - in.negative;
  return in;
}

int32_t LDLT::rank() const {
  state_->RequireFactors();
  return state_->info[MA57_INFO_RANK - 1];
}

LogDeterminant LDLT::log_determinant() const {
  state_->RequireFactors();
  return state_->determinant;
}

const SymmetricMatrix& LDLT::matrix() const {
  if (!state_->matrix) throw Error(ErrorCode::kWrongState, "the LDLT has analysed no matrix yet");
  return *state_->matrix;
}

int32_t LDLT::order() const { return state_->matrix ? state_->matrix->order() : 0; }
const LDLTStatistics& LDLT::statistics() const { return state_->stats; }
const LDLTOptions& LDLT::options() const { return state_->options; }

}  // namespace dalvex
