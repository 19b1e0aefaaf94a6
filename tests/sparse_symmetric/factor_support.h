// Shared helpers of the factorization and solution tests: the suite's seeded
// random symmetric matrices, an independent builder of the analysis result KEEP
// (elimination tree of the natural order, post-ordered, fundamental
// supernodes), drivers for MA57BD and MA57CD on vectors, a dense LAPACK
// reference (solve and eigenvalues) and stream capture.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dalvex_test/near.h"
#include "dalvex_test/random_sparse.h"
#include "dalvex_test/stream_capture.h"
#include "ma57_arrays.h"
#include "ma57_layout.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"
#include "pemric/streams.h"

extern "C" {
void dsyevd_(const char* jobz, const char* uplo, const int32_t* n, double* a, const int32_t* lda,
             double* w, double* work, const int32_t* lwork, int32_t* iwork,
             const int32_t* liwork, int32_t* info, size_t, size_t);
void dgesv_(const int32_t* n, const int32_t* nrhs, double* a, const int32_t* lda, int32_t* ipiv,
            double* b, const int32_t* ldb, int32_t* info);
}

namespace ma57test {

constexpr double kEps = std::numeric_limits<double>::epsilon();

using dalvex_test::Near;
using Matrix = dalvex_test::SparseCoordinates;
using Kind = dalvex_test::SymmetricKind;

// Random sparse symmetric matrix (the suite's generator): about `per_row`
// off-diagonals per row, one triangle given, entries in [-1, 1], the
// diagonal as `kind` says.
inline Matrix RandomMatrix(int32_t n, int per_row, Kind kind, unsigned seed) {
  return dalvex_test::RandomSymmetric(n, per_row, kind, seed);
}

// The analysis result, built independently of MA57AD: natural order
// elimination tree, post-ordered; variables merged into a node when the node
// has one child whose column structure is the node's plus the child itself.
inline std::vector<int32_t> BuildKeep(const Matrix& mat, int64_t extra = 0) {
  const int32_t n = mat.n, ne = mat.ne();
  std::vector<std::vector<int32_t>> adj(static_cast<size_t>(n) + 1);
  for (int32_t k = 0; k < ne; ++k) {
    const int32_t i = mat.irn[k], j = mat.jcn[k];
    if (i < 1 || j < 1 || i > n || j > n || i == j) continue;
    adj[i].push_back(j);
    adj[j].push_back(i);
  }
  // Elimination tree of the natural order.
  std::vector<int32_t> parent(n + 1, 0), anc(n + 1, 0);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j : adj[i]) {
      if (j >= i) continue;
      int32_t r = j;
      while (anc[r] != 0 && anc[r] != i) {
        const int32_t next = anc[r];
        anc[r] = i;
        r = next;
      }
      if (anc[r] == 0) anc[r] = parent[r] = i;
    }
  }
  // Post-order (children in increasing order).
  std::vector<std::vector<int32_t>> kids(n + 1);
  std::vector<int32_t> roots;
  for (int32_t v = 1; v <= n; ++v) (parent[v] ? kids[parent[v]] : roots).push_back(v);
  std::vector<int32_t> post, pos(n + 1, 0);
  for (int32_t r : roots) {
    std::vector<std::pair<int32_t, size_t>> stack{{r, 0}};
    while (!stack.empty()) {
      auto& [v, next] = stack.back();
      if (next < kids[v].size()) {
        const int32_t c = kids[v][next++];
        stack.push_back({c, 0});
      } else {
        post.push_back(v);
        pos[v] = static_cast<int32_t>(post.size());
        stack.pop_back();
      }
    }
  }
  // Column counts of L by row subtrees (the tree is the same after relabelling).
  std::vector<int64_t> colcount(n + 1, 1);
  std::vector<int32_t> mark(n + 1, 0);
  for (int32_t i = 1; i <= n; ++i) {
    mark[i] = i;
    for (int32_t j : adj[i]) {
      if (j >= i) continue;
      for (int32_t k = j; mark[k] != i; k = parent[k]) {
        mark[k] = i;
        colcount[k] += 1;
      }
    }
  }
  // Nodes in post-order, merging exact single-child chains.
  std::vector<int32_t> node_of(n + 1, 0), nchild;
  int32_t nodes = 0;
  for (int32_t k = 1; k <= n; ++k) {
    const int32_t v = post[k - 1];
    const bool merge = kids[v].size() == 1 && k > 1 && post[k - 2] == kids[v][0] &&
                       colcount[kids[v][0]] == colcount[v] + 1;
    if (merge) {
      node_of[v] = nodes;
    } else {
      node_of[v] = ++nodes;
      nchild.push_back(0);
    }
    // Children of v that belong to other nodes are children of v's node.
    for (int32_t c : kids[v]) {
      if (node_of[c] != node_of[v]) nchild[node_of[v] - 1] += 1;
    }
  }
  // Permuted structure: rows by position, diagonal slots first.
  std::vector<int64_t> rowcount(n + 1, 1), diag(n + 1, 0);
  int64_t total = int64_t{n} + ne;
  for (int32_t k = 0; k < ne; ++k) {
    const int32_t i = mat.irn[k], j = mat.jcn[k];
    if (i < 1 || j < 1 || i > n || j > n) {
      total -= 1;
      continue;
    }
    if (i == j) {
      if (diag[pos[i]]++ > 0) {
        rowcount[pos[i]] += 1;
      } else {
        total -= 1;
      }
    } else {
      rowcount[std::min(pos[i], pos[j])] += 1;
    }
  }
  const int64_t mx = std::max(n, ne);
  std::vector<int32_t> keep(static_cast<size_t>(5 * n + ne + mx + 42 + extra), 0);
  auto K = [&](int64_t p) -> int32_t& { return keep[static_cast<size_t>(p - 1)]; };
  for (int32_t v = 1; v <= n; ++v) K(v) = pos[v];
  K(n + 1) = nodes;
  K(n + 2) = static_cast<int32_t>(total);
  K(n + 3) = 0;
  std::vector<int64_t> start(n + 2, 1), nextdiag(n + 1), nextoff(n + 1);
  for (int32_t r = 1; r <= n; ++r) {
    K(n + 42 + r) = static_cast<int32_t>(rowcount[r]);
    start[r + 1] = start[r] + rowcount[r];
    nextdiag[r] = start[r] + std::max<int64_t>(diag[r], 1) - 1;
    nextoff[r] = start[r + 1] - 1;
  }
  const int64_t colbase = 4 * int64_t{n} + 43 + mx;
  for (int32_t v = 1; v <= n; ++v) {
    K(2 * int64_t{n} + 42 + v) = node_of[v];
    const int64_t r = pos[v];
    for (int64_t slot = start[r]; slot < start[r] + std::max<int64_t>(diag[r], 1); ++slot) {
      K(colbase + slot - 1) = v;
    }
  }
  for (int32_t k = 1; k <= nodes; ++k) K(3 * int64_t{n} + 42 + k) = nchild[k - 1];
  for (int32_t k = 0; k < ne; ++k) {
    const int32_t i = mat.irn[k], j = mat.jcn[k];
    int64_t slot = 0;
    if (i < 1 || j < 1 || i > n || j > n) {
      slot = 0;
    } else if (i == j) {
      slot = nextdiag[pos[i]]--;
    } else {
      const int32_t row = std::min(pos[i], pos[j]);
      slot = nextoff[row]--;
      K(colbase + slot - 1) = pos[i] < pos[j] ? j : i;
    }
    K(4 * int64_t{n} + 42 + k + 1) = static_cast<int32_t>(slot);
  }
  // The stamp by which the factorization knows a KEEP that an analysis left.
  pemric::ma57::StampAnalysis(pemric::OneBased<int32_t>(keep.data()), n, ne);
  return keep;
}

