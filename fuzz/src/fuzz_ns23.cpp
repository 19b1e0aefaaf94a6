// NS23AD driven through its reverse-communication protocol by an adversarial
// caller: a random sparse pattern, residuals and Jacobian values that turn to
// NaN, infinities or huge numbers or change sign from one call to the next,
// workspace lengths around the needed ones, wild controls. The number of
// calls is capped. Checks: every IFLAG is a documented one; nothing is
// written outside a caller array and the read-only arrays stay as given; the
// column pointers come back as given; bad sizes give -4; a run that only ever
// saw non-finite residuals never reports success; on a clean problem the
// returned point is finite and no worse than the start.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "dalvex_fuzz/fuzz_support.h"
#include "pemric/ns23.h"
#include "pemric/one_based.h"

namespace dalvex_fuzz {

using pemric::At;
namespace {

constexpr const char* kName = "ns23";
void Check(bool ok, const char* what) {
  if (!ok) Fail(kName, what);
}

bool IflagDocumented(int32_t f) {
  return (f >= 2 && f <= 5) || f == 0 || f == -1 || f == -2 || f == -3 || f == -4 || f == -7 ||
         f == -9;
}

// f_i(x) = b_i + sum over pattern entries k of row i: c_k x_j + q_k x_j^2.
struct Model {
  int32_t m = 0, n = 0;
  std::vector<int32_t> irn, ip;  // column-compressed pattern
  std::vector<double> c, q, b;
  void Residuals(const double* x, double* f) const {
    for (int32_t i = 0; i < m; ++i) f[i] = b[static_cast<size_t>(i)];
    for (int32_t j = 0; j < n; ++j) {
      for (int32_t k = ip[static_cast<size_t>(j)] - 1; k < ip[static_cast<size_t>(j) + 1] - 1; ++k) {
        size_t kk = static_cast<size_t>(k);
        f[irn[kk] - 1] += c[kk] * x[j] + q[kk] * x[j] * x[j];
      }
    }
  }
  void Jacobian(const double* x, double* v) const {
    for (int32_t j = 0; j < n; ++j) {
      for (int32_t k = ip[static_cast<size_t>(j)] - 1; k < ip[static_cast<size_t>(j) + 1] - 1; ++k) {
        v[k] = c[static_cast<size_t>(k)] + 2.0 * q[static_cast<size_t>(k)] * x[j];
      }
    }
  }
};

double SumOfSquares(const Model& model, const double* x) {
  std::vector<double> f(static_cast<size_t>(model.m));
  model.Residuals(x, f.data());
  double s = 0;
  for (double v : f) s += v * v;
  return s;
}

bool AllFinite(const double* v, int64_t n) {
  for (int64_t k = 0; k < n; ++k) {
    if (!std::isfinite(v[k])) return false;
  }
  return true;
}

int32_t Grow(FuzzInput& in, int32_t need) {
  switch (in.Byte() % 6) {
    case 0: return need - 1;
    case 1: return need + in.Int(1, 64);
    default: return need;
  }
}

}  // namespace

namespace {

void RunNs23(const uint8_t* data, size_t size) {
  SilenceStream(7);
  FuzzInput in(data, size);
  Model model;
  const bool wild_sizes = in.Byte() < 8;
  model.n = in.Int(1, 8);
  model.m = model.n + in.Int(0, 6);
  // Wrong sizes only in ways the routine must refuse before reading any array.
  int32_t m = model.m, n = model.n;
  if (wild_sizes && in.Bool()) {
    n = in.Int(-2, 0);
  } else if (wild_sizes) {
    m = n - in.Int(1, 3);
  }
  model.ip.push_back(1);
  for (int32_t j = 1; j <= model.n; ++j) {
    for (int32_t i = 1; i <= model.m; ++i) {
      if (in.Byte() < 90 || i == j) {
        model.irn.push_back(i);
        model.c.push_back(in.UnitReal() * 3 + (i == j ? 4 : 0));
        model.q.push_back(in.Byte() < 128 ? 0.0 : in.UnitReal() * 0.3);
      }
    }
    model.ip.push_back(static_cast<int32_t>(model.irn.size()) + 1);
  }
  for (int32_t i = 0; i < model.m; ++i) model.b.push_back(in.UnitReal() * 5);
  const int32_t nnz = static_cast<int32_t>(model.irn.size());
  const bool adversarial = in.Byte() < 128;

  // A constant matrix: none, or a diagonal one.
  const bool with_a = in.Byte() < 64;
  std::vector<int32_t> aip_v(static_cast<size_t>(model.n) + 1, 1), airn_v(1, 1);
  std::vector<double> aval_v(1, 0.0);
  if (with_a) {
    airn_v.clear();
    aval_v.clear();
    for (int32_t j = 1; j <= model.n; ++j) {
      airn_v.push_back(j);
      aval_v.push_back(in.UnitReal());
      aip_v[static_cast<size_t>(j)] = j + 1;
    }
  }
  double sac = in.Byte() < 16 ? in.AnyReal() : 1e-20;
  double stpmin = in.Byte() < 16 ? in.AnyReal() : 1e-12;
  int32_t maxfun = in.Byte() < 16 ? in.AnyInt() : in.Int(1, 60);
  int32_t iprint = in.Byte() < 32 ? in.Int(-3, 3) : 0;
  double hmax = in.Byte() < 64 ? (in.Byte() < 32 ? in.AnyReal() : 1e-6) : 0.0;
  const bool analytic = !(hmax > 0);

  int32_t icntl[NS23_LICNTL];
  Guarded<double> cntl(NS23_LCNTL);
  Guarded<int32_t> keep(NS23_LKEEP), lkeep(NS23_LLKEEP), info(NS23_LINFO), iw_dummy(0);
  Guarded<double> rkeep(NS23_LRKEEP), rinfo(NS23_LRINFO);
  NS23SetDefaults(icntl, cntl.data(), keep.data(), rkeep.data(), lkeep.data());
  At(icntl)(NS23_ICNTL_STREAM) = 7;
  if (in.Byte() < 32) At(icntl)(NS23_ICNTL_STOP_RULE) = in.Int(0, 1);
  if (in.Byte() < 16) cntl(in.Int(1, 3)) = in.AnyReal();

  Guarded<int32_t> irn(std::max(nnz, 1)), ip(model.n + 1), airn(static_cast<int64_t>(airn_v.size())),
      aip(model.n + 1);
  Guarded<double> aval(static_cast<int64_t>(aval_v.size()));
  std::copy(model.irn.begin(), model.irn.end(), irn.data());
  std::copy(model.ip.begin(), model.ip.end(), ip.data());
  std::copy(airn_v.begin(), airn_v.end(), airn.data());
  std::copy(aip_v.begin(), aip_v.end(), aip.data());
  std::copy(aval_v.begin(), aval_v.end(), aval.data());
  Guarded<double> x(model.n), f(model.m), fjac(std::max(nnz, 1));
  for (int32_t j = 1; j <= model.n; ++j) x(j) = in.UnitReal() * 2;
  const std::vector<double> x0(x.data(), x.data() + model.n);

  int32_t liw = in.Byte() < 128 ? in.Int(0, 40) : 4000;
  int32_t lw = in.Byte() < 128 ? in.Int(0, 40) : 8000;
  std::vector<Guarded<int32_t>> iw;
  std::vector<Guarded<double>> w;
  iw.emplace_back(std::max(liw, 0));
  w.emplace_back(std::max(lw, 0));

  // One evaluation as the caller makes it, adversarial when asked.
  bool saw_finite = false;
  auto evaluate = [&](int32_t flag) {
    model.Residuals(x.data(), f.data());
    if (analytic && (flag == 1 || flag == 2 || flag == 5)) model.Jacobian(x.data(), fjac.data());
    if (adversarial) {
      switch (in.Byte() % 8) {
        case 0: f(in.Int(1, model.m)) = in.AnyReal(); break;
        case 1: fjac(in.Int(1, std::max(nnz, 1))) = in.AnyReal(); break;
        case 2:
          for (int32_t i = 1; i <= model.m; ++i) f(i) = -f(i);
          break;
        case 3: f(in.Int(1, model.m)) = std::numeric_limits<double>::quiet_NaN(); break;
        default: break;
      }
    }
    if (AllFinite(f.data(), model.m)) saw_finite = true;
    if (std::getenv("DALVEX_FUZZ_TRACE") != nullptr) {
      std::fprintf(stderr, "evaluate for IFLAG %d: X", flag);
      for (int32_t j = 1; j <= model.n; ++j) std::fprintf(stderr, " %.17g", x(j));
      std::fprintf(stderr, " F");
      for (int32_t i = 1; i <= model.m; ++i) std::fprintf(stderr, " %g", f(i));
      std::fprintf(stderr, "\n");
    }
  };
  evaluate(1);

  int32_t iflag = in.Byte() < 16 ? in.AnyInt() : 1;
  if (iflag >= 2 && iflag <= 5) iflag = 1;  // a resume value before any start is the caller's fault
  bool first = true;
  for (int calls = 0; calls < 200; ++calls) {
    NS23AD(&m, &n, &sac, &stpmin, &maxfun, &iprint, irn.data(), ip.data(), aval.data(), airn.data(),
           aip.data(), &hmax, &liw, iw.back().data(), &lw, w.back().data(), x.data(), f.data(),
           fjac.data(), &iflag, icntl, cntl.data(), info.data(), rinfo.data(), keep.data(),
           rkeep.data(), lkeep.data());
    Check(iw.back().Intact(), "write outside IW");
    Check(w.back().Intact(), "write outside W");
    Check(x.Intact() && f.Intact(), "write outside X or F");
    Check(fjac.Intact(), "write outside FJAC");
    Check(ip.Intact() && irn.Intact() && aval.Intact() && airn.Intact() && aip.Intact(),
          "write outside the pattern arrays");
    Check(info.Intact() && rinfo.Intact() && keep.Intact() && rkeep.Intact() && lkeep.Intact(),
          "write outside the control or state arrays");
    Check(std::equal(model.irn.begin(), model.irn.end(), irn.data()) &&
              std::equal(aip_v.begin(), aip_v.end(), aip.data()) &&
              std::equal(airn_v.begin(), airn_v.end(), airn.data()),
          "a read-only array changed");
    if (std::getenv("DALVEX_FUZZ_TRACE") != nullptr) {
      std::fprintf(stderr,
                   "M %d N %d HMAX %g SAC %g STPMIN %g MAXFUN %d LIW %d LW %d -> IFLAG %d INFO %d "
                   "%d %d %d %d RINFO %g\n",
                   m, n, hmax, sac, stpmin, maxfun, liw, lw, iflag, info(NS23_INFO_STATUS),
                   info(NS23_INFO_VALUE), info(NS23_INFO_EVALUATIONS), info(NS23_INFO_LIW_NEEDED),
                   info(NS23_INFO_LW_NEEDED), rinfo(NS23_RINFO_MARQUARDT));
    }
    Check(IflagDocumented(iflag), "IFLAG outside the documented values");
    if (first && (m < 1 || n < 1 || m < n)) Check(iflag == -4, "bad sizes not refused with -4");
    if (m != model.m || n != model.n)
      return;  // deliberately mismatched sizes: nothing more to check
    first = false;
    if (iflag == -2 || iflag == -3) {
      liw = Grow(in, info(NS23_INFO_LIW_NEEDED));
      if (iflag == -3) lw = Grow(in, info(NS23_INFO_LW_NEEDED));
      Check(liw < (1 << 24) && lw < (1 << 26), "absurd workspace demand");
      iw.emplace_back(std::max(liw, 0));
      w.emplace_back(std::max(lw, 0));
      continue;
    }
    if (iflag <= 0) break;
    evaluate(iflag);
  }
  for (int32_t j = 1; j <= model.n; ++j) {
    Check(std::abs(ip(j + 1)) == model.ip[static_cast<size_t>(j)], "column pointers not restored");
  }
  if (iflag == 0) {
    // MAXFUN <= 0 ends the start with 0 by design, before any test of the values.
    Check(saw_finite || maxfun <= 0, "success reported on a run that never saw finite residuals");
    Check(AllFinite(x.data(), model.n), "success with a non-finite point");
    if (!adversarial && !with_a && std::isfinite(sac) && std::isfinite(stpmin) && (hmax == 0.0 || hmax == 1e-6)) {
      double start = SumOfSquares(model, x0.data()), end = SumOfSquares(model, x.data());
      Check(!(end > start * (1 + 1e-9) + 1e-300), "success at a point worse than the start");
    }
  }
}

}  // namespace

std::string FuzzNs23(const uint8_t* data, size_t size) {
  return CheckedRun([&] { RunNs23(data, size); });
}

}  // namespace dalvex_fuzz
