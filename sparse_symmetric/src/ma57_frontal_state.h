// Working state of one call of the frontal factorization kernel, shared by
// its parts (node loop, pivoting, workspace management, finish). A suspended
// factorization keeps what it needs of this state in KEEP(N+3..N+42).
#pragma once

#include <cstdint>
#include <limits>

namespace pemric {
namespace ma57 {

// 64-bit size arithmetic that saturates instead of wrapping, so that space
// checks on huge fronts fail cleanly.
constexpr int64_t kSizeMax = std::numeric_limits<int64_t>::max() / 4;
// Fronts and blocks up to this order are cleared and copied whole or element
// by element: for them a library call per row costs more than the data.
constexpr int64_t kSmallFront = 16;
inline int64_t SatAdd(int64_t a, int64_t b) {
  const int64_t r = a + b;  // operands are kept below kSizeMax, so no overflow
  return r > kSizeMax ? kSizeMax : r;
}
inline int32_t SatInt32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}
inline int64_t Triangle(int64_t k) { return k * (k + 1) / 2; }

struct FrontalState {
  // Arguments (arrays used 1-based through the accessors below).
  int32_t n = 0;
  int32_t m = 0;                   // entries of the permuted matrix
  double* fact = nullptr;
  int64_t la = 0;                  // usable length of fact
  int32_t* ifact = nullptr;
  int64_t lifact = 0;
  const int32_t* rowlen = nullptr;
  const int32_t* pivseq = nullptr;
  int32_t nnodes = 0;
  const int32_t* nchild = nullptr;
  const int32_t* varnode = nullptr;
  double* moddiag = nullptr;
  double* modscal = nullptr;
  int32_t* frontpos = nullptr;     // > n: in no front; <= n: position (or last one)
  int32_t* info = nullptr;
  double* rinfo = nullptr;
  int32_t* saved = nullptr;

  // Controls.
  double u = 0.0;                  // pivot threshold, in [0, 0.5]
  double tol = 0.0;                // |pivot| <= tol counts as zero
  int32_t lp = 6, wp = 6, level = 0;
  int32_t mode = 1;                // ICNTL(7), 1..4
  int32_t nb = 16;                 // block size, >= 1
  bool suspend = false;            // ICNTL(8) != 0

  // Positions in fact and ifact, 1-based.
  int64_t nextfac = 1;             // next free factor position
  int64_t vnext = 1;               // nextfac as it would be had every factor been stored
  int64_t frontstart = 1;          // F(1,1) of the current front
  int64_t rtop = 0, rin0 = 0, rin = 0;  // real stack top, reclaimable and unassembled input
  int64_t recpos = 6;              // index list of the current front
  int64_t itop = 0, iin0 = 0, iin = 0;  // the same for ifact

  // Progress.
  int32_t node = 1;                // current tree node
  int32_t ntaken = 0;              // variables taken from pivseq so far
  int32_t o = 0, f = 0, s = 0;     // own, front and fully summed variables of the node
  int32_t p = 0;                   // pivots chosen at the current node
  int32_t nsteps = 0;              // pivot steps over all nodes
  int32_t nblocks = 0, n2x2 = 0, nneg = 0, maxfront = 0;
  int32_t rcompress = 0, icompress = 0;
  int32_t refsign = 0;             // sign of the first pivot (modes 2 and 3)
  int32_t modphase = 1;            // mode 4: 1 until the matrix needs modifying, then 2
  bool counting = false;           // real space ran out: only forecasts continue

  // Running sizes and the four forecasts.
  int64_t rc = 0, rw = 0, ic = 0, iw = 0, rstack = 0, istack = 0;
  int64_t fr_c = 0, fr_w = 0, fi_c = 0, fi_w = 0;

  // Operation counts (RINFO(3), (4), (5)).
  double ops_assembly = 0.0, ops_elim = 0.0, ops_blas = 0.0;

  double& Fact(int64_t k) { return fact[k - 1]; }
  int32_t& Ifact(int64_t k) { return ifact[k - 1]; }
  int32_t& Info(int k) { return info[k - 1]; }
  double& Rinfo(int k) { return rinfo[k - 1]; }
  int32_t& Saved(int k) { return saved[k - 1]; }
  int32_t& FrontPos(int32_t v) { return frontpos[v - 1]; }
  // Front entry F(i, j), row i stored contiguously from frontstart.
  double* Front() { return fact + (frontstart - 1); }
  double& F(int64_t i, int64_t j) { return fact[frontstart - 1 + (i - 1) * f + (j - 1)]; }
  // Variable at front position i (negated for a member of a 2x2 pivot).
  int32_t& Index(int64_t i) { return ifact[recpos - 1 + (i - 1)]; }
};

// Parts of the kernel, defined in separate files.
// Pivot choice and elimination of the fully summed variables (p set on exit).
// Returns 0, or -5 / -6 with INFO set and the message printed.
int32_t EliminateFront(FrontalState& st);
// Contribution block of the current front onto the real stack (rows p+1..f
// fully updated), with the multipliers of the non-fully-summed columns formed.
void StackContribution(FrontalState& st);
// Space management.
void UpdateRealForecasts(FrontalState& st);
void UpdateIntegerForecasts(FrontalState& st);
bool RealSpaceTest(FrontalState& st);      // false: suspended or failed, return
bool IntegerSpaceTest(FrontalState& st);   // false: suspended or failed, return
void SaveState(FrontalState& st, int32_t reason);
void RestoreState(FrontalState& st);
void EndCounting(FrontalState& st);
int64_t ModificationReserve(const FrontalState& st);  // n + 5 in mode 4, else 0

}  // namespace ma57
}  // namespace pemric