// The analysis result from MA57AD (approximate minimum degree order), with
// its INFO when `ainfo` is given.
inline std::vector<int32_t> AnalyseKeep(const Matrix& mat, int32_t* ainfo = nullptr,
                                        int64_t extra = 0) {
  const int32_t n = mat.n, ne = mat.ne();
  std::vector<int32_t> irn = mat.irn, jcn = mat.jcn;
  std::vector<int32_t> keep(static_cast<size_t>(5 * int64_t{n} + ne + std::max(n, ne) + 42 + extra));
  std::vector<int32_t> iwrk(static_cast<size_t>(5 * std::max(n, 1)));
  int32_t icntl[MA57_LICNTL], info[MA57_LINFO];
  double cntl[MA57_LCNTL], rinfo[MA57_LRINFO];
  MA57SetDefaults(cntl, icntl);
  At(icntl)(MA57_ICNTL_PRINT_LEVEL) = 0;
  const int32_t lkeep = static_cast<int32_t>(keep.size());
  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwrk.data(), icntl, info, rinfo);
  EXPECT_GE(At(info)(MA57_INFO_STATUS), 0);
  if (ainfo != nullptr) std::copy(info, info + MA57_LINFO, ainfo);
  return keep;
}

// KEEP(N+2), the entries of the permuted matrix that the analysis left.
inline int32_t KeepEntries(const std::vector<int32_t>& keep, int64_t n) {
  return At(keep.data())(pemric::ma57::KeepEntryCount(n));
}
// The factorization's saved state, SAVED(1..40) = KEEP(N+3..N+42); SAVED(1)
// tells whether and why it is suspended.
inline pemric::OneBased<int32_t> SavedState(std::vector<int32_t>& keep, int64_t n) {
  return pemric::OneBased<int32_t>(At(keep.data()).from(pemric::ma57::KeepState(n)));
}
inline std::vector<int32_t> SavedCopy(const std::vector<int32_t>& keep, int64_t n) {
  const int32_t* first = At(keep.data()).from(pemric::ma57::KeepState(n));
  return {first, first + pemric::ma57::kKeepStateLength};
}

