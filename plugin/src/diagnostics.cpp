// What the solver tells the host besides the messages of single steps: the
// per-iteration reports that PrintLevel selects, and the dumps of the
// numeric routines' control and information arrays on failures it cannot
// explain. Every line is one message through the formatter.
#include <cmath>
#include <cstdlib>

#include "solver.h"

namespace {

// PrintLevel bits of the per-iteration reports, printed in this order.
constexpr int32_t kObjectiveBit = 1;
constexpr int32_t kVariablesBit = 2;
constexpr int32_t kResidualsBit = 4;
constexpr int32_t kJacobianBit = 8;

constexpr const char* kStars = "*************************************************************\n";

// Where the least-squares routine keeps the sparse solver's arrays inside
// its private ones: ICNTL(1..5), CNTL(1..5), INFO(1..5), RINFO(1..15).
constexpr int32_t kSparseIcntlInKeep = 71;
constexpr int32_t kSparseCntlInRkeep = 48;
constexpr int32_t kSparseInfoInKeep = 91;
constexpr int32_t kSparseRinfoInRkeep = 53;
constexpr int32_t kSparseRinfoShown = 15;
constexpr int32_t kShown = 5;  // entries shown of every other array

}  // namespace

void Dalvex_NumericNLASystem::PrintIterationReports() {
  if (m_PrintLevel & kObjectiveBit) PrintObjectiveLine();
  if (m_PrintLevel & kVariablesBit) PrintVariableValues();
  if (m_PrintLevel & kResidualsBit) PrintResidualValues();
  if (m_PrintLevel & kJacobianBit) PrintJacobian();
}

// Sum of squares, rms, and the smallest and largest absolute residual. The
// first residual sets both ends; each later one moves the low end when
// strictly below it and otherwise the high end when strictly above it.
// Without equations every field is 0.
void Dalvex_NumericNLASystem::PrintObjectiveLine() {
  double sum = 0.0, lowest = 0.0, highest = 0.0;
  for (int32_t i = 1; i <= m_NEqs; ++i) {
    const double r = m_Resid.at(i);
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
  const double rms = m_NEqs > 0 ? std::sqrt(sum / m_NEqs) : 0.0;
  m_Formatter.Format(
      "(Obj) Iter %d total sum squares %20.10g rms  %20.10g lowest resid %20g highest resid %20g\n", m_Count,
      sum, rms, lowest, highest);
}

void Dalvex_NumericNLASystem::PrintVariableValues() {
  m_Formatter.Format("Variable values:\n");
  for (int32_t i = 0; i < m_NVars; ++i) {
    const char* name = i < m_NumVariableNames ? m_VariableNames[i] : nullptr;
    m_Formatter.Format("(Var) %s = %20.10g\n", dalvex::OrEmpty(name), m_X.data[i]);
  }
}

void Dalvex_NumericNLASystem::PrintResidualValues() {
  m_Formatter.Format("Residual values:\n");
  for (int32_t i = 0; i < m_NEqs; ++i) {
    const char* name = i < m_NumEquationNames ? m_EquationNames[i] : nullptr;
    m_Formatter.Format("(Res) %s = %20.10g\n", dalvex::OrEmpty(name), m_Resid.data[i]);
  }
}

// Entries in storage order of the compressed pattern: row, column, value.
// The least-squares routine negates column starts as marks while it builds
// a difference Jacobian, so they are read through their absolute values.
void Dalvex_NumericNLASystem::PrintJacobian() {
  m_Formatter.Format("Jacobian:\n");
  for (int32_t j = 1; j <= m_NVars; ++j) {
    const int32_t first = std::abs(m_ipJac.at(j));
    const int32_t last = std::abs(m_ipJac.at(j + 1)) - 1;
    for (int32_t k = first; k <= last && k <= m_NNz; ++k) {
      m_Formatter.Format("(Jac) %5d %5d %12.5g\n", m_irnJac.at(k), j, m_valJac.at(k));
    }
  }
}

void Dalvex_NumericNLASystem::PrintLeastSquaresDump() {
  m_Formatter.Format("%s", kStars);
  m_Formatter.Format("*             NS23 Diagnostic Dump                          *\n");
  m_Formatter.Format("%s", kStars);
  PrintControlAndInfoArrays(m_Icntl.data, m_Cntl.data, m_Info.data, m_Rinfo.data, kShown, false);
  m_Formatter.Format("%s", kStars);
}

// The sparse solver's arrays as the least-squares routine keeps them, each
// shown with its own positions from 1.
void Dalvex_NumericNLASystem::PrintSparseSolverDump() {
  m_Formatter.Format("%s", kStars);
  m_Formatter.Format("*             MA57 Diagnostic Dump                          *\n");
  m_Formatter.Format("%s", kStars);
  PrintControlAndInfoArrays(&m_Keep.at(kSparseIcntlInKeep), &m_Rkeep.at(kSparseCntlInRkeep),
                            &m_Keep.at(kSparseInfoInKeep), &m_Rkeep.at(kSparseRinfoInRkeep),
                            kSparseRinfoShown, true);
  m_Formatter.Format("%s", kStars);
}

// Five controls of each kind, five integer information values and
// `rinfo_count` real ones. The sparse solver's dump pads the information
// indices to two columns.
void Dalvex_NumericNLASystem::PrintControlAndInfoArrays(const int32_t* icntl,
                                                        const double* cntl,
                                                        const int32_t* info,
                                                        const double* rinfo,
                                                        int32_t rinfo_count,
                                                        bool wide_info_index) {
  m_Formatter.Format("Integer Control Array\n");
  for (int32_t i = 1; i <= kShown; ++i) m_Formatter.Format("Icntl[%d] = %5d\n", i, icntl[i - 1]);
  m_Formatter.Format("Real Control Array\n");
  for (int32_t i = 1; i <= kShown; ++i) m_Formatter.Format("Cntl[%d] = %12.5g\n", i, cntl[i - 1]);
  m_Formatter.Format("Integer Info Array\n");
  for (int32_t i = 1; i <= kShown; ++i) {
    m_Formatter.Format(wide_info_index ? "Info[%2d] = %5d\n" : "Info[%d] = %5d\n", i, info[i - 1]);
  }
  m_Formatter.Format("Real Info Array\n");
  for (int32_t i = 1; i <= rinfo_count; ++i) {
    m_Formatter.Format(wide_info_index ? "RInfo[%2d] = %12.5g\n" : "RInfo[%d] = %12.5g\n", i, rinfo[i - 1]);
  }
}
