// NS23AD driven through its reverse-communication protocol by an adversarial
// caller: a random sparse pattern, residuals and Jacobian values that turn to
// NaN, infinities or huge numbers or change sign from one call to the next,
// workspace lengths around the needed ones, wild controls; a pattern made
// invalid (column starts out of order or INT32_MIN, row indices outside
// 1..M); a protocol broken on purpose (a resumption before any start, an
// answer to another request, sizes changed between calls, a resumption after
// the end). The number of calls is capped. Checks: every IFLAG is a
// documented one; nothing is written outside a caller array and the
// read-only arrays stay as given; the column pointers come back as given;
// bad sizes give -4, bad controls -11 and a faulty pattern its code and
// position, in the documented order; a refused resumption changes nothing
// and the run goes on when answered properly; a run that only ever saw
// non-finite residuals never reports success, nor one whose every trial
// point did; on a clean problem the returned point is finite and no worse
// than the start.
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

// Every value from -13 to 5 but 1, which the routine never returns.
bool IflagDocumented(int32_t f) { return f >= -13 && f <= 5 && f != 1; }

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

// An independent reading of the checks a start makes before the analysis:
// the status and INFO(2) the routine must return, or 0 when the start may
// go on. Pattern faults are looked for only where the routine looks.
struct Expected {
  int32_t status = 0, value = 0;
};

int64_t FirstBadStart(const std::vector<int32_t>& p, bool marked) {
  int64_t prev = 1;
  for (size_t j = 0; j < p.size(); ++j) {
    int64_t v = p[j];
    if (marked && v == std::numeric_limits<int32_t>::min()) return static_cast<int64_t>(j) + 1;
    if (marked) v = std::llabs(v);
    if ((j == 0 && v != 1) || v < prev) return static_cast<int64_t>(j) + 1;
    prev = v;
  }
  return 0;
}

int64_t FirstBadRow(const std::vector<int32_t>& rows, int64_t count, int32_t m) {
  for (int64_t k = 0; k < count; ++k) {
    if (rows[static_cast<size_t>(k)] < 1 || rows[static_cast<size_t>(k)] > m) return k + 1;
  }
  return 0;
}

Expected StartChecks(int32_t m,
                     int32_t n,
                     const double* cntl,
                     int32_t liw,
                     const std::vector<int32_t>& irn,
                     const std::vector<int32_t>& ip,
                     const std::vector<int32_t>& airn,
                     const std::vector<int32_t>& aip) {
  if (n < 1 || m < n) return {-4, 0};
  for (int i = 0; i < 5; ++i) {
    if (!std::isfinite(cntl[i]) || (i == 2 && cntl[i] >= 1.0)) return {-11, i + 1};
  }
  if (int64_t{liw} - m < int64_t{m} + 1) return {};
  if (int64_t j = FirstBadStart(ip, true)) return {-5, static_cast<int32_t>(j)};
  if (int64_t k = FirstBadRow(irn, std::llabs(int64_t{ip.back()}) - 1, m)) {
    return {-6, static_cast<int32_t>(k)};
  }
  if (int64_t j = FirstBadStart(aip, false)) return {-8, static_cast<int32_t>(j)};
  if (int64_t k = FirstBadRow(airn, int64_t{aip.back()} - 1, m))
    return {-10, static_cast<int32_t>(k)};
  return {};
}

