#include "diagnostics.h"

#include <cmath>
#include <cstdlib>

#include "pemric/ns23.h"

namespace dalvex {

namespace {

// PrintLevel bits of the per-iteration reports, printed in this order.
constexpr int32_t kObjectiveBit = 1;
constexpr int32_t kVariablesBit = 2;
constexpr int32_t kResidualsBit = 4;
constexpr int32_t kJacobianBit = 8;

constexpr const char* kStars = "*************************************************************\n";

// Entries shown: five of every array but the sparse solver's RINFO, of
// which fifteen. Every array shown is at least that long: the driver
// allocates the routine's own so, and the sparse solver's hold 20, 5, 40 and
// 20 entries.
constexpr int32_t kShown = 5;
constexpr int32_t kSparseRinfoShown = 15;

// Sum of squares, rms, and the smallest and largest absolute residual. The
// first residual sets both ends; each later one moves the low end when
// strictly below it and otherwise the high end when strictly above it.
// Without equations every field is 0.
void PrintObjectiveLine(MessageFormatter& formatter, const ProblemImage& p, int32_t count) {
  double sum = 0.0, lowest = 0.0, highest = 0.0;
  for (int32_t i = 1; i <= p.m_NEqs; ++i) {
    const double r = p.m_Resid.at(i);
    const double size = std::fabs(r);
    sum += r * r;
    if (i == 1) {
      lowest = highest = size;
    } else if (size < lowest) {
      lowest = size;
    } else if (size > highest) {
      highest = size;
    }
  }
  const double rms = p.m_NEqs > 0 ? std::sqrt(sum / p.m_NEqs) : 0.0;
  formatter.Format(
      "(Obj) Iter %d total sum squares %20.10g rms  %20.10g lowest resid %20g highest resid %20g\n", count, sum,
      rms, lowest, highest);
}

void PrintVariableValues(MessageFormatter& formatter, const ProblemImage& p) {
  formatter.Format("Variable values:\n");
  for (int32_t i = 0; i < p.m_NVars; ++i) {
    formatter.Format("(Var) %s = %20.10g\n", OrEmpty(p.m_VariableNames.at(i)), p.m_X.data()[i]);
  }
}

void PrintResidualValues(MessageFormatter& formatter, const ProblemImage& p) {
  formatter.Format("Residual values:\n");
  for (int32_t i = 0; i < p.m_NEqs; ++i) {
    formatter.Format("(Res) %s = %20.10g\n", OrEmpty(p.m_EquationNames.at(i)), p.m_Resid.data()[i]);
  }
}

// Entries in storage order of the compressed pattern: row, column, value.
// The least-squares routine negates column starts as marks while it builds
// a difference Jacobian, so they are read through their absolute values.
void PrintJacobian(MessageFormatter& formatter, const ProblemImage& p) {
  formatter.Format("Jacobian:\n");
  for (int32_t j = 1; j <= p.m_NVars; ++j) {
    const int32_t first = std::abs(p.m_ipJac.at(j));
    const int32_t last = std::abs(p.m_ipJac.at(j + 1)) - 1;
    for (int32_t k = first; k <= last && k <= p.m_NNz; ++k) {
      formatter.Format("(Jac) %5d %5d %12.5g\n", p.m_irnJac.at(k), j, p.m_valJac.at(k));
    }
  }
}

// Five controls of each kind, five integer information values and
// `rinfo_count` real ones. The sparse solver's dump pads the information
// indices to two columns.
void PrintControlAndInfoArrays(MessageFormatter& formatter,
                               const int32_t* icntl,
                               const double* cntl,
                               const int32_t* info,
                               const double* rinfo,
                               int32_t rinfo_count,
                               bool wide_info_index) {
  formatter.Format("Integer Control Array\n");
  for (int32_t i = 1; i <= kShown; ++i) formatter.Format("Icntl[%d] = %5d\n", i, icntl[i - 1]);
  formatter.Format("Real Control Array\n");
  for (int32_t i = 1; i <= kShown; ++i) formatter.Format("Cntl[%d] = %12.5g\n", i, cntl[i - 1]);
  formatter.Format("Integer Info Array\n");
  for (int32_t i = 1; i <= kShown; ++i) {
    formatter.Format(wide_info_index ? "Info[%2d] = %5d\n" : "Info[%d] = %5d\n", i, info[i - 1]);
  }
  formatter.Format("Real Info Array\n");
  for (int32_t i = 1; i <= rinfo_count; ++i) {
    formatter.Format(wide_info_index ? "RInfo[%2d] = %12.5g\n" : "RInfo[%d] = %12.5g\n", i, rinfo[i - 1]);
  }
}

}  // namespace

void PrintIterationReports(MessageFormatter& formatter,
                           const ProblemImage& problem,
                           int32_t print_level,
                           int32_t count) {
  if (print_level & kObjectiveBit) PrintObjectiveLine(formatter, problem, count);
  if (print_level & kVariablesBit) PrintVariableValues(formatter, problem);
  if (print_level & kResidualsBit) PrintResidualValues(formatter, problem);
  if (print_level & kJacobianBit) PrintJacobian(formatter, problem);
}

void PrintLeastSquaresDump(MessageFormatter& formatter,
                           const int32_t* icntl,
                           const double* cntl,
                           const int32_t* info,
                           const double* rinfo) {
  formatter.Format("%s", kStars);
  formatter.Format("*             NS23 Diagnostic Dump                          *\n");
  formatter.Format("%s", kStars);
  PrintControlAndInfoArrays(formatter, icntl, cntl, info, rinfo, kShown, false);
  formatter.Format("%s", kStars);
}

void PrintSparseSolverDump(MessageFormatter& formatter, const int32_t* keep, const double* rkeep) {
  NS23SparseSolverArrays sparse{};
  NS23GetSparseSolverArrays(keep, rkeep, &sparse);
  formatter.Format("%s", kStars);
  formatter.Format("*             MA57 Diagnostic Dump                          *\n");
  formatter.Format("%s", kStars);
  PrintControlAndInfoArrays(formatter, sparse.ICNTL, sparse.CNTL, sparse.INFO, sparse.RINFO,
                            kSparseRinfoShown, true);
  formatter.Format("%s", kStars);
}

}  // namespace dalvex
