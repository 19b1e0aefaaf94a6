// MUMPS's own controls, at the positions its documentation counts from 1,
// for the benchmarks that run it as a peer.
#pragma once

#include <dmumps_c.h>

enum MumpsControl : int {
  kMumpsErrorStream = 1,
  kMumpsWarningStream = 2,
  kMumpsInfoStream = 3,
  kMumpsPrintLevel = 4,
  kMumpsOrdering = 7,  // 0 AMD, 1 the caller's PERM_IN, 5 METIS
};

inline MUMPS_INT& Icntl(DMUMPS_STRUC_C& id, MumpsControl k) { return id.icntl[k - 1]; }
