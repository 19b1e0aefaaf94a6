// The plug-in driven through its export by a host that misbehaves: an ESO
// whose operations fail (each one in turn), that hands back NaN or infinite
// residuals and Jacobian values, that changes its answers between calls, or
// that lists its Jacobian structure out of column order; solvers created
// and released in every order, several at once on one factory. Whatever the
// host does, the plug-in must not crash, must end every solve in a bounded
// number of calls, must never report a failure as success, and must stay
// usable.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "vorn/host_interfaces.h"
#include "vorn/services.h"
#include "vorn_host/message_sinks.h"
#include "vorn_host/module_loader.h"
#include "vorn_host/reference_eso.h"

namespace {

// Operations of the ESO that a fault can hit.
enum class Op {
  kNumEquations,
  kNumVariables,
  kNumNonZeros,
  kBounds,
  kSetValues,
  kGetValues,
  kVariableName,
  kEquationName,
  kEvaluate,
  kStructure,
};
constexpr int kOpCount = 10;
const char* const kOpNames[kOpCount] = {"NumEquations", "NumVariables", "NumNonZeros", "Bounds",
                                        "SetValues",    "GetValues",    "VariableName", "EquationName",
                                        "Evaluate",     "Structure"};

constexpr int32_t kEsoError = 77;  // the status a failing operation returns
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// What the ESO does to the values it hands back.
enum class Corruption { kNone, kNaNResidual, kInfResidual, kNaNJacobian, kInfJacobian, kSignFlip, kNoise };

class HostileEso : public vorn_host::ReferenceEso {
 public:
  static HostileEso* Make(vorn_host::ProblemDescription problem) {
    auto* eso = new HostileEso(std::move(problem));
    eso->AddRef();
    return eso;
  }

  // The `call`-th call (from 1) of `op` fails; later calls succeed.
  void FailOnce(Op op, int call) {
    fail_op_ = static_cast<int>(op);
    fail_call_ = call;
  }
  Corruption corruption = Corruption::kNone;
  int calls(Op op) const { return calls_[static_cast<size_t>(op)]; }
  // The residuals last handed to the solver.
  const std::vector<double>& reported() const { return reported_; }
  bool ever_failed() const { return failed_; }

  int32_t VORN_CALL GetNumEquations() override {
    return Hit(Op::kNumEquations) ? -1 : ReferenceEso::GetNumEquations();
  }
  int32_t VORN_CALL GetNumVariables() override {
    return Hit(Op::kNumVariables) ? -3 : ReferenceEso::GetNumVariables();
  }
  int32_t VORN_CALL GetNumNonZeros() override {
    return Hit(Op::kNumNonZeros) ? -2 : ReferenceEso::GetNumNonZeros();
  }
  int32_t VORN_CALL GetVariableBounds(int32_t set, double* lower, double* upper) override {
    return Hit(Op::kBounds) ? kEsoError : ReferenceEso::GetVariableBounds(set, lower, upper);
  }
  int32_t VORN_CALL SetVariableValues(int32_t set, const double* x) override {
    // A failing set keeps the old values, so the next evaluation is stale.
    return Hit(Op::kSetValues) ? kEsoError : ReferenceEso::SetVariableValues(set, x);
  }
  int32_t VORN_CALL GetVariableValues(int32_t set, double* x) override {
    return Hit(Op::kGetValues) ? kEsoError : ReferenceEso::GetVariableValues(set, x);
  }
  // A failing name lookup writes nothing at all.
  int32_t VORN_CALL GetVariableName(int32_t index, char** text) override {
    return Hit(Op::kVariableName) ? kEsoError : ReferenceEso::GetVariableName(index, text);
  }
  int32_t VORN_CALL GetEquationName(int32_t index, char** text) override {
    return Hit(Op::kEquationName) ? kEsoError : ReferenceEso::GetEquationName(index, text);
  }
  int32_t VORN_CALL GetJacobianStructure(int32_t** rows, int32_t** columns, int32_t** types) override {
    return Hit(Op::kStructure) ? kEsoError : ReferenceEso::GetJacobianStructure(rows, columns, types);
  }
  int32_t VORN_CALL EvaluateResiduals(int32_t set, double* residuals, double* values, int32_t mode) override {
    if (Hit(Op::kEvaluate)) return kEsoError;
    int32_t status = ReferenceEso::EvaluateResiduals(set, residuals, values, mode);
    const int32_t m = ReferenceEso::GetNumEquations();
    const int32_t nnz = ReferenceEso::GetNumNonZeros();
    ++evaluations_;
    switch (corruption) {
      case Corruption::kNaNResidual: residuals[m - 1] = kNaN; break;
      case Corruption::kInfResidual: residuals[0] = -kInf; break;
      case Corruption::kNaNJacobian:
        if (mode == kVornResidualsAndJacobian) values[nnz / 2] = kNaN;
        break;
      case Corruption::kInfJacobian:
        if (mode == kVornResidualsAndJacobian) values[0] = kInf;
        break;
      case Corruption::kSignFlip:
        if (evaluations_ % 2 == 0) {
          for (int32_t i = 0; i < m; ++i) residuals[i] = -residuals[i];
        }
        break;
      case Corruption::kNoise:
        for (int32_t i = 0; i < m; ++i) residuals[i] += ((evaluations_ * 7919 + i * 104729) % 201 - 100) * 1e-3;
        break;
      case Corruption::kNone: break;
    }
    reported_.assign(residuals, residuals + m);
    return status;
  }

