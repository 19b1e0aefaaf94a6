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

int64_t ModificationReserve(const FrontalState& st) {
  return st.mode == MA57_PIVOT_MODIFIED ? st.n + 5 : 0;
}

bool MakeRealSpace(FrontalState& st) {
  const int64_t f2 = static_cast<int64_t>(st.f) * st.f;
  MA57CompressStack(st.fact.data(), st.ifact.data(), st.rtop, st.rin0, st.rin, true);
  st.rcompress += 1;
  if (SatAdd(st.frontstart, f2) - 1 <= st.rtop) return true;
  if (st.suspend) {
    SaveState(st, kForRealSpace);
    st.info(MA57_INFO_STATUS) = MA57_SUSPENDED_REAL;
    return false;
  }
  // Out of real space: go on without storing factors, to complete the forecast.
  st.counting = true;
  st.info(MA57_INFO_STATUS) = MA57_ERR_LFACT;
  st.frontstart = 1;
  st.nextfac = 1;
  if (f2 > st.rtop) {
    st.info(MA57_INFO_VALUE) = SatInt32(st.la);
    st.info(MA57_INFO_MIN_LFACT_COMPRESS) =
        SatInt32(st.real_forecast_compress + ModificationReserve(st));
    return false;
  }
  return true;
}

bool MakeIntegerSpace(FrontalState& st) {
  MA57CompressStack(st.fact.data(), st.ifact.data(), st.itop, st.iin0, st.iin, false);
  st.icompress += 1;
  if (IntegerSpaceFits(st, st.n)) return true;
  if (st.suspend) {
    SaveState(st, kForIntegerSpace);
    st.info(MA57_INFO_STATUS) = MA57_SUSPENDED_INTEGER;
    return false;
  }
  st.info(MA57_INFO_STATUS) = MA57_ERR_LIFACT;
  st.info(MA57_INFO_VALUE) = SatInt32(st.lifact);
  st.info(MA57_INFO_MIN_LIFACT_COMPRESS) = SatInt32(st.int_forecast_compress);
  return false;
}

void EndCounting(FrontalState& st) {
  // What the finishing steps would still write: trailing 1x1 blocks of a
  // singular matrix and the 2x2 off-diagonal area.
  const int64_t missing = st.n - st.nsteps;
  st.real_forecast_compress = std::max(st.real_forecast_compress, st.vnext - 1 + missing + st.n2x2);
  st.int_forecast_compress = std::max(st.int_forecast_compress, st.recpos - 3 + 3 * missing);
  st.info(MA57_INFO_STATUS) = MA57_ERR_LFACT;
  st.info(MA57_INFO_VALUE) = SatInt32(st.la);
  st.info(MA57_INFO_MIN_LFACT_COMPRESS) =
      SatInt32(st.real_forecast_compress + ModificationReserve(st));
  st.info(MA57_INFO_MIN_LIFACT_COMPRESS) = SatInt32(st.int_forecast_compress);
}

// What a suspended factorization keeps in KEEP(N+3..N+42): one slot per
// member of the state, saved and restored from this one table (64-bit
// positions and sizes saturate to 32 bits when saved). Slot 1 holds the
// Suspension, slot 4 INFO(23), slot 27 the node's children (real space) or
// its pivots (integer space); slots 5, 26 and 37..40 are unused. The
// operation counts are kept in RINFO(3..5).
struct SavedSlot {
  constexpr SavedSlot(int position, int32_t FrontalState::*member)
      : slot(position), narrow(member) {}
  constexpr SavedSlot(int position, int64_t FrontalState::*member)
      : slot(position), wide(member) {}
  int slot;
  int32_t FrontalState::*narrow = nullptr;
  int64_t FrontalState::*wide = nullptr;
};

constexpr int kSlotDelayed = 4;
constexpr int kSlotChildrenOrPivots = 27;
constexpr SavedSlot kSavedSlots[] = {
    {2, &FrontalState::nblocks},
    {3, &FrontalState::n2x2},
    {6, &FrontalState::nneg},
    {7, &FrontalState::maxfront},
    {8, &FrontalState::recpos},
    {9, &FrontalState::frontstart},
    {10, &FrontalState::nextfac},
    {11, &FrontalState::real_held_compress},
    {12, &FrontalState::int_held_compress},
    {13, &FrontalState::rin0},
    {14, &FrontalState::iin0},
    {15, &FrontalState::itop},
    {16, &FrontalState::rtop},
    {17, &FrontalState::int_forecast_compress},
    {18, &FrontalState::real_forecast_compress},
    {19, &FrontalState::iin},
    {20, &FrontalState::rin},
    {21, &FrontalState::nsteps},
    {22, &FrontalState::ntaken},
    {23, &FrontalState::o},
    {24, &FrontalState::f},
    {25, &FrontalState::s},
    {28, &FrontalState::node},
    {29, &FrontalState::int_forecast_plain},
    {30, &FrontalState::real_forecast_plain},
    {31, &FrontalState::real_held_plain},
    {32, &FrontalState::int_held_plain},
    {33, &FrontalState::real_stack},
    {34, &FrontalState::int_stack},
    {35, &FrontalState::refsign},
    {36, &FrontalState::modphase},
};

void SaveState(FrontalState& st, Suspension reason) {
  for (const SavedSlot& slot : kSavedSlots) {
    st.saved(slot.slot) = slot.narrow != nullptr ? st.*slot.narrow : SatInt32(st.*slot.wide);
  }
  st.saved(kSavedReason) = reason;
  st.saved(kSlotDelayed) = st.delayed;
  // A real-space suspension resumes before the node's assembly, an integer
  // one after its elimination, with the pivots already chosen.
  st.saved(kSlotChildrenOrPivots) = reason == kForRealSpace ? st.nchild(st.node) : st.p;
  st.rinfo(MA57_RINFO_ASSEMBLY_OPS) = st.ops_assembly;
  st.rinfo(MA57_RINFO_ELIMINATION_OPS) = st.ops_elim;
  st.rinfo(MA57_RINFO_BLAS_EXTRA_OPS) = st.ops_blas;
}

void RestoreState(FrontalState& st) {
  for (const SavedSlot& slot : kSavedSlots) {
    if (slot.narrow != nullptr) {
      st.*slot.narrow = st.saved(slot.slot);
    } else {
      st.*slot.wide = st.saved(slot.slot);
    }
  }
  const int32_t reason = st.saved(kSavedReason);
  st.info(MA57_INFO_STATUS) = MA57_SUCCESS;
  st.delayed = st.saved(kSlotDelayed);
  st.p = reason == kForIntegerSpace ? st.saved(kSlotChildrenOrPivots) : 0;
  st.vnext = st.nextfac;
  st.rcompress = st.icompress = 0;
  st.ops_assembly = st.rinfo(MA57_RINFO_ASSEMBLY_OPS);
  st.ops_elim = st.rinfo(MA57_RINFO_ELIMINATION_OPS);
  st.ops_blas = st.rinfo(MA57_RINFO_BLAS_EXTRA_OPS);
  st.saved(kSavedReason) = kNotSuspended;
}

}  // namespace ma57
}  // namespace pemric
