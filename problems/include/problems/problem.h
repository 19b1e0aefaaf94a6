// Test and demonstration problems: nonlinear systems F(x) = 0, square or
// over-determined, with a sparse Jacobian.  This library knows nothing of the
// plug-in; an adapter in the host layer exposes any Problem as an equation set
// object.
//
// Conventions:
//   - vectors x (NVars) and F (NEqs) are plain arrays indexed from 0;
//   - Jacobian positions are (row, column) pairs counted from 1, row = equation,
//     column = variable, as a host lists them;
//   - the Jacobian pattern is fixed for the life of the problem and listed in
//     column order: columns ascending, rows ascending within a column.  Values
//     are delivered in the same order, so they can be handed to a column-form
//     sparse routine without a permutation;
//   - residuals are evaluated as written, without clipping: outside the domain
//     of a model (a negative mole fraction under a logarithm, say) they come
//     back as NaN or Inf, and the caller has to cope.
#ifndef PROBLEMS_PROBLEM_H
#define PROBLEMS_PROBLEM_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace problems {

// Receives the Jacobian entries a problem produces, one call per entry.
// A problem must produce the same positions in the same order at every point;
// that sequence is its "natural" order.
class JacobianSink {
 public:
  virtual ~JacobianSink() = default;
  virtual void Add(int32_t row, int32_t col, double value) = 0;
};

class Problem {
 public:
  virtual ~Problem() = default;
  Problem(const Problem&) = delete;
  Problem& operator=(const Problem&) = delete;

  int32_t NEqs() const { return neqs_; }
  int32_t NVars() const { return nvars_; }

  // One line naming the instance, sizes and constants included.
  virtual std::string Description() const = 0;

  // Names for reports; index i counts from 0.
  virtual std::string EquationName(int32_t i) const;
  virtual std::string VariableName(int32_t j) const;

  // x[0..NVars) receives the standard starting point.
  virtual void StartingPoint(double* x) const = 0;

  // Bounds of the variables; unbounded ones get -/+ kUnbounded.
  virtual void Bounds(double* lower, double* upper) const;

  // f[0..NEqs) = F(x).
  virtual void Residuals(const double* x, double* f) const = 0;

  // The Jacobian pattern in column order (see the file comment).
  int32_t NNz() const;
  const std::vector<int32_t>& JacobianRows() const;
  const std::vector<int32_t>& JacobianCols() const;

  // values[0..NNz) = dF/dx at x, in the order of JacobianRows/JacobianCols.
  void JacobianValues(const double* x, double* values) const;

  // A point where F vanishes, when one is known in closed form or by an
  // independent construction; x receives it and the result is true.
  virtual bool KnownSolution(double* x) const;

  // The least sum of squares sum_i F_i(x)^2 over x, where it is known: 0 for a
  // consistent system, a published value for a data-fitting problem.
  virtual std::optional<double> KnownMinimum() const;

  static constexpr double kUnbounded = 1.0e20;

 protected:
  Problem(int32_t neqs, int32_t nvars) : neqs_(neqs), nvars_(nvars) {}

  // Produces every Jacobian entry at x, in the problem's natural order.
  virtual void Jacobian(const double* x, JacobianSink& sink) const = 0;

 private:
  void EnsurePattern() const;

  int32_t neqs_;
  int32_t nvars_;
  // Built on first use from the natural order: rows_/cols_ in column order,
  // to_natural_[k] = natural position of the k-th column-order entry.
  mutable bool have_pattern_ = false;
  mutable std::vector<int32_t> rows_;
  mutable std::vector<int32_t> cols_;
  mutable std::vector<int32_t> to_natural_;
  mutable std::vector<double> natural_values_;  // scratch, NNz
};

}  // namespace problems

#endif  // PROBLEMS_PROBLEM_H
