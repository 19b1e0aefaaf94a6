// The stand-in host: services library and reference problem object.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "vorn/services.h"
#include "vorn_host/message_sinks.h"
#include "vorn_host/reference_eso.h"

namespace {

TEST(Services, VersionTextNeverExceedsTwelveBytes) {
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(VornServices::GetDLLVersionNumber("vorn_dalvex.dll", buffer), 0);
  const std::size_t length = strnlen(buffer, sizeof buffer);
  EXPECT_GT(length, 0u);
  EXPECT_LT(length, 12u);
  for (std::size_t k = length + 1; k < sizeof buffer; ++k) ASSERT_EQ(buffer[k], '#') << "wrote byte " << k;
  EXPECT_EQ(VornServices::GetDLLVersionNumber(nullptr, buffer), -1);
  EXPECT_STREQ(buffer, "");
}

TEST(Services, UnitsAreHandedOutOnceAndConsoleUnitsNever) {
  EXPECT_TRUE(VornServices::ReserveFortranLogicalUnit(42));
  EXPECT_FALSE(VornServices::ReserveFortranLogicalUnit(42));
  VornServices::FreeFortranLogicalUnit(42);
  EXPECT_TRUE(VornServices::ReserveFortranLogicalUnit(42));
  VornServices::FreeFortranLogicalUnit(42);
  for (int32_t unit : {0, 5, 6, 100, -1}) EXPECT_FALSE(VornServices::ReserveFortranLogicalUnit(unit)) << unit;
  VornServices::FreeFortranLogicalUnit(1000);  // ignored

  char* text = VornServices::AllocateString(0);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text[0], '\0');
  VornServices::FreeString(text);
  VornServices::FreeString(nullptr);
}

// The sample problem's analytic Jacobian, in pattern order, against central
// differences of its residuals.
TEST(ReferenceEso, SampleJacobianMatchesDifferencesInColumnOrder) {
  const int32_t n = 5;
  vorn_host::ProblemDescription p = vorn_host::BroydenTridiagonal(n);
  ASSERT_TRUE(vorn_host::IsColumnOrdered(p));
  ASSERT_EQ(p.rows.size(), static_cast<std::size_t>(3 * n - 2));
  vorn_host::ReferenceEso* eso = vorn_host::ReferenceEso::Create(p);
  std::vector<double> x = {0.3, -0.7, 1.1, 0.2, -1.4}, f(n), values(p.rows.size());
  ASSERT_EQ(eso->SetVariableValues(0, x.data()), 0);
  ASSERT_EQ(eso->EvaluateResiduals(0, f.data(), values.data(), 14), 0);
  const double h = 1.0e-6;
  for (std::size_t k = 0; k < p.rows.size(); ++k) {
    std::vector<double> xp = x, xm = x, fp(n), fm(n);
    xp[p.columns[k] - 1] += h;
    xm[p.columns[k] - 1] -= h;
    p.residuals(xp.data(), fp.data());
    p.residuals(xm.data(), fm.data());
    const double difference = (fp[p.rows[k] - 1] - fm[p.rows[k] - 1]) / (2 * h);
    EXPECT_TRUE(std::fabs(values[k] - difference) <= 1.0e-6) << "entry " << k;
  }
  EXPECT_EQ(eso->evaluations(), 1);
  EXPECT_EQ(eso->Release(), 0);
}

TEST(ReferenceEso, ColumnOrderCheckRejectsOtherOrdersAndBadIndices) {
  vorn_host::ProblemDescription p = vorn_host::BroydenTridiagonal(3);
  std::swap(p.rows[0], p.rows[1]);
  EXPECT_FALSE(vorn_host::IsColumnOrdered(p));
  p = vorn_host::BroydenTridiagonal(3);
  p.columns.back() = 4;
  EXPECT_FALSE(vorn_host::IsColumnOrdered(p));
  p = vorn_host::BroydenTridiagonal(3);
  p.rows.push_back(p.rows.back());
  p.columns.push_back(p.columns.back());
  EXPECT_FALSE(vorn_host::IsColumnOrdered(p)) << "a repeated entry";
}

TEST(RecordingSink, PairsPrintsWithFlushes) {
  vorn_host::RecordingSink sink;
  sink.Print("a");
  sink.Flush();
  EXPECT_TRUE(sink.EachPrintFlushed());
  sink.Print("b");
  EXPECT_FALSE(sink.EachPrintFlushed());
  EXPECT_EQ(sink.Transcript(), "ab");
}

}  // namespace
