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
#include <cmath>
#include <cstring>

#include "ma57_frontal.h"
#include "ma57_frontal_state.h"
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
      : frontpos_(st.frontpos), index_(&st.Index(1)), n_(st.n) {}
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

// N1..N3: own variables, delayed variables of the children, then the other
// variables of the own rows and of the children's blocks.
void GatherFront(FrontalState& st) {
  FrontList list(st);
  const int32_t n = st.n, node = st.node;
  const int32_t* pivseq = st.pivseq;
  const int32_t* varnode = st.varnode;
  int32_t ntaken = st.ntaken;
  while (ntaken < n && std::abs(varnode[pivseq[ntaken] - 1]) <= node) {
    list.Append(pivseq[ntaken]);
    ntaken += 1;
  }
  st.ntaken = ntaken;
  st.o = list.Size();
  const int32_t children = st.nchild[node - 1];
  int64_t pos = st.itop + 1;
  for (int32_t c = 0; c < children; ++c) {
    const int32_t g = st.Ifact(pos);
    for (int64_t k = pos + 1; k <= pos + g; ++k) {
      const int32_t v = st.Ifact(k);
      if (std::abs(varnode[v - 1]) <= node) list.Append(v);
    }
    pos += g + 1;
  }
  st.s = list.Size();
  int64_t col = st.iin;
  for (int32_t r = ntaken - st.o; r < ntaken; ++r) {
    for (int32_t k = 0; k < st.rowlen[r]; ++k) list.Append(st.Ifact(col++));
  }
  pos = st.itop + 1;
  for (int32_t c = 0; c < children; ++c) {
    const int32_t g = st.Ifact(pos);
    for (int64_t k = pos + 1; k <= pos + g; ++k) list.Append(st.Ifact(k));
    pos += g + 1;
  }
  st.f = list.Size();
  st.maxfront = std::max(st.maxfront, st.f);
}

// Adds one child's packed upper triangle into the front. pos[i] is the front
// position of the child's i-th variable; entry (i, j), i <= j, goes to
// F(min, max) of its two positions, so that the upper triangle (the only one
// the elimination reads before writing it) receives every contribution in
// turn. Each front entry gets at most one value from a child, so the sums are
// formed in the order of the children.
void AddChildBlock(double* __restrict front, int64_t f, const int32_t* __restrict pos, int64_t g,
                   const double* __restrict val) {
  for (int64_t i = 0; i < g; ++i) {
    const int64_t a = pos[i] - 1;
    double* row = front + a * f;  // row[c] is F(a + 1, c + 1)
    for (int64_t j = i; j < g; ++j) {
      const int64_t c = pos[j] - 1;
      if (c >= a) {
        row[c] += val[j - i];
      } else {
        front[c * f + a] += val[j - i];
      }
    }
    val += g - i;
  }
}

// N5..N8: zero the front, add the own rows and the children's blocks into
// the upper triangle, then pop the children. Own rows reach only the upper
// triangle: their columns come later in the pivot order.
void AssembleFront(FrontalState& st) {
  const int64_t f = st.f;
  // Only the upper triangle is read before it is written: the elimination
  // keeps its unscaled values below the diagonal before any use of them. A
  // small front is cleared whole, in one call rather than one per row.
  if (f <= kSmallFront) {
    std::memset(st.Front(), 0, sizeof(double) * static_cast<size_t>(f * f));
  } else {
    for (int64_t r = 1; r <= f; ++r) {
      std::memset(&st.F(r, r), 0, sizeof(double) * static_cast<size_t>(f - r + 1));
    }
  }
  int64_t assembled = 0;
  for (int32_t r = st.ntaken - st.o; r < st.ntaken; ++r) {
    const int64_t a = st.FrontPos(st.pivseq[r]);
    const int32_t len = st.rowlen[r];
    for (int32_t k = 0; k < len; ++k) {
      st.F(a, st.FrontPos(st.Ifact(st.iin + k))) += st.Fact(st.rin + k);
    }
    st.iin += len;
    st.rin += len;
    assembled += len;
  }
  st.rc -= assembled;
  st.ic -= assembled;
  st.ops_assembly += static_cast<double>(assembled);
  const int32_t children = st.nchild[st.node - 1];
  for (int32_t child = 0; child < children; ++child) {
    const int64_t g = st.Ifact(st.itop + 1);
    // The record is popped after this, so its variables can be replaced by
    // their front positions, one lookup per variable instead of per entry.
    int32_t* pos = &st.Ifact(st.itop + 2);
    const int32_t* frontpos = st.frontpos;
    for (int64_t i = 0; i < g; ++i) pos[i] = frontpos[pos[i] - 1];
    AddChildBlock(st.Front(), f, pos, g, &st.Fact(st.rtop + 1));
    const int64_t size = Triangle(g);
    st.ops_assembly += static_cast<double>(size);
    st.itop += g + 1;
    st.rtop += size;
    st.istack -= g + 1;
    st.rstack -= size;
    st.ic -= g + 1;
    st.iw -= g + 1;
    st.rc -= size;
    st.rw -= size;
  }
}

