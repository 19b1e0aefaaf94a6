// Problem set-up: reads the whole problem from the ESO and compresses the
// Jacobian pattern to column form. Runs inside Solve until it succeeds once;
// each run replaces what an earlier, failed run allocated.
#include "problem_image.h"

#include <algorithm>
#include <cstdlib>

#include "workspace_sizes.h"
#include "vorn/services.h"

#include "pemric/mc59.h"

namespace dalvex {

bool HostTextList::Allocate(int32_t count) noexcept {
  Clear();
  m_Texts = static_cast<char**>(std::calloc(static_cast<std::size_t>(count) + 1, sizeof(char*)));
  if (m_Texts == nullptr) return false;
  m_Count = count;
  return true;
}

void HostTextList::Clear() noexcept {
  for (int32_t k = 0; k < m_Count; ++k) VornServices::FreeString(m_Texts[k]);
  std::free(m_Texts);
  m_Texts = nullptr;
  m_Count = 0;
}

namespace {

constexpr const char* kDashes = "-------------------------------------";
constexpr int32_t kNameEchoBit = 16;  // PrintLevel bit: echo names at set-up

// One run of the set-up steps on one image.
class ImageBuilder {
 public:
  ImageBuilder(ProblemImage& image, VornNumericESO& eso, const SolverSettings& settings, MessageFormatter& formatter)
      : m_Image(image), m_Eso(eso), m_Settings(settings), m_Formatter(formatter) {}

  int32_t Run() {
    int32_t status = ReadProblemSize();
    if (status == kVornOk) status = AllocateVariableArrays();
    if (status == kVornOk) status = FetchNames();
    if (status == kVornOk) status = FetchValues();
    if (status == kVornOk) status = FetchBounds();
    if (status == kVornOk) status = FetchJacobianPattern();
    if (status == kVornOk) status = CompressJacobianPattern();
    if (status == kVornOk) status = AllocateEmptyExtraMatrix();
    return status;
  }

 private:
  bool Verbose() const { return m_Settings.Verbose(); }
  int32_t ReadProblemSize();
  int32_t CheckProblemSize();
  int32_t AllocateVariableArrays();
  int32_t FetchNames();
  int32_t FetchNameList(bool equations);
  int32_t FetchValues();
  int32_t FetchBounds();
  int32_t FetchJacobianPattern();
  int32_t CompressJacobianPattern();
  void ReportCompression(const TrackedArray<int32_t>& info);
  int32_t AllocateEmptyExtraMatrix();
  int32_t OutOfMemory();

