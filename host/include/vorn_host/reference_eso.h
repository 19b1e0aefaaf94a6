// A reference equation set object (ESO): how a host hands a problem to a
// solver plug-in. The object is the problem itself: it answers
// QueryInterface for IUnknown, VornNumericESO and, optionally,
// VornUtilityComponent (whose description a solver may print).
//
// Integrators, note the one ordering rule of the interface: the solver
// compresses the Jacobian pattern to column form and keeps no permutation,
// so EvaluateResiduals must write the Jacobian values in column order
// (columns ascending, rows ascending within a column). The simplest way to
// honour it, done here, is to list the structure in that same order
// (IsColumnOrdered below checks a description for it).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vorn/host_interfaces.h"

namespace vorn_host {

struct ProblemDescription {
  int32_t num_equations = 0;
  int32_t num_variables = 0;
  std::vector<std::string> equation_names;  // num_equations names
  std::vector<std::string> variable_names;  // num_variables names
  std::vector<double> start;                // initial values, num_variables
  std::vector<double> lower, upper;         // bounds, num_variables each
  // The Jacobian pattern: entry k is (rows[k], columns[k]), counted from 1,
  // listed column by column with rows increasing.
  std::vector<int32_t> rows, columns;
  // residuals(x, f): f[0..num_equations) at x[0..num_variables).
  std::function<void(const double* x, double* f)> residuals;
  // jacobian(x, values): values[k] = dF(rows[k]) / dx(columns[k]).
  std::function<void(const double* x, double* values)> jacobian;
  // Self-description offered through VornUtilityComponent; none when empty.
  std::string description = "Reference host problem";
};

// True when the pattern is listed column by column with rows increasing and
// every index lies in range: the order EvaluateResiduals writes values in.
bool IsColumnOrdered(const ProblemDescription& problem);

class ReferenceEso : public VornNumericESO, public VornUtilityComponent {
 public:
  // A new problem object holding one reference for the caller.
  static ReferenceEso* Create(ProblemDescription problem);

  int32_t VORN_CALL QueryInterface(const VornGuid& id, void** out) override;
  int32_t VORN_CALL AddRef() override;
  int32_t VORN_CALL Release() override;

  int32_t VORN_CALL GetNumVariables() override;
  int32_t VORN_CALL GetNumEquations() override;
  int32_t VORN_CALL GetVariableBounds(int32_t set, double* lower, double* upper) override;
  int32_t VORN_CALL SetVariableValues(int32_t set, const double* x) override;
  int32_t VORN_CALL GetVariableValues(int32_t set, double* x) override;
  int32_t VORN_CALL GetVariableName(int32_t index, char** text) override;
  int32_t VORN_CALL GetEquationName(int32_t index, char** text) override;
  int32_t VORN_CALL Reserved10() override;
  int32_t VORN_CALL EvaluateResiduals(int32_t set, double* residuals, double* values, int32_t mode) override;
  int32_t VORN_CALL GetNumNonZeros() override;
  int32_t VORN_CALL GetJacobianStructure(int32_t** rows, int32_t** columns, int32_t** types) override;

  char* VORN_CALL GetVersion() override;
  char* VORN_CALL GetName() override;
  char* VORN_CALL GetDescription() override;

  // The problem object's identity (IUnknown) face, as handed to a factory.
  VornUnknown* problem() { return static_cast<VornNumericESO*>(this); }
  int32_t reference_count() const { return count_; }
  const std::vector<double>& values() const { return x_; }
  int32_t evaluations() const { return evaluations_; }

 protected:
  explicit ReferenceEso(ProblemDescription problem);
  virtual ~ReferenceEso() = default;

 private:
  int32_t count_ = 0;
  ProblemDescription problem_;
  std::vector<double> x_;          // values last set
  std::vector<int32_t> types_;     // entry types handed out with the structure (all 0)
  int32_t evaluations_ = 0;        // EvaluateResiduals calls answered
};

// A sample problem with an analytic Jacobian: Broyden's tridiagonal system
//   f_i = (3 - 2 x_i) x_i - x_{i-1} - 2 x_{i+1} + 1,  i = 1..n (x_0 = x_{n+1} = 0)
// started from x = -1, bounds [-10, 10], names "F[i]" and "X[i]".
ProblemDescription BroydenTridiagonal(int32_t n);

}  // namespace vorn_host
