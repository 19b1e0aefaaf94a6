// MA57CD: solution of A X = B with the factors P L D L^T P^T of MA57BD.
//
// The factors are walked block by block (see ma57_frontal.h for the layout):
// forward P L Y = B in elimination order, then D^-1 and L^T P^T X = Y in
// reverse order. A block with at least 5 pivots and more than ICNTL(13)
// columns is gathered into W and handled by BLAS (DTPSV for the unit lower
// pivot triangle, DGEMV or DGEMM for the rectangle); smaller blocks work in
// place on RHS through their variable lists, which avoids the copies; with
// one right-hand side, blocks of up to four pivots take loops of fixed length
// inside stage loops of their own, and the larger blocks work on W without
// the column arithmetic of several right-hand sides.
// The monitoring reports are in ma57_solve_report.cpp.
#include <algorithm>
#include <cstdlib>

#include "ma57_checks.h"
#include "ma57_frontal.h"
#include "ma57_gates.h"
#include "ma57_phases.h"
#include "ma57_solve_report.h"
#include "pemric/blas.h"
#include "pemric/error_report.h"
#include "pemric/ma57.h"
#include "pemric/ma57_trusted.h"
#include "pemric/one_based.h"
#include "pemric/record.h"

namespace pemric {
namespace {

// Read-only view of one block of the factors.
struct Block {
  int64_t c = 0, r = 0;        // columns and pivots
  const int32_t* idx = nullptr;  // c variables (pivots first, 2x2 members negated)
  const double* tri = nullptr;   // packed unit lower triangle, column by column
  const double* rect = nullptr;  // (c - r) x r rectangle, column-major
  int32_t Var(int64_t i) const { return std::abs(idx[i - 1]); }
  bool Negative(int64_t i) const { return idx[i - 1] < 0; }
  // Start of packed column j of the triangle (its diagonal).
  const double* Column(int64_t j) const { return tri + ((j - 1) * r - (j - 1) * (j - 2) / 2); }
  double R(int64_t i, int64_t j) const { return rect[(j - 1) * (c - r) + (i - 1)]; }
};

struct Solve {
  OneBased<const double> fact;
  OneBased<const int32_t> ifact;
  int32_t nrhs;
  double* rhs;
  int64_t lrhs;
  double* w;
  int64_t ldw;
  int32_t* iwblk;
  int32_t threshold;  // ICNTL(13)
  double& X(int64_t v, int64_t k) const { return rhs[(v - 1) + (k - 1) * lrhs]; }
  double& W(int64_t i, int64_t k) const { return w[(i - 1) + (k - 1) * ldw]; }
  bool Gathered(const Block& b) const { return b.r >= 5 && b.c > threshold; }
};

inline Block MakeBlock(const Solve& so, int64_t rec, int64_t a) {
  Block b;
  b.c = std::abs(so.ifact(rec));
  b.r = std::abs(so.ifact(rec + 1));
  b.idx = so.ifact.from(rec + 2);
  b.tri = so.fact.from(a);
  b.rect = b.tri + b.r * (b.r + 1) / 2;
  return b;
}

// Reals of a block of r pivots and c columns in FACT: its packed triangle and
// its rectangle.
int64_t BlockReals(int64_t r, int64_t c) { return r * (r + 1) / 2 + r * (c - r); }
int64_t BlockReals(const Block& b) { return BlockReals(b.r, b.c); }

// Blocks of one right-hand side with at most four pivots, the most
// frequent on sparse problems (one pivot per block on banded normal
// matrices). They are never gathered (that takes 5 pivots), and loops of
// fixed length over the pivots leave only the loop over the block's other
// rows: the same operations in the same order as the general in-place loops,
// so the results are identical. `var` is the block's variable list (pivots
// negated in 2x2 pairs), `tri` its packed triangle, m = c - R its other rows.
// Only pivots are ever negated (MA57CD's check of the factors refuses any
// other negative variable), so the other rows index X as they stand.
inline double& At(double* x, int32_t var) { return x[std::abs(var) - 1]; }

// Start of packed column j (from 0) of a triangle of order R.
template <int64_t R>
constexpr int64_t FixedColumn(int64_t j) {
  return j * R - j * (j - 1) / 2;
}

template <int64_t R>
void ForwardFixed(double* x, const int32_t* var, const double* tri, int64_t m) {
  for (int64_t j = 0; j < R; ++j) {
    const double xj = At(x, var[j]);
    const double* col = tri + FixedColumn<R>(j);
    for (int64_t i = j + 1; i < R; ++i) At(x, var[i]) -= xj * col[i - j];
  }
  double held[R];
  for (int64_t j = 0; j < R; ++j) held[j] = At(x, var[j]);
  const double* rect = tri + FixedColumn<R>(R);
  const int32_t* row = var + R;
  for (int64_t i = 0; i < m; ++i) {
    double sum = 0.0;
    for (int64_t j = 0; j < R; ++j) sum += held[j] * rect[j * m + i];
    x[row[i] - 1] += sum;
  }
}

// D^-1, then the rectangle's terms (each pivot's sum over the rows in row
// order, all pivots in one sweep of the rows), then the triangle's.
template <int64_t R>
void BackwardFixed(const Solve& so, const int32_t* var, const double* tri, int64_t m,
                   int64_t& off, bool with_d) {
  double* x = so.rhs;
  for (int64_t j = R - 1; with_d && j >= 0; --j) {
    double& x2 = At(x, var[j]);
    if (var[j] < 0 && j >= 1) {
      double& x1 = At(x, var[j - 1]);
      const double o = so.fact(off);
      off -= 1;
      const double y1 = tri[FixedColumn<R>(j - 1)] * x1 + o * x2;
      const double y2 = o * x1 + tri[FixedColumn<R>(j)] * x2;
      x1 = y1;
      x2 = y2;
      --j;
    } else {
      x2 = tri[FixedColumn<R>(j)] * x2;
    }
  }
  const double* rect = tri + FixedColumn<R>(R);
  const int32_t* row = var + R;
  double sum[R];
  for (int64_t j = 0; j < R; ++j) sum[j] = 0.0;
  for (int64_t i = 0; i < m; ++i) {
    const double xi = x[row[i] - 1];
    for (int64_t j = 0; j < R; ++j) sum[j] += rect[j * m + i] * xi;
  }
  for (int64_t j = 0; j < R; ++j) At(x, var[j]) += sum[j];
  for (int64_t j = R - 1; j >= 0; --j) {
    const double* col = tri + FixedColumn<R>(j);
    double s = 0.0;
    for (int64_t i = j + 1; i < R; ++i) s += col[i - j] * At(x, var[i]);
    At(x, var[j]) -= s;
  }
}

// One right-hand side worked in place: the loops of the several-column case
// with the column of X fixed, so that per-block overhead (index arithmetic for
// each triangle column, the loop over columns of X) stays out of the small
// blocks that dominate sparse problems. The operations and their order are
// those of the general loops, so the results are identical.
constexpr int64_t kHeldPivots = 8;

void ForwardInPlaceOne(const Solve& so, const Block& b) {
  const int64_t r = b.r, m = b.c - b.r;
  double* x = so.rhs;
  auto xv = [&](int64_t i) -> double& { return x[b.Var(i) - 1]; };
  const double* col = b.tri;  // column j of the triangle; the next starts r - j + 1 on
  for (int64_t j = 1; j <= r; ++j) {
    const double xj = xv(j);
    for (int64_t i = j + 1; i <= r; ++i) xv(i) -= xj * col[i - j];
    col += r - j + 1;
  }
  if (r <= kHeldPivots) {
    // The pivot values are final now; holding them in registers saves
    // reloading them for every row, since the compiler cannot tell that the
    // rows' variables differ from the pivots'.
    double held[kHeldPivots];
    for (int64_t j = 1; j <= r; ++j) held[j - 1] = xv(j);
    for (int64_t i = 1; i <= m; ++i) {
      double sum = 0.0;
      const double* row = b.rect + (i - 1);  // R(i, j) is row[(j - 1) * m]
      for (int64_t j = 1; j <= r; ++j) sum += held[j - 1] * row[(j - 1) * m];
      xv(r + i) += sum;
    }
    return;
  }
  for (int64_t i = 1; i <= m; ++i) {
    double sum = 0.0;
    const double* row = b.rect + (i - 1);  // R(i, j) is row[(j - 1) * m]
    for (int64_t j = 1; j <= r; ++j) sum += xv(j) * row[(j - 1) * m];
    xv(r + i) += sum;
  }
}

// A gathered block with one right-hand side: the same BLAS calls on W as
// in the general case below, the gathers and scatters without the column
// arithmetic of W.
void ForwardGatheredOne(const Solve& so, const Block& b) {
  const int64_t c = b.c, r = b.r, m = c - r;
  double* x = so.rhs;
  double* w = so.w;
  const int32_t* var = b.idx;
  for (int64_t i = 0; i < r; ++i) w[i] = At(x, var[i]);
  for (int64_t i = r; i < c; ++i) w[i] = x[var[i] - 1];
  blas::Dtpsv('L', 'N', 'U', static_cast<int32_t>(r), b.tri, w, 1);
  if (m > 0) {
    blas::Dgemv('N', static_cast<int32_t>(m), static_cast<int32_t>(r), 1.0, b.rect,
                static_cast<int32_t>(m), w, 1, 1.0, w + r, 1);
  }
  for (int64_t i = 0; i < r; ++i) At(x, var[i]) = w[i];
  for (int64_t i = r; i < c; ++i) x[var[i] - 1] = w[i];
}

void ForwardBlock(const Solve& so, const Block& b) {
  const int64_t c = b.c, r = b.r, m = c - r;
  if (so.Gathered(b) && so.nrhs == 1) {
    ForwardGatheredOne(so, b);
    return;
  }
  if (so.Gathered(b)) {
    for (int64_t k = 1; k <= so.nrhs; ++k) {
      for (int64_t i = 1; i <= c; ++i) so.W(i, k) = so.X(b.Var(i), k);
      blas::Dtpsv('L', 'N', 'U', static_cast<int32_t>(r), b.tri, &so.W(1, k), 1);
    }
    if (m > 0 && so.nrhs == 1) {
      blas::Dgemv('N', static_cast<int32_t>(m), static_cast<int32_t>(r), 1.0, b.rect,
                  static_cast<int32_t>(m), &so.W(1, 1), 1, 1.0, &so.W(r + 1, 1), 1);
    } else if (m > 0) {
      blas::Dgemm('N', 'N', static_cast<int32_t>(m), so.nrhs, static_cast<int32_t>(r), 1.0,
                  b.rect, static_cast<int32_t>(m), &so.W(1, 1), static_cast<int32_t>(so.ldw),
                  1.0, &so.W(r + 1, 1), static_cast<int32_t>(so.ldw));
    }
    for (int64_t k = 1; k <= so.nrhs; ++k) {
      for (int64_t i = 1; i <= c; ++i) so.X(b.Var(i), k) = so.W(i, k);
    }
    return;
  }
  if (so.nrhs == 1) {
    ForwardInPlaceOne(so, b);
    return;
  }
  for (int64_t k = 1; k <= so.nrhs; ++k) {
    for (int64_t j = 1; j <= r; ++j) {
      const double x = so.X(b.Var(j), k);
      const double* col = b.Column(j);
      for (int64_t i = j + 1; i <= r; ++i) so.X(b.Var(i), k) -= x * col[i - j];
    }
    for (int64_t i = 1; i <= m; ++i) {
      double sum = 0.0;
      for (int64_t j = 1; j <= r; ++j) sum += so.X(b.Var(j), k) * b.R(i, j);
      so.X(b.Var(r + i), k) += sum;
    }
  }
}

// Blocks of five pivots and more with one right-hand side, out of line so
// that the loop of ForwardStageOne over the small blocks stays in registers.
[[gnu::noinline]] void ForwardLargeOne(const Solve& so, int64_t rec, int64_t a) {
  ForwardBlock(so, MakeBlock(so, rec, a));
}

// The forward stage with one right-hand side: blocks of up to four pivots by
// the fixed loops, the others by ForwardBlock.
void ForwardStageOne(const Solve& so) {
  const int32_t blocks = so.ifact(kIfactBlocks);
  double* x = so.rhs;
  int64_t rec = kIfactRecords, a = 1;
  for (int32_t nb = 0; nb < blocks; ++nb) {
    so.iwblk[nb] = static_cast<int32_t>(rec);
    const int32_t* head = so.ifact.from(rec);  // c, r, then the variables
    const int64_t c = std::abs(head[0]), r = std::abs(head[1]);
    const double* tri = so.fact.from(a);
    switch (r) {
      case 1: ForwardFixed<1>(x, head + 2, tri, c - 1); break;
      case 2: ForwardFixed<2>(x, head + 2, tri, c - 2); break;
      case 3: ForwardFixed<3>(x, head + 2, tri, c - 3); break;
      case 4: ForwardFixed<4>(x, head + 2, tri, c - 4); break;
      default: ForwardLargeOne(so, rec, a); break;
    }
    a += BlockReals(r, c);
    rec += c + 2;
  }
}

void ForwardStage(const Solve& so) {
  if (so.nrhs == 1) {
    ForwardStageOne(so);
    return;
  }
  const int32_t blocks = so.ifact(kIfactBlocks);
  int64_t rec = kIfactRecords, a = 1;
  for (int32_t nb = 1; nb <= blocks; ++nb) {
    so.iwblk[nb - 1] = static_cast<int32_t>(rec);
    const int64_t c = std::abs(so.ifact(rec));
    ForwardBlock(so, MakeBlock(so, rec, a));
    a += BlockReals(std::abs(so.ifact(rec + 1)), c);
    rec += c + 2;
  }
}

// D^-1 applied to the pivots of a block, from the last pivot backwards; `off`
// is the position of the last 2x2 off-diagonal not yet used.
void ApplyInverseD(const Solve& so, const Block& b, int64_t& off, int64_t k, bool to_w) {
  for (int64_t j = b.r; j >= 1; --j) {
    if (b.Negative(j) && j >= 2) {
      const double o = so.fact(off);
      off -= 1;
      const double x1 = so.X(b.Var(j - 1), k), x2 = so.X(b.Var(j), k);
      const double y1 = b.Column(j - 1)[0] * x1 + o * x2;
      const double y2 = o * x1 + b.Column(j)[0] * x2;
      (to_w ? so.W(j - 1, k) : so.X(b.Var(j - 1), k)) = y1;
      (to_w ? so.W(j, k) : so.X(b.Var(j), k)) = y2;
      --j;
    } else {
      const double y = b.Column(j)[0] * so.X(b.Var(j), k);
      (to_w ? so.W(j, k) : so.X(b.Var(j), k)) = y;
    }
  }
}

// ApplyInverseD in place for one right-hand side, the same operations.
void ApplyInverseDInPlaceOne(const Solve& so, const Block& b, int64_t& off) {
  double* x = so.rhs;
  for (int64_t j = b.r; j >= 1; --j) {
    double& x2 = x[b.Var(j) - 1];
    if (b.Negative(j) && j >= 2) {
      double& x1 = x[b.Var(j - 1) - 1];
      const double o = so.fact(off);
      off -= 1;
      const double y1 = b.Column(j - 1)[0] * x1 + o * x2;
      const double y2 = o * x1 + b.Column(j)[0] * x2;
      x1 = y1;
      x2 = y2;
      --j;
    } else {
      x2 = b.Column(j)[0] * x2;
    }
  }
}

// The in-place backward block for one right-hand side (see ForwardInPlaceOne).
void BackwardInPlaceOne(const Solve& so, const Block& b, int64_t& off, bool with_d) {
  const int64_t r = b.r, m = b.c - b.r;
  double* x = so.rhs;
  auto xv = [&](int64_t i) -> double& { return x[b.Var(i) - 1]; };
  if (with_d) ApplyInverseDInPlaceOne(so, b, off);
  const double* rcol = b.rect;  // column j of the rectangle
  for (int64_t j = 1; j <= r; ++j, rcol += m) {
    double sum = 0.0;
    for (int64_t i = 1; i <= m; ++i) sum += rcol[i - 1] * xv(r + i);
    xv(j) += sum;
  }
  for (int64_t j = r; j >= 1; --j) {
    const double* col = b.Column(j);
    double sum = 0.0;
    for (int64_t i = j + 1; i <= r; ++i) sum += col[i - j] * xv(i);
    xv(j) -= sum;
  }
}

// A gathered block with one right-hand side (see ForwardGatheredOne): D^-1
// from the pivots of X into W as ApplyInverseD does, with the position of
// each diagonal stepped down from column to column (column j - 1 starts
// r - j + 2 before column j), then the same BLAS calls.
void BackwardGatheredOne(const Solve& so, const Block& b, int64_t& off, bool with_d) {
  const int64_t c = b.c, r = b.r, m = c - r;
  double* x = so.rhs;
  double* w = so.w;
  const int32_t* var = b.idx;
  for (int64_t i = r; i < c; ++i) w[i] = x[var[i] - 1];
  if (with_d) {
    int64_t diag = (r - 1) * r - (r - 1) * (r - 2) / 2;  // column j's diagonal in tri
    for (int64_t j = r; j >= 1; --j) {
      if (var[j - 1] < 0 && j >= 2) {
        const int64_t diag1 = diag - (r - j + 2);
        const double o = so.fact(off);
        off -= 1;
        const double x1 = At(x, var[j - 2]), x2 = At(x, var[j - 1]);
        w[j - 2] = b.tri[diag1] * x1 + o * x2;
        w[j - 1] = o * x1 + b.tri[diag] * x2;
        diag = diag1 - (r - j + 3);
        --j;
      } else {
        w[j - 1] = b.tri[diag] * At(x, var[j - 1]);
        diag -= r - j + 2;
      }
    }
  } else {
    for (int64_t j = 0; j < r; ++j) w[j] = At(x, var[j]);
  }
  if (m > 0 && with_d) {
    blas::Dgemv('T', static_cast<int32_t>(m), static_cast<int32_t>(r), 1.0, b.rect,
                static_cast<int32_t>(m), w + r, 1, 1.0, w, 1);
  } else if (m > 0) {
    const int32_t ldw = static_cast<int32_t>(so.ldw);
    blas::Dgemm('T', 'N', static_cast<int32_t>(r), 1, static_cast<int32_t>(m), 1.0, b.rect,
                static_cast<int32_t>(m), w + r, ldw, 1.0, w, ldw);
  }
  blas::Dtpsv('L', 'T', 'U', static_cast<int32_t>(r), b.tri, w, 1);
  for (int64_t j = 0; j < r; ++j) At(x, var[j]) = w[j];
}

// L^T part of the backward stage on one block; with_d applies D^-1 first.
void BackwardBlock(const Solve& so, const Block& b, int64_t& off, bool with_d) {
  const int64_t c = b.c, r = b.r, m = c - r;
  const int32_t ldw = static_cast<int32_t>(so.ldw);
  if (so.Gathered(b) && so.nrhs == 1) {
    BackwardGatheredOne(so, b, off, with_d);
    return;
  }
  if (so.Gathered(b)) {
    for (int64_t k = 1; k <= so.nrhs; ++k) {
      for (int64_t i = r + 1; i <= c; ++i) so.W(i, k) = so.X(b.Var(i), k);
    }
    int64_t off_k = off;
    for (int64_t k = 1; k <= so.nrhs; ++k) {
      off_k = off;
      if (with_d) {
        ApplyInverseD(so, b, off_k, k, true);
      } else {
        for (int64_t j = 1; j <= r; ++j) so.W(j, k) = so.X(b.Var(j), k);
      }
    }
    off = off_k;
    if (m > 0 && so.nrhs == 1 && with_d) {
      blas::Dgemv('T', static_cast<int32_t>(m), static_cast<int32_t>(r), 1.0, b.rect,
                  static_cast<int32_t>(m), &so.W(r + 1, 1), 1, 1.0, &so.W(1, 1), 1);
    } else if (m > 0) {
      blas::Dgemm('T', 'N', static_cast<int32_t>(r), so.nrhs, static_cast<int32_t>(m), 1.0,
                  b.rect, static_cast<int32_t>(m), &so.W(r + 1, 1), ldw, 1.0, &so.W(1, 1), ldw);
    }
    for (int64_t k = 1; k <= so.nrhs; ++k) {
      blas::Dtpsv('L', 'T', 'U', static_cast<int32_t>(r), b.tri, &so.W(1, k), 1);
      for (int64_t j = 1; j <= r; ++j) so.X(b.Var(j), k) = so.W(j, k);
    }
    return;
  }
  if (so.nrhs == 1) {
    BackwardInPlaceOne(so, b, off, with_d);
    return;
  }
  int64_t off_k = off;
  for (int64_t k = 1; k <= so.nrhs; ++k) {
    off_k = off;
    if (with_d) ApplyInverseD(so, b, off_k, k, false);
    for (int64_t j = 1; j <= r; ++j) {
      double sum = 0.0;
      for (int64_t i = 1; i <= m; ++i) sum += b.R(i, j) * so.X(b.Var(r + i), k);
      so.X(b.Var(j), k) += sum;
    }
    for (int64_t j = r; j >= 1; --j) {
      const double* col = b.Column(j);
      double sum = 0.0;
      for (int64_t i = j + 1; i <= r; ++i) sum += col[i - j] * so.X(b.Var(i), k);
      so.X(b.Var(j), k) -= sum;
    }
  }
  off = off_k;
}

// See ForwardLargeOne.
[[gnu::noinline]] void BackwardLargeOne(const Solve& so, int64_t rec, int64_t a, int64_t& off,
                                        bool with_d) {
  BackwardBlock(so, MakeBlock(so, rec, a), off, with_d);
}

// The backward stage with one right-hand side (see ForwardStageOne), from
// the last block to the first through the record positions in IWBLK; `a`
// starts one past the last block's reals.
template <bool kWithD>
void BackwardStageOne(const Solve& so) {
  const int32_t blocks = so.ifact(kIfactBlocks);
  int64_t a = so.ifact(kIfactAreaFirst);
  int64_t off = so.ifact(kIfactAreaLast);
  for (int32_t nb = blocks - 1; nb >= 0; --nb) {
    const int64_t rec = so.iwblk[nb];
    const int32_t* head = so.ifact.from(rec);
    const int64_t c = std::abs(head[0]), r = std::abs(head[1]);
    a -= BlockReals(r, c);
    const double* tri = so.fact.from(a);
    switch (r) {
      case 1: BackwardFixed<1>(so, head + 2, tri, c - 1, off, kWithD); break;
      case 2: BackwardFixed<2>(so, head + 2, tri, c - 2, off, kWithD); break;
      case 3: BackwardFixed<3>(so, head + 2, tri, c - 3, off, kWithD); break;
      case 4: BackwardFixed<4>(so, head + 2, tri, c - 4, off, kWithD); break;
      default: BackwardLargeOne(so, rec, a, off, kWithD); break;
    }
  }
}

void BackwardStage(const Solve& so, bool with_d) {
  const int32_t blocks = so.ifact(kIfactBlocks);
  if (!with_d) {
    int64_t rec = kIfactRecords;
    for (int32_t nb = 1; nb <= blocks; ++nb) {
      so.iwblk[nb - 1] = static_cast<int32_t>(rec);
      rec += std::abs(so.ifact(rec)) + 2;
    }
  }
  if (so.nrhs == 1) {
    if (with_d) {
      BackwardStageOne<true>(so);
    } else {
      BackwardStageOne<false>(so);
    }
    return;
  }
  int64_t a = so.ifact(kIfactAreaFirst);  // one past the last block's reals
  int64_t off = so.ifact(kIfactAreaLast);
  for (int32_t nb = blocks; nb >= 1; --nb) {
    const int64_t rec = so.iwblk[nb - 1];
    const int64_t c = std::abs(so.ifact(rec));
    a -= BlockReals(std::abs(so.ifact(rec + 1)), c);
    BackwardBlock(so, MakeBlock(so, rec, a), off, with_d);
  }
}

void DiagonalStage(const Solve& so) {
  const int32_t blocks = so.ifact(kIfactBlocks);
  int64_t rec = kIfactRecords, a = 1, off = so.ifact(kIfactAreaFirst);
  for (int32_t nb = 1; nb <= blocks; ++nb) {
    const Block b = MakeBlock(so, rec, a);
    for (int64_t j = 1; j <= b.r; ++j) {
      if (b.Negative(j) && j < b.r) {
        const double o = so.fact(off);
        const double d1 = b.Column(j)[0], d2 = b.Column(j + 1)[0];
        for (int64_t k = 1; k <= so.nrhs; ++k) {
          const double x1 = so.X(b.Var(j), k), x2 = so.X(b.Var(j + 1), k);
          so.X(b.Var(j), k) = d1 * x1 + o * x2;
          so.X(b.Var(j + 1), k) = o * x1 + d2 * x2;
        }
        off += 1;
        ++j;
      } else {
        const double d = b.Column(j)[0];
        for (int64_t k = 1; k <= so.nrhs; ++k) so.X(b.Var(j), k) *= d;
      }
    }
    a += BlockReals(b);
    rec += b.c + 2;
  }
}

// Argument checks in their fixed order.
bool Check(const ma57::SolveArgs& a, const ErrorReport& report) {
  const int32_t n = a.n, nrhs = a.nrhs, lrhs = a.lrhs, lw = a.lw;
  if (!ma57::CheckOrder(report, ma57::Phase::kSolution, n)) return false;
  if (nrhs < 1) {
    return report.Fail(MA57_ERR_NRHS, nrhs, [&](int32_t u) {
      Record(u).Text("value of NRHS =").I(nrhs, 10).Text(" is less than 1");
    });
  }
  if (lrhs < n) {
    return report.Fail(MA57_ERR_LRHS, lrhs, [&](int32_t u) {
      Record(u).Text("value of LRHS =").I(lrhs, 10).Text(" is less than N=").I(n, 10);
    });
  }
  const int64_t need = static_cast<int64_t>(n) * nrhs;
  if (lw < need) {
    const int32_t need32 = static_cast<int32_t>(std::min<int64_t>(need, INT32_MAX));
    return report.Fail(MA57_ERR_LW, need32, [&](int32_t u) {
      Record(u).Text("value of LW =").I(lw, 10).Text(" is less than").I(need32, 10);
    });
  }
  return true;
}

// Whether FACT and IFACT hold the factors of a successful factorization of
// order n that fit in their lengths: every record inside IFACT with
// 1 <= pivots <= columns <= n, its variables in 1..n, the members of 2x2
// pivots negated in adjacent pairs, each variable a pivot exactly once, the
// reals of the blocks and the 2x2 area inside FACT where the header says.
// This is all the solution's loops rely on to stay inside the arrays and
// IWBLK; a failed or suspended factorization leaves IFACT(3) = 0 and is
// refused here. IWBLK serves as the marks. Returns the position of the first
// missing or faulty word of IFACT, or 0.
int64_t FirstFaultyWord(
    int32_t n, int32_t lfact, const int32_t* ifact_first, int32_t lifact, int32_t* mark) {
  const OneBased<const int32_t> ifact(ifact_first);
  if (lifact < kIfactRecords - 1) return std::max(lifact, 0) + 1;
  const int32_t blocks = ifact(kIfactBlocks);
  if (blocks < 1 || blocks > n) return kIfactBlocks;
  // Range tests as one unsigned comparison each: v - 1 < n for v in 1..n.
  const uint32_t un = static_cast<uint32_t>(n);
  auto outside = [un](uint32_t v) { return v - 1 >= un; };
  std::fill(mark, mark + n, 0);
  const int32_t* word = ifact.from(1);  // word[p - 1] is IFACT(p)
  uint64_t reals = 0;
  int64_t rec = kIfactRecords, pairs = 0, pivots = 0;
  for (int32_t b = 1; b <= blocks; ++b) {
    if (rec + 1 > lifact) return int64_t{lifact} + 1;
    const int32_t c = word[rec - 1], r = word[rec];
    if (outside(static_cast<uint32_t>(c))) return rec;
    if (static_cast<uint32_t>(r) - 1 >= static_cast<uint32_t>(c)) return rec + 1;
    if (rec + 1 + c > lifact) return int64_t{lifact} + 1;
    const int32_t* var = word + rec + 1;  // var[i] is IFACT(rec + 2 + i)
    int32_t sign = 0;
    for (int32_t i = 0; i < r; ++i) {
      const int32_t v = var[i];
      // |v| as unsigned; INT32_MIN gives 2^31, which is out of range.
      const uint32_t a = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
      if (outside(a) || mark[a - 1] != 0) return rec + 2 + i;
      mark[a - 1] = 1;
      sign |= v;
    }
    // The members of a 2x2 pivot are negated in adjacent pairs.
    for (int32_t i = 0; sign < 0 && i < r; ++i) {
      if (var[i] > 0) continue;
      if (i + 1 == r || var[i + 1] > 0) return rec + 2 + i;
      ++i;
      ++pairs;
    }
    // The other variables, positive and in range: tested together in one
    // loop without exits (it vectorizes), one by one only when one fails.
    uint32_t any_outside = 0;
    for (int32_t i = r; i < c; ++i) any_outside |= outside(static_cast<uint32_t>(var[i]));
    for (int32_t i = r; any_outside != 0 && i < c; ++i) {
      if (outside(static_cast<uint32_t>(var[i]))) return rec + 2 + i;
    }
    pivots += r;
    const uint64_t ur = static_cast<uint32_t>(r);
    reals += (ur * (ur + 1) >> 1) + ur * static_cast<uint32_t>(c - r);
    if (reals > static_cast<uint64_t>(std::max(lfact, 0))) return rec;
    rec += int64_t{c} + 2;
  }
  if (pivots != n) return kIfactBlocks;
  const int64_t area = static_cast<int64_t>(reals) + 1;  // reals <= LFACT here
  if (ifact(kIfactAreaFirst) != area) return kIfactAreaFirst;
  if (ifact(kIfactAreaLast) != area - 1 + pairs || area - 1 + pairs > lfact) return kIfactAreaLast;
  return 0;
}

bool CheckFactors(const ma57::SolveArgs& a, const ErrorReport& report) {
  const int64_t faulty = FirstFaultyWord(a.n, a.lfact, a.ifact, a.lifact, a.iwblk);
  if (faulty == 0) return true;
  return report.Fail(MA57_ERR_FACTORS, faulty,
                     ma57::FaultyComponent("Invalid factors supplied in IFACT", faulty));
}

// The solution behind MA57CD and MA57SolveTrusted; `checked` adds the check
// of the factors' structure.
void SolveWith(const ma57::SolveArgs& a, bool checked) {
  const ma57::Gates gates(a.icntl.data());
  const ErrorReport report = ma57::ArgumentErrors(ma57::Phase::kSolution, gates, a.info);
  if (!Check(a, report)) return;
  if (checked && !CheckFactors(a, report)) return;
  if (gates.monitor()) ma57::ReportSolveEntry(gates, a);
  const Solve so{OneBased<const double>(a.fact),
                 OneBased<const int32_t>(a.ifact),
                 a.nrhs,
                 a.rhs,
                 a.lrhs,
                 a.w,
                 a.lw / a.nrhs,
                 a.iwblk,
                 a.icntl(MA57_ICNTL_BLAS_THRESHOLD)};
  const int32_t job = a.job;
  if (job <= MA57_JOB_FORWARD) ForwardStage(so);
  if (job <= MA57_JOB_FULL) BackwardStage(so, true);
  if (job == MA57_JOB_DIAGONAL) DiagonalStage(so);
  if (job >= MA57_JOB_BACKWARD) BackwardStage(so, false);
  if (gates.monitor()) ma57::ReportSolveExit(gates, a);
}

// The references of the entry, unpacked once.
ma57::SolveArgs Unpack(const int32_t* JOB,
                       const int32_t* N,
                       const double* FACT,
                       const int32_t* LFACT,
                       const int32_t* IFACT,
                       const int32_t* LIFACT,
                       const int32_t* NRHS,
                       double* RHS,
                       const int32_t* LRHS,
                       double* W,
                       const int32_t* LW,
                       int32_t* IWBLK,
                       const int32_t* ICNTL,
                       int32_t* INFO) {
  ma57::SolveArgs a;
  a.job = *JOB;
  a.n = *N;
  a.fact = FACT;
  a.lfact = *LFACT;
  a.ifact = IFACT;
  a.lifact = *LIFACT;
  a.nrhs = *NRHS;
  a.rhs = RHS;
  a.lrhs = *LRHS;
  a.w = W;
  a.lw = *LW;
  a.iwblk = IWBLK;
  a.icntl = OneBased<const int32_t>(ICNTL);
  a.info = INFO;
  return a;
}

}  // namespace

void MA57SolveTrusted(const int32_t* JOB,
                      const int32_t* N,
                      const double* FACT,
                      const int32_t* LFACT,
                      const int32_t* IFACT,
                      const int32_t* LIFACT,
                      const int32_t* NRHS,
                      double* RHS,
                      const int32_t* LRHS,
                      double* W,
                      const int32_t* LW,
                      int32_t* IWBLK,
                      const int32_t* ICNTL,
                      int32_t* INFO) {
  SolveWith(Unpack(JOB, N, FACT, LFACT, IFACT, LIFACT, NRHS, RHS, LRHS, W, LW, IWBLK, ICNTL, INFO),
            false);
}

}  // namespace pemric

extern "C" PEMRIC_API void MA57CD(const int32_t* JOB,
                                  const int32_t* N,
                                  const double* FACT,
                                  const int32_t* LFACT,
                                  const int32_t* IFACT,
                                  const int32_t* LIFACT,
                                  const int32_t* NRHS,
                                  double* RHS,
                                  const int32_t* LRHS,
                                  double* W,
                                  const int32_t* LW,
                                  int32_t* IWBLK,
                                  const int32_t* ICNTL,
                                  int32_t* INFO) {
  pemric::SolveWith(
      pemric::Unpack(JOB, N, FACT, LFACT, IFACT, LIFACT, NRHS, RHS, LRHS, W, LW, IWBLK, ICNTL, INFO),
      true);
}
