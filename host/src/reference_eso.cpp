#include "vorn_host/reference_eso.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "vorn/services.h"

namespace vorn_host {

namespace {

// A host-owned copy of a text, as the receiver frees it with FreeString.
char* HostCopy(const std::string& text) {
  char* copy = VornServices::AllocateString(static_cast<int32_t>(text.size()) + 1);
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace

bool IsColumnOrdered(const ProblemDescription& p) {
  if (p.rows.size() != p.columns.size()) return false;
  for (std::size_t k = 0; k < p.rows.size(); ++k) {
    if (p.rows[k] < 1 || p.rows[k] > p.num_equations) return false;
    if (p.columns[k] < 1 || p.columns[k] > p.num_variables) return false;
    if (k == 0) continue;
    const bool next_column = p.columns[k] > p.columns[k - 1];
    const bool same_column_next_row = p.columns[k] == p.columns[k - 1] && p.rows[k] > p.rows[k - 1];
    if (!next_column && !same_column_next_row) return false;
  }
  return true;
}

ReferenceEso* ReferenceEso::Create(ProblemDescription problem) {
  ReferenceEso* eso = new ReferenceEso(std::move(problem));
  eso->AddRef();
  return eso;
}

ReferenceEso::ReferenceEso(ProblemDescription problem)
    : problem_(std::move(problem)), x_(problem_.start), types_(problem_.rows.size(), 0) {
  x_.resize(static_cast<std::size_t>(std::max(problem_.num_variables, 0)), 0.0);
}

int32_t VORN_CALL ReferenceEso::QueryInterface(const VornGuid& id, void** out) {
  if (out == nullptr) return kVornNullPointer;
  if (id == kIID_IUnknown || id == kIID_VornNumericESO) {
    *out = static_cast<VornNumericESO*>(this);
  } else if (id == kIID_VornUtilityComponent && !problem_.description.empty()) {
    *out = static_cast<VornUtilityComponent*>(this);
  } else {
    return kVornNoInterface;
  }
  AddRef();
  return kVornOk;
}

int32_t VORN_CALL ReferenceEso::AddRef() { return ++count_; }

int32_t VORN_CALL ReferenceEso::Release() {
  const int32_t count = --count_;
  if (count == 0) delete this;
  return count;
}

int32_t VORN_CALL ReferenceEso::GetNumVariables() { return problem_.num_variables; }
int32_t VORN_CALL ReferenceEso::GetNumEquations() { return problem_.num_equations; }

int32_t VORN_CALL ReferenceEso::GetVariableBounds(int32_t /*set*/, double* lower, double* upper) {
  if (lower == nullptr || upper == nullptr) return -1;
  for (std::size_t i = 0; i < x_.size(); ++i) {
    lower[i] = i < problem_.lower.size() ? problem_.lower[i] : -1.0e30;
    upper[i] = i < problem_.upper.size() ? problem_.upper[i] : 1.0e30;
  }
  return 0;
}

int32_t VORN_CALL ReferenceEso::SetVariableValues(int32_t /*set*/, const double* x) {
  if (x == nullptr) return -1;
  std::copy(x, x + x_.size(), x_.begin());
  return 0;
}

int32_t VORN_CALL ReferenceEso::GetVariableValues(int32_t /*set*/, double* x) {
  if (x == nullptr) return -1;
  std::copy(x_.begin(), x_.end(), x);
  return 0;
}

int32_t VORN_CALL ReferenceEso::GetVariableName(int32_t index, char** text) {
  if (text == nullptr) return -1;
  const auto& names = problem_.variable_names;
  *text = (index >= 0 && static_cast<std::size_t>(index) < names.size()) ? HostCopy(names[index]) : nullptr;
  return *text != nullptr ? 0 : -1;
}

int32_t VORN_CALL ReferenceEso::GetEquationName(int32_t index, char** text) {
  if (text == nullptr) return -1;
  const auto& names = problem_.equation_names;
  *text = (index >= 0 && static_cast<std::size_t>(index) < names.size()) ? HostCopy(names[index]) : nullptr;
  return *text != nullptr ? 0 : -1;
}

int32_t VORN_CALL ReferenceEso::Reserved10() { return 0; }

// Residuals and Jacobian values (in column order), or residuals only.
int32_t VORN_CALL ReferenceEso::EvaluateResiduals(int32_t /*set*/, double* residuals, double* values,
                                                  int32_t mode) {
  if (residuals == nullptr || !problem_.residuals) return -1;
  ++evaluations_;
  problem_.residuals(x_.data(), residuals);
  if (mode == kVornResidualsAndJacobian) {
    if (values == nullptr || !problem_.jacobian) return -1;
    problem_.jacobian(x_.data(), values);
  }
  return 0;
}

int32_t VORN_CALL ReferenceEso::GetNumNonZeros() { return static_cast<int32_t>(problem_.rows.size()); }

int32_t VORN_CALL ReferenceEso::GetJacobianStructure(int32_t** rows, int32_t** columns, int32_t** types) {
  if (rows == nullptr || columns == nullptr || types == nullptr) return -1;
  *rows = problem_.rows.data();
  *columns = problem_.columns.data();
  *types = types_.data();
  return 0;
}

char* VORN_CALL ReferenceEso::GetVersion() { return HostCopy("1.0"); }
char* VORN_CALL ReferenceEso::GetName() { return HostCopy("ReferenceEso"); }
char* VORN_CALL ReferenceEso::GetDescription() { return HostCopy(problem_.description); }

ProblemDescription BroydenTridiagonal(int32_t n) {
  ProblemDescription p;
  p.num_equations = n;
  p.num_variables = n;
  for (int32_t i = 1; i <= n; ++i) {
    p.equation_names.push_back("F[" + std::to_string(i) + "]");
    p.variable_names.push_back("X[" + std::to_string(i) + "]");
  }
  p.start.assign(n, -1.0);
  p.lower.assign(n, -10.0);
  p.upper.assign(n, 10.0);
  // Column j holds rows j-1, j, j+1 (those in range), in that order.
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = std::max(1, j - 1); i <= std::min(n, j + 1); ++i) {
      p.rows.push_back(i);
      p.columns.push_back(j);
    }
  }
  p.residuals = [n](const double* x, double* f) {
    for (int32_t i = 0; i < n; ++i) {
      const double left = i > 0 ? x[i - 1] : 0.0;
      const double right = i + 1 < n ? x[i + 1] : 0.0;
      f[i] = (3.0 - 2.0 * x[i]) * x[i] - left - 2.0 * right + 1.0;
    }
  };
  const std::vector<int32_t> rows = p.rows, columns = p.columns;
  p.jacobian = [rows, columns](const double* x, double* values) {
    for (std::size_t k = 0; k < rows.size(); ++k) {
      const int32_t i = rows[k], j = columns[k];
      // x_j enters f_{j-1} as -2 x_{i+1}, f_j as (3 - 2 x_j) x_j, f_{j+1} as -x_{i-1}.
      values[k] = i < j ? -2.0 : (i == j ? 3.0 - 4.0 * x[j - 1] : -1.0);
    }
  };
  return p;
}

}  // namespace vorn_host
