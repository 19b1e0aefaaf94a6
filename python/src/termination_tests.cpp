#include "termination_tests.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dalvex_python {
namespace {

using dalvex::Span;

double SumOfSquares(Span<const double> v) {
  double sum = 0.0;
  for (double a : v) sum += a * a;
  return sum;
}

// A step's points compared in one pass: the trial point (empty when not
// given), the best point and the current point before the step.
struct StepPoints {
  double step_norm = std::numeric_limits<double>::infinity();  // ‖trial - current‖
  bool moved = false;      // best != current: the step was accepted
  bool at_trial = false;   // best == trial
  double best_norm2 = 0.0;  // ‖best‖²
};

StepPoints Compare(Span<const double> trial, Span<const double> best,
                   Span<const double> current) {
  StepPoints p;
  if (best.size() != current.size()) {  // no current point yet
    p.moved = true;
    p.best_norm2 = SumOfSquares(best);
    return p;
  }
  if (trial.size() == current.size()) {
    double d = 0.0;
    bool same = true;
    for (size_t i = 0; i < best.size(); ++i) {
      const double t = trial[i], b = best[i], c = current[i];
      d += (t - c) * (t - c);
      same = same && t == b;
      p.moved = p.moved || b != c;
      p.best_norm2 += b * b;
    }
    p.step_norm = std::sqrt(d);
    p.at_trial = same;
  } else {
    p.moved = !std::equal(best.begin(), best.end(), current.begin());
    p.best_norm2 = SumOfSquares(best);
  }
  return p;
}

bool Same(Span<const double> a, Span<const double> b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

void Keep(std::vector<double>& into, Span<const double> v) { into.assign(v.begin(), v.end()); }

// Adds the seconds of its scope to a total.
class Timed {
 public:
  explicit Timed(double& total) : total_(total), start_(std::chrono::steady_clock::now()) {}
  ~Timed() {
    total_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }
  Timed(const Timed&) = delete;
  Timed& operator=(const Timed&) = delete;

 private:
  double& total_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

TerminationTests::TerminationTests(double ftol, double xtol, double gtol, bool gradient)
    : ftol_(ftol), xtol_(xtol), gtol_(gtol), gradient_wanted_(gradient || gtol > 0), table_(gradient) {}

void TerminationTests::Start(int64_t n, Span<const int32_t> rows, Span<const int32_t> columns,
                             bool analytic) {
  n_ = n;
  rows_ = rows;
  columns_ = columns;
  analytic_ = analytic;
  fresh_ = true;
  seconds_ = 0.0;
  start_jacobian_ = current_known_ = stalled_ = false;
  current_f_ = current_j_ = Span<const double>();
  g_.clear();
  optimality_.reset();
  gradient_due_ = false;
  witness_ = -1;
  witness_entries_.clear();
}

// Only the start point's evaluations are kept: each step's comes with its
// report, so the evaluations in between (differences among them) cost
// nothing here. Not timed: the evaluations' time holds it already.
bool TerminationTests::Residuals(Span<const double> x, Span<const double> f,
                                 Span<const double> held) {
  if (!fresh_) return false;
  fresh_ = false;
  start_jacobian_ = analytic_;
  Keep(x_, x);
  const bool adopted = held.size() == f.size();
  if (!adopted) Keep(kept_f_, f);
  current_f_ = adopted ? held : Span<const double>(kept_f_);
  ss_ = SumOfSquares(f);
  return adopted;
}

bool TerminationTests::Jacobian(Span<const double> x, Span<const double> values,
                                Span<const double> held) {
  if (!start_jacobian_) return false;
  start_jacobian_ = false;
  if (!Same(x, x_)) return false;
  // The start point's, right after its residuals.
  const bool adopted = held.size() == values.size();
  if (!adopted) Keep(kept_j_, values);
  current_j_ = adopted ? held : Span<const double>(kept_j_);
  current_known_ = true;
  // gtol is tested at the points steps reach; here the gradient serves
  // only the table's rows of rejected steps.
  if (table_) Gradient();
  return adopted;
}

StepRow TerminationTests::Step(const dalvex::IterationReport& report, HeldEvaluations held) {
  const Timed timed(seconds_);
  const Span<const double> x = report.x;
  StepRow row;
  row.step = ++steps_;
  const StepPoints points = Compare(report.trial_x, x, x_);
  row.step_norm = points.step_norm;
  const bool accepted = points.moved;
  // A rejected step of a difference Jacobian may be short for the
  // estimate's sake: the solver makes fresh differences then.
  const bool xtol_met = xtol_ > 0 && (accepted || analytic_) &&
                        row.step_norm <= xtol_ * (xtol_ + std::sqrt(points.best_norm2));
  bool ftol_met = false, gtol_met = false;
  if (accepted) {
    row.moved = true;
    ftol_met = Advance(report, points.at_trial, held, row.adopted);
    gtol_met = GtolMet(report.sum_of_squares);
  }
  row.reduction =
      0.5 * (ss_ - (accepted ? report.sum_of_squares : report.trial_sum_of_squares));
  row.optimality = optimality_;
  if (accepted) Keep(x_, x);
  ss_ = report.sum_of_squares;
  if (gtol_met) {
    row.status = TestStatus::kGtol;
  } else if (ftol_met && xtol_met) {
    row.status = TestStatus::kFtolAndXtol;
  } else if (ftol_met) {
    row.status = TestStatus::kFtol;
  } else if (xtol_met) {
    row.status = TestStatus::kXtol;
  }
  if (row.status != TestStatus::kNone) status_ = static_cast<int>(row.status);
  return row;
}

// An accepted step, to the solver's best point x: the ftol test, and the
// new point's residuals, Jacobian and gradient kept when they are known
// there (the step tried, with the caller's Jacobian): viewed where the
// caller holds them (`adopted`), else copied. Returns whether ftol is met.
bool TerminationTests::Advance(const dalvex::IterationReport& report, bool at_trial,
                               HeldEvaluations held, bool& adopted) {
  const Span<const double> x = report.x;
  const double ss = report.sum_of_squares;
  const bool small = ss_ - ss <= ftol_ * ss_;
  bool ftol_met = false;
  if (ftol_ > 0 && !current_known_) {
    // Without the Jacobian at the old point: two small reductions in a row.
    ftol_met = small && stalled_;
    stalled_ = small;
  } else if (ftol_ > 0 && small) {
    // The linear model's residuals f + J s, s = x - x_old; only a small
    // actual reduction needs the predicted one.
    std::vector<double>& model = work_;
    model.assign(current_f_.begin(), current_f_.end());
    for (size_t k = 0; k < current_j_.size(); ++k) {
      const auto column = static_cast<size_t>(columns_[k]);
      model[static_cast<size_t>(rows_[k])] += current_j_[k] * (x[column] - x_[column]);
    }
    ftol_met = ss_ - SumOfSquares(model) <= ftol_ * ss_;
  }
  current_known_ = analytic_ && !report.trial_jacobian.empty() && at_trial;
  adopted = current_known_ && held.residuals.size() == report.trial_residuals.size() &&
            held.jacobian.size() == report.trial_jacobian.size();
  if (adopted) {
    current_f_ = held.residuals;
    current_j_ = held.jacobian;
  } else if (current_known_) {
    Keep(kept_f_, report.trial_residuals);
    Keep(kept_j_, report.trial_jacobian);
    current_f_ = kept_f_;
    current_j_ = kept_j_;
  } else {
    current_f_ = current_j_ = Span<const double>();
  }
  g_.clear();
  optimality_.reset();
  // The table shows the optimality at every point; the gtol test makes the
  // gradient only when it needs it, and the result at the end.
  gradient_due_ = current_known_;
  if (table_) Gradient();
  return ftol_met;
}

// Jᵀf and its largest magnitude at the current point, when f and J are
// known there and the gradient is wanted.
void TerminationTests::Gradient() {
  g_.clear();
  optimality_.reset();
  if (!current_known_ || !gradient_wanted_) return;
  // Each g_j sums its column's terms in the order of the entries, as
  // WitnessCosine does for one column.
  g_.assign(static_cast<size_t>(n_), 0.0);
  // ‖J‖_F², for gtol's bound, in the same pass.
  double jj = 0.0;
  for (size_t k = 0; k < current_j_.size(); ++k) {
    const double a = current_j_[k];
    g_[static_cast<size_t>(columns_[k])] += a * current_f_[static_cast<size_t>(rows_[k])];
    jj += a * a;
  }
  jacobian_norm_ = std::sqrt(jj);
  // The largest |Jᵀf| in four running maxima: one would wait on each
  // comparison.
  double largest[4] = {0.0, 0.0, 0.0, 0.0};
  const size_t n = g_.size();
  for (size_t j = 0; j + 4 <= n; j += 4) {
    for (size_t i = 0; i < 4; ++i) largest[i] = std::max(largest[i], std::fabs(g_[j + i]));
  }
  for (size_t j = n - n % 4; j < n; ++j) largest[0] = std::max(largest[0], std::fabs(g_[j]));
  optimality_ = std::max(std::max(largest[0], largest[1]), std::max(largest[2], largest[3]));
}

// The largest cosine of the angle between f and a column J_j,
// |J_jᵀ f| / (‖J_j‖ ‖f‖), at most gtol. As ‖J_j‖ <= ‖J‖_F, the cosine is at
// least max|Jᵀf| / (‖J‖_F ‖f‖), which spares the column norms while that
// bound is above gtol (far from a minimum). ss: the sum of squares of f.
//
// Far from a minimum one column is enough to show the test unmet: the
// column whose cosine was the largest at the last point where the whole
// gradient was made (the witness) is tried first, its cosine computed as
// the whole test would (the same terms in the same order), so that most
// accepted steps need no pass over the Jacobian.
bool TerminationTests::GtolMet(double ss) {
  if (gtol_ <= 0 || !current_known_) return false;
  const double fnorm = std::sqrt(ss);
  if (fnorm == 0.0) return true;
  if (witness_ < 0) SetWitness(FirstWitness());
  if (WitnessCosine() > gtol_ * fnorm) return false;
  if (g_.empty()) Gradient();
  // The new witness: the column of the largest cosine when the cosines are
  // made, else of the largest |g_j| (none when that is NaN).
  const auto largest_g = std::find_if(g_.begin(), g_.end(),
                                      [&](double g) { return std::fabs(g) == *optimality_; });
  int64_t witness = largest_g == g_.end() ? -1 : largest_g - g_.begin();
  bool met = false;
  if (*optimality_ <= gtol_ * fnorm * jacobian_norm_) {
    std::vector<double>& norms = work_;
    norms.assign(static_cast<size_t>(n_), 0.0);
    for (size_t k = 0; k < current_j_.size(); ++k) {
      norms[static_cast<size_t>(columns_[k])] += current_j_[k] * current_j_[k];
    }
    double largest = 0.0;
    bool used = false;
    for (size_t j = 0; j < norms.size(); ++j) {
      if (norms[j] > 0) {
        const double cosine = std::fabs(g_[j]) / std::sqrt(norms[j]);
        if (!used || cosine > largest) witness = static_cast<int64_t>(j);
        used = true;
        largest = std::max(largest, cosine);
      }
    }
    met = !used || largest <= gtol_ * fnorm;
  }
  SetWitness(witness);
  return met;
}

// |J_wᵀ f| / ‖J_w‖ for the witness column w at the current point, its sums
// made term by term in the order of the entries as Gradient and GtolMet make
// them; 0 when there is no witness or its column is zero there (NaN
// propagates, and proves nothing).
double TerminationTests::WitnessCosine() const {
  if (witness_entries_.empty()) return 0.0;
  double g = 0.0, norm2 = 0.0;
  for (const size_t k : witness_entries_) {
    const double a = current_j_[k];
    g += a * current_f_[static_cast<size_t>(rows_[k])];
    norm2 += a * a;
  }
  return norm2 > 0 ? std::fabs(g) / std::sqrt(norm2) : 0.0;
}

// A witness before any gradient is made, found in one pass over f: the
// column of the same number as the row of the largest |f_i| (the last
// column past n), which in square systems holds the diagonal that f leans
// on far from a minimum. Any column will do: one that shows nothing costs
// the whole test, as without a witness.
int64_t TerminationTests::FirstWitness() const {
  size_t row = 0;
  double largest = -1.0;
  for (size_t i = 0; i < current_f_.size(); ++i) {
    const double a = std::fabs(current_f_[i]);
    if (a > largest) {
      largest = a;
      row = i;
    }
  }
  return std::min(static_cast<int64_t>(row), n_ - 1);
}

void TerminationTests::SetWitness(int64_t column) {
  if (witness_ == column) return;
  witness_ = column;
  witness_entries_.clear();
  for (size_t k = 0; column >= 0 && k < columns_.size(); ++k) {
    if (columns_[k] == witness_) witness_entries_.push_back(k);
  }
}

std::vector<double> TerminationTests::TakeGradient() {
  if (g_.empty() && gradient_due_) Gradient();
  std::vector<double> g = std::move(g_);
  g_.clear();
  return g;
}

}  // namespace dalvex_python
