// The three MA57 phases called in any order on one set of arrays, as a
// careless caller would: analyses that fail (bad NE, LKEEP short, a broken
// supplied order), factorizations and solutions with N or NE changed since,
// on a KEEP that was never analysed (zeros or garbage), after a failed or
// suspended factorization, with the caller's pivot order overwritten, with a
// suspension faked or its reason changed, on factors zeroed by the caller or
// with one word overwritten;
// values ordinary, wild, or with pivots whose reciprocals overflow.
// Checks: nothing written outside a caller array; every status documented;
// the solution phase never writes FACT or IFACT; against a model of what
// each array holds: a factorization succeeds only on a KEEP analysed for its
// N and NE (and is refused with -12 when the KEEP certainly is not), a
// faked or altered suspension is never resumed, a successful factorization
// has finite factors, and the solution phase succeeds exactly when FACT and
// IFACT hold the factors of a successful factorization of its order.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "dalvex_fuzz/fuzz_support.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"

namespace dalvex_fuzz {

using pemric::At;
namespace {

constexpr const char* kName = "ma57_phases";
void Check(bool ok, const char* what) {
  if (!ok) Fail(kName, what);
}

// With DALVEX_FUZZ_TRACE set, one line per call.
template <typename... Args>
void Trace(const char* format, Args... args) {
  if (std::getenv("DALVEX_FUZZ_TRACE") != nullptr) std::fprintf(stderr, format, args...);
}

int64_t Bound(int64_t n, int64_t ne) { return 5 * n + ne + std::max(n, ne) + 42; }

bool AnalysisStatus(int32_t s) {
  return (s >= 0 && s <= 3) || s == -1 || s == -2 || s == -9 || s == -15;
}
bool FactorStatus(int32_t s) {
  return s == 0 || s == 4 || s == 10 || s == 11 || (s <= -1 && s >= -8) || s == -10 || s == -12 ||
         s == -13 || s == -15;
}
bool SolveStatus(int32_t s) {
  return s == 0 || s == -1 || s == -11 || s == -16 || s == -17 || s == -18;
}

// What the caller's arrays hold, as far as the caller can know.
struct Model {
  bool analysis_known = true;  // false once KEEP holds garbage or was written by hand
  bool analysed = false;
  int32_t an_n = 0, an_ne = 0;
  bool suspended = false;  // the last factorization suspended, nothing analysed since
  int32_t sus_mode = 0, sus_reason = 0, sus_lfact = 0, sus_lifact = 0;
  bool fake_suspension = false;  // KEEP(N+3) set by hand
  bool factors_known = true;
  bool factors = false;  // FACT and IFACT hold usable factors
  int32_t f_n = 0, f_reals = 0, f_ints = 0;
};

void RunMa57Phases(const uint8_t* data, size_t size) {
  SilenceStream(7);
  FuzzInput in(data, size);
  const int32_t n0 = in.Int(1, 10);
  std::vector<int32_t> irn, jcn;
  for (int32_t i = 1; i <= n0; ++i) irn.push_back(i), jcn.push_back(i);
  for (int32_t k = in.Int(0, 2 * n0); k > 0; --k) {
    irn.push_back(in.Int(0, n0 + 1));  // now and then out of range
    jcn.push_back(in.Int(1, n0));
  }
  const int32_t ne0 = static_cast<int32_t>(irn.size());
  // One entry more and one variable more than the problem, for a caller who
  // changes N or NE by one.
  irn.push_back(1), jcn.push_back(1);
  const int32_t nmax = n0 + 1, nemax = ne0 + 1;
  const int64_t lkeep_alloc = Bound(nmax, nemax) + 8;

  Guarded<int32_t> keep(lkeep_alloc), iwrk(5 * nmax), pivseq(nmax), info(MA57_LINFO),
      cinfo(MA57_LINFO), iwblk(nmax);
  Guarded<double> rinfo(MA57_LRINFO);
  const int32_t lfact_alloc = 3000, lifact_alloc = 1500;
  Guarded<double> fact(lfact_alloc), a(nemax), rhs(3 * nmax), w(3 * nmax);
  Guarded<int32_t> ifact(lifact_alloc);
  Model model;
  switch (in.Byte() % 3) {
    case 0: break;  // zeros
    case 1:
      for (int64_t k = 1; k <= lkeep_alloc; ++k) keep(k) = static_cast<int32_t>(0xA5A5A5A5u);
      break;
    default: {
      // Garbage from a seed, not word by word from the input: the fuzzer
      // could otherwise learn the stamps, which only a hostile caller forges.
      std::mt19937 garbage(in.Byte());
      for (int64_t k = 1; k <= lkeep_alloc; ++k) {
        const uint32_t v = garbage();
        keep(k) = static_cast<int32_t>(v % 4 == 0 ? v : v % 64);
      }
      model.analysis_known = false;
      break;
    }
  }
  double cntl[MA57_LCNTL];
  int32_t icntl[MA57_LICNTL];
  MA57SetDefaults(cntl, icntl);
  for (int k : {MA57_ICNTL_ERROR_STREAM, MA57_ICNTL_WARNING_STREAM, MA57_ICNTL_MONITOR_STREAM}) {
    At(icntl)(k) = in.Byte() < 32 ? 7 : -1;
  }
  At(icntl)(MA57_ICNTL_PRINT_LEVEL) = in.Int(0, 4);

  auto pick_n = [&](int32_t usual) { return in.Byte() >= 224 ? usual + in.Int(-1, 1) : usual; };
  for (int op = 0; op < 12 && in.remaining() > 0; ++op) {
    switch (in.Byte() % 5) {
      case 0: {  // analysis
        int32_t n = pick_n(n0), ne = in.Byte() >= 240 ? in.Int(-1, nemax) : ne0;
        if (n > nmax) n = nmax;
        int32_t lkeep = static_cast<int32_t>(Bound(std::max(n, 0), std::max(ne, 0)));
        if (in.Byte() >= 240) lkeep -= in.Int(1, 50);
        At(icntl)(MA57_ICNTL_SUPPLIED_ORDER) = in.Byte() < 64 ? 1 : 0;
        if (At(icntl)(MA57_ICNTL_SUPPLIED_ORDER) == 1 && n >= 1) {
          for (int32_t i = 1; i <= n; ++i) keep(i) = n + 1 - i;
          if (in.Byte() >= 192) keep(in.Int(1, n)) = in.Int(0, n + 1);  // perhaps no permutation
          model.analysis_known = model.analysis_known && !model.analysed;
        }
        std::vector<int32_t> r(irn), c(jcn);
        MA57AD(&n, &ne, r.data(), c.data(), &lkeep, keep.data(), iwrk.data(), icntl, info.data(),
               rinfo.data());
        const int32_t s = info(MA57_INFO_STATUS);
        Trace("MA57AD N %d NE %d LKEEP %d ICNTL(6) %d -> %d %d\n", n, ne, lkeep,
              At(icntl)(MA57_ICNTL_SUPPLIED_ORDER), s, info(MA57_INFO_VALUE));
        Check(keep.Intact() && iwrk.Intact() && info.Intact() && rinfo.Intact(),
              "analysis wrote outside a caller array");
        Check(AnalysisStatus(s), "analysis status outside the documented values");
        if (s >= 0) {
          model = Model{true,
                        true,
                        n,
                        ne,
                        false,
                        0,
                        0,
                        0,
                        0,
                        false,
                        model.factors_known,
                        model.factors,
                        model.f_n,
                        model.f_reals,
                        model.f_ints};
        } else if (s == -9 && model.analysed && n == model.an_n) {
          model.analysed = false;  // the stamp is withdrawn once the sizes pass
        } else if (s == -9 && model.analysed) {
          model.analysis_known = false;  // the order written may have hit the analysed KEEP
        }
        break;
      }
      case 1: {  // factorization
        int32_t n = pick_n(model.analysed ? model.an_n : n0);
        int32_t ne = in.Byte() >= 240 ? in.Int(-1, nemax) : (model.analysed ? model.an_ne : ne0);
        n = std::min(n, nmax);
        ne = std::min(ne, nemax);
        int32_t lkeep = static_cast<int32_t>(lkeep_alloc);
        int32_t mode = in.Byte() >= 240 ? in.Int(0, 5) : in.Int(1, 4);
        At(icntl)(MA57_ICNTL_PIVOTING) = mode;
        At(icntl)(MA57_ICNTL_SUSPEND) = in.Byte() < 64 ? 1 : 0;
        int32_t lfact = in.Byte() < 128 ? lfact_alloc - in.Int(0, 8) : in.Int(0, 120);
        int32_t lifact = in.Byte() < 128 ? lifact_alloc - in.Int(0, 8) : in.Int(0, 80);
        switch (in.Byte() % 4) {
          case 0:
          case 1:  // diagonally dominant
            for (int32_t k = 1; k <= nemax; ++k) a(k) = in.UnitReal();
            for (int32_t k = 1; k <= n0; ++k) a(k) = 4.0 * n0;
            break;
          case 2:
            for (int32_t k = 1; k <= nemax; ++k) a(k) = in.AnyReal();
            break;
          default:  // a diagonal too small to invert in double precision
            for (int32_t k = 1; k <= nemax; ++k) a(k) = 0.0;
            for (int32_t k = 1; k <= n0; ++k) a(k) = (in.Bool() ? 4e-310 : -3e-310) * in.Int(1, 5);
            break;
        }
        const bool args_ok = n >= 1 && ne >= 0 && lkeep >= Bound(n, ne) && mode >= 1 && mode <= 4;
        const int32_t m = args_ok ? keep(n + 2) : 0;
        const bool setup_short =
            args_ok && (lifact < int64_t{m} + n + 5 ||
                        lfact < (mode == 4 ? int64_t{m} + n + 6 : int64_t{m} + 1));
        MA57BD(&n, &ne, a.data(), fact.data(), &lfact, ifact.data(), &lifact, &lkeep, keep.data(),
               pivseq.data(), icntl, cntl, info.data(), rinfo.data());
        const int32_t s = info(MA57_INFO_STATUS);
        Trace("MA57BD N %d NE %d ICNTL(7) %d ICNTL(8) %d LFACT %d LIFACT %d -> %d %d\n", n, ne,
              mode, At(icntl)(MA57_ICNTL_SUSPEND), lfact, lifact, s, info(MA57_INFO_VALUE));
        Check(fact.Intact() && ifact.Intact() && keep.Intact() && pivseq.Intact() &&
                  info.Intact() && rinfo.Intact(),
              "factorization wrote outside a caller array");
        Check(FactorStatus(s), "factorization status outside the documented values");
        const bool ok = s == 0 || s == 4 || s == 10 || s == 11;
        const bool stamped = model.analysed && model.an_n == n && model.an_ne == ne;
        if (model.analysis_known) {
          Check(!ok || stamped, "a factorization ran on a KEEP not analysed for its N and NE");
          if (args_ok && !stamped) Check(s == -12, "an unanalysed KEEP not refused with -12");
        }
        if (model.fake_suspension) Check(!ok, "a faked suspension was resumed");
        if (ok && model.suspended) {
          Check(mode == model.sus_mode && lfact >= model.sus_lfact && lifact >= model.sus_lifact,
                "a suspension resumed with another mode or shorter arrays");
        }
        if (s == 0 || s == 4) {
          bool finite = true;
          for (int32_t k = 1; k <= info(MA57_INFO_REAL_STORAGE); ++k)
            finite = finite && std::isfinite(fact(k));
          Check(finite, "success with factors that are not finite");
          model.factors_known = true;
          model.factors = true;
          model.f_n = n;
          model.f_reals = info(MA57_INFO_REAL_STORAGE);
          model.f_ints = info(MA57_INFO_INTEGER_STORAGE);
          model.suspended = model.fake_suspension = false;
        } else if (s == 10 || s == 11) {
          model.factors = false;
          model.suspended = true;
          model.sus_mode = mode;
          model.sus_reason = s == 10 ? 1 : 2;
          model.sus_lfact = lfact;
          model.sus_lifact = lifact;
        } else if (s == -5 || s == -6 || s == -8 || ((s == -3 || s == -4) && !setup_short)) {
          model.factors = false;  // the kernel ran and failed
          model.suspended = false;
        }
        break;
      }
      case 2: {  // solution
        int32_t n = pick_n(model.factors ? model.f_n : n0);
        n = std::min(n, nmax);
        int32_t job = in.Int(-1, 5), nrhs = in.Byte() >= 240 ? in.Int(-1, 0) : in.Int(1, 3);
        int32_t lrhs = nmax, lw = 3 * nmax;
        int32_t lfact = in.Byte() >= 240 ? in.Int(0, 40) : lfact_alloc;
        int32_t lifact = in.Byte() >= 240 ? in.Int(0, 40) : lifact_alloc;
        for (int32_t k = 1; k <= 3 * nmax; ++k) rhs(k) = in.UnitReal();
        const std::vector<double> fact_before(fact.data(), fact.data() + lfact_alloc);
        const std::vector<int32_t> ifact_before(ifact.data(), ifact.data() + lifact_alloc);
        cinfo(MA57_INFO_STATUS) = 0;
        MA57CD(&job, &n, fact.data(), &lfact, ifact.data(), &lifact, &nrhs, rhs.data(), &lrhs,
               w.data(), &lw, iwblk.data(), icntl, cinfo.data());
        const int32_t s = cinfo(MA57_INFO_STATUS);
        Trace("MA57CD N %d JOB %d NRHS %d LFACT %d LIFACT %d -> %d %d\n", n, job, nrhs, lfact,
              lifact, s, cinfo(MA57_INFO_VALUE));
        Check(rhs.Intact() && w.Intact() && iwblk.Intact() && cinfo.Intact() && fact.Intact() &&
                  ifact.Intact(),
              "solution phase wrote outside a caller array");
        Check(std::memcmp(fact_before.data(), fact.data(), fact_before.size() * sizeof(double)) ==
                      0 &&
                  std::equal(ifact_before.begin(), ifact_before.end(), ifact.data()),
              "solution phase changed FACT or IFACT");
        Check(SolveStatus(s), "solution status outside the documented values");
        const bool args_ok = n >= 1 && nrhs >= 1 && lrhs >= n && lw >= int64_t{n} * nrhs;
        if (args_ok && model.factors_known) {
          const bool usable =
              model.factors && model.f_n == n && lfact >= model.f_reals && lifact >= model.f_ints;
          Check((s == 0) == usable, "solution status disagrees with what FACT and IFACT hold");
        }
        break;
      }
      case 3: {  // the caller writes where it should not
        const int what = in.Byte() % 5;
        Trace("caller writes: %d (analysed N %d, suspended %d)\n", what, model.an_n,
              model.suspended);
        switch (what) {
          // What a suspended factorization left (FACT, IFACT, KEEP(1..N))
          // is the caller's to keep: the caller here leaves it alone.
          case 0:
            if (model.suspended) break;
            for (int32_t k = 1; k <= lifact_alloc; ++k) ifact(k) = 0;
            model.factors = false;
            model.factors_known = true;
            break;
          case 1:  // its own pivot order over the analysed one
            if (model.suspended) break;
            for (int32_t i = 1; i <= n0; ++i) keep(i) = in.Int(1, n0);
            model.analysis_known = false;
            break;
          case 2: {  // a suspension that never happened, or for another reason
            const int32_t n = model.analysed ? model.an_n : n0;
            keep(n + 3) = model.suspended ? 3 - keep(n + 3) : in.Int(1, 2);
            // Changed twice, the reason is the true one again.
            model.fake_suspension = !model.suspended || keep(n + 3) != model.sus_reason;
            break;
          }
          case 3:  // one word of the factors overwritten
            if (model.suspended) break;
            ifact(in.Int(1, 60)) = in.AnyInt();
            model.factors_known = false;
            break;
          default: break;
        }
        break;
      }
      default: break;
    }
  }
}

}  // namespace

std::string FuzzMa57Phases(const uint8_t* data, size_t size) {
  return CheckedRun([&] { RunMa57Phases(data, size); });
}

}  // namespace dalvex_fuzz
