// Problem set-up: reads the parameters and the whole problem from the ESO,
// compresses the Jacobian pattern to column form and sizes the least-squares
// routine's arrays. Runs inside Solve until it succeeds once; each run
// replaces what an earlier, failed run allocated.
#include <algorithm>
#include <cstdlib>

#include "solver.h"
#include "workspace_sizes.h"
#include "vorn/services.h"

#include "pemric/mc59.h"

namespace {

constexpr const char* kDashes = "-------------------------------------";
constexpr int32_t kNameEchoBit = 16;  // PrintLevel bit: echo names at set-up
constexpr int32_t kLastUnit = 99;     // output streams 1..99 are searched

}  // namespace

int32_t Dalvex_NumericNLASystem::SetUpProblem() {
  ReadSetUpParameters();
  int32_t status = ReadProblemSize();
  if (status == kVornOk) status = AllocateVariableArrays();
  if (status == kVornOk) status = FetchNames();
  if (status == kVornOk) status = FetchValues();
  if (status == kVornOk) status = FetchBounds();
  if (status == kVornOk) status = FetchJacobianPattern();
  if (status == kVornOk) status = CompressJacobianPattern();
  if (status == kVornOk) status = AllocateEmptyExtraMatrix();
  if (status == kVornOk) status = AllocateNs23Arrays();
  if (status == kVornOk && m_Iprint != 0) ReserveOutputStream();
  return status;
}

// SeriouslyVerbose comes first, so it governs the messages of the others.
void Dalvex_NumericNLASystem::ReadSetUpParameters() {
  m_SeriouslyVerbose = RetrieveInteger("SeriouslyVerbose", 0);
  m_MaxIters = RetrieveInteger("MaxIters", 100);
  m_PrintInterval = RetrieveInteger("PrintInterval", 1);
  m_PrintLevel = RetrieveInteger("PrintLevel", 0);
  m_Acc = RetrieveReal("Acc", 1.0e-4);
  m_Sac = RetrieveReal("Sac", 1.0e-4);
  m_Tol = RetrieveReal("Tol", 1.0e-4);
  m_Hmax = RetrieveReal("Hmax", 0.0);
  m_Hmin = RetrieveReal("Hmin", 0.0);
  m_Eps = RetrieveReal("Eps", 0.0);
  m_Epsf = RetrieveReal("Epsf", 0.0);
  m_DiffScheme = RetrieveInteger("DiffScheme", 2);
  m_Iprint = RetrieveInteger("Iprint", 0);
  m_RangeFrac = RetrieveReal("RangeFrac", 1.0);
  m_MaxVarStep = RetrieveReal("MaxVarStep", 50.0);
  m_MinNonZero = RetrieveReal("MinNonZero", 1.0e-5);
  m_BoundsFrac = RetrieveReal("BoundsFrac", 1.0);
  m_ClipThresh = RetrieveReal("ClipThresh", 1.0e-6);
}

int32_t Dalvex_NumericNLASystem::ReadProblemSize() {
  if (Verbose()) m_Formatter.Format("Get num equations\n");
  m_NEqs = m_Eso->GetNumEquations();
  if (Verbose()) m_Formatter.Format("Neqns = %d\n", m_NEqs);
  m_NVars = m_Eso->GetNumVariables();
  if (Verbose()) m_Formatter.Format("Nvars = %d\n", m_NVars);
  if (Verbose()) m_Formatter.Format("Get num nonzeros\n");
  m_NNz = m_Eso->GetNumNonZeros();
  if (Verbose()) m_Formatter.Format("NNz = %d\n", m_NNz);
  return CheckProblemSize();
}

// Whether NEqs >= NVars >= 1 holds is the least-squares routine's verdict;
// here only sizes that would make an allocation meaningless are refused:
// negative ones, and ones whose workspace lengths leave the 32-bit range.
int32_t Dalvex_NumericNLASystem::CheckProblemSize() {
  if (m_NEqs < 0 || m_NVars < 0 || m_NNz < 0) {
    m_Formatter.Format("**FATAL - ESO reported a negative size: NEqs = %d NVars = %d NNz = %d\n", m_NEqs,
                       m_NVars, m_NNz);
    return kVornFailure;
  }
  if (!dalvex::FitsInt32(dalvex::SizesFor(m_NEqs, m_NVars, m_NNz))) {
    m_Formatter.Format(
        "**FATAL - problem too large: NEqs = %d NVars = %d NNz = %d need workspace beyond 32-bit lengths\n",
        m_NEqs, m_NVars, m_NNz);
    return kVornFailure;
  }
  return kVornOk;
}

