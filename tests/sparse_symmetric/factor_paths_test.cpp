// The small-front path and the general path of the factorization give the
// same factors, pivots, statistics and messages bit for bit: the suite's
// random matrices in the four pivoting modes and three block sizes, banded
// normal matrices (long runs of small fronts), and tight workspaces, so that
// runs of small fronts end at compresses, suspensions and failures. So do
// one thread and several on matrices with large fronts.
#include <cstring>
#include <string>

#include "factor_support.h"
#include "ma57_frontal_state.h"
#include "ma57_threads.h"

namespace {

using namespace ma57test;
using pemric::ma57::FrontPath;

// Everything a factorization leaves that a caller can see.
struct Outcome {
  std::vector<double> fact;
  std::vector<int32_t> ifact, keep, pivseq, info;
  std::vector<double> rinfo;
  std::string printed;
  int32_t Info(int k) const { return At(info.data())(k); }
};

// Factorizes with the given path forced; `lfact`, `lifact` of 0 mean the
// forecasts of a first, ample run; a suspended factorization is resumed
// with the same arrays.
Outcome Factorize(const Matrix& m, FrontPath path, int32_t mode, int32_t nb, int64_t lfact = 0,
                  int64_t lifact = 0, bool suspend = false, int threads = 1) {
  const pemric::ma57::ScopedFactorSettings settings({path, threads});
  Factors f;
  f.keep = AnalyseKeep(m);
  f.Icntl(MA57_ICNTL_PIVOTING) = mode;
  f.Icntl(MA57_ICNTL_BLOCK_SIZE) = nb;
  f.Cntl(MA57_CNTL_ZERO_PIVOT) = mode == 1 ? 0.0 : 1e-12;
  f.Ample(m);
  Outcome out;
  {
    Capture capture(6);
    f.Icntl(MA57_ICNTL_PRINT_LEVEL) = 2;  // errors and warnings on stream 6
    f.Icntl(MA57_ICNTL_SUSPEND) = suspend ? 1 : 0;
    if (lfact > 0 || lifact > 0) {
      f.Run(m, lfact > 0 ? lfact : f.fact.size(), lifact > 0 ? lifact : f.ifact.size());
      for (int again = 0; again < 2 && f.Info(MA57_INFO_STATUS) >= 10; ++again) f.Resume(m);
    } else {
      f.Run(m, f.fact.size(), f.ifact.size());
    }
    out.printed = capture.text();
  }
  if (f.Info(MA57_INFO_STATUS) >= 0 && f.Info(MA57_INFO_STATUS) < 10) {
    out.fact.assign(f.fact.begin(), f.fact.begin() + f.Info(MA57_INFO_REAL_STORAGE));
    out.ifact.assign(f.ifact.begin(), f.ifact.begin() + f.Info(MA57_INFO_INTEGER_STORAGE));
  }
  out.keep = f.keep;
  out.pivseq = f.pivseq;
  out.info.assign(f.info, f.info + MA57_LINFO);
  out.rinfo.assign(f.rinfo, f.rinfo + MA57_LRINFO);
  return out;
}

void ExpectSame(const Outcome& general, const Outcome& small) {
  ASSERT_EQ(general.fact.size(), small.fact.size());
  if (!general.fact.empty()) {  // no factors after a failure
    EXPECT_EQ(0, std::memcmp(general.fact.data(), small.fact.data(),
                             sizeof(double) * general.fact.size()));
  }
  EXPECT_EQ(general.ifact, small.ifact);
  EXPECT_EQ(general.keep, small.keep);
  EXPECT_EQ(general.pivseq, small.pivseq);
  EXPECT_EQ(general.info, small.info);
  EXPECT_EQ(0, std::memcmp(general.rinfo.data(), small.rinfo.data(), sizeof(double) * 20));
  EXPECT_EQ(general.printed, small.printed);
}

// J^T J + 1e-3 I for J banded with `below` and `above` diagonals: a chain of
// small fronts.
Matrix BandedNormal(int32_t n, int32_t below, int32_t above) {
  std::vector<double> dense(static_cast<size_t>(n) * n, 0.0);
  for (int32_t r = 0; r < n; ++r) {
    for (int32_t i = std::max(0, r - below); i <= std::min(n - 1, r + above); ++i) {
      for (int32_t j = std::max(0, r - below); j <= i; ++j) {
        const double ji = i == r ? 3.0 : 0.5 - 0.1 * (i - r);
        const double jj = j == r ? 3.0 : 0.5 - 0.1 * (j - r);
        dense[static_cast<size_t>(i) * n + j] += ji * jj;
      }
    }
  }
  Matrix m;
  m.n = n;
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = 0; j <= i; ++j) {
      const double v = dense[static_cast<size_t>(i) * n + j] + (i == j ? 1e-3 : 0.0);
      if (v != 0.0) m.Add(i + 1, j + 1, v);
    }
  }
  return m;
}

