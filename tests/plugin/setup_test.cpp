// Problem set-up on the first Solve: what the solver reads from the ESO,
// what it tells the host, and how it fails on a misbehaving ESO.
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "plugin_fixture.h"
#include "set_up_reads.h"

namespace dalvex_test {
namespace {

using Texts = std::vector<std::string>;
using vorn_host::ProblemDescription;
using vorn_host::ReferenceEso;

const std::string kUnable = "*** Unable to initialize solver; something wrong with your ESO";

// A reference ESO with switchable faults.
class FaultyEso : public ReferenceEso {
 public:
  static FaultyEso* Create(ProblemDescription problem) {
    auto* eso = new FaultyEso(std::move(problem));
    eso->AddRef();
    return eso;
  }
  int32_t values_status = 0, bounds_status = 0, structure_status = 0;
  int32_t size_override = 0;       // when non-zero, every size query answers this
  int32_t recount_override = -1;   // when >= 0, every second equation count answers this
  bool null_names = false, null_structure = false;

  int32_t VORN_CALL GetNumEquations() override {
    ++equation_counts_;
    if (recount_override >= 0 && equation_counts_ % 2 == 0) return recount_override;
    return size_override != 0 ? size_override : ReferenceEso::GetNumEquations();
  }
  int32_t VORN_CALL GetNumVariables() override {
    return size_override != 0 ? size_override : ReferenceEso::GetNumVariables();
  }
  int32_t VORN_CALL GetNumNonZeros() override {
    return size_override != 0 ? size_override : ReferenceEso::GetNumNonZeros();
  }
  int32_t VORN_CALL GetVariableValues(int32_t set, double* x) override {
    return values_status != 0 ? values_status : ReferenceEso::GetVariableValues(set, x);
  }
  int32_t VORN_CALL GetVariableBounds(int32_t set, double* lower, double* upper) override {
    return bounds_status != 0 ? bounds_status : ReferenceEso::GetVariableBounds(set, lower, upper);
  }
  int32_t VORN_CALL GetJacobianStructure(int32_t** rows, int32_t** columns, int32_t** types) override {
    if (structure_status != 0) return structure_status;
    if (null_structure) {
      *rows = *columns = *types = nullptr;
      return 0;
    }
    return ReferenceEso::GetJacobianStructure(rows, columns, types);
  }
  int32_t VORN_CALL GetVariableName(int32_t index, char** text) override {
    if (!null_names) return ReferenceEso::GetVariableName(index, text);
    *text = nullptr;
    return 0;
  }