// One factorization with its arrays.
struct Factors : Ma57Arrays {
  int32_t n = 0, ne = 0;
  std::vector<double> fact;
  std::vector<int32_t> ifact, keep, pivseq;
  double fill = -77.0;  // what FACT holds before the factorization

  Factors() {
    MA57SetDefaults(cntl, icntl);
    Icntl(MA57_ICNTL_PRINT_LEVEL) = 0;
    std::fill(info, info + MA57_LINFO, 0);
    std::fill(rinfo, rinfo + MA57_LRINFO, 0.0);
  }
  // Runs MA57BD with the given lengths on the matrix values.
  void Run(const Matrix& m, int64_t lfact, int64_t lifact) {
    n = m.n;
    ne = m.ne();
    fact.assign(static_cast<size_t>(std::max<int64_t>(lfact, 1)), fill);
    ifact.assign(static_cast<size_t>(std::max<int64_t>(lifact, 1)), -77);
    pivseq.assign(static_cast<size_t>(std::max(n, 1)), 0);
    const int32_t lf = static_cast<int32_t>(lfact), li = static_cast<int32_t>(lifact);
    const int32_t lkeep = static_cast<int32_t>(keep.size());
    MA57BD(&n, &ne, m.a.data(), fact.data(), &lf, ifact.data(), &li, &lkeep, keep.data(),
           pivseq.data(), icntl, cntl, info, rinfo);
  }
  // Calls MA57BD again on the same arrays (a resumed factorization).
  void Resume(const Matrix& m) {
    const int32_t lf = static_cast<int32_t>(fact.size()), li = static_cast<int32_t>(ifact.size());
    const int32_t lkeep = static_cast<int32_t>(keep.size());
    MA57BD(&n, &ne, m.a.data(), fact.data(), &lf, ifact.data(), &li, &lkeep, keep.data(),
           pivseq.data(), icntl, cntl, info, rinfo);
  }
  // Factorizes with a generous first guess of the lengths, then with the
  // forecasts returned by each failure.
  void Ample(const Matrix& m) {
    const int64_t n64 = m.n, mm = KeepEntries(keep, n64);
    int64_t lf = std::min<int64_t>(2 * mm + 4 * n64 * n64 + 64, 1 << 26);
    int64_t li = 2 * mm + 12 * n64 + 64;
    for (int attempt = 0; attempt < 6; ++attempt) {
      Run(m, lf, li);
      if (Info(MA57_INFO_STATUS) == MA57_ERR_LFACT) {
        lf = Info(MA57_INFO_MIN_LFACT_COMPRESS);
      } else if (Info(MA57_INFO_STATUS) == MA57_ERR_LIFACT) {
        li = std::max<int64_t>(Info(MA57_INFO_MIN_LIFACT_COMPRESS), 2 * li);
      } else {
        return;
      }
    }
  }
};

