// The Marquardt step of each iteration: the shifted normal matrix
// B^T B + delta I formed in place, factorized by MA57BD, and two solutions
// by MA57CD for the step and its curvature.
//
// Layout of the linear-algebra section W(1..LWA):
//   1 .. NE            values of the normal matrix in normal-pattern order;
//                      after the factorization the first N cells are the
//                      solution phase's work array
//   NE+1 .. LWA        FACT; before each factorization its top NZR + N cells
//                      hold the row-wise values of B and a dense accumulator
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "ns23_layout.h"
#include "ns23_print.h"
#include "pemric/blas.h"
#include "pemric/ns23_routines.h"
#include "pemric/record.h"

namespace pemric {
namespace {

// The sections of IW and W that the step uses, from the analysis slots.
struct StepArrays {
  int32_t m, n;
  OneBased<const int32_t> irn, ip, airn, aip;
  OneBased<const int32_t> rowptr, rowcol, nptr, nrow;
  int32_t nzr, ne;
  int32_t* makeep;
  int32_t lkeep_ma57;
  int32_t* mawork;
  int32_t* ifact;
  int32_t lifact;
  OneBased<double> nval;
  double* fact;
  int32_t lfact;
  OneBased<double> rowval, acc;
};

StepArrays Carve(int32_t m,
                 int32_t n,
                 const int32_t* irn,
                 const int32_t* ip,
                 const int32_t* airn,
                 const int32_t* aip,
                 int32_t liwa,
                 int32_t* iw_first,
                 int32_t lwa,
                 double* w_first,
                 const int32_t* keep_first) {
  using namespace ns23;
  OneBased<int32_t> iw(iw_first);
  OneBased<double> w(w_first);
  OneBased<const int32_t> keep(keep_first);
  const int32_t nzr = keep(kNzr);
  const int32_t ne = keep(kNe);
  const int64_t top = int64_t{lwa} - nzr - n;
  return StepArrays{m,
                    n,
                    OneBased<const int32_t>(irn),
                    OneBased<const int32_t>(ip),
                    OneBased<const int32_t>(airn),
                    OneBased<const int32_t>(aip),
                    OneBased<const int32_t>(iw.from(keep(kRowPtr))),
                    OneBased<const int32_t>(iw.from(keep(kRowCol))),
                    OneBased<const int32_t>(iw.from(keep(kNormPtr))),
                    OneBased<const int32_t>(iw.from(keep(kNormRow))),
                    nzr,
                    ne,
                    iw.from(keep(kMaKeep)),
                    keep(kMaLkeep),
                    iw.from(keep(kMaWork)),
                    iw.from(keep(kIfact)),
                    static_cast<int32_t>(int64_t{liwa} - keep(kIfact) + 1),
                    OneBased<double>(w.from(1)),
                    w.from(int64_t{ne} + 1),
                    static_cast<int32_t>(int64_t{lwa} - ne),
                    OneBased<double>(w.from(top + 1)),
                    OneBased<double>(w.from(top + nzr + 1))};
}

// Visits the entries (row, value) of column j of J and then of A.
template <class Visit>
void ForEachEntry(const StepArrays& a, const double* fjac, const double* aval, int32_t j,
                  Visit&& visit) {
  // IP may carry the difference Jacobian's negative column marks.
  const int32_t jend = std::abs(a.ip(j + 1)), aend = a.aip(j + 1);
  for (int32_t k = std::abs(a.ip(j)); k < jend; ++k) visit(a.irn(k), fjac[k - 1]);
  for (int32_t k = a.aip(j); k < aend; ++k) visit(a.airn(k), aval[k - 1]);
}

// Rows up to this length are searched linearly: most rows of a sparse
// Jacobian hold a handful of columns, where a scan beats the branches of a
// binary search; longer rows keep the logarithmic search.
constexpr int32_t kLinearSlotSearch = 16;

// Position of column j in the increasing column list of row i.
inline int32_t Slot(const StepArrays& a, int32_t i, int32_t j) {
  const int32_t first = a.rowptr(i), last = a.rowptr(i + 1);
  if (last - first <= kLinearSlotSearch) {
    int32_t p = first;
    while (p < last && a.rowcol(p) < j) ++p;
    return p;
  }
  const int32_t* begin = a.rowcol.from(first);
  const int32_t* end = a.rowcol.from(last);
  return first + static_cast<int32_t>(std::lower_bound(begin, end, j) - begin);
}

// B row by row, repeated positions summed.
void ScatterRows(const StepArrays& a, const double* fjac, const double* aval) {
  for (int32_t p = 1; p <= a.nzr; ++p) a.rowval(p) = 0.0;
  for (int32_t j = 1; j <= a.n; ++j) {
    ForEachEntry(a, fjac, aval, j, [&](int32_t i, double v) { a.rowval(Slot(a, i, j)) += v; });
  }
}

// Column k of the lower triangle of B^T B: sum over the entries (i, k) of
// B(i, c) B(i, k) for c >= k, gathered in the dense accumulator, which is
// left zero again. Returns the largest diagonal value.
double FormNormal(const StepArrays& a, const double* fjac, const double* aval) {
  for (int32_t c = 1; c <= a.n; ++c) a.acc(c) = 0.0;
  double maxdiag = 0.0;
  for (int32_t k = 1; k <= a.n; ++k) {
    ForEachEntry(a, fjac, aval, k, [&](int32_t i, double v) {
      for (int32_t p = Slot(a, i, k); p < a.rowptr(i + 1); ++p) a.acc(a.rowcol(p)) += a.rowval(p) * v;
    });
    for (int32_t q = a.nptr(k); q < a.nptr(k + 1); ++q) {
      const int32_t c = a.nrow(q);
      a.nval(q) = a.acc(c);
      a.acc(c) = 0.0;
    }
    maxdiag = std::max(maxdiag, a.nval(a.nptr(k)));
  }
  return maxdiag;
}

}  // namespace

void NS23Factorize(int32_t m,
                   int32_t n,
                   const int32_t* irn,
                   const int32_t* ip,
                   const int32_t* airn,
                   const int32_t* aip,
                   int32_t liwa,
                   int32_t* iw,
                   int32_t lwa,
                   double* w,
                   const double* fjac,
                   const double* aval,
                   int32_t* iflag,
                   int32_t* keep_first,
                   double* rkeep_first) {
  using namespace ns23;
  OneBased<int32_t> keep(keep_first);
  OneBased<double> rkeep(rkeep_first);
  const StepArrays a = Carve(m, n, irn, ip, airn, aip, liwa, iw, lwa, w, keep_first);
  const int32_t eps_index = MACHINE_EPSILON;
  double mult = MachineConstant(&eps_index);
  const double lamda = rkeep(kLamda);
  for (int attempt = 1; attempt <= 10; ++attempt, mult *= 2.0) {
    ScatterRows(a, fjac, aval);
    const double maxdiag = FormNormal(a, fjac, aval);
    double delta = mult * maxdiag;
    if (delta < lamda) delta = lamda;
    for (int32_t k = 1; k <= n; ++k) a.nval(a.nptr(k)) += delta;
    MA57BD(&a.n, &a.ne, a.nval.from(1), a.fact, &a.lfact, a.ifact, &a.lifact, &a.lkeep_ma57,
           a.makeep, a.mawork, keep.from(kMaIcntl), rkeep.from(kMaCntl), keep.from(kMaInfo),
           rkeep.from(kMaRinfo));
    if (OneBased<const int32_t>(keep.from(kMaInfo))(MA57_INFO_STATUS) >= 0) return;
  }
  *iflag = NS23_ERR_FACTORIZATION;
}

void NS23SolveStep(int32_t m,
                   int32_t n,
                   const int32_t* irn,
                   const int32_t* ip,
                   const int32_t* airn,
                   const int32_t* aip,
                   int32_t liwa,
                   int32_t* iw,
                   int32_t lwa,
                   double* w,
                   const double* fjac,
                   const double* aval,
                   const double* r,
                   double* g,
                   double* s,
                   int32_t printstate,
                   double* pred,
                   double* ssq,
                   double* slope,
                   double* curv,
                   const int32_t* icntl,
                   int32_t* keep_first,
                   double* rkeep_first) {
  using namespace ns23;
  OneBased<int32_t> keep(keep_first);
  OneBased<double> rkeep(rkeep_first);
  const StepArrays a = Carve(m, n, irn, ip, airn, aip, liwa, iw, lwa, w, keep_first);
  for (int32_t j = 0; j < n; ++j) g[j] = 0.0;
  NS23SparseMatVec(m, n, fjac, r, g, 1, irn, ip);
  NS23SparseMatVec(m, n, aval, r, g, 1, airn, aip);
  for (int32_t j = 0; j < n; ++j) s[j] = -g[j];
  const int32_t unit = OneBased<const int32_t>(icntl)(NS23_ICNTL_STREAM);
  if (printstate > 1 && unit > 0) {
    Record(unit)
        .Text(" The norm of the vector V is")
        .P(1)
        .E(std::sqrt(blas::Ddot(n, g, 1, g, 1)), 12, 4);
    if (printstate > 2) ns23::PrintVector(unit, " The current vector V is", g, n);
  }
  const int32_t job = MA57_JOB_FULL;
  const int32_t nrhs = 1;
  MA57CD(&job, &a.n, a.fact, &a.lfact, a.ifact, &a.lifact, &nrhs, s, &a.n, a.nval.from(1), &a.n,
         a.mawork, keep.from(kMaIcntl), keep.from(kMaInfo));
  *ssq = blas::Ddot(n, s, 1, s, 1);
  *slope = blas::Ddot(n, s, 1, g, 1);
  for (int32_t j = 0; j < n; ++j) g[j] = -s[j];
  MA57CD(&job, &a.n, a.fact, &a.lfact, a.ifact, &a.lifact, &nrhs, g, &a.n, a.nval.from(1), &a.n,
         a.mawork, keep.from(kMaIcntl), keep.from(kMaInfo));
  *curv = blas::Ddot(n, s, 1, g, 1);
  *pred = rkeep(kLamda) * *ssq - *slope;
}

}  // namespace pemric
