// Space management of the frontal factorization: compaction of the stacks,
// the four storage forecasts, counting mode and suspension.
//
// The stack of contribution blocks sits just below the input rows that are
// not yet assembled. Input rows are consumed from the low end, so the space
// of the consumed rows (rin0..rin-1) lies between the stack and the live
// input; a compress moves the stack up over it:
//
//   before: [.. front | free | stack | consumed | input ]
//   after:  [.. front | free          | stack   | input ]
#include <algorithm>
#include <cstring>

#include "ma57_frontal.h"
#include "ma57_frontal_state.h"

namespace pemric {

void MA57CompressStack(double* fact, int32_t* ifact, int64_t& top, int64_t& j1, int64_t j2, bool real) {
  if (j1 == j2) return;
  const int64_t shift = j2 - j1;
  const int64_t count = j1 - 1 - top;  // entries top+1 .. j1-1
  if (count > 0) {
    // memmove copies as if through a buffer, which for an upward move is the
    // highest-first order.
    if (real) {
      std::memmove(fact + top + shift, fact + top, sizeof(double) * static_cast<size_t>(count));
    } else {
      std::memmove(ifact + top + shift, ifact + top, sizeof(int32_t) * static_cast<size_t>(count));
    }
  }
  top += shift;
  j1 = j2;
}

namespace ma57 {

int64_t ModificationReserve(const FrontalState& st) { return st.mode == 4 ? st.n + 5 : 0; }

// The front of the current node as it would be placed had every factor been
// stored: the forecasts stay valid for a rerun even in counting mode, where
// fronts are actually placed at position 1.
void UpdateRealForecasts(FrontalState& st) {
  const int64_t f2 = static_cast<int64_t>(st.f) * st.f;
  const int64_t end = SatAdd(SatAdd(st.vnext, Triangle(st.s)), f2 - 1);
  st.fr_c = std::max(st.fr_c, SatAdd(end, st.rc));
  st.fr_w = std::max(st.fr_w, SatAdd(end, st.rw));
}

void UpdateIntegerForecasts(FrontalState& st) {
  const int64_t list_end = st.recpos + st.f - 1;
  if (st.node == st.nnodes) {
    st.fi_c = std::max(st.fi_c, list_end + st.ic);
    st.fi_w = std::max(st.fi_w, list_end + st.iw);
    return;
  }
  const int64_t reserve = static_cast<int64_t>(st.n - st.nsteps) + list_end + 2;
  st.fi_c = std::max(st.fi_c, st.ic + reserve);
  st.fi_w = std::max(st.fi_w, st.iw + reserve);
}

bool RealSpaceTest(FrontalState& st) {
  st.frontstart = st.counting ? 1 : SatAdd(st.nextfac, Triangle(st.s));
  UpdateRealForecasts(st);
  const int64_t f2 = static_cast<int64_t>(st.f) * st.f;
  if (SatAdd(st.frontstart, f2) - 1 <= st.rtop) return true;
  MA57CompressStack(st.fact, st.ifact, st.rtop, st.rin0, st.rin, true);
  st.rcompress += 1;
  if (SatAdd(st.frontstart, f2) - 1 <= st.rtop) return true;
  if (st.suspend) {
    SaveState(st, 1);
    st.Info(1) = 10;
    return false;
  }
  // Out of real space: go on without storing factors, to complete the forecast.
  st.counting = true;
  st.Info(1) = -3;
  st.frontstart = 1;
  st.nextfac = 1;
  if (f2 > st.rtop) {
    st.Info(2) = SatInt32(st.la);
    st.Info(17) = SatInt32(st.fr_c + ModificationReserve(st));
    return false;
  }
  return true;
}

bool IntegerSpaceTest(FrontalState& st) {
  const int64_t g = st.f - st.p;
  const int64_t need =
      (g > 0 ? g + 1 : 0) + static_cast<int64_t>(st.n - st.nsteps) + st.recpos + st.f + 1;
  if (need <= st.itop) return true;
  MA57CompressStack(st.fact, st.ifact, st.itop, st.iin0, st.iin, false);
  st.icompress += 1;
  if (need <= st.itop) return true;
  if (st.suspend) {
    SaveState(st, 2);
    st.Info(1) = 11;
    return false;
  }
  st.Info(1) = -4;
  st.Info(2) = SatInt32(st.lifact);
  st.Info(18) = SatInt32(st.fi_c);
  return false;
}

void EndCounting(FrontalState& st) {
  // What the finishing steps would still write: trailing 1x1 blocks of a
  // singular matrix and the 2x2 off-diagonal area.
  const int64_t missing = st.n - st.nsteps;
  st.fr_c = std::max(st.fr_c, st.vnext - 1 + missing + st.n2x2);
  st.fi_c = std::max(st.fi_c, st.recpos - 3 + 3 * missing);
  st.Info(1) = -3;
  st.Info(2) = SatInt32(st.la);
  st.Info(17) = SatInt32(st.fr_c + ModificationReserve(st));
  st.Info(18) = SatInt32(st.fi_c);
}

void SaveState(FrontalState& st, int32_t reason) {
  st.Saved(1) = reason;
  st.Saved(2) = st.nblocks;
  st.Saved(3) = st.n2x2;
  st.Saved(4) = st.Info(23);
  st.Saved(6) = st.nneg;
  st.Saved(7) = st.maxfront;
  st.Saved(8) = SatInt32(st.recpos);
  st.Saved(9) = SatInt32(st.frontstart);
  st.Saved(10) = SatInt32(st.nextfac);
  st.Saved(11) = SatInt32(st.rc);
  st.Saved(12) = SatInt32(st.ic);
  st.Saved(13) = SatInt32(st.rin0);
  st.Saved(14) = SatInt32(st.iin0);
  st.Saved(15) = SatInt32(st.itop);
  st.Saved(16) = SatInt32(st.rtop);
  st.Saved(17) = SatInt32(st.fi_c);
  st.Saved(18) = SatInt32(st.fr_c);
  st.Saved(19) = SatInt32(st.iin);
  st.Saved(20) = SatInt32(st.rin);
  st.Saved(21) = st.nsteps;
  st.Saved(22) = st.ntaken;
  st.Saved(23) = st.o;
  st.Saved(24) = st.f;
  st.Saved(25) = st.s;
  st.Saved(27) = reason == 1 ? st.nchild[st.node - 1] : st.p;
  st.Saved(28) = st.node;
  st.Saved(29) = SatInt32(st.fi_w);
  st.Saved(30) = SatInt32(st.fr_w);
  st.Saved(31) = SatInt32(st.rw);
  st.Saved(32) = SatInt32(st.iw);
  st.Saved(33) = SatInt32(st.rstack);
  st.Saved(34) = SatInt32(st.istack);
  st.Saved(35) = st.refsign;
  st.Saved(36) = st.modphase;
  st.Rinfo(3) = st.ops_assembly;
  st.Rinfo(4) = st.ops_elim;
  st.Rinfo(5) = st.ops_blas;
}

void RestoreState(FrontalState& st) {
  const int32_t reason = st.Saved(1);
  st.Info(1) = 0;
  st.nblocks = st.Saved(2);
  st.n2x2 = st.Saved(3);
  st.Info(23) = st.Saved(4);
  st.nneg = st.Saved(6);
  st.maxfront = st.Saved(7);
  st.recpos = st.Saved(8);
  st.frontstart = st.Saved(9);
  st.nextfac = st.Saved(10);
  st.vnext = st.nextfac;
  st.rc = st.Saved(11);
  st.ic = st.Saved(12);
  st.rin0 = st.Saved(13);
  st.iin0 = st.Saved(14);
  st.itop = st.Saved(15);
  st.rtop = st.Saved(16);
  st.fi_c = st.Saved(17);
  st.fr_c = st.Saved(18);
  st.iin = st.Saved(19);
  st.rin = st.Saved(20);
  st.nsteps = st.Saved(21);
  st.ntaken = st.Saved(22);
  st.o = st.Saved(23);
  st.f = st.Saved(24);
  st.s = st.Saved(25);
  st.p = reason == 2 ? st.Saved(27) : 0;
  st.node = st.Saved(28);
  st.fi_w = st.Saved(29);
  st.fr_w = st.Saved(30);
  st.rw = st.Saved(31);
  st.iw = st.Saved(32);
  st.rstack = st.Saved(33);
  st.istack = st.Saved(34);
  st.refsign = st.Saved(35);
  st.modphase = st.Saved(36);
  st.rcompress = st.icompress = 0;
  st.ops_assembly = st.Rinfo(3);
  st.ops_elim = st.Rinfo(4);
  st.ops_blas = st.Rinfo(5);
  st.Saved(1) = 0;
}

}  // namespace ma57
}  // namespace pemric
