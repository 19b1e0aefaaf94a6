#include "problems/host_problem.h"

#include <utility>

namespace problems {

vorn_host::ProblemDescription DescribeForHost(std::shared_ptr<const Problem> problem,
                                              ResidualObserver observer) {
  vorn_host::ProblemDescription d;
  const int32_t m = problem->NEqs(), n = problem->NVars();
  d.num_equations = m;
  d.num_variables = n;
  d.equation_names.reserve(m);
  for (int32_t i = 0; i < m; ++i) d.equation_names.push_back(problem->EquationName(i));
  d.variable_names.reserve(n);
  for (int32_t j = 0; j < n; ++j) d.variable_names.push_back(problem->VariableName(j));
  d.start.resize(n);
  problem->StartingPoint(d.start.data());
  d.lower.resize(n);
  d.upper.resize(n);
  problem->Bounds(d.lower.data(), d.upper.data());
  // The library lists every pattern in column order, the order in which the
  // host must hand over Jacobian values, so no permutation is needed.
  d.rows = problem->JacobianRows();
  d.columns = problem->JacobianCols();
  d.description = problem->Description();
  d.residuals = [problem, observer = std::move(observer)](const double* x, double* f) {
    problem->Residuals(x, f);
    if (observer) observer(x, f);
  };
  d.jacobian = [problem](const double* x, double* values) { problem->JacobianValues(x, values); };
  return d;
}

}  // namespace problems
