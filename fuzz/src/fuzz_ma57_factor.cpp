// MA57BD and MA57CD on an analysed random pattern: values from ordinary to
// NaN, infinite, huge and tiny, every pivoting mode (and invalid ones), FACT
// and IFACT from far too small to ample, suspension and resumption, and the
// solution in one go or stage by stage with several right-hand sides.
// Checks: statuses in the documented sets; nothing written outside a caller
// array; a diagonally dominant matrix with the forecast space always
// factorizes, and its solution has a small residual; the three stages
// together give the full solve.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "dalvex_fuzz/fuzz_support.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"

namespace dalvex_fuzz {

using pemric::At;
namespace {

constexpr const char* kName = "ma57_factor";
void Check(bool ok, const char* what) {
  if (!ok) Fail(kName, what);
}

// -7: a value not finite; -8: factors not finite (a pivot too small to invert).
bool FactorStatusDocumented(int32_t s) {
  return s == 0 || s == 4 || s == 10 || s == 11 || s == -3 || s == -4 || s == -5 || s == -6 ||
         s == -7 || s == -8 || s == -10;
}

struct Problem {
  int32_t n = 0, ne = 0;
  std::vector<int32_t> irn, jcn;
  std::vector<double> a;
  bool dominant = false;  // values make A strictly diagonally dominant with a positive diagonal
};

Problem MakeProblem(FuzzInput& in) {
  Problem p;
  p.n = in.Int(1, 30);
  const int32_t offdiag = in.Int(0, 3 * p.n);
  p.dominant = in.Byte() < 128;
  for (int32_t i = 1; i <= p.n; ++i) {
    p.irn.push_back(i);
    p.jcn.push_back(i);
  }
  for (int32_t k = 0; k < offdiag; ++k) {
    p.irn.push_back(in.Int(1, p.n));
    p.jcn.push_back(in.Int(1, p.n));
  }
  p.ne = static_cast<int32_t>(p.irn.size());
  std::vector<double> rowsum(static_cast<size_t>(p.n), 0.0);
  for (int32_t k = p.n; k < p.ne; ++k) {
    double v = p.dominant ? in.UnitReal() : in.AnyReal();
    p.a.resize(static_cast<size_t>(p.ne));
    p.a[static_cast<size_t>(k)] = v;
    rowsum[static_cast<size_t>(p.irn[static_cast<size_t>(k)] - 1)] += std::fabs(v);
    rowsum[static_cast<size_t>(p.jcn[static_cast<size_t>(k)] - 1)] += std::fabs(v);
  }
  p.a.resize(static_cast<size_t>(p.ne));
  for (int32_t i = 0; i < p.n; ++i) {
    p.a[static_cast<size_t>(i)] =
        p.dominant ? 1.0 + 2.0 * rowsum[static_cast<size_t>(i)] : in.AnyReal();
  }
  return p;
}

// y = A x for the symmetric matrix whose entries (either triangle) are summed.
std::vector<double> Multiply(const Problem& p, const double* x) {
  std::vector<double> y(static_cast<size_t>(p.n), 0.0);
  for (int32_t k = 0; k < p.ne; ++k) {
    int32_t i = p.irn[static_cast<size_t>(k)] - 1, j = p.jcn[static_cast<size_t>(k)] - 1;
    y[static_cast<size_t>(i)] += p.a[static_cast<size_t>(k)] * x[j];
    if (i != j) y[static_cast<size_t>(j)] += p.a[static_cast<size_t>(k)] * x[i];
  }
  return y;
}

struct Factors {
  Guarded<double> fact;
  Guarded<int32_t> ifact;
  Factors(int64_t lf, int64_t li) : fact(lf), ifact(li) {}
};

// The solution phase: full, then stage by stage; checks and residuals.
void Solve(FuzzInput& in, const Problem& p, Factors& f, int32_t lfact, int32_t lifact,
           const int32_t* icntl, bool expect_accurate) {
  int32_t n = p.n;
  int32_t nrhs = in.Byte() < 16 ? in.Int(-1, 0) : in.Int(1, 3);
  int32_t lrhs = in.Byte() < 16 ? n - 1 : n + in.Int(0, 2);
  const int64_t cols = std::max(nrhs, 1);
  int32_t lw = static_cast<int32_t>(n * cols) - (in.Byte() < 16 ? 1 : 0);
  Guarded<double> rhs(std::max<int64_t>(lrhs, 0) * cols), w(std::max(lw, 0)), stage(rhs.length());
  Guarded<int32_t> iwblk(n), info(MA57_LINFO, 0);
  for (int64_t k = 1; k <= rhs.length(); ++k) rhs(k) = stage(k) = in.UnitReal();
  std::vector<double> b(rhs.data(), rhs.data() + rhs.length());
  int32_t job = in.Int(-1, 5);
  MA57CD(&job, &n, f.fact.data(), &lfact, f.ifact.data(), &lifact, &nrhs, rhs.data(), &lrhs,
         w.data(), &lw, iwblk.data(), icntl, info.data());
  Check(rhs.Intact() && w.Intact() && iwblk.Intact() && info.Intact() && f.fact.Intact() &&
            f.ifact.Intact(),
        "solution phase wrote outside a caller array");
  int32_t s = info(MA57_INFO_STATUS);
  Check(s == 0 || s == -11 || s == -16 || s == -17, "solution status outside the documented values");
  Check((s == 0) == (lrhs >= n && nrhs >= 1 && lw >= n * cols), "solution status disagrees with the checks");
  if (s != 0) return;
  if (expect_accurate && job <= 1) {
    for (int32_t r = 0; r < nrhs; ++r) {
      const double* x = rhs.data() + static_cast<int64_t>(r) * lrhs;
      std::vector<double> ax = Multiply(p, x);
      double err = 0, scale = 0;
      for (int32_t i = 0; i < n; ++i) {
        err = std::max(err, std::fabs(ax[static_cast<size_t>(i)] - b[static_cast<size_t>(r * lrhs + i)]));
        scale = std::max(scale, std::fabs(b[static_cast<size_t>(r * lrhs + i)]) + std::fabs(x[i]) * 4.0 * n);
      }
      Check(!(err > 1e-10 * (scale + 1e-300)), "solution of a dominant system has a large residual");
    }
  }
  if (!expect_accurate || job > 1) return;
  for (int32_t stage_job = 2; stage_job <= 4; ++stage_job) {
    MA57CD(&stage_job, &n, f.fact.data(), &lfact, f.ifact.data(), &lifact, &nrhs, stage.data(),
           &lrhs, w.data(), &lw, iwblk.data(), icntl, info.data());
    Check(info(MA57_INFO_STATUS) == 0, "stage solve failed where the full solve succeeded");
  }
  for (int32_t r = 0; r < nrhs; ++r) {
    for (int32_t i = 1; i <= n; ++i) {
      int64_t k = static_cast<int64_t>(r) * lrhs + i;
      Check(!(std::fabs(stage(k) - rhs(k)) > 1e-10 * (1 + std::fabs(rhs(k)))),
            "stages do not compose to the full solve");
    }
  }
}

}  // namespace

namespace {

void RunMa57Factor(const uint8_t* data, size_t size) {
  SilenceStream(7);
  FuzzInput in(data, size);
  Problem p = MakeProblem(in);
  double cntl[MA57_LCNTL];
  int32_t icntl[MA57_LICNTL];
  MA57SetDefaults(cntl, icntl);
  for (int k : {MA57_ICNTL_ERROR_STREAM, MA57_ICNTL_WARNING_STREAM, MA57_ICNTL_MONITOR_STREAM}) {
    At(icntl)(k) = in.Byte() < 32 ? 7 : -1;
  }
  At(icntl)(MA57_ICNTL_PRINT_LEVEL) = in.Int(0, 4);
  std::vector<int32_t> irn = p.irn, jcn = p.jcn;
  int32_t n = p.n, ne = p.ne;
  int32_t lkeep = 5 * n + ne + std::max(n, ne) + 42;
  Guarded<int32_t> keep(lkeep), iwrk(5 * n), info(MA57_LINFO), pivseq(n);
  Guarded<double> rinfo(MA57_LRINFO);
  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwrk.data(), icntl, info.data(),
         rinfo.data());
  if (info(MA57_INFO_STATUS) < 0) Fail(kName, "analysis of a valid pattern failed");
  const int32_t need_real = info(MA57_INFO_FACT_NO_COMPRESS);
  const int32_t need_int = info(MA57_INFO_IFACT_NO_COMPRESS);

