// Pivot choice and blocked elimination inside one frontal matrix.
//
// The fully summed columns 1..s of the front are handled in passes over blocks
// of nb columns. Inside a pass a pivot updates only the rows of its block
// (rank-1 or rank-2, all columns to f); the rows below the block are updated
// once per pass by DGEMM with all of the pass's pivots. To make that possible
// a pivot row keeps its multipliers lambda in the upper triangle and its
// unscaled values x in the lower triangle (column of the pivot), so that
//   F(r, l) += sum over the pass's pivots of lambda(l) * x(r).
// The rows s+1..f are left for the contribution block (the end of this file).
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "ma57_front_ops.h"
#include "ma57_frontal_state.h"
#include "ma57_node_ops.h"
#include "ma57_threads.h"
#include "pemric/blas.h"
#include "pemric/error_report.h"
#include "pemric/ma57.h"
#include "pemric/record.h"

namespace pemric {
namespace ma57 {
namespace {

// Below this order a diagonal square of a blocked update goes to DGEMM whole,
// its lower half computed and ignored; above it the square is split.
constexpr int32_t kSquareLeaf = 48;
// Rows of a panel of the fully summed part (see EliminateFront).
constexpr int64_t kPanelWidth = 128;

// The front as the blocked updates see it. The tiles of an update may run on
// one thread while the next pass runs on another (UpdateWithNextPass), so
// they read nothing of the state but this.
struct FrontView {
  double* a = nullptr;  // F(1, 1)
  int64_t f = 0;        // order
  double* At(int64_t i, int64_t j) const { return a + (i - 1) * f + (j - 1); }
};

FrontView ViewOf(FrontalState& st) { return FrontView{st.Front(), st.f}; }

// Which rows of each DGEMM call of an update to compute: all of them, or
// those that the next pass needs first (the head, rows up to `cut`) or the
// rest. A call is cut after an even number of its rows, so the head may take
// one row past `cut`. The cut depends on the front's sizes alone, so every
// thread count makes the same calls; with the one-thread OpenBLAS a call cut
// after an even number of rows (columns of its column-major view) also gives
// the bits of the whole call, where an odd cut would not (a lone last column
// is computed differently), so the results are those of uncut calls too.
enum class Part { kAll, kHead, kTail };
struct Rows {
  Part part = Part::kAll;
  int64_t cut = 0;  // last row of the next pass's block
  // Narrows a call's n rows from `row` to this part's.
  void Clip(int64_t& row, int32_t& n) const {
    if (part == Part::kAll) return;
    int64_t head = std::clamp<int64_t>(cut - row + 1, 0, n);
    head += head & 1;
    head = std::min<int64_t>(head, n);
    if (part == Part::kHead) {
      n = static_cast<int32_t>(head);
    } else {
      row += head, n -= static_cast<int32_t>(head);
    }
  }
};

// F(row.., col..) += A' * B' over k pivots starting at front row k0:
//   F(row + y, col + x) += sum_kk F(k0 + kk, col + x) * F(row + y, k0 + kk)
// for x < ncols, y < nrows (those of `part`). In the column-major view of the
// row-major front this is one DGEMM('N', 'N').
void GemmRows(const FrontView& v, int64_t k0, int32_t k, int64_t row, int32_t nrows, int64_t col,
              int32_t ncols, const Rows& part) {
  part.Clip(row, nrows);
  if (k <= 0 || nrows <= 0 || ncols <= 0) return;
  const int32_t f = static_cast<int32_t>(v.f);
  blas::Dgemm('N', 'N', ncols, nrows, k, 1.0, v.At(k0, col), f, v.At(row, k0), f, 1.0,
              v.At(row, col), f);
}

// Upper triangle (with diagonal) of the square rows/cols row..row+n-1. A
// diagonal leaf also writes below the diagonal, into the columns of the next
// pass's pivots where it crosses the cut, so it goes whole with the head.
void GemmSquare(const FrontView& v, int64_t k0, int32_t k, int64_t row, int32_t n,
                const Rows& part) {
  if (n <= kSquareLeaf) {
    const bool whole = part.part == Part::kAll || (part.part == Part::kHead) == (row <= part.cut);
    if (whole) GemmRows(v, k0, k, row, n, row, n, Rows{});
    return;
  }
  const int32_t n1 = n / 2;
  GemmSquare(v, k0, k, row, n1, part);
  GemmRows(v, k0, k, row, n1, row + n1, n - n1, part);
  GemmSquare(v, k0, k, row + n1, n - n1, part);
}

// The numerical failures of the elimination: the status to INFO(1), the
// pivot step to INFO(2), and on the error stream an empty line, the heading
// and the detail.
ErrorReport EliminationErrors(const FrontalState& st) {
  return ErrorReport(st.info.from(MA57_INFO_STATUS), st.info.from(MA57_INFO_VALUE),
                     ErrorStream{st.lp, st.level >= 1 && st.lp >= 0}, nullptr, 0);
}

void EliminationHeading(int32_t unit, int32_t status) {
  Record{unit};
  Record(unit).Text("*** Error message from routine MA57BD **").Text("   INFO(1) = ").I(status, 3);
}

int32_t ZeroPivot(FrontalState& st, double d) {
  EliminationErrors(st).Fail(MA57_ERR_ZERO_PIVOT, st.nsteps + 1, [&](int32_t u) {
    EliminationHeading(u, MA57_ERR_ZERO_PIVOT);
    Record(u)
        .Text("Pivot has value ")
        .P(1)
        .D(d, 16, 8)
        .Text(" when ")
        .Text("CNTL(2) has value ")
        .D(st.tol, 16, 8);
    Record(u).Text("at stage").I(st.nsteps + 1, 11).X(2).Text("when ICNTL(7) =").I(st.mode, 3);
  });
  return MA57_ERR_ZERO_PIVOT;
}

int32_t SignChange(FrontalState& st) {
  EliminationErrors(st).Fail(MA57_ERR_SIGN_CHANGE, st.nsteps + 1, [&](int32_t u) {
    EliminationHeading(u, MA57_ERR_SIGN_CHANGE);
    Record(u)
        .Text("Change in sign of pivot at stage")
        .I(st.nsteps + 1, 10)
        .X(2)
        .Text("when ICNTL(7) = ")
        .I(st.mode, 3);
  });
  return MA57_ERR_SIGN_CHANGE;
}

// Modified Cholesky (mode 4): decides the pivot at q, possibly adding to it.
// While no pivot has needed a change, a pivot is taken as it is if it is
// large enough and leaves every predicted diagonal of its row safely above
// zero; from the first one that does not, every pivot is raised to at least
// the sum of its row's off-diagonal magnitudes. Returns 0, or -5 with the
// pivot before modification in `bad` (reported by the caller).
int32_t ModifyPivot(FrontalState& st, bool zero, double& bad) {
  const int64_t q = st.p + 1;
  double d = st.F(q, q);
  const OneBased<double> ms = st.modscal;
  const double floor = ms(kModLargestDiagonal) * ms(kModRelativeFloor);
  if (zero) st.modphase = kModifying;
  if (st.modphase == kUnmodified) {
    if (!(d >= floor) ||
        ms(kModSmallestPredicted) < -ms(kModNegativeAllowance) * ms(kModLargestPredicted)) {
      st.modphase = kModifying;
    }
  }
  if (st.modphase == kUnmodified) {
    ms(kModLargestPredicted) = ms(kModSmallestPredicted) = 0.0;
    for (int64_t k = q + 1; k <= st.f; ++k) {
      const double x = st.F(q, k);
      double& md = st.moddiag(std::abs(st.Index(k)));
      md -= x * x / d;
      ms(kModSmallestPredicted) = std::min(ms(kModSmallestPredicted), md);
      ms(kModLargestPredicted) = std::max(ms(kModLargestPredicted), md);
      if (md < -ms(kModNegativeAllowance) * ms(kModLargestDiagonal)) {
        st.modphase = kModifying;
        break;
      }
    }
    if (st.modphase == kUnmodified) {
      st.moddiag(std::abs(st.Index(q))) = 0.0;
      double& smallest = st.rinfo(MA57_RINFO_SMALLEST_MODIFIED_PIVOT);
      smallest = std::min(smallest, d);
      return 0;
    }
  }
  if (st.info(MA57_INFO_FIRST_MODIFIED) == 0) st.info(MA57_INFO_FIRST_MODIFIED) = st.nsteps + 1;
  double sigma = 0.0;
  for (int64_t k = q + 1; k <= st.f; ++k) sigma += std::fabs(st.F(q, k));
  double delta = std::max(floor, sigma) - d;
  if (!(delta > 0.0)) delta = 0.0;
  const double pivot = d + delta;
  // A NaN pivot cannot be used any more than a zero one.
  if (pivot == 0.0 || std::isnan(pivot)) {
    bad = d;
    return MA57_ERR_ZERO_PIVOT;
  }
  st.F(q, q) = pivot;
  double& smallest = st.rinfo(MA57_RINFO_SMALLEST_MODIFIED_PIVOT);
  smallest = std::min(smallest, pivot);
  st.moddiag(std::abs(st.Index(q))) = delta;
  return 0;
}

// The blocked updates of a front, F(r, l) += sum over k pivots from front row
// k0, for rows r1..r2 and columns from each row's diagonal: up to column
// `nn_end` in the 'N', 'N' form (the multipliers in the pivot rows, the
// unscaled values kept below the diagonal), and from column `nt_from` to f in
// the 'N', 'T' form (where the pivot rows still hold the unscaled values and
// the multipliers of row r are the pivot rows' entries in column r).
//
// The update is cut into tiles by a rule that depends only on these sizes:
// panels of kTileRows rows, each with its diagonal square (split by
// GemmSquare) and its two rectangles in chunks of kTileColumns columns. Each
// tile is one-thread DGEMM calls with the whole inner dimension, so every
// entry gets the same sum whichever thread takes its tile, and however many
// threads there are. The tiles of a large update are shared among them.
constexpr int64_t kTileRows = 128;
constexpr int64_t kTileColumns = 512;
// Updates of at least this many multiply-adds are shared among the threads.
constexpr double kThreadedUpdate = 4.0e6;

// The tiles of one blocked update, numbered 0 .. count - 1.
struct Tiles {
  FrontView v;
  int64_t k0 = 1;
  int32_t k = 0;
  int64_t r1 = 1, r2 = 0, nn_end = 0, nt_from = 0;
  int64_t nn_chunks = 0, nt_chunks = 0, per_panel = 1;
  int64_t count = 0;  // none when there are no rows or no pivots
  double work = 0.0;  // multiply-adds, about