 private:
  explicit HostileEso(vorn_host::ProblemDescription problem) : ReferenceEso(std::move(problem)) {}

  bool Hit(Op op) {
    int count = ++calls_[static_cast<size_t>(op)];
    bool hit = static_cast<int>(op) == fail_op_ && count == fail_call_;
    failed_ = failed_ || hit;
    return hit;
  }

  int fail_op_ = -1;
  int fail_call_ = 0;
  std::array<int, kOpCount> calls_{};
  int evaluations_ = 0;
  bool failed_ = false;
  std::vector<double> reported_;
};

// A result a solve may end with, or kVornCallAgain when the call cap ran out.
struct Outcome {
  int32_t result = kVornCallAgain;
  int calls = 0;
};

class HostileHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.Load(DALVEX_MODULE_PATH)) << module_.error();
    factory_ = module_.CreateFactory();
    ASSERT_NE(factory_, nullptr);
    void* face = nullptr;
    ASSERT_EQ(factory_->QueryInterface(kIID_VornSolverParameters, &face), kVornOk);
    parameters_ = static_cast<VornSolverParameters*>(face);
    SetInteger("MaxIters", 60);
  }
  void TearDown() override {
    if (parameters_ != nullptr) parameters_->Release();
    if (factory_ != nullptr) {
      EXPECT_EQ(factory_->Release(), 0);
    }
  }

  void SetInteger(const char* name, int32_t value) {
    VornValueCell cell{};
    cell.integer = value;
    ASSERT_EQ(parameters_->SetParameterValue(name, kVornInteger, cell), kVornOk) << name;
  }
  void SetReal(const char* name, double value) {
    VornValueCell cell{};
    cell.real = value;
    ASSERT_EQ(parameters_->SetParameterValue(name, kVornReal, cell), kVornOk) << name;
  }

  VornNumericNLASystem* Create(VornUnknown* problem) {
    VornNumericNLASystem* solver = nullptr;
    EXPECT_EQ(factory_->CreateNLASystem(problem, &sink_, &solver), kVornOk);
    return solver;
  }

  // One solve as a host runs it: start 0, then continue while told to; an
  // ESO error code is followed by one more continue call, as a host that
  // retries would do. Capped, so a solve that never ends fails the test.
  static Outcome RunSolve(VornNumericNLASystem* solver, int cap = 400) {
    Outcome out;
    int32_t iterations = -1;
    out.result = solver->Solve(0, &iterations);
    out.calls = 1;
    while (out.calls < cap && (out.result == kVornCallAgain || out.result == kEsoError)) {
      out.result = solver->Solve(1, &iterations);
      ++out.calls;
    }
    return out;
  }

  static double LargestAbs(const std::vector<double>& v) {
    double m = 0;
    for (double x : v) m = std::isnan(x) ? kInf : std::max(m, std::fabs(x));
    return m;
  }

  vorn_host::PluginModule module_;
  VornFactoryNLASystem* factory_ = nullptr;
  VornSolverParameters* parameters_ = nullptr;
  vorn_host::RecordingSink sink_;
};

// ---------------------------------------------------------------------------
// Every operation fails once in turn.

struct FaultCase {
  Op op;
  int call;             // which call of the operation fails
  int32_t first_result; // what the first Solve call returns
};

std::ostream& operator<<(std::ostream& os, const FaultCase& c) {
  return os << kOpNames[static_cast<int>(c.op)] << "_call" << c.call;
}

