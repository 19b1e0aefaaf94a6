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
#include "ma57_frontal_state.h"
#include "ma57_threads.h"
#include "pemric/common.h"
#include "pemric/record.h"

namespace pemric {
namespace ma57 {
namespace {

// The index list of the front under construction. It works on local copies
// of the state's counters: stores through the int32_t arrays would otherwise
// make the compiler reload every counter after each appended variable.
class FrontList {
 public:
  explicit FrontList(FrontalState& st)
      : frontpos_(st.frontpos.data()), index_(&st.Index(1)), n_(st.n) {}
  // Front position of variable v, appending it when it is in no front.
  void Append(int32_t v) {
    if (frontpos_[v - 1] <= n_) return;
    index_[f_] = v;
    f_ += 1;
    frontpos_[v - 1] = f_;
  }
  int32_t Size() const { return f_; }

 private:
  int32_t* frontpos_;
  int32_t* index_;  // index_[k - 1] is Index(k)
  int32_t n_;
  int32_t f_ = 0;
};

// Gathering the front: own variables, delayed variables of the children,
// then the other variables of the own rows and of the children's blocks.
void GatherFront(FrontalState& st) {
  FrontList list(st);
  const int32_t n = st.n, node = st.node;
  const int32_t* pivseq = st.pivseq.data();  // pivseq[k] is the variable at position k + 1
  const int32_t* varnode = st.varnode.data();
  int32_t ntaken = st.ntaken;
  while (ntaken < n && std::abs(varnode[pivseq[ntaken] - 1]) <= node) {
    list.Append(pivseq[ntaken]);
    ntaken += 1;
  }
  st.ntaken = ntaken;
  st.o = list.Size();
  const int32_t children = st.nchild(node);
  int64_t pos = st.itop + 1;
  for (int32_t c = 0; c < children; ++c) {
    const int32_t g = st.ifact(pos);
    for (int64_t k = pos + 1; k <= pos + g; ++k) {
      const int32_t v = st.ifact(k);
      if (std::abs(varnode[v - 1]) <= node) list.Append(v);
    }
    pos += g + 1;
  }
  st.s = list.Size();
  int64_t col = st.iin;
  const int32_t* rowlen = st.rowlen.data();  // 0-based like pivseq
  for (int32_t r = ntaken - st.o; r < ntaken; ++r) {
    for (int32_t k = 0; k < rowlen[r]; ++k) list.Append(st.ifact(col++));
  }
  pos = st.itop + 1;
  for (int32_t c = 0; c < children; ++c) {
    const int32_t g = st.ifact(pos);
    for (int64_t k = pos + 1; k <= pos + g; ++k) list.Append(st.ifact(k));
    pos += g + 1;
  }
  st.f = list.Size();
  st.maxfront = std::max(st.maxfront, st.f);
}

// Assembling the front: zero it, add the own rows and the children's blocks
// into the upper triangle, then pop the children. Own rows reach only the upper
// triangle: their columns come later in the pivot order.
void AssembleFront(FrontalState& st) {
  const int64_t f = st.f;
  // Only the upper triangle is read before it is written: the elimination
  // keeps its unscaled values below the diagonal before any use of them. A
  // small front is cleared whole, in one call rather than one per row.
  if (f <= kSmallFront) {
    std::memset(st.Front(), 0, sizeof(double) * static_cast<size_t>(f * f));
  } else {
    double* a = st.Front();
    ForRows(st.threads, f, f >= kThreadedRows, [=](int64_t r) {
      std::memset(a + r * (f + 1), 0, sizeof(double) * static_cast<size_t>(f - r));
    });
  }
  int64_t assembled = 0;
  // The own rows are those of pivot positions ntaken - o + 1 .. ntaken.
  for (int32_t r = st.ntaken - st.o; r < st.ntaken; ++r) {
    const int64_t a = st.frontpos(st.pivseq.data()[r]);
    const int32_t len = st.rowlen.data()[r];
    for (int32_t k = 0; k < len; ++k) {
      st.F(a, st.frontpos(st.ifact(st.iin + k))) += st.fact(st.rin + k);
    }
    st.iin += len;
    st.rin += len;
    assembled += len;
  }
  st.assembled = assembled;
  st.real_held_compress -= assembled;
  st.int_held_compress -= assembled;
  st.ops_assembly += static_cast<double>(assembled);
  const int32_t children = st.nchild(st.node);
  for (int32_t child = 0; child < children; ++child) {
    const int64_t g = st.ifact(st.itop + 1);
    // The record is popped after this, so its variables can be replaced by
    // their front positions, one lookup per variable instead of per entry.
    int32_t* pos = &st.ifact(st.itop + 2);
    const int32_t* frontpos = st.frontpos.data();
    for (int64_t i = 0; i < g; ++i) pos[i] = frontpos[pos[i] - 1];
    AddChildBlock(st.Front(), f, pos, g, &st.fact(st.rtop + 1), st.threads);
    const int64_t size = Triangle(g);
    st.ops_assembly += static_cast<double>(size);
    st.itop += g + 1;
    st.rtop += size;
    st.int_stack -= g + 1;
    st.real_stack -= size;
    st.int_held_compress -= g + 1;
    st.int_held_plain -= g + 1;
    st.real_held_compress -= size;
    st.real_held_plain -= size;
  }
}

// Pushing the index record (after the integer space test): the record of
// the contribution block goes on the integer stack and its variables leave
// the front.
// The bounds are read into locals first: the stores go through int32_t
// arrays, which the compiler must otherwise assume may change the state.
void PushIndexRecord(FrontalState& st) {
  const int32_t p = st.p, f = st.f, g = f - p, unplaced = st.n + 1;
  const int32_t* rest = &st.Index(p + 1);  // the variables of the block, g of them
  if (g > 0) {
    st.itop -= g + 1;
    int32_t* record = &st.ifact(st.itop + 1);
    record[0] = g;
    for (int32_t i = 0; i < g; ++i) record[i + 1] = std::abs(rest[i]);
    st.int_stack += g + 1;
  }
  int32_t* frontpos = st.frontpos.data();
  for (int32_t i = 0; i < g; ++i) frontpos[std::abs(rest[i]) - 1] = unplaced;
}

// The factors of the node, rows 1..p of the front, to FACT from nextfac: the
// pivot block's upper triangle by rows (CopyPivotRow), then the p x g
// rectangle. Destinations never pass their sources (the gap left before the
// front holds at least the p(p+1)/2 values of the pivot block), so row by row
// in order is safe; when the two areas do not overlap at all, the rows are
// copied by the threads.
void CopyFactors(FrontalState& st) {
  const int64_t p = st.p, f = st.f, g = f - p;
  const double* a = st.Front();
  double* out = &st.fact(st.nextfac);
  const bool threaded = p >= kThreadedRows && st.nextfac + Triangle(p) + p * g <= st.frontstart;
  ForRows(st.threads, p, threaded, [=](int64_t i) {
    CopyPivotRow(out + StackedRowStart(p, i), a + i * (f + 1), p - i);
  });
  out += Triangle(p);
  if (g == 0) return;
  ForRows(st.threads, p, threaded, [=](int64_t i) {
    std::memmove(out + i * g, a + i * f + p, sizeof(double) * static_cast<size_t>(g));
  });
}

// Storing the block: its record and, unless only counting, the node's factors.
void StoreBlock(FrontalState& st) {
  const int64_t p = st.p, f = st.f, g = f - p;
  const int64_t size = Triangle(p) + p * g;
  if (p > 0) {
    st.nblocks += 1;
    st.ifact(st.recpos - 2) = st.f;
    st.ifact(st.recpos - 1) = st.p;
    st.recpos += f + 2;
    st.vnext = SatAdd(st.vnext, size);
    if (!st.counting) {
      CopyFactors(st);
      st.nextfac += size;
    }
  }
  if (st.node < st.nnodes) {
    st.ifact(st.recpos - 2) = 0;
    st.ifact(st.recpos - 1) = 0;
  }
  if (st.trace != nullptr) st.trace->push_back({st.f, st.s, st.p, st.assembled});
}

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
  for (; st.node <= last; ++st.node, resume = kNotSuspended) {
    if (resume == kNotSuspended && SmallRunApplies(st)) {
      // Runs of small fronts go the small-front path. It hands back the first
      // node that it does not take, gathered, or a node whose integer space
      // test failed, eliminated and stacked.
      const SmallRunEnd end = RunSmallNodes(st);
      if (end == SmallRunEnd::kStopped) return false;
      if (end == SmallRunEnd::kAllNodes) break;
      if (end == SmallRunEnd::kIntegerSpace) resume = kForIntegerSpace;
    } else if (resume == kNotSuspended) {
      GatherFront(st);
    }
    if (resume != kForIntegerSpace) {
      if (!RealSpaceTest(st)) return false;
      AssembleFront(st);
      if (EliminateFront(st) < 0) return false;
      if (st.node != st.nnodes) st.info(MA57_INFO_DELAYED) += st.s - st.p;
      StackContribution(st);
      UpdateIntegerForecasts(st);
    }
    if (st.node != st.nnodes) {
      if (!IntegerSpaceTest(st)) return false;
      PushIndexRecord(st);
    }
    StoreBlock(st);
  }
  return true;
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

void MA57FrontalFactor(int32_t n,
                       int32_t m,
                       double* fact,
                       int64_t la,
                       int32_t* ifact,
                       int32_t lifact,
                       const int32_t* rowlen,
                       const int32_t* pivseq,
                       int32_t nnodes,
                       const int32_t* nchild,
                       const int32_t* varnode,
                       double* moddiag,
                       double* modscal,
                       int32_t* frontpos,
                       const double* cntl,
                       const int32_t* icntl,
                       int32_t* info,
                       double* rinfo,
                       int32_t* saved) {
  using ma57::FrontalState;
  FrontalState st;
  st.n = n, st.m = m, st.fact = OneBased<double>(fact), st.la = la;
  st.ifact = OneBased<int32_t>(ifact), st.lifact = lifact;
  st.rowlen = OneBased<const int32_t>(rowlen), st.pivseq = OneBased<const int32_t>(pivseq);
  st.nnodes = nnodes, st.nchild = OneBased<const int32_t>(nchild);
  st.varnode = OneBased<const int32_t>(varnode), st.moddiag = OneBased<double>(moddiag);
  st.modscal = OneBased<double>(modscal), st.frontpos = OneBased<int32_t>(frontpos);
  st.info = OneBased<int32_t>(info), st.rinfo = OneBased<double>(rinfo);
  st.saved = OneBased<int32_t>(saved);
  const OneBased<const double> controls(cntl);
  const OneBased<const int32_t> icontrols(icntl);
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
  ma57::RunNodes(st, resume);
  // The compresses are reported whatever the outcome, suspensions included.
  st.info(MA57_INFO_REAL_COMPRESSES) = st.rcompress;
  st.info(MA57_INFO_INTEGER_COMPRESSES) = st.icompress;
}

}  // namespace pemric
