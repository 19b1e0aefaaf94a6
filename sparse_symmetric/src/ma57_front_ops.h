// The pivot choice and the rank-1 and rank-2 eliminations inside one dense
// frontal matrix, written once for both ways of processing a node: the
// general node loop and the run of small fronts. Both call these same
// routines, so a front gets the same operations in the same order whichever
// way it takes, and the factors, pivots and counts agree bit for bit.
//
// The front is row-major: F(i, j) is a[(i - 1) * f + j - 1]. Only its upper
// triangle is working data; below the diagonal a pass that is not the last
// keeps the unscaled values of its pivot rows for the blocked update.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "ma57_threads.h"
#include "pemric/ma57.h"

namespace pemric {
namespace ma57 {

// A front being eliminated and the counters that its elimination moves.
struct FrontWork {
  double* a = nullptr;        // F(1, 1)
  int32_t* index = nullptr;   // index[k - 1]: the variable at position k
  int64_t f = 0;              // order
  int64_t s = 0;              // fully summed variables
  int64_t p = 0;              // pivots chosen at this node
  double u = 0.0;             // relative pivot threshold
  double tol = 0.0;           // |pivot| <= tol counts as zero
  int32_t mode = 1;           // pivoting mode ICNTL(7)
  double ops = 0.0;           // elimination operations, RINFO(4)
  int32_t nsteps = 0;         // pivot steps over all nodes
  int32_t nneg = 0;           // negative eigenvalues of D
  int32_t n2x2 = 0;           // 2x2 pivots
  int32_t refsign = 0;        // sign of the first pivot (modes 2 and 3)
  int32_t sign_changes = 0;   // INFO(26)
  double bad = 0.0;           // the pivot that ended the factorization, if one did

