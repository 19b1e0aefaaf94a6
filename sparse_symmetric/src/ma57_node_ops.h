// The steps of one node of the multifrontal loop, written once for fronts of
// every size: gathering the front's variables, assembling it, stacking its
// contribution block the direct way, pushing the block's index record and
// storing the factors. Each works on the loop's NodeCursor and on NodeArrays,
// both locals of the loop, so that the compiler keeps the positions and
// counters in registers across the stores into FACT and IFACT. The template
// parameter kSmall selects, at compile time, the form for small fronts
// (order up to kSmallFront or so, elimination in one pass): element loops
// where the general form calls the library or shares rows among threads.
// Both forms do the same arithmetic in the same order, so a front gives the
// same bits whichever it takes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ma57_front_ops.h"
#include "ma57_frontal_state.h"
#include "ma57_threads.h"

// The steps are inlined into the loop whatever their size: called as
// functions, they would take the cursor's address, and the compiler would
// keep it in memory, reloaded after every store through the arrays.
#if defined(__GNUC__)
#define PEMRIC_NODE_STEP inline __attribute__((always_inline))
#else
#define PEMRIC_NODE_STEP inline
#endif

namespace pemric {
namespace ma57 {

// What the node loop reads of the factorization's fixed data, as 0-based
// pointers: fact[k - 1] is FACT(k), ifact[k - 1] IFACT(k), frontpos[v - 1]
// FRONTPOS(v), varnode[v - 1] the node of v; pivseq[k] and rowlen[k] belong
// to pivot position k + 1, nchild[k - 1] to node k.
struct NodeArrays {
  explicit NodeArrays(FrontalState& st)
      : fact(st.fact.data()),
        ifact(st.ifact.data()),
        frontpos(st.frontpos.data()),
        pivseq(st.pivseq.data()),
        rowlen(st.rowlen.data()),
        varnode(st.varnode.data()),
        nchild(st.nchild.data()),
        n(st.n),
        nnodes(st.nnodes),
        threads(st.threads) {}
  double* fact;
  int32_t* ifact;
  int32_t* frontpos;
  const int32_t* pivseq;
  const int32_t* rowlen;
  const int32_t* varnode;
  const int32_t* nchild;
  int32_t n, nnodes;
  int threads;
};

// The elimination's counters back into the moving state.
inline void TakeCounters(NodeCursor& c, const FrontWork& w) {
  c.ops_elim = w.ops;
  c.nsteps = w.nsteps;
  c.nneg = w.nneg;
  c.n2x2 = w.n2x2;
  c.refsign = w.refsign;
  c.sign_changes = w.sign_changes;
}

// Gathers the front of node c.node into the index list at c.recpos: its own
// variables (the next ones of the pivot order), the variables delayed from
// its children, then the other variables of its input rows and of the
// children's blocks. Sets ntaken, o, s, f and maxfront.
PEMRIC_NODE_STEP void GatherFront(NodeCursor& c, const NodeArrays& a) {
  int32_t* const list = a.ifact + (c.recpos - 1);  // list[k - 1]: the variable at position k
  int32_t* const frontpos = a.frontpos;
  const int32_t n = a.n, node = c.node;
  int32_t size = 0;
  const auto append = [&](int32_t v) {
    if (frontpos[v - 1] <= n) return;
    list[size] = v;
    size += 1;
    frontpos[v - 1] = size;
  };
  int32_t ntaken = c.ntaken;
  while (ntaken < n && std::abs(a.varnode[a.pivseq[ntaken] - 1]) <= node) {
    append(a.pivseq[ntaken]);
    ntaken += 1;
  }
  const int32_t o = size;
  const int32_t children = a.nchild[node - 1];
  const int32_t* const ifact = a.ifact;
  // A child's record holds variables of earlier nodes only when pivots were
  // delayed, and every delay so far is counted: with none, the search
  // would find only the node's own variables, already in the list.
  for (int64_t pos = c.itop, k = 0; c.delayed > 0 && k < children; ++k) {  // ifact[pos]: a record's g
    const int32_t g = ifact[pos];
    for (int64_t e = pos + 1; e <= pos + g; ++e) {
      if (std::abs(a.varnode[ifact[e] - 1]) <= node) append(ifact[e]);
    }
    pos += g + 1;
  }
  c.s = size;
  const int32_t* col = ifact + (c.iin - 1);
  for (int32_t r = ntaken - o; r < ntaken; ++r) {
    for (int32_t k = 0; k < a.rowlen[r]; ++k) append(*col++);
  }
  for (int64_t pos = c.itop, k = 0; k < children; ++k) {
    const int32_t g = ifact[pos];
    for (int64_t e = pos + 1; e <= pos + g; ++e) append(ifact[e]);
    pos += g + 1;
  }
  c.ntaken = ntaken;
  c.o = o;
  c.f = size;
  c.maxfront = std::max(c.maxfront, size);
}

// Assembles the placed front: clears it, adds the own input rows and the
// children's blocks, and pops the children. Own rows reach only the upper
// triangle: their columns come later in the pivot order.
template <bool kSmall>
PEMRIC_NODE_STEP void AssembleFront(NodeCursor& c, const NodeArrays& a) {
  const int64_t f = c.f;
  double* const front = a.fact + (c.frontstart - 1);  // F(i, j) is front[(i - 1) * f + j - 1]
  // Only the upper triangle is read before it is written: the elimination
  // keeps its unscaled values below the diagonal before any use of them. A
  // small front is cleared whole, in one sweep rather than one per row.
  if (kSmall || f <= kSmallFront) {
    std::memset(front, 0, sizeof(double) * static_cast<size_t>(f * f));
  } else {
    ForRows(a.threads, f, f >= kThreadedRows, [=](int64_t r) {
      std::memset(front + r * (f + 1), 0, sizeof(double) * static_cast<size_t>(f - r));
    });
  }
  const int32_t* const frontpos = a.frontpos;
  const int32_t* const cols = a.ifact + (c.iin - 1);
  const int32_t* col = cols;
  const double* val = a.fact + (c.rin - 1);
  for (int32_t r = c.ntaken - c.o; r < c.ntaken; ++r) {
    double* row = front + static_cast<int64_t>(frontpos[a.pivseq[r] - 1] - 1) * f;
    const int32_t len = a.rowlen[r];
    for (int32_t k = 0; k < len; ++k) row[frontpos[col[k] - 1] - 1] += val[k];
    col += len;
    val += len;
  }
  const int64_t assembled = col - cols;
  c.assembled = assembled;
  c.iin += assembled;
  c.rin += assembled;
  c.real_held_compress -= assembled;
  c.int_held_compress -= assembled;
  c.ops_assembly += static_cast<double>(assembled);
  const int32_t children = a.nchild[c.node - 1];
  for (int32_t k = 0; k < children; ++k) {
    const int64_t g = a.ifact[c.itop];
    // The record is popped after this, so its variables can be replaced by
    // their front positions, one lookup per variable instead of per entry.
    int32_t* pos = a.ifact + c.itop + 1;
    for (int64_t i = 0; i < g; ++i) pos[i] = frontpos[pos[i] - 1];
    AddChildBlock(front, f, pos, g, a.fact + c.rtop, kSmall ? 1 : a.threads);
    const int64_t values = Triangle(g);
    c.ops_assembly += static_cast<double>(values);
    c.itop += g + 1;
    c.rtop += values;
    c.int_stack -= g + 1;
    c.real_stack -= values;
    c.int_held_compress -= g + 1;
    c.int_held_plain -= g + 1;
    c.real_held_compress -= values;
    c.real_held_plain -= values;
  }
}

// Rows `last` down to p+1 of the front's upper triangle (each from its
// diagonal to f), by rows, to the values that end just before `end`,
// element by element from the last; returns where they begin. The stack
// may overlap the front's last rows (every destination lies at or above its
// source), never its first.
PEMRIC_NODE_STEP double* StackRows(const double* front, int64_t f, int64_t p, int64_t last, double* end) {
  for (int64_t i = last; i > p; --i) {
    const double* src = front + (i - 1) * f;
    for (int64_t l = f; l >= i; --l) *--end = src[l - 1];
  }
  return end;
}

// The contribution block of a small front the direct way (rank-1 and
// rank-2 updates of the stacked copy, see DirectUpdates), with its forecasts
// and sizes; `ops` counts the elimination's operations. One 1x1 pivot, the common case on banded problems, forms each
// stacked value F(i, l) + lambda(i) * x(l) as it is written: the sum the
// direct way forms in two steps. Its multipliers replace the pivot row's
// values only at the end, as the rows are stacked from the last.
PEMRIC_NODE_STEP void StackSmallContribution(NodeCursor& c, const NodeArrays& a, double& ops) {
  const int64_t f = c.f, s = c.s, p = c.p, g = f - p, m = f - s;
  // The direct way's update of the real forecasts is left out: it repeats
  // the one made when the front was placed, with the same front and with
  // smaller held sizes (the assembly only consumed input and popped
  // blocks), so it never changes them.
  const int64_t values = Triangle(g);
  double* const front = a.fact + (c.frontstart - 1);
  double* const stack = a.fact + (c.rtop - values);  // the block's first value, (p+1, p+1)
  if (p == 1 && m > 0 && m <= kSmallFront) {
    double lambda[kSmallFront];
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
    StackRows(front, f, p, s, dest);
    for (int64_t i = s + 1; i <= f; ++i) front[i - 1] = lambda[i - s - 1];
    const double md = static_cast<double>(m);
    ops += md + md * (md + 1.0);
  } else {
    StackRows(front, f, p, f, stack + values);
    if (m > 0) {
      ops = DirectUpdates(front, a.ifact + (c.recpos - 1), f, s, p, stack + StackedRowStart(g, s - p), ops);
    }
  }
  c.rtop -= values;
}

// The sizes that a stacked contribution block of order g adds.
PEMRIC_NODE_STEP void CountStackedBlock(NodeCursor& c, int64_t g) {
  const int64_t values = Triangle(g);
  c.real_stack += values;
  c.real_held_compress = SatAdd(c.real_held_compress, values);
  c.real_held_plain = SatAdd(c.real_held_plain, values);
  c.int_held_compress += g + 1;
  c.int_held_plain += g + 1;
}

// Pushes the index record of the contribution block (after the integer
// space test) and takes its variables out of the front.
PEMRIC_NODE_STEP void PushIndexRecord(NodeCursor& c, const NodeArrays& a) {
  const int32_t p = c.p, g = c.f - c.p, unplaced = a.n + 1;
  const int32_t* const rest = a.ifact + (c.recpos - 1) + p;  // the g variables of the block
  if (g <= 0) return;
  c.itop -= g + 1;
  int32_t* record = a.ifact + c.itop;  // IFACT(itop + 1)
  record[0] = g;
  for (int32_t i = 0; i < g; ++i) {
    const int32_t v = std::abs(rest[i]);
    record[i + 1] = v;
    a.frontpos[v - 1] = unplaced;
  }
  c.int_stack += g + 1;
}

// Stores the block: its record and, unless only counting, the node's
// factors (rows 1..p of the front) from nextfac: the pivot block's upper
// triangle by rows (CopyPivotRow), then the p x g rectangle. Destinations
// never pass their sources (the gap left before the front holds at least
// the p(p+1)/2 values of the pivot block), so row by row in order is safe;
// when the two areas do not overlap at all, a large front's rows are
// copied by the threads.
template <bool kSmall>
PEMRIC_NODE_STEP void StoreBlock(NodeCursor& c, const NodeArrays& a, bool counting) {
  const int64_t p = c.p, f = c.f, g = f - p;
  if (p > 0) {
    const int64_t size = Triangle(p) + p * g;
    int32_t* const list = a.ifact + (c.recpos - 1);
    c.nblocks += 1;
    list[-2] = c.f;
    list[-1] = c.p;
    c.recpos += f + 2;
    c.vnext = SatAdd(c.vnext, size);
    if (!counting) {
      const double* const front = a.fact + (c.frontstart - 1);
      double* out = a.fact + (c.nextfac - 1);
      if (kSmall) {
        for (int64_t i = 0; i < p; ++i) {
          CopyPivotRow(out, front + i * (f + 1), p - i);
          out += p - i;
        }
        for (int64_t i = 0; i < p; ++i) {
          for (int64_t l = p; l < f; ++l) *out++ = front[i * f + l];
        }
      } else {
        const bool threaded = p >= kThreadedRows && c.nextfac + size <= c.frontstart;
        ForRows(a.threads, p, threaded, [=](int64_t i) {
          CopyPivotRow(out + StackedRowStart(p, i), front + i * (f + 1), p - i);
        });
        double* const rect = out + Triangle(p);
        if (g > 0) {
          ForRows(a.threads, p, threaded, [=](int64_t i) {
            std::memmove(rect + i * g, front + i * f + p, sizeof(double) * static_cast<size_t>(g));
          });
        }
      }
      c.nextfac += size;
    }
  }
  if (c.node < a.nnodes) {
    a.ifact[c.recpos - 3] = 0;
    a.ifact[c.recpos - 2] = 0;
  }
}

}  // namespace ma57
}  // namespace pemric
