// Space management of the factorization: forecasts that suffice exactly,
// compresses, counting mode, integer failure, suspension and resumption.
#include "factor_support.h"

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
  ASSERT_EQ(a.Info(15), b.Info(15));
  ASSERT_EQ(a.Info(16), b.Info(16));
  EXPECT_TRUE(std::equal(a.fact.begin(), a.fact.begin() + a.Info(15), b.fact.begin()));
  EXPECT_TRUE(std::equal(a.ifact.begin(), a.ifact.begin() + a.Info(16), b.ifact.begin()));
}

TEST(Workspace, ForecastsSufficeExactlyAndGiveTheSameFactors) {
  for (const Named& p : Problems()) {
    SCOPED_TRACE(p.name);
    const Factors ample = AmpleFactors(p);
    ASSERT_GE(ample.Info(1), 0);
    ASSERT_LE(ample.Info(1), 4);
    EXPECT_EQ(ample.Info(28), 0);
    EXPECT_EQ(ample.Info(29), 0);
    const int32_t lf_c = ample.Info(17), li_c = ample.Info(18);
    const int32_t lf_w = ample.Info(19), li_w = ample.Info(20);
    {
      // With compresses: the contribution blocks are stacked into the tail
      // of the front, which only a backward copy does safely.
      Factors tight;
      tight.keep = ample.keep;
      tight.Run(p.m, lf_c, li_c);
      ASSERT_EQ(tight.Info(1), ample.Info(1));
      ExpectSameFactors(tight, ample);
      EXPECT_GT(tight.Info(28) + tight.Info(29), 0);
    }
    {
      Factors tight;
      tight.keep = ample.keep;
      tight.Run(p.m, lf_w, li_w);
      ASSERT_EQ(tight.Info(1), ample.Info(1));
      ExpectSameFactors(tight, ample);
      EXPECT_EQ(tight.Info(28), 0);
      EXPECT_EQ(tight.Info(29), 0);
    }
    {
      Factors short_real;
      short_real.keep = ample.keep;
      short_real.Run(p.m, lf_c - 1, li_c);
      EXPECT_EQ(short_real.Info(1), -3);
    }
    {
      Factors short_int;
      short_int.keep = ample.keep;
      short_int.Run(p.m, lf_c, li_c - 1);
      EXPECT_EQ(short_int.Info(1), -4);
      EXPECT_EQ(short_int.Info(2), li_c - 1);
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
      clean.icntl[10] = nb;
      clean.Ample(p.m);
      ASSERT_GE(clean.Info(1), 0);
      for (double junk : {std::nan(""), HUGE_VAL}) {
        Factors dirty;
        dirty.keep = clean.keep;
        dirty.fill = junk;
        dirty.icntl[10] = nb;
        dirty.Run(p.m, clean.Info(17), clean.Info(18));
        ASSERT_EQ(dirty.Info(1), clean.Info(1));
        ExpectSameFactors(dirty, clean);
      }
    }
  }
}

TEST(Workspace, CountingModeForecastLeadsToARerunThatWorks) {
  for (const Named& p : Problems()) {
    SCOPED_TRACE(p.name);
    const Factors ample = AmpleFactors(p);
    const int32_t mm = ample.keep[p.m.n + 1];
    const int32_t need = ample.Info(17);
    // Every length from the set-up minimum to the forecast either works or
    // fails with -3 and a larger forecast. The forecast covers the whole tree
    // (a rerun with it works) unless the failing front alone did not fit.
    for (int32_t lf = mm + 1; lf < need; lf += std::max(1, (need - mm) / 23)) {
      SCOPED_TRACE(lf);
      Factors f;
      f.keep = ample.keep;
      f.Run(p.m, lf, ample.Info(18));
      if (f.Info(1) == ample.Info(1)) continue;
      ASSERT_EQ(f.Info(1), -3);
      EXPECT_EQ(f.Info(2), lf);
      EXPECT_GT(f.Info(17), lf);
      EXPECT_LE(f.Info(17), need);
      int32_t next = f.Info(17);
      for (int rerun = 0; rerun < 20; ++rerun) {
        Factors again;
        again.keep = ample.keep;
        again.Run(p.m, next, ample.Info(18));
        if (again.Info(1) != -3) {
          ASSERT_EQ(again.Info(1), ample.Info(1));
          ExpectSameFactors(again, ample);
          break;
        }
        ASSERT_GT(again.Info(17), next);
        next = again.Info(17);
      }
    }
  }
}

