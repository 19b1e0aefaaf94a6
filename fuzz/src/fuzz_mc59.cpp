// MC59AD on any controls, sizes, lengths and entries. Checks: the status is
// one of the documented values; nothing is written outside any caller array;
// on success the column form is well formed and holds exactly the distinct
// in-range entries of the input (folded into the lower triangle when
// symmetric), with summed values where duplicates are summed.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "dalvex_fuzz/fuzz_support.h"
#include "pemric/mc59.h"
#include "pemric/one_based.h"

namespace dalvex_fuzz {

using pemric::At;
namespace {

constexpr const char* kName = "mc59";

void Check(bool ok, const char* what) {
  if (!ok) Fail(kName, what);
}

// A length around `need`: mostly enough, sometimes one short, sometimes wild.
int32_t LengthNear(FuzzInput& in, int64_t need) {
  int32_t n = static_cast<int32_t>(std::min<int64_t>(need, 1 << 20));
  switch (in.Byte() % 8) {
    case 0: return n - 1;
    case 1: return in.Int(-2, 2);
    case 2: return n + in.Int(1, 5);
    default: return n;
  }
}

using Pattern = std::map<std::pair<int32_t, int32_t>, double>;  // (row, col) -> value

}  // namespace

namespace {

void RunMc59(const uint8_t* data, size_t size) {
  SilenceStream(7);  // the messages are exercised, not kept
  FuzzInput in(data, size);
  int32_t icntl[MC59_LICNTL] = {};
  const bool checking = in.Bool();
  At(icntl)(MC59_ICNTL_NO_CHECK) = checking ? 0 : in.AnyInt() | 1;
  At(icntl)(MC59_ICNTL_MODE) = in.Byte() < 240 ? in.Int(0, 2) : in.AnyInt();
  At(icntl)(MC59_ICNTL_PATTERN_ONLY) = in.Bool() ? 0 : 1;
  // Stream 7 exercises the messages.
  At(icntl)(MC59_ICNTL_ERROR_STREAM) = in.Int(-1, 1) == 1 ? 7 : -1;
  At(icntl)(MC59_ICNTL_WARNING_STREAM) = in.Int(-1, 1) == 1 ? 7 : -1;
  At(icntl)(MC59_ICNTL_SYMMETRIC) = in.Byte() < 240 ? in.Int(-2, 2) : in.AnyInt();
  const bool wild_sizes = in.Byte() < 16;
  int32_t nc = wild_sizes ? in.AnyInt() : in.Int(1, 30);
  int32_t nr = At(icntl)(MC59_ICNTL_SYMMETRIC) != 0 && in.Byte() < 230
                   ? nc
                   : (wild_sizes ? in.AnyInt() : in.Int(1, 30));
  int32_t ne = wild_sizes ? in.AnyInt() : in.Int(0, 120);
  const int32_t mode = At(icntl)(MC59_ICNTL_MODE);
  const bool sizes_sane = nc >= 1 && nr >= 1 && nc <= 30 && nr <= 30 && ne >= 1 && ne <= 120;
  const int64_t big = sizes_sane ? std::max(nc, nr) + 1 : 4;
  const int32_t lirn = sizes_sane ? ne : 4;
  const int32_t ljcn = LengthNear(in, mode == 2 ? 1 : lirn);
  const int32_t la = LengthNear(in, At(icntl)(MC59_ICNTL_PATTERN_ONLY) == 0 ? lirn : 1);
  // IRN has no length argument: its length is NE by contract. A call with an
  // IRN shorter than NE is the caller's broken promise, which no routine can
  // see, so it is made only where another check must refuse the call first
  // (bad controls or sizes, JCN or A shorter than NE).
  const bool refused_anyway = mode < 0 || mode > 2 || nc < 1 || nr < 1 || ne < 1 ||
                              (mode != 2 && ljcn < ne) ||
                              (At(icntl)(MC59_ICNTL_PATTERN_ONLY) == 0 && la < ne);
  if (ne > lirn && !refused_anyway) return;
  const int32_t lip = LengthNear(in, mode == 1 ? big : (sizes_sane ? nc + 1 : 4));
  const int32_t liw = LengthNear(in, big);

  Guarded<int32_t> irn(lirn), jcn(ljcn), ip(lip), iw(liw), info(MC59_LINFO);
  Guarded<double> a(la);
  // Entries: in range unless checking allows otherwise.
  const int32_t rmax = std::max<int32_t>(1, std::min(nr, 30));
  const int32_t cmax = std::max<int32_t>(1, std::min(nc, 30));
  for (int32_t k = 1; k <= lirn; ++k) {
    bool out = checking && in.Byte() < 20;
    irn(k) = out ? in.Int(-3, rmax + 3) : in.Int(1, rmax);
    if (k <= ljcn) jcn(k) = checking && in.Byte() < 20 ? in.Int(-3, cmax + 3) : in.Int(1, cmax);
    if (k <= la) a(k) = in.UnitReal();
  }
  if (mode == 2) {  // column starts: sorted cut points of 1..NE+1, or anything when checking
    std::vector<int32_t> cuts;
    for (int32_t j = 0; j < cmax - 1; ++j) cuts.push_back(in.Int(1, lirn + 1));
    std::sort(cuts.begin(), cuts.end());
    for (int32_t j = 1; j <= std::min<int32_t>(lip, cmax + 1); ++j) {
      ip(j) = j == 1 ? 1 : (j == cmax + 1 ? lirn + 1 : cuts[static_cast<size_t>(j - 2)]);
      if (checking && in.Byte() < 8) ip(j) = in.AnyInt();
    }
  }
  // The expected distinct entries, from the input as given.
  Pattern expect;
  const bool symmetric = At(icntl)(MC59_ICNTL_SYMMETRIC) != 0;
  if (sizes_sane && mode >= 0 && mode <= 2 && ljcn >= (mode == 2 ? 1 : ne) && lip >= nc + 1) {
    for (int32_t k = 1; k <= ne; ++k) {
      int32_t r = irn(k);
      int32_t c = mode == 2 ? 0 : jcn(k);
      if (mode == 2) {
        for (int32_t j = 1; j <= nc; ++j) {
          if (ip(j) <= k && k < ip(j + 1)) c = j;
        }
      }
      if (r < 1 || r > nr || c < 1 || c > nc) continue;
      if (symmetric && r < c) {
        if (mode == 2) continue;  // column form drops the upper triangle
        std::swap(r, c);
      }
      double v = la >= ne ? a(k) : 0.0;
      auto found = expect.find({r, c});
      if (found == expect.end()) {
        expect[{r, c}] = v;
      } else if (At(icntl)(MC59_ICNTL_SYMMETRIC) >= 0) {
        found->second += v;
      }
    }
  }

  if (std::getenv("DALVEX_FUZZ_TRACE") != nullptr) {
    std::fprintf(stderr, "ICNTL");
    for (int k = MC59_ICNTL_NO_CHECK; k <= MC59_ICNTL_SYMMETRIC; ++k)
      std::fprintf(stderr, " %d", At(icntl)(k));
    std::fprintf(stderr, " NC %d NR %d NE %d LJCN %d LA %d LIP %d LIW %d\n", nc, nr, ne, ljcn, la,
                 lip, liw);
    for (int32_t k = 1; k <= lirn; ++k) std::fprintf(stderr, " (%d,%d)", irn(k), k <= ljcn ? jcn(k) : 0);
    std::fprintf(stderr, "\nIP");
    for (int32_t k = 1; k <= lip; ++k) std::fprintf(stderr, " %d", ip(k));
    std::fprintf(stderr, "\n");
  }
  MC59AD(icntl, &nc, &nr, &ne, irn.data(), &ljcn, jcn.data(), &la, a.data(), &lip, ip.data(),
         &liw, iw.data(), info.data());

  Check(irn.Intact() && jcn.Intact() && ip.Intact() && iw.Intact() && info.Intact() && a.Intact(),
        "write outside a caller array");
  const int32_t status = info(MC59_INFO_STATUS);
  if (std::getenv("DALVEX_FUZZ_TRACE") != nullptr) {
    std::fprintf(stderr, "INFO");
    for (int k = MC59_INFO_STATUS; k <= MC59_INFO_ENTRIES; ++k)
      std::fprintf(stderr, " %d", info(k));
    std::fprintf(stderr, "\n");
  }
  Check(status >= -11 && status <= 7, "INFO(1) outside the documented values");
  if (status < 0) return;
  Check(nc >= 1 && nr >= 1 && ne >= 1, "success on sizes that should have been refused");
  if (!sizes_sane) return;  // column form may use fewer than NE entries: nothing more to compare
  Check(ip(1) == 1, "IP(1) is not 1");
  for (int32_t j = 1; j <= nc; ++j) Check(ip(j) <= ip(j + 1), "IP decreases");
  const int32_t entries = ip(nc + 1) - 1;
  Check(entries == info(MC59_INFO_ENTRIES) && entries <= ne, "entry count inconsistent with IP");
  Pattern got;
  for (int32_t j = 1; j <= nc; ++j) {
    for (int32_t k = ip(j); k < ip(j + 1); ++k) {
      int32_t r = irn(k);
      Check(r >= 1 && r <= nr, "row number out of range in the output");
      Check(!symmetric || !checking || r >= j, "entry above the diagonal in symmetric output");
      if ((mode >= 1 || checking) && k > ip(j)) {
        Check(mode == 0 || irn(k - 1) <= r, "rows not increasing within a column");
      }
      bool fresh = got.find({r, j}) == got.end();
      Check(fresh || !checking, "duplicate left in checked output");
      got[{r, j}] += At(icntl)(MC59_ICNTL_PATTERN_ONLY) == 0 ? a(k) : 0.0;
    }
  }
  if (!checking) return;
  Check(got.size() == expect.size(), "output entries differ from the distinct input entries");
  for (const auto& [key, value] : expect) {
    auto found = got.find(key);
    Check(found != got.end(), "an input entry is missing from the output");
    if (At(icntl)(MC59_ICNTL_PATTERN_ONLY) == 0 && At(icntl)(MC59_ICNTL_SYMMETRIC) >= 0) {
      Check(std::fabs(found->second - value) <= 1e-12 * (1 + std::fabs(value)), "summed value wrong");
    }
  }
  Check(info(MC59_INFO_DUPLICATES) + info(MC59_INFO_BAD_ROWS) + info(MC59_INFO_BAD_COLUMNS) >= 0,
        "negative counts");
}

}  // namespace

std::string FuzzMc59(const uint8_t* data, size_t size) {
  return CheckedRun([&] { RunMc59(data, size); });
}

}  // namespace dalvex_fuzz
