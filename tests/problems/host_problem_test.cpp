// A Problem seen through the host's equation set object: what a solver reads
// from the ESO must be the problem, with Jacobian values in column order.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "problems/host_problem.h"
#include "problems/registry.h"
#include "vorn/services.h"

namespace problems {
namespace {

std::string Take(char* text) {
  std::string s = text != nullptr ? text : "(null)";
  VornServices::FreeString(text);
  return s;
}

class HostProblem : public ::testing::Test {
 protected:
  void SetUp() override {
    ProblemOptions o;
    o.size = 2;
    problem_ = MakeProblem("reactor-flash", o);
    ASSERT_TRUE(problem_);
    eso_ = vorn_host::ReferenceEso::Create(DescribeForHost(
        problem_, [this](const double*, const double* f) { last_f0_ = f[0], ++observed_; }));
  }
  void TearDown() override {
    if (eso_ != nullptr) eso_->Release();
  }
  VornNumericESO* Eso() { return eso_; }

  std::shared_ptr<const Problem> problem_;
  vorn_host::ReferenceEso* eso_ = nullptr;
  double last_f0_ = 0.0;
  int observed_ = 0;
};

TEST_F(HostProblem, SizesNamesStartAndBoundsComeFromTheProblem) {
  const int32_t m = problem_->NEqs(), n = problem_->NVars();
  ASSERT_EQ(Eso()->GetNumEquations(), m);
  ASSERT_EQ(Eso()->GetNumVariables(), n);
  ASSERT_EQ(Eso()->GetNumNonZeros(), problem_->NNz());
  char* text = nullptr;
  Eso()->GetEquationName(m - 1, &text);
  EXPECT_EQ(Take(text), "flash.sum_y");
  Eso()->GetVariableName(2, &text);
  EXPECT_EQ(Take(text), "tank1.T");

  std::vector<double> x(n), x0(n), lo(n), hi(n), plo(n), phi(n);
  ASSERT_EQ(Eso()->GetVariableValues(0, x.data()), 0);
  problem_->StartingPoint(x0.data());
  EXPECT_EQ(x, x0);
  ASSERT_EQ(Eso()->GetVariableBounds(0, lo.data(), hi.data()), 0);
  problem_->Bounds(plo.data(), phi.data());
  EXPECT_EQ(lo, plo);
  EXPECT_EQ(hi, phi);
}

TEST_F(HostProblem, EvaluatesInColumnOrderAndReportsEachEvaluation) {
  const int32_t m = problem_->NEqs(), n = problem_->NVars(), nnz = problem_->NNz();
  int32_t *rows = nullptr, *cols = nullptr, *types = nullptr;
  ASSERT_EQ(Eso()->GetJacobianStructure(&rows, &cols, &types), 0);
  for (int32_t k = 0; k < nnz; ++k) {
    ASSERT_EQ(rows[k], problem_->JacobianRows()[k]);
    ASSERT_EQ(cols[k], problem_->JacobianCols()[k]);
    if (k > 0) {
      ASSERT_TRUE(cols[k - 1] < cols[k] || rows[k - 1] < rows[k]);
    }
  }

  std::vector<double> x(n), f(m), values(nnz), fp(m), vp(nnz);
  ASSERT_TRUE(problem_->KnownSolution(x.data()));
  x[0] *= 1.1;
  Eso()->SetVariableValues(0, x.data());
  ASSERT_EQ(Eso()->EvaluateResiduals(0, f.data(), values.data(), 14), 0);
  problem_->Residuals(x.data(), fp.data());
  problem_->JacobianValues(x.data(), vp.data());
  EXPECT_EQ(f, fp);
  EXPECT_EQ(values, vp);
  EXPECT_EQ(observed_, 1);
  EXPECT_EQ(last_f0_, fp[0]);

  // Residuals only: the Jacobian values are left alone.
  std::vector<double> untouched(nnz, -7.0);
  ASSERT_EQ(Eso()->EvaluateResiduals(0, f.data(), untouched.data(), 2), 0);
  EXPECT_EQ(untouched, std::vector<double>(nnz, -7.0));
  EXPECT_EQ(observed_, 2);
}

// The problem is kept alive by the ESO, whatever the caller does with it.
TEST_F(HostProblem, EsoOutlivesTheCallersProblem) {
  const int32_t m = problem_->NEqs();
  problem_.reset();
  std::vector<double> f(m), values(Eso()->GetNumNonZeros());
  ASSERT_EQ(Eso()->EvaluateResiduals(0, f.data(), values.data(), 14), 0);
  for (double v : f) EXPECT_TRUE(std::isfinite(v));
}

}  // namespace
}  // namespace problems