  At(icntl)(MA57_ICNTL_PIVOTING) = in.Byte() < 16 ? in.AnyInt() : in.Int(1, 4);
  const bool suspend = in.Byte() < 64;
  At(icntl)(MA57_ICNTL_SUSPEND) = suspend ? 1 : 0;
  At(icntl)(MA57_ICNTL_BLOCK_SIZE) = in.Byte() < 16 ? in.Int(-2, 0) : in.Int(1, 32);
  At(icntl)(MA57_ICNTL_BLAS_THRESHOLD) = in.Int(-1, 12);
  At(cntl)(MA57_CNTL_THRESHOLD) = in.Byte() < 16 ? in.AnyReal() : in.Int(0, 50) / 100.0;
  At(cntl)(MA57_CNTL_ZERO_PIVOT) = in.Byte() < 16 ? in.AnyReal() : 0.0;
  // Space: a fraction or a multiple of the forecast.
  const bool ample = in.Byte() < 160;
  // Mode 4 keeps N + 5 more reals beside the factors (the modified pivots).
  const int32_t mode_extra = At(icntl)(MA57_ICNTL_PIVOTING) == 4 ? n + 5 : 0;
  int32_t lfact = ample ? need_real + mode_extra + in.Int(0, 50) : in.Int(0, need_real + 10);
  int32_t lifact = ample ? need_int + in.Int(0, 50) : in.Int(0, need_int + 10);
  Factors f(std::max(lfact, 0), std::max(lifact, 0));
  const int32_t mode = At(icntl)(MA57_ICNTL_PIVOTING);