// One way to make the pattern invalid; the arrays keep their lengths.
void BreakPattern(FuzzInput& in,
                  int32_t m,
                  std::vector<int32_t>& irn,
                  std::vector<int32_t>& ip,
                  std::vector<int32_t>& airn,
                  std::vector<int32_t>& aip) {
  const int32_t bad_rows[] = {0, m + 1, -1, std::numeric_limits<int32_t>::min(),
                              std::numeric_limits<int32_t>::max()};
  const int32_t pick = in.Int(0, 4);
  auto any = [&](std::vector<int32_t>& v) -> int32_t& {
    return v[static_cast<size_t>(in.Int(0, static_cast<int32_t>(v.size()) - 1))];
  };
  // A column start other than the last moved up: out of order, or a valid
  // pattern still inside the arrays (the last start would ask for entries
  // the arrays do not have).
  auto inner = [&](std::vector<int32_t>& v) -> int32_t& {
    return v[static_cast<size_t>(in.Int(0, static_cast<int32_t>(v.size()) - 2))];
  };
  switch (in.Byte() % 7) {
    case 0: ip[0] = in.Bool() ? 0 : 2; break;
    case 1: any(ip) = std::numeric_limits<int32_t>::min(); break;
    case 2: inner(ip) += in.Int(1, 3); break;
    case 3: any(irn) = bad_rows[pick]; break;
    case 4: aip[0] = in.Bool() ? 0 : -1; break;
    case 5: inner(aip) += in.Int(1, 3); break;
    default: any(airn) = bad_rows[pick]; break;
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
  std::vector<int32_t> irn_v = model.irn, ip_v = model.ip;
  if (airn_v.size() < 2) airn_v.resize(2, 1);  // room for a corrupt entry
  const bool broken = in.Byte() >= 224;
  if (broken) BreakPattern(in, model.m, irn_v, ip_v, airn_v, aip_v);

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
  if (in.Byte() < 16) cntl(in.Int(1, 5)) = in.AnyReal();

  Guarded<int32_t> irn(static_cast<int64_t>(std::max<size_t>(irn_v.size(), 1))), ip(model.n + 1),
      airn(static_cast<int64_t>(airn_v.size())), aip(model.n + 1);
  Guarded<double> aval(static_cast<int64_t>(std::max<size_t>(aval_v.size(), 2)));
  std::copy(irn_v.begin(), irn_v.end(), irn.data());
  std::copy(ip_v.begin(), ip_v.end(), ip.data());
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
  bool saw_finite = false, saw_finite_trial = false;
  int trials = 0;
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
    const bool finite = AllFinite(f.data(), model.m);
    saw_finite = saw_finite || finite;
    if (flag == 4 || flag == 5) {
      ++trials;
      saw_finite_trial = saw_finite_trial || finite;
    }
    if (std::getenv("DALVEX_FUZZ_TRACE") != nullptr) {
      std::fprintf(stderr, "evaluate for IFLAG %d: X", flag);
      for (int32_t j = 1; j <= model.n; ++j) std::fprintf(stderr, " %.17g", x(j));
      std::fprintf(stderr, " F");
      for (int32_t i = 1; i <= model.m; ++i) std::fprintf(stderr, " %g", f(i));
      std::fprintf(stderr, "\n");
    }
  };
  evaluate(1);

  auto call = [&](int32_t& flag, int32_t cm, int32_t cn, double chmax, int32_t cliw, int32_t clw) {
    NS23AD(&cm, &cn, &sac, &stpmin, &maxfun, &iprint, irn.data(), ip.data(), aval.data(),
           airn.data(), aip.data(), &chmax, &cliw, iw.back().data(), &clw, w.back().data(),
           x.data(), f.data(), fjac.data(), &flag, icntl, cntl.data(), info.data(), rinfo.data(),
           keep.data(), rkeep.data(), lkeep.data());
    Check(iw.back().Intact(), "write outside IW");
    Check(w.back().Intact(), "write outside W");
    Check(x.Intact() && f.Intact(), "write outside X or F");
    Check(fjac.Intact(), "write outside FJAC");
    Check(ip.Intact() && irn.Intact() && aval.Intact() && airn.Intact() && aip.Intact(),
          "write outside the pattern arrays");
    Check(info.Intact() && rinfo.Intact() && keep.Intact() && rkeep.Intact() && lkeep.Intact(),
          "write outside the control or state arrays");
    Check(std::equal(irn_v.begin(), irn_v.end(), irn.data()) &&
              std::equal(aip_v.begin(), aip_v.end(), aip.data()) &&
              std::equal(airn_v.begin(), airn_v.end(), airn.data()),
          "a read-only array changed");
    if (std::getenv("DALVEX_FUZZ_TRACE") != nullptr) {
      std::fprintf(stderr,
                   "M %d N %d HMAX %g SAC %g STPMIN %g MAXFUN %d LIW %d LW %d -> IFLAG %d INFO %d "
                   "%d %d %d %d RINFO %g\n",
                   cm, cn, chmax, sac, stpmin, maxfun, cliw, clw, flag, info(NS23_INFO_STATUS),
                   info(NS23_INFO_VALUE), info(NS23_INFO_EVALUATIONS), info(NS23_INFO_LIW_NEEDED),
                   info(NS23_INFO_LW_NEEDED), rinfo(NS23_RINFO_MARQUARDT));
    }
    Check(IflagDocumented(flag), "IFLAG outside the documented values");
  };

  // Everything a refused resumption must leave as it was.
  auto snapshot = [&] {
    std::vector<double> reals(x.data(), x.data() + model.n);
    reals.insert(reals.end(), f.data(), f.data() + model.m);
    reals.insert(reals.end(), fjac.data(), fjac.data() + fjac.length());
    reals.insert(reals.end(), rkeep.data(), rkeep.data() + NS23_LRKEEP);
    reals.insert(reals.end(), w.back().data(), w.back().data() + w.back().length());
    std::vector<int32_t> ints(keep.data(), keep.data() + NS23_LKEEP);
    ints.insert(ints.end(), lkeep.data(), lkeep.data() + NS23_LLKEEP);
    ints.insert(ints.end(), iw.back().data(), iw.back().data() + iw.back().length());
    ints.insert(ints.end(), ip.data(), ip.data() + model.n + 1);
    return std::make_pair(reals, ints);
  };
  auto same = [](const auto& a, const auto& b) {
    // Bitwise, so that NaN values compare equal to themselves.
    return a.first.size() == b.first.size() && a.second == b.second &&
           std::memcmp(a.first.data(), b.first.data(), a.first.size() * sizeof(double)) == 0;
  };
  // A resumption that the routine must refuse with `status` and INFO(2) = value.
  auto refused = [&](int32_t flag, int32_t cm, int32_t cn, double chmax, int32_t cliw, int32_t clw,
                     int32_t status, int32_t value) {
    const auto before = snapshot();
    call(flag, cm, cn, chmax, cliw, clw);
    Check(flag == status && info(NS23_INFO_STATUS) == status, "a broken protocol not refused with its code");
    Check(info(NS23_INFO_VALUE) == value, "a refused resumption reports the wrong INFO(2)");
    Check(same(before, snapshot()), "a refused resumption changed the state or the arrays");
  };

  int32_t iflag = in.Byte() < 16 ? in.AnyInt() : 1;
  if (iflag >= 2 && iflag <= 5) {
    // A resumption before any start answers no request.
    refused(iflag, m, n, hmax, liw, lw, -12, 0);
    iflag = 1;
  }
  bool first = true;
  for (int calls = 0; calls < 200; ++calls) {
    if (!first && iflag >= 2 && iflag <= 5 && in.Byte() >= 240) {
      // The caller errs once, then answers properly.
      const int32_t wrong = 2 + (iflag - 2 + in.Int(1, 3)) % 4;
      switch (in.Byte() % 6) {
        case 0: refused(wrong, m, n, hmax, liw, lw, -12, iflag); break;
        case 1: refused(iflag, m + 1, n, hmax, liw, lw, -13, 1); break;
        case 2: refused(iflag, m, n - 1, hmax, liw, lw, -13, 2); break;
        case 3: refused(iflag, m, n, hmax > 0 ? 0.0 : 1e-6, liw, lw, -13, 12); break;
        case 4: refused(iflag, m, n, hmax, liw + in.Int(-1, 1) * 2 + 1, lw, -13, 13); break;
        default: refused(iflag, m, n, hmax, liw, lw - 1, -13, 15); break;
      }
    }
    const int32_t entry = iflag;
    const Expected expected = entry >= 2 && entry <= 5
                                  ? Expected{}
                                  : StartChecks(m, n, cntl.data(), liw, irn_v, ip_v, airn_v, aip_v);
    call(iflag, m, n, hmax, liw, lw);
    if (expected.status != 0) {
      Check(iflag == expected.status && info(NS23_INFO_VALUE) == expected.value,
            "a bad start not refused with its code and INFO(2)");
    }
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
  if (iflag <= 0) {
    // The run is over (or never began): a resumption now answers no request.
    refused(in.Int(2, 5), m, n, hmax, liw, lw, -12, 0);
  }
  // A start refused before the run began leaves nothing more to check.
  if (broken || iflag == -4 || iflag == -11 || iflag == -5 || iflag == -6 || iflag == -8 ||
      iflag == -10) {
    return;
  }
  for (int32_t j = 1; j <= model.n; ++j) {
    Check(std::abs(ip(j + 1)) == model.ip[static_cast<size_t>(j)], "column pointers not restored");
  }
  if (iflag == 0) {
    // MAXFUN <= 0 ends the start with 0 by design, before any test of the values.
    Check(saw_finite || maxfun <= 0, "success reported on a run that never saw finite residuals");
    Check(trials == 0 || saw_finite_trial,
          "success reported after trials that were all non-finite");
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