  ProblemImage& m_Image;
  VornNumericESO& m_Eso;
  const SolverSettings& m_Settings;
  MessageFormatter& m_Formatter;
};

int32_t ImageBuilder::ReadProblemSize() {
  if (Verbose()) m_Formatter.Format("Get num equations\n");
  m_Image.m_NEqs = m_Eso.GetNumEquations();
  if (Verbose()) m_Formatter.Format("Neqns = %d\n", m_Image.m_NEqs);
  m_Image.m_NVars = m_Eso.GetNumVariables();
  if (Verbose()) m_Formatter.Format("Nvars = %d\n", m_Image.m_NVars);
  if (Verbose()) m_Formatter.Format("Get num nonzeros\n");
  m_Image.m_NNz = m_Eso.GetNumNonZeros();
  if (Verbose()) m_Formatter.Format("NNz = %d\n", m_Image.m_NNz);
  return CheckProblemSize();
}

// Whether NEqs >= NVars >= 1 holds is the least-squares routine's verdict;
// here only sizes that would make an allocation meaningless are refused:
// negative ones, and ones whose workspace lengths leave the 32-bit range.
int32_t ImageBuilder::CheckProblemSize() {
  const int32_t neqs = m_Image.m_NEqs, nvars = m_Image.m_NVars, nnz = m_Image.m_NNz;
  if (neqs < 0 || nvars < 0 || nnz < 0) {
    m_Formatter.Format("**FATAL - ESO reported a negative size: NEqs = %d NVars = %d NNz = %d\n", neqs, nvars,
                       nnz);
    return kVornFailure;
  }
  if (!FitsInt32(SizesFor(neqs, nvars, nnz))) {
    m_Formatter.Format(
        "**FATAL - problem too large: NEqs = %d NVars = %d NNz = %d need workspace beyond 32-bit lengths\n",
        neqs, nvars, nnz);
    return kVornFailure;
  }
  return kVornOk;
}

int32_t ImageBuilder::OutOfMemory() {
  m_Formatter.Format("**FATAL - out of memory while setting up the problem\n");
  return kVornFailure;
}

int32_t ImageBuilder::AllocateVariableArrays() {
  ProblemImage& p = m_Image;
  const bool ok = p.m_X.Allocate(p.m_NVars, "Dalvex_NumericNLASystem::m_X") &&
                  p.m_Xold.Allocate(p.m_NVars, "Dalvex_NumericNLASystem::m_Xold") &&
                  p.m_LowerBounds.Allocate(p.m_NVars, "Dalvex_NumericNLASystem::m_LowerBounds") &&
                  p.m_UpperBounds.Allocate(p.m_NVars, "Dalvex_NumericNLASystem::m_UpperBounds") &&
                  p.m_Resid.Allocate(p.m_NEqs, "Dalvex_NumericNLASystem::m_Resid");
  return ok ? kVornOk : OutOfMemory();
}

// Names left by an earlier, failed set-up are freed before any is fetched.
int32_t ImageBuilder::FetchNames() {
  m_Image.m_EquationNames.Clear();
  m_Image.m_VariableNames.Clear();
  if (Verbose()) m_Formatter.Format("Get equation name list\n");
  int32_t status = FetchNameList(true);
  if (status == kVornOk) status = FetchNameList(false);
  return status;
}

// The ESO is asked again for the count; a count that no longer matches the
// problem size would overrun the arrays sized from it, so it fails set-up.
int32_t ImageBuilder::FetchNameList(bool equations) {
  const int32_t expected = equations ? m_Image.m_NEqs : m_Image.m_NVars;
  const int32_t count = equations ? m_Eso.GetNumEquations() : m_Eso.GetNumVariables();
  if (count != expected) {
    m_Formatter.Format("**FATAL - ESO %s count changed from %d to %d during set-up\n",
                       equations ? "equation" : "variable", expected, count);
    return kVornFailure;
  }
  HostTextList& names = equations ? m_Image.m_EquationNames : m_Image.m_VariableNames;
  if (!names.Allocate(count)) return OutOfMemory();
  for (int32_t k = 0; k < count; ++k) {
    if (equations) {
      m_Eso.GetEquationName(k, &names.data()[k]);
    } else {
      m_Eso.GetVariableName(k, &names.data()[k]);
    }
    if (m_Settings.m_PrintLevel & kNameEchoBit) m_Formatter.Format("%s\n", OrEmpty(names.at(k)));
  }
  return kVornOk;
}

int32_t ImageBuilder::FetchValues() {
  ProblemImage& p = m_Image;
  const int32_t status = m_Eso.GetVariableValues(kVornVariableSet, p.m_X.data());
  if (status != kVornOk) {
    m_Formatter.Format("**FATAL - could not retrieve variable values from ESO");
    return status;
  }
  std::copy(p.m_X.data(), p.m_X.data() + p.m_NVars, p.m_Xold.data());
  if (!Verbose()) return kVornOk;
  m_Formatter.Format("%s\n", kDashes);
  m_Formatter.Format("Initial values of solution variables");
  for (int32_t i = 0; i < p.m_NVars; ++i) {
    char* name = nullptr;  // asked afresh of the ESO, and freed after use
    m_Eso.GetVariableName(i, &name);
    m_Formatter.Format("%s = %12.5g\n", OrEmpty(name), p.m_X.data()[i]);
    VornServices::FreeString(name);
  }
  m_Formatter.Format("%s\n", kDashes);
  return kVornOk;
}

// The bounds are only reported: the solver neither clips nor cuts back.
int32_t ImageBuilder::FetchBounds() {
  ProblemImage& p = m_Image;
  const int32_t status =
      m_Eso.GetVariableBounds(kVornVariableSet, p.m_LowerBounds.data(), p.m_UpperBounds.data());
  if (status != kVornOk) {
    m_Formatter.Format("**FATAL - could not retrieve variable bounds from ESO\n");
    return status;
  }
  if (!Verbose()) return kVornOk;
  m_Formatter.Format("************************************************");
  m_Formatter.Format("Initial Variable values and bounds\n");
  for (int32_t i = 0; i < p.m_NVars; ++i) {
    m_Formatter.Format("%s :  %12.5g  (%12.5g,%12.5g)\n", OrEmpty(p.m_VariableNames.at(i)), p.m_X.data()[i],
                       p.m_LowerBounds.data()[i], p.m_UpperBounds.data()[i]);
  }
  m_Formatter.Format("*************************************************");
  return kVornOk;
}

int32_t ImageBuilder::FetchJacobianPattern() {
  ProblemImage& p = m_Image;
  if (!p.m_valJac.Allocate(p.m_NNz, "Dalvex_NumericNLASystem::m_valJac")) return OutOfMemory();
  int32_t* rows = nullptr;
  int32_t* columns = nullptr;
  int32_t* types = nullptr;
  const int32_t status = m_Eso.GetJacobianStructure(&rows, &columns, &types);
  if (status != kVornOk) {
    m_Formatter.Format("**FATAL - could not get Jacobian structure from ESO");
    return status;
  }
  if (p.m_NNz > 0 && (rows == nullptr || columns == nullptr)) {
    m_Formatter.Format("**FATAL - ESO returned no Jacobian structure arrays\n");
    return kVornFailure;
  }
  if (!p.m_irnJac.Allocate(p.m_NNz, "Dalvex_NumericNLASystem::m_irnJac") ||
      !p.m_jcnJac.Allocate(p.m_NNz, "Dalvex_NumericNLASystem::m_jcnJac") ||
      !p.m_typJac.Allocate(p.m_NNz, "Dalvex_NumericNLASystem::m_typJac")) {
    return OutOfMemory();
  }
  std::copy(rows, rows + p.m_NNz, p.m_irnJac.data());
  std::copy(columns, columns + p.m_NNz, p.m_jcnJac.data());
  if (types != nullptr) std::copy(types, types + p.m_NNz, p.m_typJac.data());  // unused: zeros will do
  if (!Verbose()) return kVornOk;
  m_Formatter.Format("%s", kDashes);
  m_Formatter.Format("Jacobian Structure:  nnz = %d", p.m_NNz);
  for (int32_t k = 1; k <= p.m_NNz; ++k) m_Formatter.Format("%5d %5d\n", p.m_irnJac.at(k), p.m_jcnJac.at(k));
  m_Formatter.Format("%s", kDashes);
  return kVornOk;
}

// Sorts and checks the pattern into column form, rows increasing within each
// column, the values untouched. Any warning (duplicates, out-of-range
// entries) fails the set-up as surely as an error does, because the ESO's
// values would no longer line up with the compressed pattern.
int32_t ImageBuilder::CompressJacobianPattern() {
  ProblemImage& p = m_Image;
  const int32_t lip = std::max(p.m_NEqs, p.m_NVars) + 1;
  TrackedArray<int32_t> iw, icntl, info;  // temporaries, freed on return
  if (!iw.Allocate(lip, "MC59 workspace") || !icntl.Allocate(MC59_LICNTL, "MC59 ICNTL") ||
      !info.Allocate(MC59_LINFO, "MC59 INFO") ||
      !p.m_ipJac.Allocate(lip, "Dalvex_NumericNLASystem::m_ipJac")) {
    return OutOfMemory();
  }
  icntl.at(MC59_ICNTL_NO_CHECK) = 0;          // check the entries
  icntl.at(MC59_ICNTL_MODE) = 1;              // coordinate in, column out with rows increasing
  icntl.at(MC59_ICNTL_PATTERN_ONLY) = 1;      // the values stay where the ESO puts them
  icntl.at(MC59_ICNTL_ERROR_STREAM) = -1;     // no error output
  icntl.at(MC59_ICNTL_WARNING_STREAM) = -1;   // no warning output
  icntl.at(MC59_ICNTL_SYMMETRIC) = 0;         // unsymmetric
  int32_t nc = p.m_NVars, nr = p.m_NEqs, ne = p.m_NNz, ljcn = p.m_NNz, la = p.m_NNz, lip_arg = lip, liw = lip;
  MC59AD(icntl.data(), &nc, &nr, &ne, p.m_irnJac.data(), &ljcn, p.m_jcnJac.data(), &la, p.m_valJac.data(),
         &lip_arg, p.m_ipJac.data(), &liw, iw.data(), info.data());
  ReportCompression(info);
  return info.at(MC59_INFO_STATUS) == 0 ? kVornOk : kVornFailure;
}

void ImageBuilder::ReportCompression(const TrackedArray<int32_t>& info) {
  const int32_t status = info.at(MC59_INFO_STATUS);
  if (status < 0) m_Formatter.Format("FATAL ERROR compressing Jacobian (MC59)");
  if (status >= 0 && !Verbose()) return;
  m_Formatter.Format("MC59 Diagnostic information\n");
  m_Formatter.Format("   Error code         = %d\n", status);
  m_Formatter.Format("   Associated data    = %d\n", info.at(MC59_INFO_VALUE));
  m_Formatter.Format("   # Duplicate entries= %d\n", info.at(MC59_INFO_DUPLICATES));
  m_Formatter.Format("   # Out-of-range irn = %d\n", info.at(MC59_INFO_BAD_ROWS));
  m_Formatter.Format("   # Out-of-range jcn = %d\n", info.at(MC59_INFO_BAD_COLUMNS));
  // The label is the fixed text hosts receive; the value counts the entries kept.
  m_Formatter.Format("   # Entries removed  = %d\n", info.at(MC59_INFO_ENTRIES));
}

// The empty extra matrix handed to the least-squares routine: column form
// with no entries (every column start 1).
int32_t ImageBuilder::AllocateEmptyExtraMatrix() {
  ProblemImage& p = m_Image;
  if (!p.m_irnJacDummy.Allocate(1, "Dalvex_NumericNLASystem::m_irnJacDummy") ||
      !p.m_valJacDummy.Allocate(1, "Dalvex_NumericNLASystem::m_valJacDummy") ||
      !p.m_ipJacDummy.Allocate(p.m_NVars + 1, "Dalvex_NumericNLASystem::m_ipJacDummy")) {
    return OutOfMemory();
  }
  p.m_irnJacDummy.at(1) = 1;
  p.m_valJacDummy.at(1) = 0.0;
  std::fill(p.m_ipJacDummy.data(), p.m_ipJacDummy.data() + p.m_ipJacDummy.count(), 1);
  return kVornOk;
}

}  // namespace

int32_t ProblemImage::SetUp(VornNumericESO& eso, const SolverSettings& settings, MessageFormatter& formatter) {
  return ImageBuilder(*this, eso, settings, formatter).Run();
}

}  // namespace dalvex