// Solves with MA57CD in place; returns INFO(1) (0 when untouched).
inline int32_t Solve(const Factors& f, int32_t job, std::vector<double>& rhs, int32_t nrhs,
                     int32_t icntl13 = 10) {
  int32_t icntl[MA57_LICNTL];
  std::copy(f.icntl, f.icntl + MA57_LICNTL, icntl);
  At(icntl)(MA57_ICNTL_BLAS_THRESHOLD) = icntl13;
  int32_t info[MA57_LINFO] = {0};
  const int32_t n = f.n, lrhs = n;
  const int32_t lw = n * nrhs;
  std::vector<double> w(static_cast<size_t>(std::max(lw, 1)));
  std::vector<int32_t> iwblk(static_cast<size_t>(n));
  const int32_t lf = static_cast<int32_t>(f.fact.size()), li = static_cast<int32_t>(f.ifact.size());
  MA57CD(&job, &n, f.fact.data(), &lf, f.ifact.data(), &li, &nrhs, rhs.data(), &lrhs, w.data(), &lw,
         iwblk.data(), icntl, info);
  return At(info)(MA57_INFO_STATUS);
}

// Scaled residual ||A x - b||_inf / (||A||_inf ||x||_inf + ||b||_inf).
inline double ScaledResidual(const Matrix& m, const std::vector<double>& x,
                             const std::vector<double>& b) {
  const int32_t n = m.n;
  const std::vector<double> d = m.Dense();
  double rmax = 0.0, anorm = 0.0, xmax = 0.0, bmax = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    double r = -b[i], rowsum = 0.0;
    for (int32_t j = 0; j < n; ++j) {
      r += d[i + static_cast<size_t>(j) * n] * x[j];
      rowsum += std::fabs(d[i + static_cast<size_t>(j) * n]);
    }
    if (std::isnan(r)) return std::numeric_limits<double>::infinity();
    rmax = std::max(rmax, std::fabs(r));
    anorm = std::max(anorm, rowsum);
    xmax = std::max(xmax, std::fabs(x[i]));
    bmax = std::max(bmax, std::fabs(b[i]));
  }
  return rmax / (anorm * xmax + bmax);
}

// Negative and zero eigenvalue counts of the dense copy (LAPACK dsyevd).
inline int32_t NegativeEigenvalues(const Matrix& m) {
  std::vector<double> d = m.Dense();
  const int32_t n = m.n;
  std::vector<double> w(static_cast<size_t>(n));
  int32_t lwork = -1, liwork = -1, info = 0, iwq = 0;
  double wq = 0;
  dsyevd_("N", "U", &n, d.data(), &n, w.data(), &wq, &lwork, &iwq, &liwork, &info, 1, 1);
  lwork = static_cast<int32_t>(wq);
  liwork = iwq;
  std::vector<double> work(static_cast<size_t>(lwork));
  std::vector<int32_t> iwork(static_cast<size_t>(liwork));
  dsyevd_("N", "U", &n, d.data(), &n, w.data(), work.data(), &lwork, iwork.data(), &liwork, &info,
          1, 1);
  EXPECT_EQ(info, 0);
  return static_cast<int32_t>(std::count_if(w.begin(), w.end(), [](double e) { return e < 0; }));
}

using Capture = dalvex_test::StreamCapture;

inline std::vector<double> RandomVector(int32_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  std::vector<double> v(static_cast<size_t>(n));
  for (double& x : v) x = val(gen);
  return v;
}

}  // namespace ma57test