int32_t Dalvex_NumericNLASystem::OutOfMemory() {
  m_Formatter.Format("**FATAL - out of memory while setting up the problem\n");
  return kVornFailure;
}

int32_t Dalvex_NumericNLASystem::AllocateVariableArrays() {
  using dalvex::Allocate;
  const bool ok = Allocate(m_X, m_NVars, "Dalvex_NumericNLASystem::m_X") &&
                  Allocate(m_Xold, m_NVars, "Dalvex_NumericNLASystem::m_Xold") &&
                  Allocate(m_LowerBounds, m_NVars, "Dalvex_NumericNLASystem::m_LowerBounds") &&
                  Allocate(m_UpperBounds, m_NVars, "Dalvex_NumericNLASystem::m_UpperBounds") &&
                  Allocate(m_Resid, m_NEqs, "Dalvex_NumericNLASystem::m_Resid");
  return ok ? kVornOk : OutOfMemory();
}

int32_t Dalvex_NumericNLASystem::FetchNames() {
  FreeNames();
  if (Verbose()) m_Formatter.Format("Get equation name list\n");
  int32_t status = FetchNameList(true);
  if (status == kVornOk) status = FetchNameList(false);
  return status;
}

// The ESO is asked again for the count; a count that no longer matches the
// problem size would overrun the arrays sized from it, so it fails set-up.
int32_t Dalvex_NumericNLASystem::FetchNameList(bool equations) {
  const int32_t expected = equations ? m_NEqs : m_NVars;
  const int32_t count = equations ? m_Eso->GetNumEquations() : m_Eso->GetNumVariables();
  if (count != expected) {
    m_Formatter.Format("**FATAL - ESO %s count changed from %d to %d during set-up\n",
                       equations ? "equation" : "variable", expected, count);
    return kVornFailure;
  }
  char** names = static_cast<char**>(std::calloc(static_cast<std::size_t>(count) + 1, sizeof(char*)));
  if (names == nullptr) return OutOfMemory();
  (equations ? m_EquationNames : m_VariableNames) = names;
  (equations ? m_NumEquationNames : m_NumVariableNames) = count;
  for (int32_t k = 0; k < count; ++k) {
    if (equations) {
      m_Eso->GetEquationName(k, &names[k]);
    } else {
      m_Eso->GetVariableName(k, &names[k]);
    }
    if (m_PrintLevel & kNameEchoBit) m_Formatter.Format("%s\n", dalvex::OrEmpty(names[k]));
  }
  return kVornOk;
}

int32_t Dalvex_NumericNLASystem::FetchValues() {
  const int32_t status = m_Eso->GetVariableValues(0, m_X.data);
  if (status != kVornOk) {
    m_Formatter.Format("**FATAL - could not retrieve variable values from ESO");
    return status;
  }
  std::copy(m_X.data, m_X.data + m_NVars, m_Xold.data);
  if (!Verbose()) return kVornOk;
  m_Formatter.Format("%s\n", kDashes);
  m_Formatter.Format("Initial values of solution variables");
  for (int32_t i = 0; i < m_NVars; ++i) {
    char* name = nullptr;  // asked afresh of the ESO, and freed after use
    m_Eso->GetVariableName(i, &name);
    m_Formatter.Format("%s = %12.5g\n", dalvex::OrEmpty(name), m_X.data[i]);
    VornServices::FreeString(name);
  }
  m_Formatter.Format("%s\n", kDashes);
  return kVornOk;
}

