// The host services library (vorn_services): text allocation across the
// module boundary, version texts and the reservation of numbered output
// streams ("Fortran logical units").
#pragma once

#include <cstdint>

#include "vorn/host_interfaces.h"

// Every function is static and uses the interfaces' convention VORN_CALL:
// __stdcall on 32-bit Windows. A host's own services library must declare
// them exactly so; built with the Microsoft toolchain it then exports the
// names listed in vorn_services_msvc.def (host_interface/ in the sources).
#if defined(_WIN32)
#if defined(VORN_SERVICES_DEF_EXPORTS)
// Built with a module-definition file that names the exports itself (the
// stand-in that exports the Microsoft names only).
#define VORN_SERVICES_API
#elif defined(VORN_SERVICES_BUILD)
#define VORN_SERVICES_API __declspec(dllexport)
#else
#define VORN_SERVICES_API __declspec(dllimport)
#endif
#else
#define VORN_SERVICES_API __attribute__((visibility("default")))
#endif

class VORN_SERVICES_API VornServices {
 public:
  // The size of the version buffer a caller of GetDLLVersionNumber provides,
  // terminator included. The service never writes more.
  static constexpr int32_t kVersionTextSize = 12;

  // A host-owned buffer of `size` bytes (at least 1), or null when the heap
  // is exhausted. The receiver frees it with FreeString.
  static char* VORN_CALL AllocateString(int32_t size);
  // Frees a text from AllocateString. Null is ignored.
  static void VORN_CALL FreeString(char* text);
  // Writes the version text of the library `file` into `buffer`: at most
  // kVersionTextSize bytes including the terminating zero. Returns 0, or -1
  // (buffer then holds "") for a null file name.
  static int32_t VORN_CALL GetDLLVersionNumber(const char* file, char* buffer);
  // Reserves output stream `unit`. True when it was free (1..99, and neither
  // 5 nor 6, which the host keeps for its console) and is now reserved;
  // records written to it land in the file "fort" + unit.
  static bool VORN_CALL ReserveFortranLogicalUnit(int32_t unit);
  // Ends a reservation. Units not reserved are ignored.
  static void VORN_CALL FreeFortranLogicalUnit(int32_t unit);
};
