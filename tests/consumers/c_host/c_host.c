/* A host written in plain C: it knows the plug-in only through its own
 * structures of function pointers, laid out in the slot order of the host
 * interfaces, and loads the module as a host would (dlopen, or LoadLibrary on
 * Windows). It proves the binary interface: slot order, calling convention,
 * argument passing (the 8-byte value cell by value), the parameter record
 * layout and the reference counts.
 *
 * Usage: c_host <module path>. Exit status 0 when every check holds. */
#define _GNU_SOURCE
#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vorn/calling_convention.h"
#include "vorn_host/shared_library.h"

typedef struct Guid {
  uint32_t d1;
  uint16_t d2, d3;
  uint8_t d4[8];
} Guid;

#define FAMILY(first) {first, 0x7C3E, 0x4B52, {0x9E, 0x61, 0x2F, 0x0D, 0x4C, 0x8B, 0x9A, 0x17}}
static const Guid kUtilityComponent = FAMILY(0x5A1D0001u);
static const Guid kSolverParameters = FAMILY(0x5A1D0002u);
static const Guid kNumericEso = FAMILY(0x5A1D0003u);
static const Guid kNumericNLASystem = FAMILY(0x5A1D0004u);
static const Guid kSolverExtension = FAMILY(0x5A1D0006u);

typedef union Cell {
  int32_t integer;
  double real;
  char* text;
} Cell;

typedef struct ParameterInfo {
  char* name;
  char* description;
  int32_t type;
  union {
    struct { int32_t lower, upper, value; } integer;
    struct { double lower, upper, value; } real;
    struct { char* value; char* second; } text;
  } __attribute__((aligned(8))) values;
} ParameterInfo;

typedef struct Object {
  const struct Vtbl* vtbl;
} Object;

/* The first three slots of every face. */
#define UNKNOWN_SLOTS                                        \
  int32_t (VORN_CALL *QueryInterface)(void* self, const Guid* id, void** out); \
  int32_t (VORN_CALL *AddRef)(void* self);                             \
  int32_t (VORN_CALL *Release)(void* self)

typedef struct FactoryVtbl {
  UNKNOWN_SLOTS;
  int32_t (VORN_CALL *CreateNLASystem)(void* self, void* problem, void* sink, void** out);
} FactoryVtbl;

typedef struct ParametersVtbl {
  UNKNOWN_SLOTS;
  int32_t (VORN_CALL *GetParameterCount)(void* self);
  int32_t (VORN_CALL *GetParameterNames)(void* self, char** names);
  int32_t (VORN_CALL *GetParameterInfo)(void* self, const char* name, ParameterInfo* info);
  int32_t (VORN_CALL *GetParameterValue)(void* self, const char* name, int32_t* type, Cell* value);
  int32_t (VORN_CALL *SetParameterValue)(void* self, const char* name, int32_t type, Cell value);
  int32_t (VORN_CALL *RegisterParameters)(void* self);
} ParametersVtbl;

typedef struct SolverVtbl {
  UNKNOWN_SLOTS;
  int32_t (VORN_CALL *Solve)(void* self, int32_t start, int32_t* iterations);
} SolverVtbl;

typedef struct ExtensionVtbl {
  UNKNOWN_SLOTS;
  int32_t (VORN_CALL *SetInfo)(void* self, const char* name, int32_t kind, void* value);
  int32_t (VORN_CALL *GetInfo)(void* self, const char* name, int32_t* value);
} ExtensionVtbl;

#define VT(object, type) (*(const type* const*)(object))

/* ---- the host's own objects: a problem (ESO) and a message sink ---- */

typedef struct EsoVtbl {
  UNKNOWN_SLOTS;
  int32_t (VORN_CALL *GetNumVariables)(void* self);
  int32_t (VORN_CALL *GetNumEquations)(void* self);
  int32_t (VORN_CALL *GetVariableBounds)(void* self, int32_t set, double* lower, double* upper);
  int32_t (VORN_CALL *SetVariableValues)(void* self, int32_t set, const double* x);
  int32_t (VORN_CALL *GetVariableValues)(void* self, int32_t set, double* x);
  int32_t (VORN_CALL *GetVariableName)(void* self, int32_t index, char** text);
  int32_t (VORN_CALL *GetEquationName)(void* self, int32_t index, char** text);
  int32_t (VORN_CALL *Reserved10)(void* self);
  int32_t (VORN_CALL *EvaluateResiduals)(void* self, int32_t set, double* f, double* values, int32_t mode);
  int32_t (VORN_CALL *GetNumNonZeros)(void* self);
  int32_t (VORN_CALL *GetJacobianStructure)(void* self, int32_t** rows, int32_t** columns, int32_t** types);
} EsoVtbl;