// The bounds are only reported: the solver neither clips nor cuts back.
int32_t Dalvex_NumericNLASystem::FetchBounds() {
  const int32_t status = m_Eso->GetVariableBounds(0, m_LowerBounds.data, m_UpperBounds.data);
  if (status != kVornOk) {
    m_Formatter.Format("**FATAL - could not retrieve variable bounds from ESO\n");
    return status;
  }
  if (!Verbose()) return kVornOk;
  m_Formatter.Format("************************************************");
  m_Formatter.Format("Initial Variable values and bounds\n");
  for (int32_t i = 0; i < m_NVars; ++i) {
    m_Formatter.Format("%s :  %12.5g  (%12.5g,%12.5g)\n", dalvex::OrEmpty(m_VariableNames[i]), m_X.data[i],
                       m_LowerBounds.data[i], m_UpperBounds.data[i]);
  }
  m_Formatter.Format("*************************************************");
  return kVornOk;
}

int32_t Dalvex_NumericNLASystem::FetchJacobianPattern() {
  using dalvex::Allocate;
  if (!Allocate(m_valJac, m_NNz, "Dalvex_NumericNLASystem::m_valJac")) return OutOfMemory();
  int32_t* rows = nullptr;
  int32_t* columns = nullptr;
  int32_t* types = nullptr;
  const int32_t status = m_Eso->GetJacobianStructure(&rows, &columns, &types);
  if (status != kVornOk) {
    m_Formatter.Format("**FATAL - could not get Jacobian structure from ESO");
    return status;
  }
  if (m_NNz > 0 && (rows == nullptr || columns == nullptr)) {
    m_Formatter.Format("**FATAL - ESO returned no Jacobian structure arrays\n");
    return kVornFailure;
  }
  if (!Allocate(m_irnJac, m_NNz, "Dalvex_NumericNLASystem::m_irnJac") ||
      !Allocate(m_jcnJac, m_NNz, "Dalvex_NumericNLASystem::m_jcnJac") ||
      !Allocate(m_typJac, m_NNz, "Dalvex_NumericNLASystem::m_typJac")) {
    return OutOfMemory();
  }
  std::copy(rows, rows + m_NNz, m_irnJac.data);
  std::copy(columns, columns + m_NNz, m_jcnJac.data);
  if (types != nullptr) std::copy(types, types + m_NNz, m_typJac.data);  // unused: zeros will do
  if (!Verbose()) return kVornOk;
  m_Formatter.Format("%s", kDashes);
  m_Formatter.Format("Jacobian Structure:  nnz = %d", m_NNz);
  for (int32_t k = 1; k <= m_NNz; ++k) m_Formatter.Format("%5d %5d\n", m_irnJac.at(k), m_jcnJac.at(k));
  m_Formatter.Format("%s", kDashes);
  return kVornOk;
}

// Sorts and checks the pattern into column form, rows increasing within each
// column, the values untouched. Any warning (duplicates, out-of-range
// entries) fails the set-up as surely as an error does, because the ESO's
// values would no longer line up with the compressed pattern.
int32_t Dalvex_NumericNLASystem::CompressJacobianPattern() {
  using dalvex::Allocate;
  const int32_t lip = std::max(m_NEqs, m_NVars) + 1;
  dalvex::TrackedArray<int32_t> iw, icntl, info;
  if (!Allocate(iw, lip, "MC59 workspace") || !Allocate(icntl, 10, "MC59 ICNTL") ||
      !Allocate(info, 10, "MC59 INFO") || !Allocate(m_ipJac, lip, "Dalvex_NumericNLASystem::m_ipJac")) {
    dalvex::Free(iw);
    dalvex::Free(icntl);
    dalvex::Free(info);
    return OutOfMemory();
  }
  // Check entries; coordinate in, column out with sorted rows; pattern
  // only; no error or warning output; unsymmetric.
  icntl.at(1) = 0;
  icntl.at(2) = 1;
  icntl.at(3) = 1;
  icntl.at(4) = -1;
  icntl.at(5) = -1;
  icntl.at(6) = 0;
  int32_t nc = m_NVars, nr = m_NEqs, ne = m_NNz, ljcn = m_NNz, la = m_NNz, lip_arg = lip, liw = lip;
  MC59AD(icntl.data, &nc, &nr, &ne, m_irnJac.data, &ljcn, m_jcnJac.data, &la, m_valJac.data, &lip_arg,
         m_ipJac.data, &liw, iw.data, info.data);
  if (info.at(1) < 0) m_Formatter.Format("FATAL ERROR compressing Jacobian (MC59)");
  if (info.at(1) < 0 || Verbose()) {
    m_Formatter.Format("MC59 Diagnostic information\n");
    m_Formatter.Format("   Error code         = %d\n", info.at(1));
    m_Formatter.Format("   Associated data    = %d\n", info.at(2));
    m_Formatter.Format("   # Duplicate entries= %d\n", info.at(3));
    m_Formatter.Format("   # Out-of-range irn = %d\n", info.at(4));
    m_Formatter.Format("   # Out-of-range jcn = %d\n", info.at(5));
    m_Formatter.Format("   # Entries removed  = %d\n", info.at(6));
  }
  const int32_t verdict = info.at(1);
  dalvex::Free(iw);
  dalvex::Free(icntl);
  dalvex::Free(info);
  return verdict == 0 ? kVornOk : kVornFailure;
}

