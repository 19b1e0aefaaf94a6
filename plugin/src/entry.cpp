// The module's only export: the host loads the module, looks this up by name
// and calls it once to obtain the solver factory.
#include "factory.h"
#include "vorn/host_interfaces.h"

#if defined(_WIN32)
// Exported by the module-definition file vorn_dalvex.def, which gives the
// entry its plain name; __declspec(dllexport) would add the decorated one.
#define DALVEX_EXPORT
#else
#define DALVEX_EXPORT __attribute__((visibility("default")))
#endif

// A new factory's VornFactoryNLASystem face with one reference, owned by the
// caller; null when the heap is exhausted.
extern "C" DALVEX_EXPORT VornFactoryNLASystem* VORN_CALL GetFactoryNLASystem() noexcept {
  try {
    return Dalvex_FactoryNLASystem::Create();
  } catch (...) {
    return nullptr;
  }
}