  void Run(int64_t t, const Rows& part = Rows{}) const {
    const int64_t f = v.f;
    const int64_t a = r1 + (t / per_panel) * kTileRows;
    const int64_t b = std::min(r2, a + kTileRows - 1);
    const int32_t height = static_cast<int32_t>(b - a + 1);
    int64_t piece = t % per_panel;
    if (piece == 0) {
      GemmSquare(v, k0, k, a, height, part);
      return;
    }
    piece -= 1;
    if (piece < nn_chunks) {
      const int64_t c1 = b + 1 + piece * kTileColumns;
      const int64_t c2 = std::min(nn_end, c1 + kTileColumns - 1);
      if (c1 <= c2) GemmRows(v, k0, k, a, height, c1, static_cast<int32_t>(c2 - c1 + 1), part);
      return;
    }
    piece -= nn_chunks;
    const int64_t c1 = nt_from + piece * kTileColumns;
    const int64_t c2 = std::min(f, c1 + kTileColumns - 1);
    int64_t row = a;
    int32_t rows = height;
    part.Clip(row, rows);
    if (rows <= 0) return;
    blas::Dgemm('N', 'T', static_cast<int32_t>(c2 - c1 + 1), rows, k, 1.0, v.At(k0, c1),
                static_cast<int32_t>(f), v.At(k0, row), static_cast<int32_t>(f), 1.0,
                v.At(row, c1), static_cast<int32_t>(f));
  }
};

Tiles MakeTiles(FrontalState& st, int64_t k0, int32_t k, int64_t r1, int64_t r2, int64_t nn_end,
                int64_t nt_from) {
  Tiles t;
  t.v = ViewOf(st);
  if (r2 < r1 || k <= 0) return t;
  const int64_t f = st.f;
  const auto chunks = [](int64_t columns) {
    return (std::max<int64_t>(columns, 0) + kTileColumns - 1) / kTileColumns;
  };
  t.k0 = k0, t.k = k, t.r1 = r1, t.r2 = r2, t.nn_end = nn_end, t.nt_from = nt_from;
  t.nn_chunks = chunks(nn_end - r1), t.nt_chunks = chunks(f - nt_from + 1);
  t.per_panel = 1 + t.nn_chunks + t.nt_chunks;
  t.count = (r2 - r1 + kTileRows) / kTileRows * t.per_panel;
  const double rows = static_cast<double>(r2 - r1 + 1);
  t.work = rows * static_cast<double>(std::max<int64_t>(nn_end - r1, 0) + (f - nt_from + 1)) * k;
  return t;
}

void UpdateTiles(FrontalState& st, int64_t k0, int32_t k, int64_t r1, int64_t r2, int64_t nn_end,
                 int64_t nt_from) {
  const Tiles tiles = MakeTiles(st, k0, k, r1, r2, nn_end, nt_from);
  ForRows(st.threads, tiles.count, tiles.work >= kThreadedUpdate,
          [&tiles](int64_t t) { tiles.Run(t); });
}

// The tiles of rows r1..r2 of the fully summed part (see UpdateRows).
Tiles RowTiles(FrontalState& st, int64_t k0, int32_t k, int64_t r1, int64_t r2) {
  return MakeTiles(st, k0, k, r1, r2, st.s, st.s + 1);
}

// Rows r1..r2 (fully summed), columns from their diagonal to f, updated with
// the k pivots from front row k0: up to column s in the 'N', 'N' form, the
// columns s+1..f in the 'N', 'T' form.
void UpdateRows(FrontalState& st, int64_t k0, int32_t k, int64_t r1, int64_t r2) {
  UpdateTiles(st, k0, k, r1, r2, st.s, st.s + 1);
}

// The fully summed rows are eliminated in panels of several passes. A pass
// updates at once only the later rows of its panel (all columns, so that the
// pivot tests of later passes see final values); the rows after the panel
// receive the updates of all the panel's pivots in one large DGEMM when the
// panel is closed. Every entry gets the same updates as with pass-by-pass
// updating of all later rows, with a much larger inner dimension.
struct Panel {
  int64_t first = 0;  // pivots before the panel
  int64_t end = 0;    // last row of the panel
};

void ClosePanel(FrontalState& st, Panel& panel) {
  const int64_t k = st.p - panel.first;
  if (k > 0 && panel.end < st.s) {
    UpdateRows(st, panel.first + 1, static_cast<int32_t>(k), panel.end + 1, st.s);
  }
  panel.first = st.p;
}

// The elimination's view of the front and its counters, taken from the
// state and given back to it.
FrontWork Work(FrontalState& st) {
  FrontWork w = CountersOf(st);
  w.a = st.Front();
  w.index = &st.Index(1);
  w.f = st.f;
  w.s = st.s;
  w.p = st.p;
  return w;
}

void Commit(FrontalState& st, const FrontWork& w) {
  st.p = static_cast<int32_t>(w.p);
  TakeCounters(st, w);
}

void CountBlockUpdate(FrontalState& st, const Pass& ps, int32_t kb) {
  // Extra work of the diagonal squares, counted for blocks of b rows.
  const double chunks = static_cast<double>((st.s - ps.e) / ps.b);
  st.ops_blas += chunks * kb * (ps.b - 1.0) * ps.b;
}

// The pass over the block that starts after pivot p.
Pass PassAfter(int64_t p, int32_t b, int64_t s) {
  Pass ps;
  ps.b = b;
  ps.p0 = p;
  ps.e = std::min<int64_t>(p + b, s);
  ps.last = p + b >= s;
  return ps;
}

// The next panel begins after the pivots chosen so far.
void OpenPanel(Panel& panel, int64_t p, int64_t width, int32_t b, int64_t s) {
  panel.end = std::min<int64_t>(p + std::max<int64_t>(width, b), s);
}

// Updates smaller than this are not worth waking a helper for, the pass
// that follows them included.
constexpr double kAheadUpdate = 5.0e5;

// The updates that the pass `next` waits for, shared among the threads and
// run together with it: the last pass's update of the rest of its panel and,
// when the next block crosses the panel's end, the closing update of the
// rows after the panel. The loop's iterations are, in this order, the tiles'
// parts in the rows that the pass needs (its block's), the pass, and the
// tiles' parts in the later rows. The threads take iterations in increasing
// order, so when one reaches the pass, every part before it has been taken
// and is done or being done: it waits for them (briefly, never for work not
// yet begun) and runs the pass, the pivot choice that no other thread
// shares, while the others update the later rows.
//
// The pass reads and writes only its block's rows and, below them, the
// columns of its own pivots (the unscaled values kept below the diagonal);
// the later rows' parts read the earlier pivots' rows and columns and write
// from their own first row on, so no entry is touched by both. Every entry
// gets the DGEMM sum of the tiles that UpdateRows would run. Returns false,
// having done nothing, where the updates are too small to share.
template <typename RunPass>
bool UpdateWithNextPass(FrontalState& st, const Pass& ps, int32_t kb, Panel& panel, int64_t width,
                        const Pass& next, const RunPass& run_pass, int32_t& next_kb) {
  const bool closing = next.e > panel.end;
  const Tiles updates[2] = {
      RowTiles(st, ps.p0 + 1, kb, ps.e + 1, panel.end),
      RowTiles(st, panel.first + 1, static_cast<int32_t>(closing ? st.p - panel.first : 0),
               panel.end + 1, st.s)};
  if (updates[0].work + updates[1].work < kAheadUpdate) return false;
  if (closing) {
    panel.first = st.p;
    OpenPanel(panel, st.p, width, next.b, st.s);
  }
  const int64_t n0 = updates[0].count, tiles = n0 + updates[1].count;
  const Rows head{Part::kHead, next.e}, rest{Part::kTail, next.e};
  const auto run = [&updates, n0](int64_t t, const Rows& part) {
    if (t < n0) {
      updates[0].Run(t, part);
    } else {
      updates[1].Run(t - n0, part);
    }
  };
  std::atomic<int64_t> heads_done{0};
  ForRows(st.threads, 2 * tiles + 1, true, [&](int64_t t) {
    if (t < tiles) {
      run(t, head);
      heads_done.fetch_add(1, std::memory_order_release);
    } else if (t == tiles) {
      while (heads_done.load(std::memory_order_acquire) < tiles) std::this_thread::yield();
      next_kb = run_pass(next);
    } else {
      run(t - tiles - 1, rest);
    }
  });
  return true;
}

}  // namespace

int32_t ReportEliminationFailure(FrontalState& st, int32_t status, double bad) {
  return status == MA57_ERR_SIGN_CHANGE ? SignChange(st) : ZeroPivot(st, bad);
}

int32_t EliminateFront(FrontalState& st) {
  st.p = 0;
  const int32_t s = st.s;
  if (s == 0) return 0;
  FrontWork w = Work(st);
  // Mode 4 decides each pivot on the state, which must show the pivot's place.
  const auto modify = [&st](FrontWork& fw, bool zero) {
    st.p = static_cast<int32_t>(fw.p);
    st.nsteps = fw.nsteps;
    return ModifyPivot(st, zero, fw.bad);
  };
  const auto run_pass = [&](const Pass& pass) {
    const int32_t kb = st.mode == MA57_PIVOT_THRESHOLD ? PassThreshold<false>(w, pass)
                                                       : PassInOrder<false>(w, pass, modify);
    Commit(st, w);
    return kb;
  };
  Pass ps;
  ps.b = std::min(st.nb, s);
  Panel panel;
  // Wider panels for larger fronts: a larger inner dimension for the closing
  // update, while the in-panel share of the work (about 3 width / f) stays small.
  const int64_t width =
      std::max<int64_t>(std::clamp<int64_t>(s / 24, kPanelWidth / 2, 2 * kPanelWidth), st.nb);
  panel.end = std::min<int64_t>(width, s);
  int32_t kb = 0;
  bool ran_ahead = false;  // this round's pass ran with the updates before it
  for (int32_t passes = 0;; ++passes) {
    if (passes == s) {
      if (st.lp >= 0) Record(st.lp).Text("****** BE WORRIED LOOP 918");
      break;
    }
    if (!ran_ahead) {
      ps = PassAfter(st.p, ps.b, s);
      if (ps.e > panel.end) {
        ClosePanel(st, panel);
        OpenPanel(panel, st.p, width, ps.b, s);
      }
      kb = run_pass(ps);
    }
    ran_ahead = false;
    if (kb < 0) return ReportEliminationFailure(st, kb, w.bad);
    if (ps.last) break;
    if (kb == 0) {
      ps.b = ps.b > s / 2 ? s : 2 * ps.b;
      continue;
    }
    const Pass next = PassAfter(st.p, ps.b, s);
    int32_t next_kb = 0;
    // By the sizes alone, never the thread count: one thread runs the same
    // DGEMM calls, in the same parts, as several.
    if (passes + 1 < s) {
      ran_ahead = UpdateWithNextPass(st, ps, kb, panel, width, next, run_pass, next_kb);
    }
    if (!ran_ahead) UpdateRows(st, ps.p0 + 1, kb, ps.e + 1, panel.end);
    CountBlockUpdate(st, ps, kb);
    if (ran_ahead) ps = next, kb = next_kb;
  }
  ClosePanel(st, panel);
  return 0;
}

// ---------------------------------------------------------------------------
// Contribution block.

namespace {

// Walks the pivots 1..p of the front, calling fn(q, size).
template <typename Fn>
void ForEachPivot(FrontalState& st, Fn fn) {
  for (int64_t q = 1; q <= st.p;) {
    const int size = st.Index(q) < 0 ? 2 : 1;
    fn(q, size);
    q += size;
  }
}

// Copies the upper triangle of F(p+1..f, p+1..f) by rows onto the real stack.
// The stack may overlap the tail of the front, but every destination lies at
// or above its source, so copying from the last entry backwards is safe.
void CopyToStack(FrontalState& st) {
  const int64_t p = st.p, f = st.f, g = f - p;
  const int64_t size = Triangle(g);
  int64_t dest = st.rtop + 1;  // one past the last stacked value, (f, f)
  if (g <= kSmallFront) {  // short rows: element by element, no calls
    StackRows(st.Front(), f, p, f, st.fact.data() + (dest - 1));
    st.rtop -= size;
    return;
  }
  st.rtop -= size;
  double* out = &st.fact(st.rtop + 1);
  const double* a = &st.F(p + 1, p + 1);
  if (g >= kThreadedRows && st.rtop >= st.frontstart - 1 + f * f) {
    // The stack lies wholly after the front: the rows are independent.
    ForRows(st.threads, g, true, [=](int64_t i) {
      std::memcpy(out + StackedRowStart(g, i), a + i * (f + 1),
                  sizeof(double) * static_cast<size_t>(g - i));
    });
    return;
  }
  for (int64_t i = f; i > p; --i) {
    // Row i from its diagonal; memmove allows the row to overlap itself, and
    // the rows still to be copied lie below every destination written so far.
    const int64_t len = f - i + 1;
    dest -= len;
    std::memmove(&st.fact(dest), &st.F(i, i), sizeof(double) * static_cast<size_t>(len));
  }
}

void DirectContribution(FrontalState& st) {
  const int64_t s = st.s, f = st.f, p = st.p, g = f - p;
  UpdateRealForecasts(st);
  CopyToStack(st);
  if (f == s) return;  // nothing below the pivots: no multipliers, nothing counted
  double* first = &st.fact(st.rtop + 1) + StackedRowStart(g, s - p);
  st.ops_elim = DirectUpdates(st.Front(), &st.Index(1), f, s, p, first, st.ops_elim);
}

// The Level 3 way: multipliers formed in the pivot rows with the unscaled
// values kept below them, then one blocked DGEMM update of rows s+1..f.
// `counted` says whether the operation counts are this way's (otherwise the
// caller counts them as for the direct way, which gives the same block).
void Level3Contribution(FrontalState& st, bool counted) {
  const int64_t s = st.s, f = st.f, mm = f - s;
  const double md = counted ? static_cast<double>(mm) : 0.0;
  // The unscaled values go to the transposed places F(a, q), a > s; the rows
  // a are walked in tiles so that the strided stores of a tile stay in cache.
  // Tiles touch disjoint columns of the pivot rows and disjoint rows below.
  constexpr int64_t kTile = 64;
  ForRows(st.threads, (mm + kTile - 1) / kTile, mm >= kThreadedRows, [&](int64_t t) {
    const int64_t a0 = s + 1 + t * kTile;
    const int64_t a1 = std::min(f, a0 + kTile - 1);
    ForEachPivot(st, [&](int64_t q, int size) {
      double* r1 = &st.F(q, 1);
      if (size == 1) {
        const double dinv = r1[q - 1];
        for (int64_t a = a0; a <= a1; ++a) {
          st.F(a, q) = r1[a - 1];
          r1[a - 1] = -r1[a - 1] * dinv;
        }
        return;
      }
      double* r2 = &st.F(q + 1, 1);
      const double d11 = r1[q - 1], d12 = r1[q], d22 = r2[q];
      for (int64_t a = a0; a <= a1; ++a) {
        const double x1 = r1[a - 1], x2 = r2[a - 1];
        st.F(a, q) = x1;
        st.F(a, q + 1) = x2;
        r1[a - 1] = -(d11 * x1 + d12 * x2);
        r2[a - 1] = -(d12 * x1 + d22 * x2);
      }
    });
  });
  ForEachPivot(st, [&](int64_t, int size) { st.ops_elim += (size == 1 ? 1.0 : 6.0) * md; });
  const double pd = static_cast<double>(st.p);
  UpdateTiles(st, 1, st.p, s + 1, f, f, f + 1);
  if (counted) {
    st.ops_elim += md * md * pd + md * pd;
    st.ops_blas += static_cast<double>(mm / st.nb) * (st.nb - 1.0) * st.nb * pd;
  }
  CopyToStack(st);
}

// Operation counts of the direct way.
void CountDirect(FrontalState& st) {
  const double md = static_cast<double>(st.f - st.s);
  ForEachPivot(st, [&](int64_t, int size) {
    st.ops_elim += size == 1 ? md + md * (md + 1.0) : 6.0 * md + 2.0 * md * (md + 1.0);
  });
}

}  // namespace

void StackContribution(FrontalState& st) {
  const int64_t g = st.f - st.p, mm = st.f - st.s;
  if (g <= 0) return;
  if (st.nb < mm && st.nb <= st.p) {
    Level3Contribution(st, true);
  } else if (st.p >= kLevel3MinPivots && mm >= kLevel3MinRows) {
    // Few pivots but many rows: the same block by DGEMM, counted as the
    // direct way that the block-size rule selects.
    UpdateRealForecasts(st);
    CountDirect(st);
    Level3Contribution(st, false);
  } else {
    DirectContribution(st);
  }
  CountStackedBlock(st, g);
}

FrontWork CountersOf(FrontalState& st) {
  FrontWork w;
  w.u = st.u;
  w.tol = st.tol;
  w.mode = st.mode;
  w.ops = st.ops_elim;
  w.nsteps = st.nsteps;
  w.nneg = st.nneg;
  w.n2x2 = st.n2x2;
  w.refsign = st.refsign;
  w.sign_changes = st.sign_changes;
  return w;
}

}  // namespace ma57
}  // namespace pemric
