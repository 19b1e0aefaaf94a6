// The factory's parameter face: the table, bounds and cell semantics.
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>

#include "dalvex/parameters.h"
#include "plugin_fixture.h"

namespace dalvex {
void PrintTo(const ParameterDefinition& d, std::ostream* os) { *os << d.name; }
}  // namespace dalvex

namespace dalvex_test {
namespace {

using dalvex::kSolverParameters;
using dalvex::ParameterDefinition;

// The published table, as hosts are told it: the reference the plug-in's own
// table is checked against once; every other test reads the plug-in's table.
struct Expected {
  const char* name;
  int32_t type;
  double lower, upper, value;
  const char* description;
};

const Expected kTable[] = {
    {"PrintLevel", 0, 0, 32, 1, "Level of detail to print"},
    {"PrintInterval", 0, 1, 100, 1, "Output interval for prints"},
    {"MaxIters", 0, 1, 100000, 100, "Maximum number of iterations"},
    {"Acc", 1, 0.0, 1.0, 1.0e-4, "Tolerance for solve"},
    {"Sac", 1, 0.0, 1.0, 1.0e-4, "Acceptable final sum-squares"},
    {"Tol", 1, 0.0, 100.0, 1.0e-4, "Acceptable value of maximum residual"},
    {"Hmax", 1, 0.0, 1.0e6, 0.0, "Step length for numerical differencing Jacobian"},
    {"Hmin", 1, 0.0, 1.0, 0.0, "Absolute minimum value of step length for numerical derivs"},
    {"Epsf", 1, 0.0, 0.1, 0.0, "Relative round-off error in function calculations"},
    {"Eps", 1, 0.0, 0.1, 0.0, "Min step length multiplier for numerical differencing Jacobian"},
    {"RangeFrac", 1, 0.0, 1.0, 1.0, "Step length heuristic multiplier on variable range"},
    {"MaxVarStep", 1, 0.0, 100.0, 50.0, "Step length < MaxVarStep*RangeFrac*(Upb-Lwb)"},
    {"MinNonZero", 1, 0.0, 0.1, 1.0e-5, "Step length for absolute/relative step control"},
    {"BoundsFrac", 1, 0.0, 1.0, 1.0, "Cut back the newton step; can't move more than boundfrac towards bound"},
    {"ClipThresh", 1, 0.0, 1.0, 1.0e-6, "If scaling < ClipThresh, then clip bounds violating variables"},
    {"DiffScheme", 0, 1, 2, 2, "1 - forward differencing 2 - central differencing"},
    {"SeriouslyVerbose", 0, 0, 10, 0, "Debug diagnostic output"},
    {"Iprint", 0, -100, 100, 0, "Controls NS23 printing"},
};

TEST_F(PluginTest, TableListsEighteenParametersInOrder) {
  ASSERT_EQ(parameters_->GetParameterCount(), 18);
  char* names[18] = {};
  ASSERT_EQ(parameters_->GetParameterNames(names), kVornOk);
  for (int k = 0; k < 18; ++k) {
    const Expected& e = kTable[k];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(TakeText(names[k]), e.name);

    VornParameterInfo info{};
    ASSERT_EQ(parameters_->GetParameterInfo(e.name, &info), kVornOk);
    EXPECT_EQ(TakeText(info.name), e.name);
    EXPECT_EQ(TakeText(info.description), e.description);
    ASSERT_EQ(info.type, e.type);
    int32_t type = -1;
    VornValueCell cell{};
    ASSERT_EQ(parameters_->GetParameterValue(e.name, &type, &cell), kVornOk);
    EXPECT_EQ(type, e.type);
    if (e.type == kVornInteger) {
      EXPECT_EQ(info.values.integer.lower, static_cast<int32_t>(e.lower));
      EXPECT_EQ(info.values.integer.upper, static_cast<int32_t>(e.upper));
      EXPECT_EQ(info.values.integer.value, static_cast<int32_t>(e.value));
      EXPECT_EQ(cell.integer, static_cast<int32_t>(e.value));
    } else {
      // Exactly the nearest doubles of the decimal constants.
      EXPECT_EQ(info.values.real.lower, e.lower);
      EXPECT_EQ(info.values.real.upper, e.upper);
      EXPECT_EQ(info.values.real.value, e.value);
      EXPECT_EQ(cell.real, e.value);
    }
  }
}

// Each parameter accepts both its bounds and refuses the nearest value
// beyond each, keeping the old value.
class ParameterBoundsTest : public PluginTest, public ::testing::WithParamInterface<ParameterDefinition> {};

TEST_P(ParameterBoundsTest, BoundsAreInclusiveAndRefusalKeepsTheValue) {
  const ParameterDefinition& e = GetParam();
  auto set = [&](double v) {
    return e.type == kVornInteger ? SetInteger(e.name, static_cast<int32_t>(v)) : SetReal(e.name, v);
  };
  auto get = [&]() {
    int32_t type = -1;
    VornValueCell cell{};
    EXPECT_EQ(parameters_->GetParameterValue(e.name, &type, &cell), kVornOk);
    return type == kVornInteger ? static_cast<double>(cell.integer) : cell.real;
  };
  const double below = e.type == kVornInteger ? e.lower - 1 : std::nextafter(e.lower, -1.0e300);
  const double above = e.type == kVornInteger ? e.upper + 1 : std::nextafter(e.upper, 1.0e300);
  EXPECT_EQ(set(e.upper), kVornOk);
  EXPECT_EQ(get(), e.upper);
  EXPECT_EQ(set(above), kVornOutOfBounds);
  EXPECT_EQ(get(), e.upper);
  EXPECT_EQ(set(e.lower), kVornOk);
  EXPECT_EQ(set(below), kVornOutOfBounds);
  EXPECT_EQ(get(), e.lower);
  if (e.type == kVornReal) {
    EXPECT_EQ(set(std::numeric_limits<double>::quiet_NaN()), kVornOutOfBounds);
    EXPECT_EQ(get(), e.lower);
  }
}

INSTANTIATE_TEST_SUITE_P(AllParameters, ParameterBoundsTest, ::testing::ValuesIn(kSolverParameters),
                         [](const ::testing::TestParamInfo<ParameterDefinition>& info) { return info.param.name; });

TEST_F(PluginTest, CellIsReadByTheParametersOwnType) {
  // The type argument is not consulted: DiffScheme reads the low 4 bytes of
  // the double 2.0, which are zero, below its lower bound 1.
  VornValueCell cell{};
  cell.real = 2.0;
  EXPECT_EQ(parameters_->SetParameterValue("DiffScheme", kVornReal, cell), kVornOutOfBounds);
  // Only the first 4 bytes count, whatever lies above them.
  std::memset(&cell, 0xFF, sizeof cell);
  const int32_t low = 777;
  std::memcpy(&cell, &low, sizeof low);
  EXPECT_EQ(parameters_->SetParameterValue("MaxIters", kVornText, cell), kVornOk);
  int32_t type = -1;
  VornValueCell read{};
  ASSERT_EQ(parameters_->GetParameterValue("maxiters", &type, &read), kVornOk);
  EXPECT_EQ(type, kVornInteger);
  EXPECT_EQ(read.integer, 777);

  EXPECT_EQ(SetInteger("MAXITERS", 0), kVornOutOfBounds);
  EXPECT_EQ(SetInteger("MaxIters", 100001), kVornOutOfBounds);
  EXPECT_EQ(SetInteger("maxIters", 100000), kVornOk);
  EXPECT_EQ(SetReal("tol", 100.0), kVornOk);
  EXPECT_EQ(SetReal("Tol", 100.0000001), kVornOutOfBounds);
}

TEST_F(PluginTest, UnknownOrNullNamesChangeNothing) {
  VornParameterInfo info{};
  info.type = 42;
  int32_t type = 42;
  VornValueCell cell{};
  cell.integer = 42;
  for (const char* name : {"MaxIter", "MaxIterss", "", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(name != nullptr ? name : "(null)");
    EXPECT_EQ(parameters_->GetParameterInfo(name, &info), kVornUnknownName);
    EXPECT_EQ(parameters_->GetParameterValue(name, &type, &cell), kVornUnknownName);
    EXPECT_EQ(parameters_->SetParameterValue(name, kVornInteger, cell), kVornUnknownName);
  }
  EXPECT_EQ(info.type, 42);
  EXPECT_EQ(info.name, nullptr);
  EXPECT_EQ(type, 42);
  EXPECT_EQ(cell.integer, 42);
  // Null out-parameters are refused rather than written through.
  EXPECT_EQ(parameters_->GetParameterInfo("Acc", nullptr), kVornFailure);
  EXPECT_EQ(parameters_->GetParameterValue("Acc", nullptr, &cell), kVornFailure);
  EXPECT_EQ(parameters_->GetParameterValue("Acc", &type, nullptr), kVornFailure);
  EXPECT_EQ(parameters_->GetParameterNames(nullptr), kVornFailure);
}

TEST_F(PluginTest, RegisteringAgainAppendsASecondCopyThatLookupsNeverReach) {
  ASSERT_EQ(SetInteger("PrintLevel", 7), kVornOk);
  ASSERT_EQ(parameters_->RegisterParameters(), kVornOk);
  ASSERT_EQ(parameters_->GetParameterCount(), 36);
  char* names[36] = {};
  ASSERT_EQ(parameters_->GetParameterNames(names), kVornOk);
  for (int k = 0; k < 36; ++k) EXPECT_EQ(TakeText(names[k]), kSolverParameters[k % 18].name);
  int32_t type = -1;
  VornValueCell cell{};
  ASSERT_EQ(parameters_->GetParameterValue("PrintLevel", &type, &cell), kVornOk);
  EXPECT_EQ(cell.integer, 7) << "the first record still answers";
}

}  // namespace
}  // namespace dalvex_test