class EachOperationFailsOnce : public HostileHost, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(EachOperationFailsOnce, ResultAsSpecifiedAndObjectUsableAfterwards) {
  const FaultCase c = GetParam();
  HostileEso* eso = HostileEso::Make(vorn_host::BroydenTridiagonal(6));
  eso->FailOnce(c.op, c.call);
  SetInteger("PrintLevel", 16 + 1);  // names echoed at set-up, objective line every call
  VornNumericNLASystem* solver = Create(eso->problem());
  ASSERT_NE(solver, nullptr);
  int32_t iterations = -1;
  int32_t first = solver->Solve(0, &iterations);
  EXPECT_EQ(first, c.first_result);
  Outcome rest = first == kVornOk ? Outcome{kVornOk, 0} : RunSolve(solver);
  EXPECT_EQ(rest.result, kVornOk) << "the solver did not recover after the fault";
  EXPECT_LT(LargestAbs(eso->reported()), 1e-4);
  EXPECT_TRUE(eso->ever_failed()) << "the fault was never injected";
  EXPECT_EQ(solver->Release(), 0);
  EXPECT_EQ(eso->reference_count(), 1) << "the solver kept a reference to the problem";
  eso->Release();
}

// Set-up failures, ESO errors among them, reach the host as -15; evaluation
// errors pass through unchanged; a failing SetVariableValues or name lookup is
// not an error at all.
INSTANTIATE_TEST_SUITE_P(
    Faults,
    EachOperationFailsOnce,
    ::testing::Values(FaultCase{Op::kNumEquations, 1, kVornFailure},
                      FaultCase{Op::kNumEquations, 2, kVornFailure},
                      FaultCase{Op::kNumVariables, 1, kVornFailure},
                      FaultCase{Op::kNumVariables, 2, kVornFailure},
                      FaultCase{Op::kNumNonZeros, 1, kVornFailure},
                      FaultCase{Op::kBounds, 1, kVornFailure},
                      FaultCase{Op::kGetValues, 1, kVornFailure},
                      FaultCase{Op::kStructure, 1, kVornFailure},
                      FaultCase{Op::kSetValues, 1, kVornCallAgain},
                      FaultCase{Op::kVariableName, 1, kVornCallAgain},
                      FaultCase{Op::kEquationName, 3, kVornCallAgain},
                      FaultCase{Op::kEvaluate, 1, kEsoError}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
      return std::string(kOpNames[static_cast<int>(info.param.op)]) + "Call" + std::to_string(info.param.call);
    });

// ---------------------------------------------------------------------------
// Values that are not numbers, or that change between calls.

std::string CorruptionName(const ::testing::TestParamInfo<Corruption>& info) {
  static const char* const kNames[] = {"None", "NaNResidual", "InfResidual", "NaNJacobian",
                                       "InfJacobian", "SignFlip", "Noise"};
  return kNames[static_cast<int>(info.param)];
}

class CorruptValues : public HostileHost, public ::testing::WithParamInterface<Corruption> {};

