// The host framework's interfaces, as the plug-in sees them.
//
// Every face is an abstract class whose virtual slots are declared in the
// exact order the host calls them: the first three are always QueryInterface,
// AddRef and Release, in the COM manner. The binary interface is the slot
// order, the argument types and the calling convention, so nothing here may
// be reordered. The faces have no virtual destructor (that would add slots);
// objects are destroyed by their own Release.
//
// Integers crossing the boundary are signed 32-bit. Texts handed across are
// allocated with VornServices::AllocateString and freed by the receiver with
// VornServices::FreeString (see vorn/services.h).
#pragma once

#include <cstddef>
#include <cstdint>

// Calling convention of every slot and service (VORN_CALL).
#include "vorn/calling_convention.h"

// A 16-byte interface identifier (GUID layout).
struct VornGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
static_assert(sizeof(VornGuid) == 16, "interface identifiers are 16 bytes");

inline bool operator==(const VornGuid& a, const VornGuid& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) {
    return false;
  }
  for (int k = 0; k < 8; ++k) {
    if (a.data4[k] != b.data4[k]) return false;
  }
  return true;
}
inline bool operator!=(const VornGuid& a, const VornGuid& b) { return !(a == b); }

// The host's identifiers form one family {xxxxxxxx-7C3E-4B52-9E61-2F0D4C8B9A17},
// differing only in their first 32-bit field. IUnknown is the published one.
inline constexpr VornGuid kIID_IUnknown = {
    0x00000000u, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr VornGuid VornFamilyIID(uint32_t first) {
  return {first, 0x7C3E, 0x4B52, {0x9E, 0x61, 0x2F, 0x0D, 0x4C, 0x8B, 0x9A, 0x17}};
}
inline constexpr VornGuid kIID_VornUtilityComponent = VornFamilyIID(0x5A1D0001u);
inline constexpr VornGuid kIID_VornSolverParameters = VornFamilyIID(0x5A1D0002u);
inline constexpr VornGuid kIID_VornNumericESO = VornFamilyIID(0x5A1D0003u);
inline constexpr VornGuid kIID_VornNumericNLASystem = VornFamilyIID(0x5A1D0004u);
inline constexpr VornGuid kIID_VornFactoryNLASystem = VornFamilyIID(0x5A1D0005u);
inline constexpr VornGuid kIID_VornNumericSolverExtension = VornFamilyIID(0x5A1D0006u);

// Result codes (signed 32-bit).
enum VornResult : int32_t {
  kVornOk = 0,              // success; for Solve: converged
  kVornCallAgain = 1,       // Solve only: not finished, call again with start != 0
  kVornOutOfBounds = -10,   // parameter value outside its inclusive bounds
  kVornUnknownName = -11,   // no parameter of that name (or a null name)
  kVornFailure = -15,       // general failure
  // QueryInterface: no face answers the identifier (0x80004002).
  kVornNoInterface = static_cast<int32_t>(0x80004002u),
  // QueryInterface: the out-pointer is null (0x80004003).
  kVornNullPointer = static_cast<int32_t>(0x80004003u),
};

// Parameter types of ParameterInfo::type and GetParameterValue.
enum VornParameterType : int32_t {
  kVornInteger = 0,
  kVornReal = 1,
  kVornText = 2,
};

// The 8-byte value cell of GetParameterValue / SetParameterValue. Passed by
// value to SetParameterValue; the parameter's own type decides which member
// is read (an integer is the first 4 bytes).
union VornValueCell {
  int32_t integer;
  double real;
  char* text;
};
static_assert(sizeof(VornValueCell) == 8, "the value cell is 8 bytes");

// One parameter's description, as GetParameterInfo fills it. The value union
// is 8-byte aligned even where doubles are not (i386 System V), which fixes
// the 32-bit layout: name 0, description 4, type 8, padding 12, values 16..39.
struct VornParameterInfo {
  char* name;
  char* description;
  int32_t type;  // VornParameterType
  union alignas(8) Values {
    struct {
      int32_t lower, upper, value;
    } integer;
    struct {
      double lower, upper, value;
    } real;
    struct {
      char* value;
      char* second;
    } text;
  } values;
};
static_assert(offsetof(VornParameterInfo, description) == sizeof(void*), "layout");
static_assert(offsetof(VornParameterInfo, type) == 2 * sizeof(void*), "layout");
static_assert(offsetof(VornParameterInfo, values) % 8 == 0, "values are 8-byte aligned");
static_assert(offsetof(VornParameterInfo, values) == (sizeof(void*) == 4 ? 16 : 24), "layout");
static_assert(sizeof(VornParameterInfo) == offsetof(VornParameterInfo, values) + 24, "layout");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(VornParameterInfo) == 40, "the 32-bit record is 40 bytes");
#else
static_assert(sizeof(VornParameterInfo) == 48, "the 64-bit record is 48 bytes");
#endif

// IUnknown: the first three slots of every face.
class VornUnknown {
 public:
  // Stores the face selected by `id` in *out with one more reference and
  // returns 0; otherwise kVornNoInterface and *out is untouched.
  virtual int32_t VORN_CALL QueryInterface(const VornGuid& id, void** out) = 0;
  virtual int32_t VORN_CALL AddRef() = 0;   // returns the new count
  virtual int32_t VORN_CALL Release() = 0;  // returns the new count; 0 destroys

