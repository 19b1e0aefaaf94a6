#include "solver_settings.h"

#include "face_reference.h"
#include "parameter_table.h"
#include "vorn/services.h"

namespace dalvex {

namespace {

// Reads of one solver's parameters through its factory.
class SettingsReader {
 public:
  SettingsReader(VornFactoryNLASystem* factory, MessageFormatter& formatter, const SolverSettings& settings)
      : m_Factory(factory), m_Formatter(formatter), m_Settings(settings) {}

  int32_t Integer(Parameter p) { return Integer(p, static_cast<int32_t>(Definition(p).value)); }
  double Real(Parameter p) { return Real(p, Definition(p).value); }

  int32_t Integer(Parameter p, int32_t fallback) {
    const char* name = Definition(p).name;
    if (Verbose()) m_Formatter.Format("Retrieving param (%s) from Factory [default %d]\n", name, fallback);
    int32_t type = -1;
    VornValueCell cell{};
    if (!LookUp(name, &type, &cell) || type != kVornInteger) {
      if (type == kVornText) VornServices::FreeString(cell.text);
      m_Formatter.Format("Invalid param (%s) setting to default value %d\n", name, fallback);
      return fallback;
    }
    if (Verbose()) m_Formatter.Format("Successful; value is %d\n", cell.integer);
    return cell.integer;
  }

  double Real(Parameter p, double fallback) {
    const char* name = Definition(p).name;
    if (Verbose()) m_Formatter.Format("Retrieving param (%s) from Factory [default %e]\n", name, fallback);
    int32_t type = -1;
    VornValueCell cell{};
    if (!LookUp(name, &type, &cell) || type != kVornReal) {
      if (type == kVornText) VornServices::FreeString(cell.text);
      m_Formatter.Format("Invalid param (%s) setting to default value %e\n", name, fallback);
      return fallback;
    }
    if (Verbose()) m_Formatter.Format("Successful; value is %e\n", cell.real);
    return cell.real;
  }

 private:
  // The verbosity in force at each read: a new SeriouslyVerbose takes effect
  // from the read after its own.
  bool Verbose() const { return m_Settings.Verbose(); }

  bool LookUp(const char* name, int32_t* type, VornValueCell* cell) {
    if (m_Factory == nullptr) return false;
    FaceReference<VornSolverParameters> parameters;
    parameters.Query(m_Factory, kIID_VornSolverParameters);
    return parameters && parameters->GetParameterValue(name, type, cell) == kVornOk;
  }

  VornFactoryNLASystem* m_Factory;  // null when the solver holds none
  MessageFormatter& m_Formatter;
  const SolverSettings& m_Settings;
};

}  // namespace

void ReadSetUpSettings(VornFactoryNLASystem* factory, MessageFormatter& formatter, SolverSettings& s) {
  SettingsReader read(factory, formatter, s);
  s.m_SeriouslyVerbose = read.Integer(Parameter::SeriouslyVerbose);
  s.m_MaxIters = read.Integer(Parameter::MaxIters);
  s.m_PrintInterval = read.Integer(Parameter::PrintInterval);
  s.m_PrintLevel = read.Integer(Parameter::PrintLevel, kPrintLevelFallback);
  s.m_Acc = read.Real(Parameter::Acc);
  s.m_Sac = read.Real(Parameter::Sac);
  s.m_Tol = read.Real(Parameter::Tol);
  s.m_Hmax = read.Real(Parameter::Hmax);
  s.m_Hmin = read.Real(Parameter::Hmin);
  s.m_Eps = read.Real(Parameter::Eps);
  s.m_Epsf = read.Real(Parameter::Epsf);
  s.m_DiffScheme = read.Integer(Parameter::DiffScheme);
  s.m_Iprint = read.Integer(Parameter::Iprint);
  s.m_RangeFrac = read.Real(Parameter::RangeFrac);
  s.m_MaxVarStep = read.Real(Parameter::MaxVarStep);
  s.m_MinNonZero = read.Real(Parameter::MinNonZero);
  s.m_BoundsFrac = read.Real(Parameter::BoundsFrac);
  s.m_ClipThresh = read.Real(Parameter::ClipThresh);
}

void ReadSolveSettings(VornFactoryNLASystem* factory, MessageFormatter& formatter, SolverSettings& s) {
  SettingsReader read(factory, formatter, s);
  s.m_PrintLevel = read.Integer(Parameter::PrintLevel, kPrintLevelFallback);
  s.m_MaxIters = read.Integer(Parameter::MaxIters);
  s.m_Acc = read.Real(Parameter::Acc);
  s.m_Sac = read.Real(Parameter::Sac, kSolveSacFallback);
  s.m_Tol = read.Real(Parameter::Tol);
}

}  // namespace dalvex
