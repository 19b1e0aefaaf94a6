// Sparse symmetric indefinite factorization A = P L D L^T P^T, multifrontal
// with 1x1 and 2x2 pivots, on the library's MA57 routines. Phases as
// methods: Analyse (pattern only), Factorize (values; again for each new set
// of values on the same pattern, reusing the analysis), Solve (any number of
// times per factorization). The object sizes and grows every workspace
// itself.
//
//   dalvex::LDLT ldlt;                       // default options: AMD ordering
//   ldlt.Factorize(a);                       // analyses on first use
//   std::vector<double> x = ldlt.Solve(b);
//   dalvex::Inertia in = ldlt.inertia();
//
// Threads: objects share nothing, so different objects may be used on
// different threads at once. One object's const methods (Solve, inertia,
// statistics, ...) may run on several threads at once; Analyse and
// Factorize may not run beside anything else on the same object.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "dalvex/log.hpp"
#include "dalvex/ordering.hpp"
#include "dalvex/span.hpp"
#include "dalvex/symmetric_matrix.hpp"

namespace dalvex {

struct LDLTOptions {
  Ordering ordering = Ordering::kAmd;
  // For Ordering::kGiven: elimination_order[k] is the variable (from 0)
  // eliminated k-th; a permutation of 0..n-1.
  std::vector<int32_t> elimination_order;
  // Relative pivot threshold u, 0 <= u <= 0.5: a 1x1 pivot must be at least
  // u times the largest entry of its column outside the pivot block (a 2x2
  // pivot passes the corresponding test). Larger is more stable, smaller
  // keeps the forecast fill (fewer pivots are delayed).
  double pivot_threshold = 0.01;
  // A pivot of absolute value at most this counts as zero: its variable is
  // left uneliminated, the matrix is reported singular and the rank is the
  // number of other pivots. The default 0 takes only exact zeros as zero.
  double zero_pivot_tolerance = 0.0;
  // Diagnostics, one line per phase; none when empty.
  LogSink log;

  // Throws Error (kInvalidArgument) naming the first field out of range.
  void Validate() const;
};

// Numbers of positive, negative and zero eigenvalues of A (Sylvester's law
// of inertia applied to D).
struct Inertia {
  int32_t positive = 0;
  int32_t negative = 0;
  int32_t zero = 0;
};

// det(A) = sign * exp(log_abs), as numpy.linalg.slogdet: sign 0 and log_abs
// -infinity for a singular matrix.
struct LogDeterminant {
  double sign = 0.0;
  double log_abs = -std::numeric_limits<double>::infinity();
};

enum class FactorStatus {
  kNone,      // not factorized yet
  kSuccess,   // every pivot nonzero
  kSingular,  // rank < n: some pivots zero (see zero_pivot_tolerance); solves
              // treat the uneliminated variables' pivots as 1
};

// "none", "success", "singular".
const char* to_string(FactorStatus status);

struct LDLTStatistics {
  int32_t order = 0;
  int64_t matrix_entries = 0;          // entries of the lower triangle given to the analysis
  Ordering ordering = Ordering::kAmd;  // the order used (kAuto resolved)
  // Forecast operations of each order analysed (NaN when not analysed):
  // kAuto analyses both, the others one.
  double amd_forecast_flops = std::numeric_limits<double>::quiet_NaN();
  double metis_forecast_flops = std::numeric_limits<double>::quiet_NaN();
  // Analysis forecasts for the order used, assuming no delayed pivots.
  int64_t forecast_factor_entries = 0;
  double forecast_flops = 0.0;
  int32_t forecast_largest_front = 0;
  int64_t forecast_bytes = 0;  // factors and the analysis's arrays
  // The last factorization.
  int64_t factor_entries = 0;  // entries of L and D
  double fill = 0.0;           // factor_entries / matrix_entries
  double flops = 0.0;          // operations of the eliminations
  int32_t largest_front = 0;
  int32_t two_by_two_pivots = 0;
  int32_t delayed_pivots = 0;
  int32_t rank = 0;
  int32_t factorizations = 0;  // with these values: 1 unless a workspace had to grow
  int64_t peak_bytes = 0;      // largest workspace held (factors included)
  // Wall-clock seconds: the analysis (ordering included), the ordering
  // alone (METIS, and auto's analysis of the order it did not keep), the
  // last factorization. SolveReport has each solve's.
  double analyse_seconds = 0.0;
  double ordering_seconds = 0.0;
  double factorize_seconds = 0.0;
};

struct SolveOptions {
  // At most this many steps of iterative refinement (x += A^-1 (b - A x));
  // the steps stop once the scaled residual no longer halves.
  int32_t refinement_steps = 0;
  // Compute the scaled residual even without refinement.
  bool compute_residual = false;
};

struct SolveReport {
  int32_t refinement_steps = 0;  // steps taken
  // max over columns of ||b - A x||_inf / (||A||_inf ||x||_inf + ||b||_inf),
  // when refinement ran or compute_residual was set; NaN otherwise.
  double scaled_residual = std::numeric_limits<double>::quiet_NaN();
  double seconds = 0.0;  // wall-clock time of the solve, refinement included
};

class LDLT {
 public:
  // Throws Error as options.Validate() does. A moved-from LDLT may only be
  // assigned to or destroyed.
  explicit LDLT(LDLTOptions options = {});
  ~LDLT();
  LDLT(LDLT&&) noexcept;
  LDLT& operator=(LDLT&&) noexcept;
  LDLT(const LDLT&) = delete;
  LDLT& operator=(const LDLT&) = delete;

  // Orders the pattern and forecasts the factorization; values are not
  // read. Discards any earlier analysis and factors.
  void Analyse(const SymmetricMatrix& a);
  // Factorizes a, analysing its pattern first when nothing was analysed.
  // Returns kSuccess, or kSingular when some pivots are zero (a numerical
  // outcome, not an error). A matrix with another pattern than the analysed
  // one throws Error (kPatternMismatch: call Analyse for a new pattern); a
  // pattern without values throws kInvalidArgument. The previous factors are
  // gone once it starts.
  FactorStatus Factorize(const SymmetricMatrix& a);

  // x = A^-1 b for one right-hand side (length order()).
  std::vector<double> Solve(Span<const double> b,
                            const SolveOptions& options = {},
                            SolveReport* report = nullptr) const;
  // The same in place: b is overwritten by x.
  SolveReport SolveInPlace(Span<double> b, const SolveOptions& options = {}) const;
  // Several right-hand sides, column-major: column c of B starts at
  // b[c * leading_dimension] and has order() entries; overwritten by X.
  SolveReport SolveInPlace(Span<double> b,
                           int64_t columns,
                           int64_t leading_dimension,
                           const SolveOptions& options = {}) const;

  FactorStatus status() const;
  // The following throw Error (kWrongState) before a factorization.
  Inertia inertia() const;
  int32_t rank() const;
  LogDeterminant log_determinant() const;
  // The matrix last factorized, or analysed.
  const SymmetricMatrix& matrix() const;
  int32_t order() const;

  const LDLTStatistics& statistics() const;
  const LDLTOptions& options() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace dalvex
