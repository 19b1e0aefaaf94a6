// The factorization and solution phases for a caller inside the library that
// keeps the MA57 arrays in a workspace of its own and answers for what they
// hold between the phases: the least-squares routine, whose IW holds the
// analysis (KEEP) and the factors (IFACT) and whose contents its own caller
// must leave alone. The phases' argument checks run; the checks of what one
// phase handed the next do not (the analysis stamp and the checksums of KEEP,
// the pivot order and the map, finite values of A, a resumption, the
// structure of the factors), since they would guard, at a cost in every step,
// only a part of a workspace that is trusted as a whole. The factorization
// still refuses factors that are not finite (-8), which is a numerical result
// rather than a check of the caller. Arguments as for MA57BD and MA57CD
// (pemric/ma57.h).
#pragma once

#include <cstdint>

namespace pemric {

void MA57FactorizeTrusted(const int32_t* N,
                          const int32_t* NE,
                          const double* A,
                          double* FACT,
                          const int32_t* LFACT,
                          int32_t* IFACT,
                          const int32_t* LIFACT,
                          const int32_t* LKEEP,
                          int32_t* KEEP,
                          int32_t* PIVSEQ,
                          const int32_t* ICNTL,
                          const double* CNTL,
                          int32_t* INFO,
                          double* RINFO);

void MA57SolveTrusted(const int32_t* JOB,
                      const int32_t* N,
                      const double* FACT,
                      const int32_t* LFACT,
                      const int32_t* IFACT,
                      const int32_t* LIFACT,
                      const int32_t* NRHS,
                      double* RHS,
                      const int32_t* LRHS,
                      double* W,
                      const int32_t* LW,
                      int32_t* IWBLK,
                      const int32_t* ICNTL,
                      int32_t* INFO);

}  // namespace pemric