typedef struct Eso {
  const EsoVtbl* vtbl;
  int32_t count;
  int32_t calls[14]; /* calls per slot */
  double x[2];
  int32_t rows[4], columns[4], types[4];
} Eso;

/* The services library's statics, reached by their linkage names: C++ names,
 * as GCC gives them (with __stdcall also the size of their arguments), or as
 * the Microsoft toolchain does when the library says it exports those
 * (VORN_SERVICES_MSVC_NAMES, the names of vorn_services_msvc.def). */
#if defined(VORN_SERVICES_MSVC_NAMES)
static const char kAllocateStringSymbol[] = "?AllocateString@VornServices@@SGPADH@Z";
static const char kFreeStringSymbol[] = "?FreeString@VornServices@@SGXPAD@Z";
#elif defined(_WIN32) && !defined(_WIN64)
static const char kAllocateStringSymbol[] = "_ZN12VornServices14AllocateStringEi@4";
static const char kFreeStringSymbol[] = "_ZN12VornServices10FreeStringEPc@4";
#else
static const char kAllocateStringSymbol[] = "_ZN12VornServices14AllocateStringEi";
static const char kFreeStringSymbol[] = "_ZN12VornServices10FreeStringEPc";
#endif
static char* (VORN_CALL *allocate_string)(int32_t);
static void (VORN_CALL *free_string)(char*);

static int guid_equal(const Guid* a, const Guid* b) { return memcmp(a, b, sizeof *a) == 0; }

static int32_t VORN_CALL eso_query(void* self, const Guid* id, void** out) {
  Eso* e = (Eso*)self;
  e->calls[0]++;
  if (!guid_equal(id, &kNumericEso)) return (int32_t)0x80004002u;
  *out = self;
  e->count++;
  return 0;
}
static int32_t VORN_CALL eso_addref(void* self) { return ++((Eso*)self)->count; }
static int32_t VORN_CALL eso_release(void* self) { return --((Eso*)self)->count; }
static int32_t VORN_CALL eso_num_variables(void* self) { ((Eso*)self)->calls[3]++; return 2; }
static int32_t VORN_CALL eso_num_equations(void* self) { ((Eso*)self)->calls[4]++; return 3; }
static int32_t VORN_CALL eso_bounds(void* self, int32_t set, double* lower, double* upper) {
  (void)set;
  ((Eso*)self)->calls[5]++;
  lower[0] = lower[1] = -5.0;
  upper[0] = upper[1] = 5.0;
  return 0;
}
static int32_t VORN_CALL eso_set_values(void* self, int32_t set, const double* x) {
  Eso* e = (Eso*)self;
  (void)set;
  e->calls[6]++;
  e->x[0] = x[0];
  e->x[1] = x[1];
  return 0;
}
static int32_t VORN_CALL eso_get_values(void* self, int32_t set, double* x) {
  Eso* e = (Eso*)self;
  (void)set;
  e->calls[7]++;
  x[0] = e->x[0];
  x[1] = e->x[1];
  return 0;
}
static char* host_text(const char* s) {
  char* t = allocate_string((int32_t)strlen(s) + 1);
  strcpy(t, s);
  return t;
}
static int32_t VORN_CALL eso_variable_name(void* self, int32_t index, char** text) {
  ((Eso*)self)->calls[8]++;
  *text = host_text(index == 0 ? "u" : "v");
  return 0;
}
static int32_t VORN_CALL eso_equation_name(void* self, int32_t index, char** text) {
  ((Eso*)self)->calls[9]++;
  *text = host_text(index == 0 ? "r1" : index == 1 ? "r2" : "r3");
  return 0;
}
static int32_t VORN_CALL eso_reserved(void* self) { ((Eso*)self)->calls[10]++; return 0; }
static int32_t VORN_CALL eso_evaluate(void* self, int32_t set, double* f, double* values, int32_t mode) {
  Eso* e = (Eso*)self;
  (void)set;
  e->calls[11]++;
  f[0] = e->x[0] - 1.0;
  f[1] = e->x[1] - 2.0;
  f[2] = e->x[0] + e->x[1] - 3.0;
  if (mode == 14) values[0] = values[1] = values[2] = values[3] = 1.0;
  return 0;
}
static int32_t VORN_CALL eso_num_nonzeros(void* self) { ((Eso*)self)->calls[12]++; return 4; }
static int32_t VORN_CALL eso_structure(void* self, int32_t** rows, int32_t** columns, int32_t** types) {
  Eso* e = (Eso*)self;
  e->calls[13]++;
  *rows = e->rows;
  *columns = e->columns;
  *types = e->types;
  return 0;
}