  int32_t calls = 0;
  do {
    MA57BD(&n, &ne, p.a.data(), f.fact.data(), &lfact, f.ifact.data(), &lifact, &lkeep,
           keep.data(), pivseq.data(), icntl, cntl, info.data(), rinfo.data());
    Check(f.fact.Intact() && f.ifact.Intact() && keep.Intact() && pivseq.Intact() &&
              info.Intact() && rinfo.Intact(),
          "factorization wrote outside a caller array");
    Check(FactorStatusDocumented(info(MA57_INFO_STATUS)),
          "factorization status outside the documented values");
    Check(suspend || (info(MA57_INFO_STATUS) != 10 && info(MA57_INFO_STATUS) != 11),
          "suspended although ICNTL(8) = 0");
  } while ((info(MA57_INFO_STATUS) == 10 || info(MA57_INFO_STATUS) == 11) && ++calls < 3 &&
           in.Bool());
  const int32_t status = info(MA57_INFO_STATUS);
  if (std::getenv("DALVEX_FUZZ_TRACE") != nullptr) {
    std::fprintf(
        stderr,
        "N %d NE %d dominant %d ICNTL(7) %d suspend %d block %d CNTL %g %g LFACT %d (forecast %d) "
        "LIFACT %d (forecast %d) INFO(1) %d INFO(2) %d INFO(17) %d INFO(18) %d\n",
        n, ne, p.dominant, mode, suspend, At(icntl)(MA57_ICNTL_BLOCK_SIZE),
        At(cntl)(MA57_CNTL_THRESHOLD), At(cntl)(MA57_CNTL_ZERO_PIVOT), lfact, need_real, lifact,
        need_int, info(MA57_INFO_STATUS), info(MA57_INFO_VALUE), info(MA57_INFO_MIN_LFACT_COMPRESS),
        info(MA57_INFO_MIN_LIFACT_COMPRESS));
  }
  const bool threshold_ok = At(cntl)(MA57_CNTL_THRESHOLD) >= 0 &&
                            At(cntl)(MA57_CNTL_THRESHOLD) <= 0.5 &&
                            At(cntl)(MA57_CNTL_ZERO_PIVOT) == 0.0;
  const bool expect_accurate = p.dominant && threshold_ok && mode >= 1 && mode <= 4;
  if (expect_accurate && ample && !suspend) {
    Check(status == 0, "a dominant matrix with the forecast space did not factorize");
  }
  if (mode < 1 || mode > 4) Check(status == -10, "invalid pivoting mode accepted");
  if (status == 10 || status == 11) return;  // a suspended factorization gives no factors yet
  if (status != 0 && status != 4) return;
  if (status == 0) {
    Check(info(MA57_INFO_RANK) == n, "success with a rank below N");
  }
  Solve(in, p, f, lfact, lifact, icntl, expect_accurate && status == 0);
}

}  // namespace

std::string FuzzMa57Factor(const uint8_t* data, size_t size) {
  return CheckedRun([&] { RunMa57Factor(data, size); });
}

}  // namespace dalvex_fuzz