TEST(Workspace, IntegerFailureWinsOverCountingMode) {
  for (const Named& p : Problems()) {
    SCOPED_TRACE(p.name);
    const Factors ample = AmpleFactors(p);
    const int32_t n = p.m.n, mm = ample.keep[n + 1];
    // A real length at which counting mode runs to the end of the tree.
    int32_t lf = 0;
    for (int32_t trial = ample.Info(17) - 1; trial > mm; trial -= 7) {
      Factors f;
      f.keep = ample.keep;
      f.Run(p.m, trial, ample.Info(18));
      if (f.Info(1) == -3 && f.Info(17) == ample.Info(17)) {
        lf = trial;
        break;
      }
    }
    ASSERT_GT(lf, 0);
    const int32_t step = std::max(1, (ample.Info(18) - mm - n) / 9);
    for (int32_t li = ample.Info(18) - 1; li >= mm + n + 5; li -= step) {
      SCOPED_TRACE(li);
      Factors f;
      f.keep = ample.keep;
      f.Run(p.m, lf, li);
      EXPECT_EQ(f.Info(1), -4);
      EXPECT_EQ(f.Info(2), li);
      EXPECT_GT(f.Info(18), li);
    }
  }
}

// Enlarges FACT or IFACT of a suspended factorization the way a caller may:
// the stack and the input above it move to the new end, and the saved
// positions follow them.
void Enlarge(Factors& f, bool real, int32_t extra) {
  int32_t* saved = &f.keep[static_cast<size_t>(f.n) + 2];  // SAVED(k) = saved[k - 1]
  if (real) {
    const int32_t top = saved[15];  // RTOP
    const size_t old = f.fact.size();
    f.fact.resize(old + extra, 0.0);
    std::copy_backward(f.fact.begin() + top, f.fact.begin() + old, f.fact.end());
    for (int k : {13, 16, 20}) saved[k - 1] += extra;
  } else {
    const int32_t top = saved[14];  // ITOP
    const size_t old = f.ifact.size();
    f.ifact.resize(old + extra, 0);
    std::copy_backward(f.ifact.begin() + top, f.ifact.begin() + old, f.ifact.end());
    for (int k : {14, 15, 19}) saved[k - 1] += extra;
  }
}

TEST(Workspace, SuspensionAndResumption) {
  for (const Named& p : Problems()) {
    SCOPED_TRACE(p.name);
    const Factors ample = AmpleFactors(p);
    const int32_t n = p.m.n, mm = ample.keep[n + 1];
    const std::vector<int32_t> order(ample.keep.begin(), ample.keep.begin() + n);
    Factors f;
    f.keep = ample.keep;
    f.icntl[7] = 1;
    f.Run(p.m, mm + 1 + (ample.Info(17) - mm) / 3, mm + n + 5 + (ample.Info(18) - mm - n) / 3);
    int suspensions = 0;
    bool retried = false;
    while (f.Info(1) == 10 || f.Info(1) == 11) {
      ASSERT_LT(++suspensions, 200);
      const bool real = f.Info(1) == 10;
      EXPECT_EQ(f.keep[n + 2], real ? 1 : 2);
      if (!retried && real) {
        // Resuming with nothing changed fails again in the same way.
        retried = true;
        const std::vector<int32_t> saved(f.keep.begin() + n + 2, f.keep.begin() + n + 42);
        f.Resume(p.m);
        EXPECT_EQ(f.Info(1), 10);
        EXPECT_EQ(f.Info(28), 1);
        EXPECT_EQ(std::vector<int32_t>(f.keep.begin() + n + 2, f.keep.begin() + n + 42), saved);
        continue;
      }
      Enlarge(f, real, real ? std::max(16, ample.Info(17) / 4) : std::max(16, ample.Info(18) / 4));
      f.Resume(p.m);
    }
    EXPECT_GT(suspensions, 0);
    ASSERT_EQ(f.Info(1), ample.Info(1));
    EXPECT_EQ(f.keep[n + 2], 0);
    EXPECT_EQ(std::vector<int32_t>(f.keep.begin(), f.keep.begin() + n), order);
    ExpectSameFactors(f, ample);
    for (int k : {14, 21, 22, 23, 24, 25, 31}) EXPECT_EQ(f.Info(k), ample.Info(k)) << k;
    for (int k : {3, 4, 5}) EXPECT_EQ(f.Rinfo(k), ample.Rinfo(k)) << k;
  }
}

}  // namespace
