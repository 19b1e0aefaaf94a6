/* Shared declarations of the numeric routines' C-callable interface.
 *
 * Every routine takes each argument by reference (a pointer), indexes arrays
 * from 1 in the positions it documents, allocates nothing, and reports through
 * its INFO array. Integers are signed 32-bit. The one exception to the rule on
 * allocation: when BLAS runs several threads, MA57BD starts helper threads
 * for large fronts, once for the process (see ma57.h). */
#ifndef PEMRIC_COMMON_H
#define PEMRIC_COMMON_H

#include <stdint.h>

#if defined(_WIN32)
#define PEMRIC_API
#else
#define PEMRIC_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The indices of MachineConstant. */
enum {
  MACHINE_EPSILON = 1,      /* relative machine precision (stored as 0x3CB0000000000002) */
  MACHINE_HALF_EPSILON = 2, /* half of it */
  MACHINE_TINY = 3,         /* the smallest normalised number */
  MACHINE_TINY_AGAIN = 4,   /* the smallest normalised number again */
  MACHINE_HUGE = 5          /* the largest finite number */
};

/* One of five stored double constants, I = 1..5 (the indices above).
 * Any other I writes "ID05A-F-out of range" list-directed to stream 6 and
 * returns an unspecified value (here 0.0). */
PEMRIC_API double MachineConstant(const int32_t* I);

#ifdef __cplusplus
}
#endif

#endif
