// Space management of the factorization: forecasts that suffice exactly,
// compresses, counting mode, integer failure, suspension and resumption.
#include "factor_support.h"
#include "ma57_frontal_state.h"

namespace {

using namespace ma57test;

struct Named {
  const char* name;
  Matrix m;
  bool analysed;  // MA57AD order, or the test's natural-order tree
};

std::vector<Named> Problems() {
  std::vector<Named> out;
  out.push_back({"definite", RandomMatrix(150, 4, Kind::kDefinite, 21), true});
  out.push_back({"indefinite", RandomMatrix(150, 5, Kind::kIndefinite, 22), false});
  out.push_back({"zero_diagonal", RandomMatrix(160, 6, Kind::kZeroDiagonal, 23), true});
  out.push_back({"zero_diagonal_tree", RandomMatrix(120, 3, Kind::kZeroDiagonal, 24), false});
  Matrix singular = RandomMatrix(100, 4, Kind::kIndefinite, 25);
  for (int32_t k = 0; k < singular.ne(); ++k) {
    if (singular.irn[k] == 7 || singular.jcn[k] == 7) singular.a[k] = 0.0;
  }
  out.push_back({"singular", singular, true});
  return out;
}

std::vector<int32_t> KeepFor(const Named& p) {
  return p.analysed ? AnalyseKeep(p.m) : BuildKeep(p.m);
}

// Factors of the problem with room enough (after the reruns that the
// forecasts ask for).
Factors AmpleFactors(const Named& p) {
  Factors f;
  f.keep = KeepFor(p);
  f.Ample(p.m);
  return f;
}

// The stored factors: FACT(1..INFO(15)) and IFACT(1..INFO(16)).
void ExpectSameFactors(const Factors& a, const Factors& b) {
  ASSERT_EQ(a.Info(MA57_INFO_REAL_STORAGE), b.Info(MA57_INFO_REAL_STORAGE));
  ASSERT_EQ(a.Info(MA57_INFO_INTEGER_STORAGE), b.Info(MA57_INFO_INTEGER_STORAGE));
  EXPECT_TRUE(
      std::equal(a.fact.begin(), a.fact.begin() + a.Info(MA57_INFO_REAL_STORAGE), b.fact.begin()));
  EXPECT_TRUE(std::equal(a.ifact.begin(), a.ifact.begin() + a.Info(MA57_INFO_INTEGER_STORAGE),
                         b.ifact.begin()));
}

TEST(Workspace, ForecastsSufficeExactlyAndGiveTheSameFactors) {
  for (const Named& p : Problems()) {
    SCOPED_TRACE(p.name);
    const Factors ample = AmpleFactors(p);
    ASSERT_GE(ample.Info(MA57_INFO_STATUS), 0);
    ASSERT_LE(ample.Info(MA57_INFO_STATUS), 4);
    EXPECT_EQ(ample.Info(MA57_INFO_REAL_COMPRESSES), 0);
    EXPECT_EQ(ample.Info(MA57_INFO_INTEGER_COMPRESSES), 0);
    const int32_t lf_c = ample.Info(MA57_INFO_MIN_LFACT_COMPRESS),
                  li_c = ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS);
    const int32_t lf_w = ample.Info(MA57_INFO_MIN_LFACT_NO_COMPRESS),
                  li_w = ample.Info(MA57_INFO_MIN_LIFACT_NO_COMPRESS);
    {
      // With compresses: the contribution blocks are stacked into the tail
      // of the front, which only a backward copy does safely.
      Factors tight;
      tight.keep = ample.keep;
      tight.Run(p.m, lf_c, li_c);
      ASSERT_EQ(tight.Info(MA57_INFO_STATUS), ample.Info(MA57_INFO_STATUS));
      ExpectSameFactors(tight, ample);
      EXPECT_GT(tight.Info(MA57_INFO_REAL_COMPRESSES) + tight.Info(MA57_INFO_INTEGER_COMPRESSES),
                0);
    }
    {
      Factors tight;
      tight.keep = ample.keep;
      tight.Run(p.m, lf_w, li_w);
      ASSERT_EQ(tight.Info(MA57_INFO_STATUS), ample.Info(MA57_INFO_STATUS));
      ExpectSameFactors(tight, ample);
      EXPECT_EQ(tight.Info(MA57_INFO_REAL_COMPRESSES), 0);
      EXPECT_EQ(tight.Info(MA57_INFO_INTEGER_COMPRESSES), 0);
    }
    {
      Factors short_real;
      short_real.keep = ample.keep;
      short_real.Run(p.m, lf_c - 1, li_c);
      EXPECT_EQ(short_real.Info(MA57_INFO_STATUS), -3);
    }
    {
      Factors short_int;
      short_int.keep = ample.keep;
      short_int.Run(p.m, lf_c, li_c - 1);
      EXPECT_EQ(short_int.Info(MA57_INFO_STATUS), -4);
      EXPECT_EQ(short_int.Info(MA57_INFO_VALUE), li_c - 1);
    }
  }
}

