// Internal routines of the numerical factorization and of the solution phase.
//
// The factorization keeps its factors in two caller-owned arrays (FACT reals,
// IFACT integers). After a successful factorization they hold, in this order:
//
//   IFACT(1) = r + 1    first position of the 2x2 off-diagonal area in FACT
//   IFACT(2) = r + t    last position of that area (r when t = 0)
//   IFACT(3) = b        number of block pivots
//   IFACT(4..)          b records: c, p, then c variables (pivots first, the
//                       two members of a 2x2 pivot negated)
//   FACT(1..r)          per block: the p x p pivot block by rows, upper
//                       triangle (diagonal of D^-1, then the multipliers), then
//                       the p x (c - p) rectangle of negated multipliers
//   FACT(r+1..r+t)      the off-diagonal of D^-1 for each 2x2 pivot
//
// Example: the 2x2 matrix [[a, b], [b, c]] taken as one 2x2 pivot gives
//   IFACT = 4, 4, 1, 2, 2, -1, -2   and   FACT = c/det, 0, a/det, -b/det.
#pragma once

#include <cstdint>

namespace pemric {

// Positions of the header words of IFACT, and of the first block record.
enum FactorHeader : int {
  kIfactAreaFirst = 1,  // first position of the 2x2 off-diagonal area in FACT
  kIfactAreaLast = 2,   // its last position
  kIfactBlocks = 3,     // number of block pivots
  kIfactRecords = 4,    // the first block record
};

// The arrays and controls of one factorization, as the kernel takes them.
//   n         order
//   m         entries of the permuted matrix (KEEP(N+2))
//   fact      in/out (la) input rows at the top on entry; factors on exit
//   la        usable length of fact
//   ifact     in/out (lifact) column indices at the top on entry; factors on exit
//   rowlen    in (n) entries of each row of the permuted matrix
//   pivseq    in (n) variables in pivot order
//   nnodes    nodes of the assembly tree
//   nchild    in (nnodes) children of each node
//   varnode   in (n) node of each variable (absolute value)
//   moddiag   in/out (n) modification data, mode 4 only
//   modscal   in/out (5) modification scalars, mode 4 only
//   frontpos  work (n) front position of each variable
//   cntl, icntl  in (5), (20) controls
//   info, rinfo  out (40), (20) information
//   saved     in/out (40) state of a suspended factorization
struct FrontalArgs {
  int32_t n = 0;
  int32_t m = 0;
  double* fact = nullptr;
  int64_t la = 0;
  int32_t* ifact = nullptr;
  int32_t lifact = 0;
  const int32_t* rowlen = nullptr;
  const int32_t* pivseq = nullptr;
  int32_t nnodes = 0;
  const int32_t* nchild = nullptr;
  const int32_t* varnode = nullptr;
  double* moddiag = nullptr;
  double* modscal = nullptr;
  int32_t* frontpos = nullptr;
  const double* cntl = nullptr;
  const int32_t* icntl = nullptr;
  int32_t* info = nullptr;
  double* rinfo = nullptr;
  int32_t* saved = nullptr;
};

// Numerical work of the factorization: assembly, pivoting, elimination and
// stacking along the assembly tree (multifrontal method of Duff and Reid),
// with the space management of two-ended FACT and IFACT workspaces.
// Outcomes in info(1): 0, 4 (singular), 10/11 (suspended), -3, -4, -5, -6.
void MA57FrontalFactor(const FrontalArgs& args);

// Final pass over the stored blocks: moves the off-diagonal of each 2x2 pivot,
// stored negated like the pivot blocks' multipliers (which are stored with
// their own sign; the rectangles keep the negated ones), into the area that
// starts at next + 1 with its sign restored.
void MA57FinishFactors(double* fact, int64_t la, const int32_t* ifact, int32_t lifact, int64_t next);

// Moves the entries top+1..j1-1 of a workspace up by j2 - j1 (highest first),
// reclaiming the consumed input j1..j2-1 for the stack; then top += j2 - j1 and
// j1 = j2. Does nothing when j1 = j2.
void MA57CompressStack(double* fact, int32_t* ifact, int64_t& top, int64_t& j1, int64_t j2, bool real);

// Writes the factors to stream icntl(3), numbers (print level 3: first block
// only; other levels: all blocks) or, at level 5, a map of the nonzeros.
void MA57PrintFactors(const double* fact,
                      int32_t lfact,
                      const int32_t* ifact,
                      int32_t lifact,
                      const int32_t* icntl);

}  // namespace pemric