// R4 (after the space test) and R5: push the index record of the
// contribution block and take its variables out of the front.
// The bounds are read into locals first: the stores go through int32_t
// arrays, which the compiler must otherwise assume may change the state.
void PushIndexRecord(FrontalState& st) {
  const int32_t p = st.p, f = st.f, g = f - p, unplaced = st.n + 1;
  const int32_t* rest = &st.Index(p + 1);  // the variables of the block, g of them
  if (g > 0) {
    st.itop -= g + 1;
    int32_t* record = &st.Ifact(st.itop + 1);
    record[0] = g;
    for (int32_t i = 0; i < g; ++i) record[i + 1] = std::abs(rest[i]);
    st.istack += g + 1;
  }
  int32_t* frontpos = st.frontpos;
  for (int32_t i = 0; i < g; ++i) frontpos[std::abs(rest[i]) - 1] = unplaced;
}

// R6: the block record and, unless only counting, the factors of the node.
void StoreBlock(FrontalState& st) {
  const int64_t p = st.p, f = st.f, g = f - p;
  const int64_t size = Triangle(p) + p * g;
  if (p > 0) {
    st.nblocks += 1;
    st.Ifact(st.recpos - 2) = st.f;
    st.Ifact(st.recpos - 1) = st.p;
    st.recpos += f + 2;
    st.vnext = SatAdd(st.vnext, size);
    if (!st.counting) {
      // Destinations never pass their sources: the gap left before the front
      // holds at least the p(p+1)/2 values of the pivot block.
      double* out = &st.Fact(st.nextfac);
      for (int64_t i = 1; i <= p; ++i) {
        std::memmove(out, &st.F(i, i), sizeof(double) * static_cast<size_t>(p - i + 1));
        out += p - i + 1;
      }
      for (int64_t i = 1; i <= p && g > 0; ++i) {
        std::memmove(out, &st.F(i, p + 1), sizeof(double) * static_cast<size_t>(g));
        out += g;
      }
      st.nextfac += size;
    }
  }
  if (st.node < st.nnodes) {
    st.Ifact(st.recpos - 2) = 0;
    st.Ifact(st.recpos - 1) = 0;
  }
}

void StartFresh(FrontalState& st) {
  for (int k : {1, 2, 17, 23, 26, 27}) st.Info(k) = 0;
  for (int k : {3, 4, 5, 15}) st.Rinfo(k) = 0.0;
  for (int32_t v = 1; v <= st.n; ++v) st.FrontPos(v) = st.n + 1;
  for (int k = 1; k <= 5; ++k) st.Ifact(k) = 0;
  st.rtop = st.la - st.m;
  st.rin0 = st.rin = st.la - st.m + 1;
  st.itop = st.lifact - st.m;
  st.iin0 = st.iin = st.lifact - st.m + 1;
  st.rc = st.rw = st.ic = st.iw = st.m;
  st.fr_c = st.fr_w = st.m;
  st.fi_c = st.fi_w = static_cast<int64_t>(st.n) + st.m + 5;
  if (st.mode != 4) return;
  // Modified Cholesky: predicted diagonal of every variable and the scalars.
  for (int32_t v = 0; v < st.n; ++v) st.moddiag[v] = 0.0;
  int64_t pos = 0;
  for (int32_t r = 0; r < st.n; ++r) {
    const int32_t v = st.pivseq[r];
    for (int32_t k = 0; k < st.rowlen[r]; ++k, ++pos) {
      if (st.Ifact(st.iin + pos) == v) st.moddiag[v - 1] += st.Fact(st.rin + pos);
    }
  }
  double big = 0.0, small = 0.0;
  for (int32_t v = 0; v < st.n; ++v) {
    big = std::max(big, std::fabs(st.moddiag[v]));
    small = std::min(small, st.moddiag[v]);
  }
  const int32_t eps_i = 1, huge_i = 5;
  st.modscal[0] = big;
  st.modscal[1] = std::pow(MachineConstant(&eps_i), 0.3333333432674408);
  st.modscal[2] = 0.10000000149011612;
  st.modscal[3] = big;
  st.modscal[4] = small;
  st.Rinfo(15) = MachineConstant(&huge_i);
  st.modphase = 1;
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
  st.fr_c = std::max(st.fr_c, need_real);
  st.fr_w = std::max(st.fr_w, need_real);
  st.fi_c = std::max(st.fi_c, need_int);
  st.fi_w = std::max(st.fi_w, need_int);
  if (need_real > st.la) {
    st.Info(1) = -3;
    st.Info(2) = SatInt32(st.la);
    st.Info(17) = SatInt32(st.fr_c + ModificationReserve(st));
    return false;
  }
  if (need_int > st.lifact) {
    st.Info(1) = -4;
    st.Info(2) = SatInt32(st.lifact);
    st.Info(18) = SatInt32(st.fi_c);
    return false;
  }
  if (missing > 0) {
    st.Info(1) = 4;
    if (st.level >= 1 && st.wp >= 0) {
      Record{st.wp};
      Record(st.wp)
          .Text("*** Warning message from routine MA57BD **")
          .Text("   INFO(1) =")
          .I(4, 2)
          .Slash()
          .X(5)
          .Text("Matrix is singular, rank =")
          .I(st.nsteps, 5);
    }
    for (int32_t v = 1; v <= st.n; ++v) st.FrontPos(v) = 0;
    for (int64_t pos = 4, b = 0; b < st.nblocks; ++b) {
      const int32_t c = st.Ifact(pos), piv = st.Ifact(pos + 1);
      for (int32_t k = 0; k < piv; ++k) st.FrontPos(std::abs(st.Ifact(pos + 2 + k))) = 1;
      pos += c + 2;
    }
    for (int32_t v = 1; v <= st.n; ++v) {
      if (st.FrontPos(v) != 0) continue;
      st.Ifact(ilen + 1) = 1;
      st.Ifact(ilen + 2) = 1;
      st.Ifact(ilen + 3) = v;
      ilen += 3;
      st.Fact(++r) = 1.0;
      st.nblocks += 1;
    }
  }
  st.Info(14) = SatInt32(r);
  st.Ifact(1) = SatInt32(r + 1);
  st.Ifact(2) = SatInt32(r + st.n2x2);
  st.Info(15) = SatInt32(r + st.n2x2);
  st.Ifact(3) = st.nblocks;
  st.Info(31) = st.nblocks;
  MA57FinishFactors(st.fact, st.la, st.ifact, SatInt32(st.lifact), r);
  st.Info(16) = SatInt32(ilen);
  return true;
}

