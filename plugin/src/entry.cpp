// The module's only export: the host loads the module, looks this up by name
// and calls it once to obtain the solver factory.
#include "dalvex/entry.h"

#include "factory.h"

extern "C" VornFactoryNLASystem* VORN_CALL GetFactoryNLASystem() noexcept {
  try {
    return Dalvex_FactoryNLASystem::Create();
  } catch (...) {
    return nullptr;
  }
}
