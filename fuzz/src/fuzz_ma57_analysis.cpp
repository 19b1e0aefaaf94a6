// MA57AD on any pattern, order, KEEP length and controls, with a supplied
// pivot order or without. Checks: the status is one of the documented
// values, nothing is written outside a caller array, the counts of ignored
// and duplicate entries agree with the input, and on success KEEP(1..N) is a
// permutation and the forecasts are positive.
#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "dalvex_fuzz/fuzz_support.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"
#include "pemric/streams.h"

namespace dalvex_fuzz {

using pemric::At;
namespace {

constexpr const char* kName = "ma57_analysis";
void Check(bool ok, const char* what) {
  if (!ok) Fail(kName, what);
}

bool StatusDocumented(int32_t s) {
  return (s >= 0 && s <= 3) || s == -1 || s == -2 || s == -9 || s == -15;
}

}  // namespace

namespace {

void RunMa57Analysis(const uint8_t* data, size_t size) {
  SilenceStream(7);
  FuzzInput in(data, size);
  double cntl[MA57_LCNTL];
  int32_t icntl[MA57_LICNTL];
  MA57SetDefaults(cntl, icntl);
  for (int k : {MA57_ICNTL_ERROR_STREAM, MA57_ICNTL_WARNING_STREAM, MA57_ICNTL_MONITOR_STREAM}) {
    At(icntl)(k) = in.Bool() ? 7 : -1;
  }
  At(icntl)(MA57_ICNTL_PRINT_LEVEL) = in.Int(-1, 5);
  const bool supplied = in.Byte() < 64;
  At(icntl)(MA57_ICNTL_SUPPLIED_ORDER) = supplied ? 1 : in.Int(0, 3) * 2;
  At(icntl)(MA57_ICNTL_AMALGAMATION) = in.Byte() < 32 ? in.AnyInt() : in.Int(0, 20);
  At(icntl)(MA57_ICNTL_BLOCK_SIZE) = in.Byte() < 32 ? in.AnyInt() : in.Int(1, 32);
  const bool wild = in.Byte() < 12;
  int32_t n = wild ? in.AnyInt() : in.Int(1, 40);
  int32_t ne = wild ? in.AnyInt() : in.Int(0, 160);
  const bool sane = n >= 1 && n <= 40 && ne >= 0 && ne <= 160;
  const int64_t need = sane ? 5LL * n + ne + std::max(n, ne) + 42 : 64;
  int32_t lkeep = static_cast<int32_t>(need);
  if (in.Byte() < 24) lkeep = static_cast<int32_t>(need) - in.Int(1, 3);
  const int32_t nn = sane ? n : 1, nne = sane ? ne : 1;

  Guarded<int32_t> irn(nne), jcn(nne), keep(std::max<int64_t>(lkeep, 0)), iwrk(5LL * nn),
      info(MA57_LINFO);
  Guarded<double> rinfo(MA57_LRINFO);
  int32_t out_of_range = 0;
  std::set<std::pair<int32_t, int32_t>> seen;
  int32_t duplicates = 0;
  for (int32_t k = 1; k <= nne; ++k) {
    bool bad = in.Byte() < 16;
    irn(k) = bad ? in.AnyInt() : in.Int(1, nn);
    jcn(k) = bad && in.Bool() ? in.AnyInt() : in.Int(1, nn);
    if (irn(k) < 1 || irn(k) > nn || jcn(k) < 1 || jcn(k) > nn) {
      ++out_of_range;
    } else if (irn(k) != jcn(k)) {
      auto key = std::minmax(irn(k), jcn(k));
      if (!seen.insert(key).second) ++duplicates;
    }
  }
  std::vector<int32_t> order(static_cast<size_t>(nn));
  if (supplied && keep.length() >= nn) {
    for (int32_t i = 1; i <= nn; ++i) order[static_cast<size_t>(i - 1)] = i;
    for (int32_t i = nn; i > 1; --i) std::swap(order[static_cast<size_t>(i - 1)], order[static_cast<size_t>(in.Int(0, i - 1))]);
    if (in.Byte() < 40) order[static_cast<size_t>(in.Int(0, nn - 1))] = in.Int(-1, nn + 1);
    for (int32_t i = 1; i <= nn; ++i) keep(i) = order[static_cast<size_t>(i - 1)];
  }

  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwrk.data(), icntl, info.data(),
         rinfo.data());

  Check(irn.Intact() && jcn.Intact() && keep.Intact() && iwrk.Intact() && info.Intact() &&
            rinfo.Intact(),
        "write outside a caller array");
  const int32_t status = info(MA57_INFO_STATUS);
  Check(StatusDocumented(status), "INFO(1) outside the documented values");
  if (status < 0) return;
  Check(sane && lkeep >= need, "success on arguments that should have been refused");
  Check(info(MA57_INFO_OUT_OF_RANGE) == out_of_range, "count of ignored entries wrong");
  Check(((status & 1) != 0) == (out_of_range > 0), "out-of-range warning bit wrong");
  Check(((status & 2) != 0) == (info(MA57_INFO_DUPLICATES) > 0), "duplicate warning bit wrong");
  Check(info(MA57_INFO_DUPLICATES) == duplicates, "count of duplicates wrong");
  std::vector<char> hit(static_cast<size_t>(n) + 1, 0);
  for (int32_t i = 1; i <= n; ++i) {
    int32_t p = keep(i);
    Check(p >= 1 && p <= n && !hit[static_cast<size_t>(p)], "KEEP(1..N) not a permutation");
    hit[static_cast<size_t>(p)] = 1;
  }
  Check(info(MA57_INFO_FORECAST_REAL) >= 0 && info(MA57_INFO_FORECAST_INTEGER) > 0,
        "forecasts not positive");
  Check(info(MA57_INFO_NODES) >= 1 && info(MA57_INFO_NODES) <= n, "node count out of range");
}

}  // namespace

std::string FuzzMa57Analysis(const uint8_t* data, size_t size) {
  return CheckedRun([&] { RunMa57Analysis(data, size); });
}

}  // namespace dalvex_fuzz