TEST(FrontPaths, SameFactorsOnTheRandomMatrices) {
  for (Kind kind : {Kind::kDefinite, Kind::kIndefinite, Kind::kZeroDiagonal}) {
    for (int32_t n : {1, 7, 40, 160}) {
      const Matrix m = RandomMatrix(n, n > 40 ? 4 : 2, kind, 900u + static_cast<unsigned>(n));
      for (int32_t mode = 1; mode <= 4; ++mode) {
        for (int32_t nb : {1, 4, 16}) {
          SCOPED_TRACE(::testing::Message() << "kind " << static_cast<int>(kind) << " n " << n
                                            << " mode " << mode << " nb " << nb);
          const Outcome general = Factorize(m, FrontPath::kGeneral, mode, nb);
          ExpectSame(general, Factorize(m, FrontPath::kSmall, mode, nb));
          ExpectSame(general, Factorize(m, FrontPath::kBySize, mode, nb));
        }
      }
    }
  }
}

TEST(FrontPaths, SameFactorsOnBandedNormalMatrices) {
  for (int32_t below : {1, 5}) {
    const Matrix m = BandedNormal(300, below, 1);
    for (int32_t mode = 1; mode <= 3; ++mode) {
      SCOPED_TRACE(::testing::Message() << "below " << below << " mode " << mode);
      ExpectSame(Factorize(m, FrontPath::kGeneral, mode, 16),
                 Factorize(m, FrontPath::kSmall, mode, 16));
    }
  }
}

// Tight arrays: compresses, counting mode, -3 and -4, and suspensions for
// real and integer space resumed with the same arrays.
TEST(FrontPaths, SameOutcomeInTightWorkspaces) {
  const Matrix m = RandomMatrix(120, 3, Kind::kZeroDiagonal, 77);
  const Outcome ample = Factorize(m, FrontPath::kGeneral, 1, 16);
  const int64_t lfact = ample.Info(MA57_INFO_MIN_LFACT_COMPRESS),
                lifact = ample.Info(MA57_INFO_MIN_LIFACT_COMPRESS);
  const int64_t mm = KeepEntries(ample.keep, m.n);
  for (bool suspend : {false, true}) {
    for (int64_t lf : {lfact, std::max<int64_t>(lfact * 3 / 5, mm + 1)}) {
      for (int64_t li : {lifact, std::max<int64_t>(lifact * 3 / 4, mm + m.n + 5)}) {
        SCOPED_TRACE(::testing::Message() << "suspend " << suspend << " lfact " << lf
                                          << " lifact " << li);
        ExpectSame(Factorize(m, FrontPath::kGeneral, 1, 16, lf, li, suspend),
                   Factorize(m, FrontPath::kSmall, 1, 16, lf, li, suspend));
      }
    }
  }
}

// Fronts and children's blocks above the threads' threshold, with 2x2 and
// delayed pivots (children's variables out of order in the parent), in ample
// and in tight workspaces (factors and stack then overlap the front, and the
// copies keep to one thread): two and three threads against one.
TEST(FrontPaths, SameFactorsOnAnyNumberOfThreads) {
  for (Kind kind : {Kind::kDefinite, Kind::kZeroDiagonal}) {
    const Matrix m = RandomMatrix(1200, 5, kind, 4242);
    const Outcome one = Factorize(m, FrontPath::kBySize, 1, 16);
    ASSERT_GE(one.Info(MA57_INFO_LARGEST_FRONT), 2 * pemric::ma57::kThreadedRows);
    const int64_t lfact = one.Info(MA57_INFO_MIN_LFACT_COMPRESS),
                  lifact = one.Info(MA57_INFO_MIN_LIFACT_COMPRESS);
    for (int64_t lf : {int64_t{0}, lfact}) {
      for (int threads : {2, 3}) {
        SCOPED_TRACE(::testing::Message() << "kind " << static_cast<int>(kind) << " lfact " << lf
                                          << " threads " << threads);
        ExpectSame(Factorize(m, FrontPath::kBySize, 1, 16, lf, lf > 0 ? lifact : 0),
                   Factorize(m, FrontPath::kBySize, 1, 16, lf, lf > 0 ? lifact : 0, false, threads));
      }
    }
  }
}

}  // namespace
