// The plug-in's one export. Hosts load the module and look the entry up by
// name (vorn/host_interfaces.h gives its type); this declaration serves the
// programs that link the plug-in in-process instead (the fuzz targets).
#pragma once

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
extern "C" DALVEX_EXPORT VornFactoryNLASystem* VORN_CALL GetFactoryNLASystem() noexcept;
