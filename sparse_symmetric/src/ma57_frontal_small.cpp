// The small-front path of the node loop. On sparse problems whose fronts are
// a few variables (banded and tridiagonal normal matrices), the arithmetic
// of a node is a few dozen operations, and what costs is the set-up around
// it: the state reloaded through every routine, the forecasts recomputed,
// library calls that copy a handful of values. Here a run of consecutive
// small nodes keeps the kernel's positions, sizes and counters in locals
// from node to node and treats each node (gather, space tests, assembly,
// elimination, contribution block, stacking, storing) in one sweep of tight
// loops. Whatever is rare (a node that needs DGEMM, a space test that fails,
// a failed pivot) ends the run: the state is saved and the general routines
// take over, the node loop starting a new run after the node.
//
// A node qualifies when its fully summed variables are eliminated in one
// pass (s <= block size): then the general path makes exactly one pass, the
// last, with every row in its block and no blocked update, and the shared
// routines of ma57_front_ops.h give the same operations in the same order.
#include <algorithm>
#include <cstdlib>

#include "ma57_front_ops.h"
#include "ma57_frontal_state.h"

namespace pemric {
namespace ma57 {

SmallRunEnd RunSmallNodes(FrontalState& st) {
  const int32_t n = st.n, nnodes = st.nnodes, nb = st.nb;
  const bool any_order = st.path == FrontPath::kSmall;
  // 0-based views: fact[k - 1] is FACT(k), frontpos[v - 1] is FRONTPOS(v),
  // pivseq[k] and rowlen[k] belong to pivot position k + 1.
  double* const fact = st.fact.data();
  int32_t* const ifact = st.ifact.data();
  int32_t* const frontpos = st.frontpos.data();
  const int32_t* const pivseq = st.pivseq.data();
  const int32_t* const rowlen = st.rowlen.data();
  const int32_t* const varnode = st.varnode.data();
  const int32_t* const nchild = st.nchild.data();

  // The moving state, loaded here and saved whenever a general routine takes
  // over (names as in FrontalState).
  int32_t node = st.node, ntaken = st.ntaken, o = st.o, f = st.f, s = st.s, p = st.p;
  int32_t nblocks = st.nblocks, maxfront = st.maxfront, delayed = st.info(MA57_INFO_DELAYED);
  int64_t nextfac = st.nextfac, vnext = st.vnext, frontstart = st.frontstart, rtop = st.rtop;
  int64_t rin = st.rin, recpos = st.recpos, itop = st.itop, iin = st.iin;
  int64_t real_held_compress = st.real_held_compress, real_held_plain = st.real_held_plain;
  int64_t int_held_compress = st.int_held_compress, int_held_plain = st.int_held_plain;
  int64_t real_stack = st.real_stack, int_stack = st.int_stack;
  int64_t real_forecast_compress = st.real_forecast_compress;
  int64_t real_forecast_plain = st.real_forecast_plain;
  int64_t int_forecast_compress = st.int_forecast_compress;
  int64_t int_forecast_plain = st.int_forecast_plain;
  double ops_assembly = st.ops_assembly;
  FrontWork w = CountersOf(st);

  // The real forecasts for the current front (UpdateRealForecasts).
  const auto real_forecasts = [&]() {
    const int64_t end = SatAdd(SatAdd(vnext, Triangle(s)), static_cast<int64_t>(f) * f - 1);
    real_forecast_compress = std::max(real_forecast_compress, SatAdd(end, real_held_compress));
    real_forecast_plain = std::max(real_forecast_plain, SatAdd(end, real_held_plain));
  };

  SmallRunEnd end = SmallRunEnd::kAllNodes;
  int32_t failure = 0;  // the status of a failed pivot
  const int32_t last = st.last;
  int64_t assembled = st.assembled;
  for (; node <= last; ++node) {
    // Gather the front: own variables, delayed variables of the children, the others.
    int32_t* const list = ifact + (recpos - 1);  // list[k - 1] is the variable at position k
    int32_t size = 0;
    const auto append = [&](int32_t v) {
      if (frontpos[v - 1] <= n) return;
      list[size] = v;
      size += 1;
      frontpos[v - 1] = size;
    };
    while (ntaken < n && std::abs(varnode[pivseq[ntaken] - 1]) <= node) {
      append(pivseq[ntaken]);
      ntaken += 1;
    }
    o = size;
    const int32_t children = nchild[node - 1];
    // A child's record holds variables of earlier nodes only when pivots were
    // delayed, and every delay so far is counted: with none, the search
    // would find only the node's own variables, already in the list.
    for (int64_t pos = itop, c = 0; delayed > 0 && c < children; ++c) {  // ifact[pos]: a record's g
      const int32_t g = ifact[pos];
      for (int64_t k = pos + 1; k <= pos + g; ++k) {
        if (std::abs(varnode[ifact[k] - 1]) <= node) append(ifact[k]);
      }
      pos += g + 1;
    }
    s = size;
    const int32_t* const cols = ifact + (iin - 1);
    const int32_t* col = cols;
    for (int32_t r = ntaken - o; r < ntaken; ++r) {
      for (int32_t k = 0; k < rowlen[r]; ++k) append(*col++);
    }
    for (int64_t pos = itop, c = 0; c < children; ++c) {
      const int32_t g = ifact[pos];
      for (int64_t k = pos + 1; k <= pos + g; ++k) append(ifact[k]);
      pos += g + 1;
    }
    f = size;
    maxfront = std::max(maxfront, f);
    // The run takes the node when its elimination is one pass and its
    // contribution block, whatever the pivots, goes the direct way.
    if (s > nb || (!any_order && f > kSmallPathOrder) || !DirectContributionWay(nb, s, f - s)) {
      end = SmallRunEnd::kGathered;
      break;
    }

    // Fit the front: it must fit below the stack as things are.
    const int64_t f2 = static_cast<int64_t>(f) * f;
    frontstart = SatAdd(nextfac, Triangle(s));
    real_forecasts();
    if (SatAdd(frontstart, f2) - 1 > rtop) {
      end = SmallRunEnd::kGathered;
      break;
    }

    // Assemble: the own rows, then the children's blocks, popped.
    double* const front = fact + (frontstart - 1);  // F(i, j) is front[(i - 1) * f + j - 1]
    for (int64_t k = 0; k < f2; ++k) front[k] = 0.0;
    const double* val = fact + (rin - 1);
    col = cols;
    for (int32_t r = ntaken - o; r < ntaken; ++r) {
      double* row = front + static_cast<int64_t>(frontpos[pivseq[r] - 1] - 1) * f;
      for (int32_t k = 0; k < rowlen[r]; ++k) row[frontpos[col[k] - 1] - 1] += val[k];
      col += rowlen[r];
      val += rowlen[r];
    }
    assembled = col - cols;
    iin += assembled;
    rin += assembled;
    real_held_compress -= assembled;
    int_held_compress -= assembled;
    ops_assembly += static_cast<double>(assembled);
    for (int32_t c = 0; c < children; ++c) {
      const int64_t g = ifact[itop];
      int32_t* pos = ifact + itop + 1;
      for (int64_t i = 0; i < g; ++i) pos[i] = frontpos[pos[i] - 1];
      AddChildBlock(front, f, pos, g, fact + rtop, st.threads);
      const int64_t values = Triangle(g);
      ops_assembly += static_cast<double>(values);
      itop += g + 1;
      rtop += values;
      int_stack -= g + 1;
      real_stack -= values;
      int_held_compress -= g + 1;
      int_held_plain -= g + 1;
      real_held_compress -= values;
      real_held_plain -= values;
    }

    // Eliminate: one pass over all the fully summed columns.
    w.a = front;
    w.index = list;
    w.f = f;
    w.s = s;
    w.p = 0;
    if (s > 0) {
      Pass ps;
      ps.b = s;
      ps.e = s;
      ps.last = true;
      // Mode 4 never takes this path, so no pivot is modified here.
      const auto unmodified = [](FrontWork&, bool) { return 0; };
      const int32_t kb = w.mode == MA57_PIVOT_THRESHOLD ? PassThreshold<true>(w, ps)
                                                        : PassInOrder<true>(w, ps, unmodified);
      if (kb < 0) {
        failure = kb;
        end = SmallRunEnd::kStopped;
        p = static_cast<int32_t>(w.p);
        break;
      }
    }
    p = static_cast<int32_t>(w.p);

    // Stack the contribution block, after counting the delayed variables.
    if (node != nnodes) delayed += s - p;
    const int64_t g = f - p, m = f - s;
    if (g > 0) {
      real_forecasts();
      const int64_t values = Triangle(g);
      double* const stack = fact + (rtop - values);  // the block's first value, (p+1, p+1)
      if (p == 1 && m > 0 && m <= kSmallPathOrder) {
        // One 1x1 pivot: each stacked value F(i, l) + lambda(i) * x(l) is
        // written once, the sum the direct way forms in two steps. The
        // multipliers replace the pivot row's values only at the end, as the
        // rows are stacked from the last (the stack may overlap the front's
        // last rows, never its first).
        double lambda[kSmallPathOrder];
        const double dinv = front[0];
        double* dest = stack + values;
        for (int64_t i = f; i > s; --i) {
          const double* src = front + (i - 1) * f;
          const double li = -front[i - 1] * dinv;
          lambda[i - s - 1] = li;
          int64_t l = f;
          for (; l > i; l -= 2, dest -= 2) {  // two at a time, still highest first
            dest[-1] = src[l - 1] + li * front[l - 1];
            dest[-2] = src[l - 2] + li * front[l - 2];
          }
          if (l == i) *--dest = src[l - 1] + li * front[l - 1];
        }
        for (int64_t i = s; i > p; --i) {
          const double* src = front + (i - 1) * f;
          for (int64_t l = f; l >= i; --l) *--dest = src[l - 1];
        }
        for (int64_t i = s + 1; i <= f; ++i) front[i - 1] = lambda[i - s - 1];
        const double md = static_cast<double>(m);
        w.ops += md + md * (md + 1.0);
        rtop -= values;
      } else {
        double* dest = stack + values;
        // Highest first: the stack may overlap the front's last rows.
        for (int64_t i = f; i > p; --i) {
          const double* src = front + (i - 1) * f;
          for (int64_t l = f; l >= i; --l) *--dest = src[l - 1];
        }
        rtop -= values;
        if (m > 0) w.ops = DirectUpdates(front, list, f, s, p, stack + StackedRowStart(g, s - p), w.ops);
      }
      real_stack += values;
      real_held_compress = SatAdd(real_held_compress, values);
      real_held_plain = SatAdd(real_held_plain, values);
      int_held_compress += g + 1;
      int_held_plain += g + 1;
    }

    // Push the index record: integer forecasts, integer space, the record.
    const int64_t list_end = recpos + f - 1;
    if (node == nnodes) {
      int_forecast_compress = std::max(int_forecast_compress, list_end + int_held_compress);
      int_forecast_plain = std::max(int_forecast_plain, list_end + int_held_plain);
    } else {
      const int64_t reserve = static_cast<int64_t>(n - w.nsteps) + list_end + 2;
      int_forecast_compress = std::max(int_forecast_compress, int_held_compress + reserve);
      int_forecast_plain = std::max(int_forecast_plain, int_held_plain + reserve);
      const int64_t need = (g > 0 ? g + 1 : 0) + static_cast<int64_t>(n - w.nsteps) + recpos + f + 1;
      if (need > itop) {  // the general routines compress, suspend or fail
        end = SmallRunEnd::kIntegerSpace;
        break;
      }
      if (g > 0) {
        itop -= g + 1;
        int32_t* record = ifact + itop;  // IFACT(itop + 1)
        record[0] = static_cast<int32_t>(g);
        for (int64_t i = 0; i < g; ++i) {
          const int32_t v = std::abs(list[p + i]);
          record[i + 1] = v;
          frontpos[v - 1] = n + 1;
        }
        int_stack += g + 1;
      }
    }

    // Store the block: its record and the factors, front to back (a destination
    // never passes its source: the gap before the front holds the pivot block).
    if (p > 0) {
      nblocks += 1;
      list[-2] = f;
      list[-1] = p;
      recpos += f + 2;
      const int64_t stored = Triangle(p) + static_cast<int64_t>(p) * g;
      vnext = SatAdd(vnext, stored);
      double* out = fact + (nextfac - 1);
      for (int64_t i = 1; i <= p; ++i) {
        CopyPivotRow(out, front + (i - 1) * (f + 1), p - i + 1);
        out += p - i + 1;
      }
      for (int64_t i = 1; i <= p; ++i) {
        for (int64_t l = p + 1; l <= f; ++l) *out++ = front[(i - 1) * f + l - 1];
      }
      nextfac += stored;
    }
    if (node < nnodes) {
      ifact[recpos - 3] = 0;
      ifact[recpos - 2] = 0;
    }
    if (st.trace != nullptr) st.trace->push_back({f, s, p, assembled});
  }
  st.assembled = assembled;
  st.node = node, st.ntaken = ntaken, st.o = o, st.f = f, st.s = s, st.p = p;
  st.nblocks = nblocks, st.maxfront = maxfront, st.info(MA57_INFO_DELAYED) = delayed;
  st.nextfac = nextfac, st.vnext = vnext, st.frontstart = frontstart, st.rtop = rtop;
  st.rin = rin, st.recpos = recpos, st.itop = itop, st.iin = iin;
  st.real_held_compress = real_held_compress, st.real_held_plain = real_held_plain;
  st.int_held_compress = int_held_compress, st.int_held_plain = int_held_plain;
  st.real_stack = real_stack, st.int_stack = int_stack;
  st.real_forecast_compress = real_forecast_compress;
  st.real_forecast_plain = real_forecast_plain;
  st.int_forecast_compress = int_forecast_compress;
  st.int_forecast_plain = int_forecast_plain;
  st.ops_assembly = ops_assembly;
  st.ops_elim = w.ops, st.nsteps = w.nsteps, st.nneg = w.nneg, st.n2x2 = w.n2x2;
  st.refsign = w.refsign, st.info(MA57_INFO_SIGN_CHANGES) = w.sign_changes;
  if (failure != 0) ReportEliminationFailure(st, failure, w.bad);
  return end;
}

}  // namespace ma57
}  // namespace pemric