  double& F(int64_t i, int64_t j) const { return a[(i - 1) * f + (j - 1)]; }
  double* Row(int64_t i) const { return a + (i - 1) * f; }
};

struct FrontalState;

// The elimination's settings and counters as the factorization's state holds
// them; the front itself (a, index, f, s, p) is left for the caller to set.
FrontWork CountersOf(FrontalState& st);

// A pass over the block of fully summed columns p0+1..e.
struct Pass {
  int64_t p0 = 0;     // pivots at the start of the pass
  int64_t e = 0;      // last column of the block
  int32_t b = 0;      // block size
  bool last = false;  // the last pass: no later rows wait for a block update
};

// Symmetric interchange of front positions q < i (rows and columns).
inline void Interchange(FrontWork& w, int64_t q, int64_t i) {
  if (q == i) return;
  for (int64_t k = 1; k < q; ++k) std::swap(w.F(k, q), w.F(k, i));
  for (int64_t k = q + 1; k < i; ++k) std::swap(w.F(q, k), w.F(k, i));
  std::swap(w.F(q, q), w.F(i, i));
  for (int64_t k = i + 1; k <= w.f; ++k) std::swap(w.F(q, k), w.F(i, k));
  std::swap(w.index[q - 1], w.index[i - 1]);
}

// 1x1 pivot at q = p + 1 with value d = F(q, q): F(q, q) becomes 1/d, the
// rows of the block get the rank-1 update (all columns to f) and row q the
// multipliers. kOnePass: the pass covers all fully summed columns (the last
// pass, its block holding every row), so the per-row tests fall away. The
// operation count is summed in a local, in the same order.
template <bool kOnePass>
inline void Eliminate1x1(FrontWork& w, const Pass& ps) {
  const int64_t q = w.p + 1, s = w.s, f = w.f;
  double ops = w.ops + 1.0;
  double* rowq = w.Row(q);
  const double dinv = 1.0 / rowq[q - 1];
  rowq[q - 1] = dinv;
  if (dinv < 0.0) ++w.nneg;
  int64_t k = q + 1;
  if (!kOnePass) {
    // The block's rows four at a time, in one sweep of row q: a quarter of
    // the loads of row q, and every entry still gets its one update in the
    // same form. Row k + r reads row q from column k + r; the multipliers
    // replace the values of row q only once the four rows are done, so the
    // group sees what the rows one by one would.
    const int64_t last_updated = std::min<int64_t>(s, ps.p0 + ps.b);
    for (; k + 3 <= last_updated; k += 4) {
      const double* __restrict y = rowq;
      const double x0 = y[k - 1], x1 = y[k], x2 = y[k + 1], x3 = y[k + 2];
      const double l0 = -x0 * dinv, l1 = -x1 * dinv, l2 = -x2 * dinv, l3 = -x3 * dinv;
      double* __restrict r0 = w.Row(k);
      double* __restrict r1 = r0 + f;
      double* __restrict r2 = r1 + f;
      double* __restrict r3 = r2 + f;
      if (!ps.last) {
        r0[q - 1] = x0;
        r1[q - 1] = x1;
        r2[q - 1] = x2;
        r3[q - 1] = x3;
      }
      for (int64_t r = 0; r < 4; ++r) ops += 2.0 * static_cast<double>(f - k - r + 1) + 1.0;
      // Columns k..k+2, where the later rows have not begun.
      r0[k - 1] += l0 * y[k - 1];
      r0[k] += l0 * y[k];
      r1[k] += l1 * y[k];
      r0[k + 1] += l0 * y[k + 1];
      r1[k + 1] += l1 * y[k + 1];
      r2[k + 1] += l2 * y[k + 1];
      for (int64_t l = k + 3; l <= f; ++l) {
        const double yl = y[l - 1];
        r0[l - 1] += l0 * yl;
        r1[l - 1] += l1 * yl;
        r2[l - 1] += l2 * yl;
        r3[l - 1] += l3 * yl;
      }
      rowq[k - 1] = l0;
      rowq[k] = l1;
      rowq[k + 1] = l2;
      rowq[k + 2] = l3;
    }
  }
  for (; k <= s; ++k) {
    const double x = rowq[k - 1];
    const double lambda = -x * dinv;
    double* rowk = w.Row(k);
    if (!kOnePass && !ps.last) rowk[q - 1] = x;
    ops += 2.0 * static_cast<double>(f - k + 1) + 1.0;
    if (kOnePass || k - ps.p0 <= ps.b) {
      for (int64_t l = k; l <= f; ++l) rowk[l - 1] += lambda * rowq[l - 1];
    }
    rowq[k - 1] = lambda;
  }
  w.ops = ops;
  w.p += 1;
  w.nsteps += 1;
}

// 2x2 pivot at q, q + 1 with determinant det: the inverse block in place,
// the rank-2 update of the block's rows, both index entries negated.
template <bool kOnePass>
inline void Eliminate2x2(FrontWork& w, const Pass& ps, double det) {
  const int64_t q = w.p + 1, s = w.s, f = w.f;
  double* row1 = w.Row(q);
  double* row2 = row1 + f;
  const double a = row1[q - 1], beta = row1[q], c = row2[q];
  double ops = w.ops + 6.0;
  if (det < 0.0) {
    w.nneg += 1;
  } else if (c < 0.0) {
    w.nneg += 2;
  }
  const double d11 = c / det, d22 = a / det, d12 = -beta / det;
  row1[q - 1] = d11;
  row2[q] = d22;
  row1[q] = d12;
  for (int64_t k = q + 2; k <= s; ++k) {
    const double x1 = row1[k - 1], x2 = row2[k - 1];
    const double l1 = -(d11 * x1 + d12 * x2);
    const double l2 = -(d12 * x1 + d22 * x2);
    double* rowk = w.Row(k);
    if (!kOnePass && !ps.last) {
      rowk[q - 1] = x1;
      rowk[q] = x2;
    }
    ops += 4.0 * static_cast<double>(f - k + 1) + 6.0;
    if (kOnePass || k - ps.p0 <= ps.b) {
      for (int64_t l = k; l <= f; ++l) rowk[l - 1] += l1 * row1[l - 1] + l2 * row2[l - 1];
    }
    row1[k - 1] = l1;
    row2[k - 1] = l2;
  }
  w.ops = ops;
  w.index[q - 1] = -w.index[q - 1];
  w.index[q] = -w.index[q];
  w.p += 2;
  w.nsteps += 2;
  w.n2x2 += 1;
}

// Largest |x[k]|, k < n, or 0, NaNs passed over: what std::max(m, |x[k]|)
// gives in order from m = 0. A maximum does not depend on the order it is
// taken in, so four running maxima give the same value while breaking the
// chain of dependent comparisons (a row of a large front has thousands).
inline double MaxAbs(const double* x, int64_t n) {
  double m0 = 0.0, m1 = 0.0, m2 = 0.0, m3 = 0.0;
  int64_t k = 0;
  for (; k + 4 <= n; k += 4) {
    m0 = std::max(m0, std::fabs(x[k]));
    m1 = std::max(m1, std::fabs(x[k + 1]));
    m2 = std::max(m2, std::fabs(x[k + 2]));
    m3 = std::max(m3, std::fabs(x[k + 3]));
  }
  for (; k < n; ++k) m0 = std::max(m0, std::fabs(x[k]));
  return std::max(std::max(m0, m1), std::max(m2, m3));
}

// Largest |entry| of row/column i over positions from..to (skipping `skip`),
// reading the upper triangle: F(k, i) above the diagonal, F(i, k) after it.
inline double ColumnMax(const FrontWork& w, int64_t i, int64_t from, int64_t to, int64_t skip) {
  double v = 0.0;
  for (int64_t k = from; k <= to; ++k) {
    if (k == i || k == skip) continue;
    const double a = std::fabs(k < i ? w.F(k, i) : w.F(i, k));
    if (a > v) v = a;
  }
  return v;
}

// Threshold tests of mode 1 on candidate i. Returns 0 (reject), 1 or 2 (size of
// the accepted pivot); for a 2x2 pivot jmax and det are set.
inline int TestCandidate(const FrontWork& w, const Pass& ps, int64_t i, int64_t& jmax, double& det) {
  const double d = w.F(i, i), ad = std::fabs(d), tol = w.tol;
  double alpha = 0.0;
  jmax = 0;
  for (int64_t k = i - 1; k > w.p; --k) {
    const double a = std::fabs(w.F(k, i));
    if (a > alpha) alpha = a, jmax = k;
  }
  const double* rowi = w.Row(i);
  for (int64_t k = i + 1; k <= ps.e; ++k) {
    const double a = std::fabs(rowi[k - 1]);
    if (a > alpha) alpha = a, jmax = k;
  }
  double rho = MaxAbs(rowi + ps.e, w.f - ps.e);
  // "<= tol" is written as "not > tol" so that a NaN counts as zero.
  if (!(rho > tol) && !(ad > tol) && !(alpha > tol)) return 0;
  if (!(alpha > tol) && !(ad > tol)) return 0;
  if (ad > w.u * std::max(rho, alpha)) return 1;
  if (w.p + 1 == w.s || !(alpha > tol) || jmax == 0) return 0;
  const double c = w.F(jmax, jmax);
  if (rho < alpha) rho = ColumnMax(w, i, w.p + 1, w.f, jmax);
  const double tau = ColumnMax(w, jmax, w.p + 1, w.f, i);
  det = d * c - alpha * alpha;
  double mu = std::max(ad, std::fabs(c));
  if (mu == 0.0) mu = 1.0;
  const double adet = std::fabs(det);
  if (std::fabs(det) / mu > tol && w.u * (alpha * tau + rho * std::fabs(c)) <= adet &&
      w.u * (alpha * rho + tau * ad) <= adet) {
    return 2;
  }
  return 0;
}

// One pass of mode 1 over the block p0+1..e. Returns the pivots accepted.
template <bool kOnePass>
int32_t PassThreshold(FrontWork& w, const Pass& ps) {
  const int64_t width = ps.e - ps.p0;
  int64_t accepted = 0, examined = 0, allowance = width, j = 1;
  while (accepted < width && examined < allowance) {
    if (j > width) j = accepted + 1;
    const int64_t i = ps.p0 + j;
    int64_t jmax = 0;
    double det = 0.0;
    const int size = TestCandidate(w, ps, i, jmax, det);
    ++examined;
    if (size == 1) {
      Interchange(w, w.p + 1, i);
      const int64_t before = accepted;
      Eliminate1x1<kOnePass>(w, ps);
      accepted += 1;
      allowance = width - accepted, examined = 0;
      j = std::max(j, before + 1);
    } else if (size == 2) {
      Interchange(w, w.p + 1, std::min(i, jmax));
      Interchange(w, w.p + 2, std::max(i, jmax));
      const int64_t before = accepted;
      Eliminate2x2<kOnePass>(w, ps, det);
      accepted += 2;
      allowance = width - accepted, examined = 0;
      j = std::max(j, before + 2);
    }
    ++j;
  }
  return static_cast<int32_t>(accepted);
}

// One pass of modes 2, 3, 4: the candidates in order, each one accepted or
// ending the factorization. `modify(w, zero)` decides a pivot of mode 4 (0,
// or the zero-pivot status with w.bad set). Returns the pivots accepted, or a
// negative status with w.bad the offending pivot (not yet reported).
template <bool kOnePass, typename Modify>
int32_t PassInOrder(FrontWork& w, const Pass& ps, Modify modify) {
  const int64_t width = ps.e - ps.p0;
  for (int64_t accepted = 0; accepted < width; ++accepted) {
    const double d = w.F(w.p + 1, w.p + 1);
    // Anything but |d| > tol, a NaN included, is a zero pivot.
    const bool nonzero = std::fabs(d) > w.tol;
    if (nonzero) {
      const int32_t sign = d > 0.0 ? 1 : -1;
      if (w.nsteps == 0) {
        w.refsign = sign;
      } else if (w.mode != MA57_PIVOT_MODIFIED && sign != w.refsign) {
        if (w.mode == MA57_PIVOT_ONE_SIGN) return MA57_ERR_SIGN_CHANGE;
        w.sign_changes += 1;
        w.refsign = sign;
      }
    } else if (w.mode != MA57_PIVOT_MODIFIED) {
      w.bad = d;
      return MA57_ERR_ZERO_PIVOT;
    }
    if (w.mode == MA57_PIVOT_MODIFIED) {
      const int32_t status = modify(w, !nonzero);
      if (status != 0) return status;
    }
    Eliminate1x1<kOnePass>(w, ps);
  }
  return static_cast<int32_t>(width);
}

// Row i of a node's pivot block stored from its diagonal, len values: the
// diagonal as it is and the multipliers negated, the sign with which the
// solution phase applies them (the finish then only moves the off-diagonals
// of 2x2 pivots). Writing forward is safe when the row moves down over
// itself, as the stored factors do within the front's gap.
inline void CopyPivotRow(double* to, const double* from, int64_t len) {
  to[0] = from[0];
  for (int64_t k = 1; k < len; ++k) to[k] = -from[k];
}

// Offset of row `skipped` + 1 (from its diagonal) in a packed upper triangle
// of order g stored by rows: the rows before it have g, g - 1, ... values.
inline int64_t StackedRowStart(int64_t g, int64_t skipped) {
  return skipped * g - skipped * (skipped - 1) / 2;
}

// One row of a child's block, entries j = i..g-1 of row i (values v), into
// the front: consecutive positions as one contiguous run, increasing ones
// without a test, others to F(min, max) of their two positions.
inline void AddChildRow(double* __restrict front, int64_t f, const int32_t* __restrict pos,
                        int64_t g, const double* __restrict v, int64_t i, int shape) {
  const int64_t a = pos[i] - 1;
  double* row = front + a * f;  // row[c] is F(a + 1, c + 1)
  if (shape == 2) {
    double* run = row + a;
    for (int64_t j = 0; j < g - i; ++j) run[j] += v[j];
  } else if (shape == 1) {
    row -= 1;
    for (int64_t j = i; j < g; ++j) row[pos[j]] += v[j - i];
  } else {
    for (int64_t j = i; j < g; ++j) {
      const int64_t c = pos[j] - 1;
      if (c >= a) {
        row[c] += v[j - i];
      } else {
        front[c * f + a] += v[j - i];
      }
    }
  }
}

// Adds one child's packed upper triangle into the front. pos[i] is the front
// position of the child's i-th variable; entry (i, j), i <= j, goes to
// F(min, max) of its two positions, so that the upper triangle (the only one
// the elimination reads before writing it) receives every contribution in
// turn. Each front entry gets at most one value from a child, so the sums are
// formed in the order of the children. When the positions increase with i,
// as they mostly do, every entry lands at F(pos[i], pos[j]) without a test;
// when they are consecutive as well (chains of fronts on banded matrices),
// each row of the child's triangle is added to a contiguous run of the front.
inline void AddChildBlock(double* __restrict front, int64_t f, const int32_t* __restrict pos,
                          int64_t g, const double* __restrict val, int team) {
  int64_t i = 1;
  while (i < g && pos[i] > pos[i - 1]) ++i;
  const int shape = i < g ? 0 : pos[g - 1] - pos[0] == g - 1 ? 2 : 1;
  if (g >= kThreadedRows) {
    // Two rows never reach the same front entry, so they are independent.
    ForRows(team, g, true, [=](int64_t r) {
      AddChildRow(front, f, pos, g, val + StackedRowStart(g, r), r, shape);
    });
    return;
  }
  if (shape == 2) {
    double* diag = front + (pos[0] - 1) * (f + 1);  // F(pos[0], pos[0])
    for (i = 0; i < g; ++i, diag += f + 1) {
      for (int64_t j = 0; j < g - i; ++j) diag[j] += val[j];
      val += g - i;
    }
    return;
  }
  if (shape == 1) {
    for (i = 0; i < g; ++i) {
      double* row = front + (pos[i] - 1) * f - 1;  // row[c] is F(pos[i], c)
      for (int64_t j = i; j < g; ++j) row[pos[j]] += val[j - i];
      val += g - i;
    }
    return;
  }
  for (i = 0; i < g; ++i) {
    AddChildRow(front, f, pos, g, val, i, shape);
    val += g - i;
  }
}

// The direct way of forming the contribution block, once its upper triangle
// is on the stack (`first`: stacked row s+1 from its diagonal): each pivot in
// order turns its row's entries in columns s+1..f into multipliers and adds
// its rank-1 or rank-2 update to the stacked rows s+1..f (from the diagonal
// to f). `index` tells the 2x2 pivots (negated entries). Returns ops with the
// operation counts added in pivot order.
inline double DirectUpdates(double* a, const int32_t* index, int64_t f, int64_t s, int64_t p,
                            double* first, double ops) {
  const double md = static_cast<double>(f - s);
  for (int64_t q = 1; q <= p;) {
    double* r1 = a + (q - 1) * f;
    double* out = first;
    if (index[q - 1] >= 0) {
      const double dinv = r1[q - 1];
      for (int64_t i = s + 1; i <= f; out += f - i + 1, ++i) {
        const double lambda = -r1[i - 1] * dinv;
        for (int64_t l = i; l <= f; ++l) out[l - i] += lambda * r1[l - 1];
        r1[i - 1] = lambda;
      }
      ops += md + md * (md + 1.0);
      q += 1;
      continue;
    }
    double* r2 = r1 + f;
    const double d11 = r1[q - 1], d12 = r1[q], d22 = r2[q];
    for (int64_t i = s + 1; i <= f; out += f - i + 1, ++i) {
      const double x1 = r1[i - 1], x2 = r2[i - 1];
      const double l1 = -(d11 * x1 + d12 * x2), l2 = -(d12 * x1 + d22 * x2);
      for (int64_t l = i; l <= f; ++l) out[l - i] += l1 * r1[l - 1] + l2 * r2[l - 1];
      r1[i - 1] = l1;
      r2[i - 1] = l2;
    }
    ops += 6.0 * md + 2.0 * md * (md + 1.0);
    q += 2;
  }
  return ops;
}

}  // namespace ma57
}  // namespace pemric