 protected:
  ~VornUnknown() = default;
};

// Where solver text goes. Print takes one whole message; Flush follows it.
// The solver borrows the sink and takes no reference to it.
class VornMessageSink {
 public:
  virtual void VORN_CALL Print(const char* text) = 0;
  virtual void VORN_CALL Flush() = 0;

 protected:
  ~VornMessageSink() = default;
};

// Self-description of a component. Each text is a fresh copy made with
// VornServices::AllocateString; the caller frees it with FreeString.
class VornUtilityComponent : public VornUnknown {
 public:
  virtual char* VORN_CALL GetVersion() = 0;
  virtual char* VORN_CALL GetName() = 0;
  virtual char* VORN_CALL GetDescription() = 0;

 protected:
  ~VornUtilityComponent() = default;
};

// The equation set object: NEqs residual equations in NVars variables with a
// sparse Jacobian of NNz entries. Index arguments count from 0; the leading
// integer of slots 5, 6, 7 and 11 selects the variable set and is always 0.
// A non-zero status is an error code that the solver passes on unchanged.
class VornNumericESO : public VornUnknown {
 public:
  virtual int32_t VORN_CALL GetNumVariables() = 0;                                 // slot 3
  virtual int32_t VORN_CALL GetNumEquations() = 0;                                 // slot 4
  virtual int32_t VORN_CALL GetVariableBounds(int32_t set, double* lower, double* upper) = 0;
  virtual int32_t VORN_CALL SetVariableValues(int32_t set, const double* x) = 0;   // slot 6
  virtual int32_t VORN_CALL GetVariableValues(int32_t set, double* x) = 0;         // slot 7
  // Slots 8 and 9: *text receives a host-allocated copy (free with FreeString).
  virtual int32_t VORN_CALL GetVariableName(int32_t index, char** text) = 0;
  virtual int32_t VORN_CALL GetEquationName(int32_t index, char** text) = 0;
  virtual int32_t VORN_CALL Reserved10() = 0;  // slot 10, never called by the solver
  // Slot 11, at the values last set. Mode 14: residuals and Jacobian values;
  // mode 2: residuals only. The Jacobian values are written in COLUMN ORDER of
  // the pattern: columns ascending, rows ascending within a column. The solver
  // keeps no permutation, so an ESO should list its structure (slot 13) in
  // that same order.
  virtual int32_t VORN_CALL EvaluateResiduals(int32_t set, double* residuals, double* values,
                                              int32_t mode) = 0;
  virtual int32_t VORN_CALL GetNumNonZeros() = 0;  // slot 12
  // Slot 13: three arrays of NNz entries owned by the ESO: rows (1..NEqs),
  // columns (1..NVars) and entry types (unused by the solver).
  virtual int32_t VORN_CALL GetJacobianStructure(int32_t** rows, int32_t** columns,
                                                 int32_t** types) = 0;

 protected:
  ~VornNumericESO() = default;
};

class VornNumericNLASystem;

// The solver factory's main face.
class VornFactoryNLASystem : public VornUnknown {
 public:
  // Creates a solver bound to `problem`, whose text goes to `sink`.
  // *out receives the solver's main face with one reference.
  virtual int32_t VORN_CALL CreateNLASystem(VornUnknown* problem, VornMessageSink* sink,
                                            VornNumericNLASystem** out) = 0;

 protected:
  ~VornFactoryNLASystem() = default;
};

// The factory's parameter table. Names match case-insensitively.
class VornSolverParameters : public VornUnknown {
 public:
  virtual int32_t VORN_CALL GetParameterCount() = 0;
  // names[count] receives host-owned copies of every name, in table order.
  virtual int32_t VORN_CALL GetParameterNames(char** names) = 0;
  virtual int32_t VORN_CALL GetParameterInfo(const char* name, VornParameterInfo* info) = 0;
  virtual int32_t VORN_CALL GetParameterValue(const char* name, int32_t* type,
                                              VornValueCell* value) = 0;
  virtual int32_t VORN_CALL SetParameterValue(const char* name, int32_t type,
                                              VornValueCell value) = 0;
  virtual int32_t VORN_CALL RegisterParameters() = 0;

 protected:
  ~VornSolverParameters() = default;
};

// A solver bound to one problem.
class VornNumericNLASystem : public VornUnknown {
 public:
  // start 0 begins a solve, any other value continues it. *iterations
  // receives the evaluation count. Returns 0 converged, 1 call again, -15
  // failed, or an ESO error code.
  virtual int32_t VORN_CALL Solve(int32_t start, int32_t* iterations) = 0;

 protected:
  ~VornNumericNLASystem() = default;
};

// Extra information operations of a solver.
class VornNumericSolverExtension : public VornUnknown {
 public:
  virtual int32_t VORN_CALL SetInfo(const char* name, int32_t kind, void* value) = 0;
  virtual int32_t VORN_CALL GetInfo(const char* name, int32_t* value) = 0;

 protected:
  ~VornNumericSolverExtension() = default;
};

// The module's single export.
extern "C" {
typedef VornFactoryNLASystem*(VORN_CALL* GetFactoryNLASystemFn)();
}