// The front is only partly cleared before assembly: whatever FACT held
// before (here NaN or infinity, with small blocks so that many passes and
// DGEMM updates run) must not reach the factors.
TEST(Workspace, EarlierContentsOfFactDoNotReachTheFactors) {
  for (const Named& p : Problems()) {
    SCOPED_TRACE(p.name);
    for (int32_t nb : {1, 4, 16}) {
      Factors clean;
      clean.keep = KeepFor(p);
      clean.fill = 0.0;
      clean.Icntl(MA57_ICNTL_BLOCK_SIZE) = nb;
      clean.Ample(p.m);
      ASSERT_GE(clean.Info(MA57_INFO_STATUS), 0);
      for (double junk : {std::nan(""), HUGE_VAL}) {
        Factors dirty;
        dirty.keep = clean.keep;
        dirty.fill = junk;
        dirty.Icntl(MA57_ICNTL_BLOCK_SIZE) = nb;
        dirty.Run(p.m, clean.Info(MA57_INFO_MIN_LFACT_COMPRESS),
                  clean.Info(MA57_INFO_MIN_LIFACT_COMPRESS));
        ASSERT_EQ(dirty.Info(MA57_INFO_STATUS), clean.Info(MA57_INFO_STATUS));
        ExpectSameFactors(dirty, clean);
      }
    }
  }
}

TEST(Workspace, CountingModeForecastLeadsToARerunThatWorks) {
  for (const Named& p : Problems()) {
    SCOPED_TRACE(p.name);
    const Factors ample = AmpleFactors(p);
    const int32_t mm = KeepEntries(ample.keep, p.m.n);
    const int32_t need = ample.Info(MA57_INFO_MIN_LFACT_COMPRESS);
    // Every length from the set-up minimum to the forecast either works or
    // fails with -3 and a larger forecast. The forecast covers the whole tree
    // (a rerun with it works) unless the failing front alone did not fit.
    for (int32_t lf = mm + 1; lf < need; lf += std::max(1, (need - mm) / 23)) {
      SCOPED_TRACE(lf);
      Factors f;
      f.keep = ample.keep;
      f.Run(p.m, lf, ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS));
      if (f.Info(MA57_INFO_STATUS) == ample.Info(MA57_INFO_STATUS)) continue;
      ASSERT_EQ(f.Info(MA57_INFO_STATUS), -3);
      EXPECT_EQ(f.Info(MA57_INFO_VALUE), lf);
      EXPECT_GT(f.Info(MA57_INFO_MIN_LFACT_COMPRESS), lf);
      EXPECT_LE(f.Info(MA57_INFO_MIN_LFACT_COMPRESS), need);
      int32_t next = f.Info(MA57_INFO_MIN_LFACT_COMPRESS);
      for (int rerun = 0; rerun < 20; ++rerun) {
        Factors again;
        again.keep = ample.keep;
        again.Run(p.m, next, ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS));
        if (again.Info(MA57_INFO_STATUS) != -3) {
          ASSERT_EQ(again.Info(MA57_INFO_STATUS), ample.Info(MA57_INFO_STATUS));
          ExpectSameFactors(again, ample);
          break;
        }
        ASSERT_GT(again.Info(MA57_INFO_MIN_LFACT_COMPRESS), next);
        next = again.Info(MA57_INFO_MIN_LFACT_COMPRESS);
      }
    }
  }
}