void WriteStatistics(FrontalState& st) {
  const int64_t reserve = ModificationReserve(st);
  st.Info(17) = SatInt32(st.fr_c + reserve);
  st.Info(18) = SatInt32(st.fi_c);
  st.Info(19) = SatInt32(st.fr_w + reserve);
  st.Info(20) = SatInt32(st.fi_w);
  st.Info(21) = st.maxfront;
  st.Info(22) = st.n2x2;
  st.Info(24) = st.nneg;
  st.Info(25) = st.nsteps;
  st.Info(28) = st.rcompress;
  st.Info(29) = st.icompress;
  st.Rinfo(3) = st.ops_assembly;
  st.Rinfo(4) = st.ops_elim;
  st.Rinfo(5) = st.ops_blas;
  if (st.mode == 4 && st.Info(27) > 0) {
    double largest = 0.0;
    for (int32_t v = 0; v < st.n; ++v) largest = std::max(largest, st.moddiag[v]);
    st.Rinfo(14) = largest;
  }
}

// The node loop. `resume` is 0 for a fresh node, 1 to re-enter at the real
// space test, 2 to re-enter at the integer space test.
void RunNodes(FrontalState& st, int resume) {
  for (; st.node <= st.nnodes; ++st.node, resume = 0) {
    if (resume == 0) GatherFront(st);
    if (resume != 2) {
      if (!RealSpaceTest(st)) return;
      AssembleFront(st);
      if (EliminateFront(st) < 0) return;
      if (st.node != st.nnodes) st.Info(23) += st.s - st.p;
      StackContribution(st);
      UpdateIntegerForecasts(st);
    }
    if (st.node != st.nnodes) {
      if (!IntegerSpaceTest(st)) return;
      PushIndexRecord(st);
    }
    StoreBlock(st);
  }
  if (st.counting) {
    EndCounting(st);
    return;
  }
  if (!Finish(st)) return;
  WriteStatistics(st);
}

}  // namespace
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
  ma57::FrontalState st;
  st.n = n, st.m = m, st.fact = fact, st.la = la, st.ifact = ifact, st.lifact = lifact;
  st.rowlen = rowlen, st.pivseq = pivseq, st.nnodes = nnodes, st.nchild = nchild;
  st.varnode = varnode, st.moddiag = moddiag, st.modscal = modscal, st.frontpos = frontpos;
  st.info = info, st.rinfo = rinfo, st.saved = saved;
  st.u = std::min(0.5, std::max(0.0, cntl[0]));
  if (std::isnan(cntl[0])) st.u = 0.0;
  st.tol = cntl[1];
  st.lp = icntl[0], st.wp = icntl[1], st.level = icntl[4], st.mode = icntl[6];
  // A block size below 1 would stall the blocked elimination; 1 is the
  // smallest that works.
  st.nb = std::max(1, icntl[10]);
  st.suspend = icntl[7] != 0;
  int resume = 0;
  if (saved[0] > 0) {
    resume = saved[0];
    ma57::RestoreState(st);
  } else {
    ma57::StartFresh(st);
  }
  ma57::RunNodes(st, resume);
  // The compresses are reported whatever the outcome, suspensions included.
  st.Info(28) = st.rcompress;
  st.Info(29) = st.icompress;
}

}  // namespace pemric