static const EsoVtbl kEsoVtbl = {eso_query,         eso_addref,        eso_release,        eso_num_variables,
                                 eso_num_equations, eso_bounds,        eso_set_values,     eso_get_values,
                                 eso_variable_name, eso_equation_name, eso_reserved,       eso_evaluate,
                                 eso_num_nonzeros,  eso_structure};

typedef struct SinkVtbl {
  void (VORN_CALL *Print)(void* self, const char* text);
  void (VORN_CALL *Flush)(void* self);
} SinkVtbl;
typedef struct Sink {
  const SinkVtbl* vtbl;
  int prints, flushes;
  char last[256];
} Sink;
static void VORN_CALL sink_print(void* self, const char* text) {
  Sink* s = (Sink*)self;
  s->prints++;
  snprintf(s->last, sizeof s->last, "%s", text);
}
static void VORN_CALL sink_flush(void* self) { ((Sink*)self)->flushes++; }
static const SinkVtbl kSinkVtbl = {sink_print, sink_flush};

/* ---- checks ---- */

static int failures = 0;
#define CHECK(condition)                                               \
  do {                                                                 \
    if (!(condition)) {                                                \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      failures++;                                                      \
    }                                                                  \
  } while (0)

static void check_parameters(void* params) {
  const ParametersVtbl* p = VT(params, ParametersVtbl);
  CHECK(p->GetParameterCount(params) == 18);
  char* names[18] = {0};
  CHECK(p->GetParameterNames(params, names) == 0);
  CHECK(names[0] && strcmp(names[0], "PrintLevel") == 0);
  CHECK(names[17] && strcmp(names[17], "Iprint") == 0);
  for (int k = 0; k < 18; ++k) free_string(names[k]);

  ParameterInfo info;
  memset(&info, 0, sizeof info);
  CHECK(p->GetParameterInfo(params, "hmax", &info) == 0);
  CHECK(info.type == 1 && info.values.real.lower == 0.0 && info.values.real.upper == 1.0e6 &&
        info.values.real.value == 0.0);
  CHECK(info.name && strcmp(info.name, "Hmax") == 0);
  free_string(info.name);
  free_string(info.description);

  Cell cell;
  memset(&cell, 0, sizeof cell);
  cell.real = 2.0;
  CHECK(p->SetParameterValue(params, "DiffScheme", 1, cell) == -10);
  cell.integer = 100000;
  CHECK(p->SetParameterValue(params, "MaxIters", 0, cell) == 0);
  cell.real = 0.5;
  CHECK(p->SetParameterValue(params, "Sac", 1, cell) == 0);
  int32_t type = -1;
  Cell read;
  CHECK(p->GetParameterValue(params, "MAXITERS", &type, &read) == 0 && type == 0 && read.integer == 100000);
  CHECK(p->GetParameterValue(params, "Sac", &type, &read) == 0 && type == 1 && read.real == 0.5);
  CHECK(p->GetParameterValue(params, "NoSuch", &type, &read) == -11);
}