// The empty extra matrix handed to the least-squares routine: column form
// with no entries (every column start 1).
int32_t Dalvex_NumericNLASystem::AllocateEmptyExtraMatrix() {
  using dalvex::Allocate;
  if (!Allocate(m_irnJacDummy, 1, "Dalvex_NumericNLASystem::m_irnJacDummy") ||
      !Allocate(m_valJacDummy, 1, "Dalvex_NumericNLASystem::m_valJacDummy") ||
      !Allocate(m_ipJacDummy, m_NVars + 1, "Dalvex_NumericNLASystem::m_ipJacDummy")) {
    return OutOfMemory();
  }
  m_irnJacDummy.at(1) = 1;
  m_valJacDummy.at(1) = 0.0;
  std::fill(m_ipJacDummy.data, m_ipJacDummy.data + m_ipJacDummy.count, 1);
  return kVornOk;
}

// The workspaces at their first-guess lengths (the routine may ask for more)
// and the control, information and private arrays, filled when a solve starts.
int32_t Dalvex_NumericNLASystem::AllocateNs23Arrays() {
  using dalvex::Allocate;
  const dalvex::WorkspaceSizes sizes = dalvex::SizesFor(m_NEqs, m_NVars, m_NNz);  // checked against 32 bits already
  m_LIW = static_cast<int32_t>(sizes.liw);
  m_LW = static_cast<int32_t>(sizes.lw);
  const bool ok = Allocate(m_iw, m_LIW, "Dalvex_NumericNLASystem::m_iw") &&
                  Allocate(m_w, m_LW, "Dalvex_NumericNLASystem::m_w") &&
                  Allocate(m_Cntl, 10, "Dalvex_NumericNLASystem::m_Cntl") &&
                  Allocate(m_Icntl, 5, "Dalvex_NumericNLASystem::m_Icntl") &&
                  Allocate(m_Info, 10, "Dalvex_NumericNLASystem::m_Info") &&
                  Allocate(m_Rinfo, 5, "Dalvex_NumericNLASystem::m_Rinfo") &&
                  Allocate(m_Keep, 130, "Dalvex_NumericNLASystem::m_Keep") &&
                  Allocate(m_Rkeep, 72, "Dalvex_NumericNLASystem::m_Rkeep") &&
                  Allocate(m_Lkeep, 10, "Dalvex_NumericNLASystem::m_Lkeep");
  return ok ? kVornOk : OutOfMemory();
}

// Searches units 1..99 for a free output stream for the least-squares
// routine's printing. Without one, its printing is switched off.
void Dalvex_NumericNLASystem::ReserveOutputStream() {
  if (m_OutputUnit > 0) return;  // already holds one
  m_Formatter.Format("Requested Fortran Output -- searching for available Fortran Logical Unit\n");
  for (int32_t unit = 1; unit <= kLastUnit; ++unit) {
    if (VornServices::ReserveFortranLogicalUnit(unit)) {
      m_Formatter.Format("Output will be produced on file:  fort%d\n", unit);
      m_OutputUnit = unit;
      return;
    }
    m_Formatter.Format("Unit %d already used!\n", unit);
  }
  m_Formatter.Format("No Fortran Logical Unit Available; requested output is suppressed\n");
  m_Iprint = 0;
}
