// The multifrontal node loop of the numerical factorization (Duff and Reid,
// ACM TOMS 9, 1983): for every node of the assembly tree, in order, gather the
// front's variables, assemble the input rows and the children's contribution
// blocks into a dense front, eliminate what the pivoting allows, stack the
// Schur complement for the parent and store the factors.
//
// FACT is used from both ends:
//   [factors | gap | front f x f | free | stack (grows down) | unassembled input]
// and IFACT likewise:
//   [3 header words | block records | current index list | free | stack | input]
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "ma57_front_ops.h"
#include "ma57_frontal.h"
#include "ma57_node_loop.h"
#include "ma57_frontal_state.h"
#include "ma57_threads.h"
#include "pemric/common.h"
#include "pemric/record.h"

namespace pemric {
namespace ma57 {
namespace {

void StartFresh(FrontalState& st) {
  // What a fresh factorization clears of INFO and RINFO; the rest it either
  // sets at the end or leaves alone.
  for (int k : {MA57_INFO_STATUS, MA57_INFO_VALUE, MA57_INFO_MIN_LFACT_COMPRESS, MA57_INFO_DELAYED,
                MA57_INFO_SIGN_CHANGES, MA57_INFO_FIRST_MODIFIED}) {
    st.info(k) = 0;
  }
  for (int k : {MA57_RINFO_ASSEMBLY_OPS, MA57_RINFO_ELIMINATION_OPS, MA57_RINFO_BLAS_EXTRA_OPS,
                MA57_RINFO_SMALLEST_MODIFIED_PIVOT}) {
    st.rinfo(k) = 0.0;
  }
  for (int32_t v = 1; v <= st.n; ++v) st.frontpos(v) = st.n + 1;
  for (int k = 1; k < kIfactRecords + 2; ++k) st.ifact(k) = 0;  // header and first record's counts
  st.rtop = st.la - st.m;
  st.rin0 = st.rin = st.la - st.m + 1;
  st.itop = st.lifact - st.m;
  st.iin0 = st.iin = st.lifact - st.m + 1;
  st.real_held_compress = st.real_held_plain = st.int_held_compress = st.int_held_plain = st.m;
  st.real_forecast_compress = st.real_forecast_plain = st.m;
  st.int_forecast_compress = st.int_forecast_plain = static_cast<int64_t>(st.n) + st.m + 5;
  if (st.mode != MA57_PIVOT_MODIFIED) return;
  // Modified Cholesky: predicted diagonal of every variable and the scalars.
  // Plain 0-based sweeps over the three arrays of N.
  double* moddiag = st.moddiag.data();
  const int32_t* pivseq = st.pivseq.data();
  const int32_t* rowlen = st.rowlen.data();
  for (int32_t v = 0; v < st.n; ++v) moddiag[v] = 0.0;
  int64_t pos = 0;
  for (int32_t r = 0; r < st.n; ++r) {
    const int32_t v = pivseq[r];
    for (int32_t k = 0; k < rowlen[r]; ++k, ++pos) {
      if (st.ifact(st.iin + pos) == v) moddiag[v - 1] += st.fact(st.rin + pos);
    }
  }
  double big = 0.0, small = 0.0;
  for (int32_t v = 0; v < st.n; ++v) {
    big = std::max(big, std::fabs(moddiag[v]));
    small = std::min(small, moddiag[v]);
  }
  const int32_t eps_i = MACHINE_EPSILON, huge_i = MACHINE_HUGE;
  // The single-precision constants 1/3 and 0.1, widened.
  st.modscal(kModLargestDiagonal) = big;
  st.modscal(kModRelativeFloor) = std::pow(MachineConstant(&eps_i), 0.3333333432674408);
  st.modscal(kModNegativeAllowance) = 0.10000000149011612;
  st.modscal(kModLargestPredicted) = big;
  st.modscal(kModSmallestPredicted) = small;
  st.rinfo(MA57_RINFO_SMALLEST_MODIFIED_PIVOT) = MachineConstant(&huge_i);
  st.modphase = kUnmodified;
}

// Finishing steps after the last node: trailing 1x1 blocks of a singular
// matrix, header words, 2x2 area, statistics. Returns false when FACT or IFACT
// cannot hold what the finish writes (-3 / -4 with a forecast that suffices).
bool Finish(FrontalState& st) {
  int64_t r = st.nextfac - 1;
  int64_t ilen = st.recpos - 3;
  const int32_t missing = st.n - st.nsteps;
  const int64_t need_real = r + missing + st.n2x2;
  const int64_t need_int = ilen + 3 * static_cast<int64_t>(missing);
  st.real_forecast_compress = std::max(st.real_forecast_compress, need_real);
  st.real_forecast_plain = std::max(st.real_forecast_plain, need_real);
  st.int_forecast_compress = std::max(st.int_forecast_compress, need_int);
  st.int_forecast_plain = std::max(st.int_forecast_plain, need_int);
  if (need_real > st.la) {
    st.info(MA57_INFO_STATUS) = MA57_ERR_LFACT;
    st.info(MA57_INFO_VALUE) = SatInt32(st.la);
    st.info(MA57_INFO_MIN_LFACT_COMPRESS) =
        SatInt32(st.real_forecast_compress + ModificationReserve(st));
    return false;
  }
  if (need_int > st.lifact) {
    st.info(MA57_INFO_STATUS) = MA57_ERR_LIFACT;
    st.info(MA57_INFO_VALUE) = SatInt32(st.lifact);
    st.info(MA57_INFO_MIN_LIFACT_COMPRESS) = SatInt32(st.int_forecast_compress);
    return false;
  }
  if (missing > 0) {
    st.info(MA57_INFO_STATUS) = MA57_WARN_SINGULAR;
    // This warning already shows at print level 1.
    if (st.level >= 1 && st.wp >= 0) {
      Record{st.wp};
      Record(st.wp)
          .Text("*** Warning message from routine MA57BD **")
          .Text("   INFO(1) =")
          .I(MA57_WARN_SINGULAR, 2)
          .Slash()
          .X(5)
          .Text("Matrix is singular, rank =")
          .I(st.nsteps, 5);
    }
    for (int32_t v = 1; v <= st.n; ++v) st.frontpos(v) = 0;
    for (int64_t pos = kIfactRecords, b = 0; b < st.nblocks; ++b) {
      const int32_t c = st.ifact(pos), piv = st.ifact(pos + 1);
      for (int32_t k = 0; k < piv; ++k) st.frontpos(std::abs(st.ifact(pos + 2 + k))) = 1;
      pos += c + 2;
    }
    for (int32_t v = 1; v <= st.n; ++v) {
      if (st.frontpos(v) != 0) continue;
      st.ifact(ilen + 1) = 1;
      st.ifact(ilen + 2) = 1;
      st.ifact(ilen + 3) = v;
      ilen += 3;
      st.fact(++r) = 1.0;
      st.nblocks += 1;
    }
  }
  st.info(MA57_INFO_FACTOR_ENTRIES) = SatInt32(r);
  st.ifact(kIfactAreaFirst) = SatInt32(r + 1);
  st.ifact(kIfactAreaLast) = SatInt32(r + st.n2x2);
  st.info(MA57_INFO_REAL_STORAGE) = SatInt32(r + st.n2x2);
  st.ifact(kIfactBlocks) = st.nblocks;
  st.info(MA57_INFO_BLOCK_PIVOTS) = st.nblocks;
  MA57FinishFactors(st.fact.data(), st.la, st.ifact.data(), SatInt32(st.lifact), r);
  st.info(MA57_INFO_INTEGER_STORAGE) = SatInt32(ilen);
  return true;
}

void WriteStatistics(FrontalState& st) {
  const int64_t reserve = ModificationReserve(st);
  st.info(MA57_INFO_MIN_LFACT_COMPRESS) = SatInt32(st.real_forecast_compress + reserve);
  st.info(MA57_INFO_MIN_LIFACT_COMPRESS) = SatInt32(st.int_forecast_compress);
  st.info(MA57_INFO_MIN_LFACT_NO_COMPRESS) = SatInt32(st.real_forecast_plain + reserve);
  st.info(MA57_INFO_MIN_LIFACT_NO_COMPRESS) = SatInt32(st.int_forecast_plain);
  st.info(MA57_INFO_LARGEST_FRONT) = st.maxfront;
  st.info(MA57_INFO_TWO_BY_TWO) = st.n2x2;
  st.info(MA57_INFO_NEGATIVE) = st.nneg;
  st.info(MA57_INFO_RANK) = st.nsteps;
  st.info(MA57_INFO_REAL_COMPRESSES) = st.rcompress;
  st.info(MA57_INFO_INTEGER_COMPRESSES) = st.icompress;
  st.rinfo(MA57_RINFO_ASSEMBLY_OPS) = st.ops_assembly;
  st.rinfo(MA57_RINFO_ELIMINATION_OPS) = st.ops_elim;
  st.rinfo(MA57_RINFO_BLAS_EXTRA_OPS) = st.ops_blas;
  if (st.mode == MA57_PIVOT_MODIFIED && st.info(MA57_INFO_FIRST_MODIFIED) > 0) {
    double largest = 0.0;
    const double* moddiag = st.moddiag.data();
    for (int32_t v = 0; v < st.n; ++v) largest = std::max(largest, moddiag[v]);
    st.rinfo(MA57_RINFO_MAX_DIAGONAL_ADDED) = largest;
  }
}

}  // namespace

bool RunRange(FrontalState& st, int32_t last, Suspension resume) {
  st.last = last;
  if (resume != kNotSuspended && st.node <= last) {
    if (!NodeLoop::GeneralNode(st, resume)) return false;
    ++st.node;
  }
  NodeLoop loop(st);
  return loop.Run(last);
}

namespace {

// The node loop, from a fresh node or, after a suspension, from the space
// test that suspended it; independent subtrees are factorized apart on the
// other threads where that pays (ma57_subtrees.cpp).
void RunNodes(FrontalState& st, Suspension resume) {
  if (resume == kNotSuspended ? !RunWithSubtrees(st) : !RunRange(st, st.nnodes, resume)) return;
  if (st.counting) {
    EndCounting(st);
    return;
  }
  if (!Finish(st)) return;
  WriteStatistics(st);
}

// The innermost ScopedFactorSettings of each thread. The thread-local is
// looked at only while some thread has one, so that a process that never
// sets any (a host) never makes the C library allocate its thread-local
// block, which can fail.
thread_local const ScopedFactorSettings* scoped_settings = nullptr;
std::atomic<int> scoped_count{0};

}  // namespace

ScopedFactorSettings::ScopedFactorSettings(const FactorSettings& settings)
    : settings_(settings), outer_(scoped_settings) {
  scoped_count.fetch_add(1);
  scoped_settings = this;
}
ScopedFactorSettings::~ScopedFactorSettings() {
  scoped_settings = outer_;
  scoped_count.fetch_sub(1);
}

FactorSettings CurrentFactorSettings() {
  if (scoped_count.load(std::memory_order_relaxed) == 0) return FactorSettings{};
  return scoped_settings != nullptr ? scoped_settings->settings_ : FactorSettings{};
}

}  // namespace ma57

void MA57FrontalFactor(const FrontalArgs& args) {
  using ma57::FrontalState;
  FrontalState st;
  st.n = args.n, st.m = args.m, st.fact = OneBased<double>(args.fact), st.la = args.la;
  st.ifact = OneBased<int32_t>(args.ifact), st.lifact = args.lifact;
  st.rowlen = OneBased<const int32_t>(args.rowlen);
  st.pivseq = OneBased<const int32_t>(args.pivseq);
  st.nnodes = args.nnodes, st.nchild = OneBased<const int32_t>(args.nchild);
  st.varnode = OneBased<const int32_t>(args.varnode);
  st.moddiag = OneBased<double>(args.moddiag), st.modscal = OneBased<double>(args.modscal);
  st.frontpos = OneBased<int32_t>(args.frontpos);
  st.info = OneBased<int32_t>(args.info), st.rinfo = OneBased<double>(args.rinfo);
  st.saved = OneBased<int32_t>(args.saved);
  const OneBased<const double> controls(args.cntl);
  const OneBased<const int32_t> icontrols(args.icntl);
  st.u = std::min(0.5, std::max(0.0, controls(MA57_CNTL_THRESHOLD)));
  if (std::isnan(controls(MA57_CNTL_THRESHOLD))) st.u = 0.0;
  st.tol = controls(MA57_CNTL_ZERO_PIVOT);
  st.lp = icontrols(MA57_ICNTL_ERROR_STREAM), st.wp = icontrols(MA57_ICNTL_WARNING_STREAM);
  st.level = icontrols(MA57_ICNTL_PRINT_LEVEL), st.mode = icontrols(MA57_ICNTL_PIVOTING);
  // A block size below 1 would stall the blocked elimination; 1 is the
  // smallest that works.
  st.nb = std::max(1, icontrols(MA57_ICNTL_BLOCK_SIZE));
  st.suspend = icontrols(MA57_ICNTL_SUSPEND) != 0;
  const ma57::FactorSettings settings = ma57::CurrentFactorSettings();
  st.path = settings.path;
  st.threads = settings.threads > 0 ? std::min(settings.threads, ma57::kMaxThreads)
                                    : ma57::ConfiguredThreads();
  ma57::Suspension resume = ma57::kNotSuspended;
  if (st.saved(ma57::kSavedReason) > 0) {
    resume = static_cast<ma57::Suspension>(st.saved(ma57::kSavedReason));
    ma57::RestoreState(st);
  } else {
    ma57::StartFresh(st);
  }
  st.sign_changes = st.info(MA57_INFO_SIGN_CHANGES);
  ma57::RunNodes(st, resume);
  // The compresses are reported whatever the outcome, suspensions included,
  // and so are the delays and the changes of sign so far.
  st.info(MA57_INFO_REAL_COMPRESSES) = st.rcompress;
  st.info(MA57_INFO_INTEGER_COMPRESSES) = st.icompress;
  st.info(MA57_INFO_DELAYED) = st.delayed;
  st.info(MA57_INFO_SIGN_CHANGES) = st.sign_changes;
}

}  // namespace pemric