static void check_solver(void* factory) {
  Eso eso;
  memset(&eso, 0, sizeof eso);
  eso.vtbl = &kEsoVtbl;
  eso.count = 1;
  eso.x[0] = 0.5;
  eso.x[1] = 0.5;
  const int32_t rows[4] = {1, 3, 2, 3}, columns[4] = {1, 1, 2, 2};
  memcpy(eso.rows, rows, sizeof rows);
  memcpy(eso.columns, columns, sizeof columns);
  Sink sink = {&kSinkVtbl, 0, 0, {0}};

  void* solver = NULL;
  CHECK(VT(factory, FactoryVtbl)->CreateNLASystem(factory, &eso, &sink, &solver) == 0);
  CHECK(solver != NULL);
  if (solver == NULL) return;
  /* The problem has no utility face: that message is a Print without Flush. */
  CHECK(sink.prints == 1 && sink.flushes == 0 &&
        strcmp(sink.last, "VornUtilityComponent interface not implemented in problem\n") == 0);
  CHECK(eso.count == 2);

  void* extension = NULL;
  CHECK(VT(solver, SolverVtbl)->QueryInterface(solver, &kSolverExtension, &extension) == 0);
  void* other = NULL;
  CHECK(VT(extension, ExtensionVtbl)->QueryInterface(extension, &kUtilityComponent, &other) ==
        (int32_t)0x80004002u);
  CHECK(VT(extension, ExtensionVtbl)->QueryInterface(extension, &kNumericNLASystem, &other) == 0);
  CHECK(other == solver);
  CHECK(VT(solver, SolverVtbl)->Release(solver) == 2);

  int32_t status = -1;
  CHECK(VT(extension, ExtensionVtbl)->GetInfo(extension, "Status", &status) == 0 && status == 0);
  CHECK(VT(extension, ExtensionVtbl)->SetInfo(extension, "Status", 0, &status) == -15);
  CHECK(strcmp(sink.last, "Warning!  SetInfo no implemented; action ignored\n") == 0);
  CHECK(sink.prints == sink.flushes + 1);

  int32_t iterations = -1;
  const int32_t result = VT(solver, SolverVtbl)->Solve(solver, 0, &iterations);
  CHECK(result == 0 || result == 1 || result == -15);
  /* Set-up went through every ESO slot it needs, and never slot 10. */
  CHECK(eso.calls[12] == 1 && eso.calls[13] == 1 && eso.calls[5] == 1 && eso.calls[7] == 1);
  CHECK(eso.calls[4] == 2 && eso.calls[3] == 2);
  CHECK(eso.calls[9] == 3 && eso.calls[8] == 2);
  CHECK(eso.calls[10] == 0);

  /* The host's loop: call again while the answer is 1; the root is (1, 2). */
  int32_t calls = 1, current = result;
  while (current == 1 && calls < 100) {
    CHECK(VT(extension, ExtensionVtbl)->GetInfo(extension, "Status", &status) == 0 && status > 0);
    current = VT(solver, SolverVtbl)->Solve(solver, 1, &iterations);
    ++calls;
  }
  CHECK(current == 0);
  CHECK(iterations >= 1 && iterations <= calls);
  CHECK(eso.calls[11] == calls);
  CHECK(fabs(eso.x[0] - 1.0) < 1e-6 && fabs(eso.x[1] - 2.0) < 1e-6);

  CHECK(VT(extension, ExtensionVtbl)->Release(extension) == 1);
  CHECK(VT(solver, SolverVtbl)->Release(solver) == 0);
  CHECK(eso.count == 1);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <module>\n", argv[0]);
    return 2;
  }
  CHECK(sizeof(ParameterInfo) == (sizeof(void*) == 4 ? 40 : 48));
  CHECK(offsetof(ParameterInfo, values) == (sizeof(void*) == 4 ? 16 : 24));
  CHECK(sizeof(Cell) == 8);

  void* services = vorn_library_open(VORN_SERVICES_LIBRARY);
  void* module = services != NULL ? vorn_library_open(argv[1]) : NULL;
  if (module == NULL) {
    char reason[256];
    vorn_library_error(reason, sizeof reason);
    fprintf(stderr, "cannot load: %s\n", reason);
    return 1;
  }
  *(void**)&allocate_string = vorn_library_symbol(services, kAllocateStringSymbol);
  *(void**)&free_string = vorn_library_symbol(services, kFreeStringSymbol);
  void* (VORN_CALL *entry)(void) = NULL;
  *(void**)&entry = vorn_library_symbol(module, "GetFactoryNLASystem");
  if (entry == NULL || allocate_string == NULL || free_string == NULL) {
    fprintf(stderr, "missing symbols\n");
    return 1;
  }

  void* factory = entry();
  CHECK(factory != NULL);
  if (factory == NULL) return 1;
  CHECK(VT(factory, FactoryVtbl)->AddRef(factory) == 2);
  CHECK(VT(factory, FactoryVtbl)->Release(factory) == 1);

  void* params = NULL;
  CHECK(VT(factory, FactoryVtbl)->QueryInterface(factory, &kSolverParameters, &params) == 0);
  if (params != NULL) {
    check_parameters(params);
    CHECK(VT(params, ParametersVtbl)->Release(params) == 1);
  }
  check_solver(factory);
  CHECK(VT(factory, FactoryVtbl)->Release(factory) == 0);
  vorn_library_close(module);
  vorn_library_close(services);
  if (failures == 0) printf("C host: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