 private:
  using ReferenceEso::ReferenceEso;
  int equation_counts_ = 0;
};

class SetUpTest : public PluginTest {
 protected:
  void TearDown() override {
    if (solver_ != nullptr) {
      EXPECT_EQ(solver_->Release(), 0);
    }
    if (eso_ != nullptr) {
      EXPECT_EQ(eso_->Release(), 0);
    }
    PluginTest::TearDown();
  }
  // Creates the solver (after the test has set its parameters) and runs
  // the first Solve; the sink then holds only what Solve said.
  int32_t FirstSolve(ProblemDescription problem) {
    problem.description.clear();
    eso_ = FaultyEso::Create(std::move(problem));
    configure_(*eso_);
    solver_ = CreateSolver(eso_->problem());
    sink_.Clear();
    int32_t iterations = -1;
    return solver_->Solve(0, &iterations);
  }
  // The retrieval lines of a verbose set-up, for the 17 reads after
  // SeriouslyVerbose, each finding its fallback value (PrintLevel set to 0).
  static Texts VerboseRetrievals() {
    Texts lines;
    for (auto read = std::begin(kSetUpReads) + 1; read != std::end(kSetUpReads); ++read) {
      lines.push_back(std::string("Retrieving param (") + read->first + ") from Factory [default " + read->second +
                      "]\n");
      lines.push_back(std::string("Successful; value is ") + read->second + "\n");
    }
    return lines;
  }
  std::function<void(FaultyEso&)> configure_ = [](FaultyEso&) {};
  FaultyEso* eso_ = nullptr;
  VornNumericNLASystem* solver_ = nullptr;
};

// A 3-equation, 2-variable problem whose pattern is listed in column order.
ProblemDescription SmallProblem() {
  ProblemDescription p;
  p.num_equations = 3;
  p.num_variables = 2;
  p.equation_names = {"E1", "E2", "E3"};
  p.variable_names = {"xa", "xb"};
  p.start = {1.5, -2.0};
  p.lower = {0.0, -10.0};
  p.upper = {2.0, 10.0};
  p.rows = {1, 3, 2, 3};
  p.columns = {1, 1, 2, 2};
  p.residuals = [](const double* x, double* f) {
    f[0] = x[0] - 1.0;
    f[1] = x[1] + 1.0;
    f[2] = x[0] * x[1];
  };
  p.jacobian = [](const double* x, double* v) {
    v[0] = 1.0;
    v[1] = x[1];
    v[2] = 1.0;
    v[3] = x[0];
  };
  return p;
}

TEST_F(SetUpTest, EsoFailuresBeforeTheSolveAreReportedAsGeneralFailure) {
  struct Case {
    const char* label;
    void (*fault)(FaultyEso&);
    std::string text;
  };
  const Case cases[] = {
      {"values", [](FaultyEso& e) { e.values_status = 7; },
       "**FATAL - could not retrieve variable values from ESO"},
      {"bounds", [](FaultyEso& e) { e.bounds_status = 8; },
       "**FATAL - could not retrieve variable bounds from ESO\n"},
      {"structure", [](FaultyEso& e) { e.structure_status = -3; },
       "**FATAL - could not get Jacobian structure from ESO"},
      {"null structure", [](FaultyEso& e) { e.null_structure = true; },
       "**FATAL - ESO returned no Jacobian structure arrays\n"},
      {"recount", [](FaultyEso& e) { e.recount_override = 4; },
       "**FATAL - ESO equation count changed from 3 to 4 during set-up\n"},
      {"negative size", [](FaultyEso& e) { e.size_override = -1; },
       "**FATAL - ESO reported a negative size: NEqs = -1 NVars = -1 NNz = -1\n"},
      {"overflowing size", [](FaultyEso& e) { e.size_override = 200000000; },
       "**FATAL - problem too large: NEqs = 200000000 NVars = 200000000 NNz = 200000000 need workspace "
       "beyond 32-bit lengths\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    configure_ = c.fault;
    EXPECT_EQ(FirstSolve(SmallProblem()), kVornFailure) << "an ESO status is not passed on from set-up";
    EXPECT_EQ(sink_.Prints(), (Texts{c.text, kUnable}));
    EXPECT_TRUE(sink_.EachPrintFlushed());
    // A failed set-up is repeated, from the start, by the next call.
    sink_.Clear();
    int32_t iterations = -1;
    EXPECT_EQ(solver_->Solve(1, &iterations), kVornFailure);
    EXPECT_EQ(sink_.Prints(), (Texts{c.text, kUnable}));
    EXPECT_EQ(solver_->Release(), 0);
    EXPECT_EQ(eso_->Release(), 0);
    solver_ = nullptr;
    eso_ = nullptr;
  }
}

TEST_F(SetUpTest, NameEchoListsEquationsThenVariablesWithoutVerbosity) {
  ASSERT_EQ(SetInteger("PrintLevel", 16), kVornOk);
  configure_ = [](FaultyEso& e) { e.bounds_status = 2; };
  FirstSolve(SmallProblem());
  EXPECT_EQ(sink_.Prints(), (Texts{"E1\n", "E2\n", "E3\n", "xa\n", "xb\n",
                                   "**FATAL - could not retrieve variable bounds from ESO\n", kUnable}));
}

TEST_F(SetUpTest, NullNamesPrintAsEmptyTexts) {
  ASSERT_EQ(SetInteger("PrintLevel", 16), kVornOk);
  ASSERT_EQ(SetInteger("SeriouslyVerbose", 1), kVornOk);
  configure_ = [](FaultyEso& e) {
    e.null_names = true;
    e.structure_status = 5;
  };
  FirstSolve(SmallProblem());
  const Texts all = sink_.Prints();
  ASSERT_GE(all.size(), 17u);
  const Texts tail(all.end() - 17, all.end());
  EXPECT_EQ(tail, (Texts{"E1\n", "E2\n", "E3\n", "\n", "\n",
                         "-------------------------------------\n", "Initial values of solution variables",
                         " =          1.5\n", " =           -2\n",
                         "-------------------------------------\n",
                         "************************************************",
                         "Initial Variable values and bounds\n", " :           1.5  (           0,           2)\n",
                         " :            -2  (         -10,          10)\n",
                         "*************************************************",
                         "**FATAL - could not get Jacobian structure from ESO", kUnable}));
}

TEST_F(SetUpTest, VerboseSetUpReportsEveryStep) {
  ASSERT_EQ(SetInteger("SeriouslyVerbose", 3), kVornOk);
  ASSERT_EQ(SetInteger("PrintLevel", 0), kVornOk);
  const int32_t result = FirstSolve(SmallProblem());
  Texts expected = VerboseRetrievals();
  const Texts steps = {
      "Get num equations\n", "Neqns = 3\n", "Nvars = 2\n", "Get num nonzeros\n", "NNz = 4\n",
      "Get equation name list\n",
      "-------------------------------------\n", "Initial values of solution variables",
      "xa =          1.5\n", "xb =           -2\n", "-------------------------------------\n",
      "************************************************", "Initial Variable values and bounds\n",
      "xa :           1.5  (           0,           2)\n", "xb :            -2  (         -10,          10)\n",
      "*************************************************",
      "-------------------------------------", "Jacobian Structure:  nnz = 4",
      "    1     1\n", "    3     1\n", "    2     2\n", "    3     2\n",
      "-------------------------------------"};
  expected.insert(expected.end(), steps.begin(), steps.end());
  const Texts verdict = {"MC59 Diagnostic information\n", "   Error code         = 0\n",
                         "   Associated data    = 0\n",  "   # Duplicate entries= 0\n",
                         "   # Out-of-range irn = 0\n",  "   # Out-of-range jcn = 0\n",
                         "   # Entries removed  = 4\n"};  // INFO(6): entries kept
  expected.insert(expected.end(), verdict.begin(), verdict.end());
  const Texts all = sink_.Prints();
  ASSERT_GE(all.size(), expected.size());
  for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(all[k], expected[k]) << "message " << k;
  (void)result;
  EXPECT_TRUE(sink_.EachPrintFlushed());
}

TEST_F(SetUpTest, PatternDefectsFailTheSetUp) {
  struct Case {
    const char* label;
    std::vector<int32_t> rows, columns;
    int32_t verbose;
    Texts diagnostics;  // between the structure report and the failure text
  };
  auto block = [](int code, int dup, int irn, int jcn, int kept) {
    return Texts{"MC59 Diagnostic information\n",
                 "   Error code         = " + std::to_string(code) + "\n",
                 "   Associated data    = 0\n",
                 "   # Duplicate entries= " + std::to_string(dup) + "\n",
                 "   # Out-of-range irn = " + std::to_string(irn) + "\n",
                 "   # Out-of-range jcn = " + std::to_string(jcn) + "\n",
                 "   # Entries removed  = " + std::to_string(kept) + "\n"};
  };
  Texts all_out = block(-10, 0, 4, 0, 0);
  all_out[2] = "   Associated data    = 4\n";
  all_out.insert(all_out.begin(), "FATAL ERROR compressing Jacobian (MC59)");
  const Case cases[] = {
      {"duplicate, quiet", {1, 3, 3, 2}, {1, 1, 1, 2}, 0, {}},
      {"duplicate, verbose", {1, 3, 3, 2}, {1, 1, 1, 2}, 1, block(1, 1, 0, 0, 3)},
      {"row 0, verbose", {0, 3, 2, 3}, {1, 1, 2, 2}, 1, block(2, 0, 1, 0, 3)},
      {"column 3, verbose", {1, 3, 2, 3}, {1, 1, 2, 3}, 1, block(4, 0, 0, 1, 3)},
      {"row 4, quiet", {1, 4, 2, 3}, {1, 1, 2, 2}, 0, {}},
      {"negative column, quiet", {1, 3, 2, 3}, {1, -5, 2, 2}, 0, {}},
      // An error shows its block even when quiet: INFO(2) counts the entries out of range.
      {"every entry out of range, quiet", {-1, -1, -1, -1}, {1, 1, 2, 2}, 0, all_out},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(SetInteger("SeriouslyVerbose", c.verbose), kVornOk);
    ProblemDescription p = SmallProblem();
    p.rows = c.rows;
    p.columns = c.columns;
    EXPECT_EQ(FirstSolve(p), kVornFailure);
    Texts tail = c.diagnostics;
    tail.push_back(kUnable);
    const Texts all = sink_.Prints();
    ASSERT_GE(all.size(), tail.size());
    EXPECT_EQ(Texts(all.end() - static_cast<std::ptrdiff_t>(tail.size()), all.end()), tail);
    if (c.diagnostics.empty()) {
      for (const std::string& text : all) EXPECT_EQ(text.find("MC59"), std::string::npos) << text;
    }
    int32_t iterations = -1;
    EXPECT_EQ(solver_->Solve(0, &iterations), kVornFailure) << "a second try fails the same way";
    EXPECT_EQ(eso_->evaluations(), 0) << "evaluated a problem whose pattern was refused";
    EXPECT_EQ(solver_->Release(), 0);
    EXPECT_EQ(eso_->Release(), 0);
    solver_ = nullptr;
    eso_ = nullptr;
  }
}

TEST_F(SetUpTest, OutputStreamSearchSkipsTakenUnitsAndFreesItsOwn) {
  ASSERT_TRUE(VornServices::ReserveFortranLogicalUnit(1));
  ASSERT_TRUE(VornServices::ReserveFortranLogicalUnit(2));
  ASSERT_EQ(SetInteger("Iprint", 1), kVornOk);
  FirstSolve(SmallProblem());
  const Texts expected = {"Requested Fortran Output -- searching for available Fortran Logical Unit\n",
                          "Unit 1 already used!\n", "Unit 2 already used!\n",
                          "Output will be produced on file:  fort3\n"};
  const Texts all = sink_.Prints();
  ASSERT_GE(all.size(), expected.size());
  EXPECT_EQ(Texts(all.begin(), all.begin() + 4), expected);
  EXPECT_FALSE(VornServices::ReserveFortranLogicalUnit(3));
  EXPECT_EQ(solver_->Release(), 0);
  solver_ = nullptr;
  EXPECT_TRUE(VornServices::ReserveFortranLogicalUnit(3)) << "destruction releases the reserved unit";
  for (int unit : {1, 2, 3}) VornServices::FreeFortranLogicalUnit(unit);
}

TEST_F(SetUpTest, NoFreeUnitSuppressesOutputAndSetUpGoesOn) {
  std::vector<int> mine;
  for (int unit = 1; unit <= 99; ++unit) {
    if (VornServices::ReserveFortranLogicalUnit(unit)) mine.push_back(unit);
  }
  ASSERT_EQ(SetInteger("Iprint", -5), kVornOk);
  FirstSolve(SmallProblem());
  Texts expected = {"Requested Fortran Output -- searching for available Fortran Logical Unit\n"};
  for (int unit = 1; unit <= 99; ++unit) expected.push_back("Unit " + std::to_string(unit) + " already used!\n");
  expected.push_back("No Fortran Logical Unit Available; requested output is suppressed\n");
  const Texts all = sink_.Prints();
  ASSERT_GE(all.size(), expected.size());
  EXPECT_EQ(Texts(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);
  for (int unit : mine) VornServices::FreeFortranLogicalUnit(unit);
}

TEST_F(SetUpTest, NoUnitSearchWithoutPrinting) {
  FirstSolve(SmallProblem());
  for (const std::string& text : sink_.Prints()) {
    EXPECT_EQ(text.find("Unit"), std::string::npos) << text;
    EXPECT_EQ(text.find("Fortran"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace dalvex_test