TEST(Workspace, IntegerFailureWinsOverCountingMode) {
  for (const Named& p : Problems()) {
    SCOPED_TRACE(p.name);
    const Factors ample = AmpleFactors(p);
    const int32_t n = p.m.n, mm = KeepEntries(ample.keep, n);
    // A real length at which counting mode runs to the end of the tree.
    int32_t lf = 0;
    for (int32_t trial = ample.Info(MA57_INFO_MIN_LFACT_COMPRESS) - 1; trial > mm; trial -= 7) {
      Factors f;
      f.keep = ample.keep;
      f.Run(p.m, trial, ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS));
      if (f.Info(MA57_INFO_STATUS) == -3 &&
          f.Info(MA57_INFO_MIN_LFACT_COMPRESS) == ample.Info(MA57_INFO_MIN_LFACT_COMPRESS)) {
        lf = trial;
        break;
      }
    }
    ASSERT_GT(lf, 0);
    const int32_t step = std::max(1, (ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS) - mm - n) / 9);
    for (int32_t li = ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS) - 1; li >= mm + n + 5; li -= step) {
      SCOPED_TRACE(li);
      Factors f;
      f.keep = ample.keep;
      f.Run(p.m, lf, li);
      EXPECT_EQ(f.Info(MA57_INFO_STATUS), -4);
      EXPECT_EQ(f.Info(MA57_INFO_VALUE), li);
      EXPECT_GT(f.Info(MA57_INFO_MIN_LIFACT_COMPRESS), li);
    }
  }
}

// Enlarges FACT or IFACT of a suspended factorization the way a caller may:
// the stack and the input above it move to the new end, and the saved
// positions follow them.
void Enlarge(Factors& f, bool real, int32_t extra) {
  const pemric::OneBased<int32_t> saved = SavedState(f.keep, f.n);
  // The slots are named only in the factorization's own table of its state.
  if (real) {
    const int32_t top = saved(16);  // bare: RTOP, the real stack's top
    const size_t old = f.fact.size();
    f.fact.resize(old + extra, 0.0);
    std::copy_backward(f.fact.begin() + top, f.fact.begin() + old, f.fact.end());
    for (int k : {13, 16, 20}) saved(k) += extra;  // RIN0, RTOP, RIN
  } else {
    const int32_t top = saved(15);  // bare: ITOP, the integer stack's top
    const size_t old = f.ifact.size();
    f.ifact.resize(old + extra, 0);
    std::copy_backward(f.ifact.begin() + top, f.ifact.begin() + old, f.ifact.end());
    for (int k : {14, 15, 19}) saved(k) += extra;  // IIN0, ITOP, IIN
  }
}

TEST(Workspace, SuspensionAndResumption) {
  for (const Named& p : Problems()) {
    SCOPED_TRACE(p.name);
    const Factors ample = AmpleFactors(p);
    const int32_t n = p.m.n, mm = KeepEntries(ample.keep, n);
    const std::vector<int32_t> order(ample.keep.begin(), ample.keep.begin() + n);
    Factors f;
    f.keep = ample.keep;
    f.Icntl(MA57_ICNTL_SUSPEND) = 1;
    f.Run(p.m, mm + 1 + (ample.Info(MA57_INFO_MIN_LFACT_COMPRESS) - mm) / 3,
          mm + n + 5 + (ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS) - mm - n) / 3);
    int suspensions = 0;
    bool retried = false;
    while (f.Info(MA57_INFO_STATUS) == 10 || f.Info(MA57_INFO_STATUS) == 11) {
      ASSERT_LT(++suspensions, 200);
      const bool real = f.Info(MA57_INFO_STATUS) == 10;
      EXPECT_EQ(SavedState(f.keep, n)(pemric::ma57::kSavedReason),
                real ? pemric::ma57::kForRealSpace : pemric::ma57::kForIntegerSpace);
      if (!retried && real) {
        // Resuming with nothing changed fails again in the same way.
        retried = true;
        const std::vector<int32_t> saved = SavedCopy(f.keep, n);
        f.Resume(p.m);
        EXPECT_EQ(f.Info(MA57_INFO_STATUS), 10);
        EXPECT_EQ(f.Info(MA57_INFO_REAL_COMPRESSES), 1);
        EXPECT_EQ(SavedCopy(f.keep, n), saved);
        continue;
      }
      Enlarge(f, real,
              real ? std::max(16, ample.Info(MA57_INFO_MIN_LFACT_COMPRESS) / 4)
                   : std::max(16, ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS) / 4));
      f.Resume(p.m);
    }
    EXPECT_GT(suspensions, 0);
    ASSERT_EQ(f.Info(MA57_INFO_STATUS), ample.Info(MA57_INFO_STATUS));
    EXPECT_EQ(SavedState(f.keep, n)(pemric::ma57::kSavedReason), pemric::ma57::kNotSuspended);
    EXPECT_EQ(std::vector<int32_t>(f.keep.begin(), f.keep.begin() + n), order);
    ExpectSameFactors(f, ample);
    for (int k : {14, 21, 22, 23, 24, 25, 31}) EXPECT_EQ(f.Info(k), ample.Info(k)) << k;
    for (int k : {3, 4, 5}) EXPECT_EQ(f.Rinfo(k), ample.Rinfo(k)) << k;
  }
}

}  // namespace