TEST_P(CorruptValues, NeverReportedAsSuccessAndTheSolverRecovers) {
  const Corruption kind = GetParam();
  // Convergence only through the residual test, so success means small residuals.
  SetReal("Sac", 1e-14);
  SetReal("Acc", 1e-14);
  for (double hmax : {0.0, 1e-6}) {
    SCOPED_TRACE(hmax);
    SetReal("Hmax", hmax);
    HostileEso* eso = HostileEso::Make(vorn_host::BroydenTridiagonal(5));
    eso->corruption = kind;
    VornNumericNLASystem* solver = Create(eso->problem());
    Outcome out = RunSolve(solver);
    EXPECT_LT(out.calls, 400) << "the solve did not end";
    EXPECT_TRUE(out.result == kVornOk || out.result == kVornFailure) << out.result;
    const bool residuals_bad = kind == Corruption::kNaNResidual || kind == Corruption::kInfResidual;
    if (residuals_bad) {
      EXPECT_EQ(out.result, kVornFailure) << "non-finite residuals reported as converged";
    }
    if (out.result == kVornOk && kind != Corruption::kNoise) {
      // Success means the residuals last reported are small, or NS23AD saw no
      // further progress from a finite point.
      EXPECT_TRUE(std::isfinite(LargestAbs(eso->reported())));
    }
    // The same solver starts a new solve after whatever happened.
    eso->corruption = Corruption::kNone;
    Outcome again = RunSolve(solver);
    EXPECT_EQ(again.result, kVornOk);
    EXPECT_LT(LargestAbs(eso->reported()), 1e-4);
    EXPECT_EQ(solver->Release(), 0);
    eso->Release();
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds,
                         CorruptValues,
                         ::testing::Values(Corruption::kNaNResidual,
                                           Corruption::kInfResidual,
                                           Corruption::kNaNJacobian,
                                           Corruption::kInfJacobian,
                                           Corruption::kSignFlip,
                                           Corruption::kNoise),
                         CorruptionName);

// ---------------------------------------------------------------------------
// Structures that set-up cannot refuse. (Broken ones are refused at set-up:
// tests/plugin/setup_test.cpp.)

TEST_F(HostileHost, StructureNotInColumnOrderEndsTheSolveWithoutHarm) {
  // Valid entries listed row by row: the values then land on the wrong
  // entries. Nothing may crash, and the solve must end.
  vorn_host::ProblemDescription p = vorn_host::BroydenTridiagonal(5);
  std::reverse(p.rows.begin(), p.rows.end());
  std::reverse(p.columns.begin(), p.columns.end());
  vorn_host::ReferenceEso* eso = vorn_host::ReferenceEso::Create(p);
  VornNumericNLASystem* solver = Create(eso->problem());
  Outcome out = RunSolve(solver);
  EXPECT_LT(out.calls, 400);
  EXPECT_TRUE(out.result == kVornOk || out.result == kVornFailure);
  solver->Release();
  eso->Release();
}

TEST_F(HostileHost, SizesThatCannotBeSolvedFailCleanly) {
  struct SizeCase {
    int32_t equations, variables;
  };
  for (SizeCase s : {SizeCase{1, 2}, SizeCase{0, 0}, SizeCase{2, 3}}) {
    SCOPED_TRACE(std::to_string(s.equations) + "x" + std::to_string(s.variables));
    vorn_host::ProblemDescription p;
    p.num_equations = s.equations;
    p.num_variables = s.variables;
    for (int32_t j = 1; j <= s.variables; ++j) {
      p.variable_names.push_back("X" + std::to_string(j));
      p.start.push_back(1.0);
      p.lower.push_back(-1.0);
      p.upper.push_back(1.0);
      if (s.equations > 0) {
        p.rows.push_back(1);
        p.columns.push_back(j);
      }
    }
    for (int32_t i = 1; i <= s.equations; ++i) p.equation_names.push_back("F" + std::to_string(i));
    p.residuals = [s](const double* x, double* f) {
      for (int32_t i = 0; i < s.equations; ++i) f[i] = x[0] - 2.0;
    };
    p.jacobian = [](const double*, double* v) { v[0] = 1.0; };
    vorn_host::ReferenceEso* eso = vorn_host::ReferenceEso::Create(p);
    VornNumericNLASystem* solver = Create(eso->problem());
    int32_t iterations = -1;
    EXPECT_EQ(solver->Solve(0, &iterations), kVornFailure);
    EXPECT_EQ(solver->Release(), 0);
    eso->Release();
  }
}

// ---------------------------------------------------------------------------
// Objects created and released in every order, several solvers at once.

TEST_F(HostileHost, SolversAndProblemsReleasedInEveryOrder) {
  // Objects: 0 factory (an extra reference), 1 and 2 solvers, 3 and 4 problems.
  std::array<int, 5> order = {0, 1, 2, 3, 4};
  int permutations = 0;
  do {
    SCOPED_TRACE(testing::PrintToString(order));
    factory_->AddRef();
    const int32_t count_before = factory_->Release();
    factory_->AddRef();
    vorn_host::ReferenceEso* a = vorn_host::ReferenceEso::Create(vorn_host::BroydenTridiagonal(4));
    vorn_host::ReferenceEso* b = vorn_host::ReferenceEso::Create(vorn_host::BroydenTridiagonal(7));
    VornNumericNLASystem* s1 = Create(a->problem());
    VornNumericNLASystem* s2 = Create(b->problem());
    int32_t it = 0;
    // Interleaved solves on one factory: each solver keeps its own state.
    EXPECT_EQ(s1->Solve(0, &it), kVornCallAgain);
    EXPECT_EQ(s2->Solve(0, &it), kVornCallAgain);
    if (permutations % 20 == 0) {
      EXPECT_EQ(RunSolve(s2).result, kVornOk);
      EXPECT_EQ(RunSolve(s1).result, kVornOk);
    }
    bool s1_gone = false, s2_gone = false;
    for (int k : order) {
      switch (k) {
        case 0: factory_->Release(); break;
        case 1: EXPECT_EQ(s1->Release(), 0); s1_gone = true; break;
        case 2: EXPECT_EQ(s2->Release(), 0); s2_gone = true; break;
        // A live solver holds one reference to its problem.
        case 3: EXPECT_EQ(a->Release(), s1_gone ? 0 : 1); break;
        case 4: EXPECT_EQ(b->Release(), s2_gone ? 0 : 1); break;
      }
    }
    factory_->AddRef();
    EXPECT_EQ(factory_->Release(), count_before) << "the factory's count did not return";
    ++permutations;
  } while (std::next_permutation(order.begin(), order.end()) && permutations < 120);
}

}  // namespace
