// The three phases called as a careless caller would: out of order, after a
// failure, with sizes changed since the earlier phase, on arrays never
// written, on pivots too small to invert. Each case must end in its named
// code and INFO(2) (and, under the sanitizer build, touch nothing outside
// the arrays, which are sized for the larger N and NE of each case).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "factor_support.h"
#include "ma57_frontal_state.h"

namespace {

using ma57test::Kind;
using ma57test::Matrix;
using ma57test::RandomMatrix;
using pemric::At;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// One set of caller arrays and the three phases on them; every array has
// room for one more variable and one more entry than the matrix.
struct Caller {
  Matrix mat;
  int32_t n, ne, lkeep, lfact = 4000, lifact = 2000;
  std::vector<int32_t> keep, iwrk, pivseq, ifact, iwblk;
  std::vector<double> fact, rhs, w, a;
  int32_t icntl[MA57_LICNTL], info[MA57_LINFO] = {}, cinfo[MA57_LINFO] = {};
  double cntl[MA57_LCNTL], rinfo[MA57_LRINFO] = {};

  explicit Caller(Matrix m) : mat(std::move(m)), n(mat.n), ne(mat.ne()) {
    lkeep = static_cast<int32_t>(5 * (n + 1) + (ne + 1) + std::max(n, ne) + 1 + 42);
    keep.assign(static_cast<size_t>(lkeep), 0);
    iwrk.assign(5 * static_cast<size_t>(n + 1), 0);
    pivseq.assign(static_cast<size_t>(n + 1), 0);
    iwblk = pivseq;
    fact.assign(static_cast<size_t>(lfact), 0.0);
    ifact.assign(static_cast<size_t>(lifact), 0);
    rhs.assign(static_cast<size_t>(n + 1), 1.0);
    w = rhs;
    a = mat.a;
    a.push_back(0.0);
    mat.irn.push_back(1);
    mat.jcn.push_back(1);
    MA57SetDefaults(cntl, icntl);
    At(icntl)(MA57_ICNTL_PRINT_LEVEL) = 0;
  }
  int32_t& Keep(int64_t k) { return keep[static_cast<size_t>(k - 1)]; }
  int32_t Analyse(int32_t an, int32_t ane, int32_t alkeep) {
    std::vector<int32_t> irn = mat.irn, jcn = mat.jcn;
    MA57AD(&an, &ane, irn.data(), jcn.data(), &alkeep, keep.data(), iwrk.data(), icntl, info,
           rinfo);
    return At(info)(MA57_INFO_STATUS);
  }
  int32_t Analyse() { return Analyse(n, ne, lkeep); }
  int32_t Factorize(int32_t fn, int32_t fne, int32_t flfact) {
    MA57BD(&fn, &fne, a.data(), fact.data(), &flfact, ifact.data(), &lifact, &lkeep, keep.data(),
           pivseq.data(), icntl, cntl, info, rinfo);
    return At(info)(MA57_INFO_STATUS);
  }
  int32_t Factorize() { return Factorize(n, ne, lfact); }
  int32_t Solve(int32_t sn, int32_t slifact) {
    int32_t job = 1, nrhs = 1, lrhs = n + 1, lw = n + 1;
    MA57CD(&job, &sn, fact.data(), &lfact, ifact.data(), &slifact, &nrhs, rhs.data(), &lrhs,
           w.data(), &lw, iwblk.data(), icntl, cinfo);
    return At(cinfo)(MA57_INFO_STATUS);
  }
  int32_t Solve() { return Solve(n, lifact); }
};

struct Case {
  const char* name;
  Matrix matrix;
  // Runs the phases; returns the status of the last call and its INFO(2).
  std::function<std::pair<int32_t, int32_t>(Caller&)> run;
  int32_t status, info2;  // info2 relative to N when `info2_after_n` is set
  bool info2_after_n = false;
};

std::pair<int32_t, int32_t> Last(Caller& c) { return {At(c.info)(MA57_INFO_STATUS), At(c.info)(MA57_INFO_VALUE)}; }
std::pair<int32_t, int32_t> LastSolve(Caller& c) { return {At(c.cinfo)(MA57_INFO_STATUS), At(c.cinfo)(MA57_INFO_VALUE)}; }

Matrix Diagonal(const std::vector<double>& d) {
  Matrix m;
  m.n = static_cast<int32_t>(d.size());
  for (int32_t i = 1; i <= m.n; ++i) {
    m.irn.push_back(i);
    m.jcn.push_back(i);
    m.a.push_back(d[static_cast<size_t>(i - 1)]);
  }
  return m;
}

std::vector<Case> Cases() {
  const Matrix def = RandomMatrix(12, 3, Kind::kDefinite, 7);
  const Matrix indef = RandomMatrix(30, 5, Kind::kIndefinite, 3);
  return {
      // Factorization on a KEEP that no successful analysis of its N and NE left.
      {"factorize a KEEP never analysed", def,
       [](Caller& c) {
         c.Factorize();
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 39, true},
      {"factorize after an analysis refused for its order (-9)", def,
       [](Caller& c) {
         At(c.icntl)(MA57_ICNTL_SUPPLIED_ORDER) = 1;
         for (int32_t i = 1; i <= c.n; ++i) c.Keep(i) = 1;
         EXPECT_EQ(c.Analyse(), MA57_ERR_PERMUTATION);
         At(c.icntl)(MA57_ICNTL_SUPPLIED_ORDER) = 0;
         c.Factorize();
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 39, true},
      {"factorize after an analysis refused for NE (-2)", def,
       [](Caller& c) {
         c.Analyse(c.n, -1, c.lkeep);
         c.Factorize();
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 39, true},
      {"factorize after an analysis refused for LKEEP (-15)", def,
       [](Caller& c) {
         c.Analyse(c.n, c.ne, 60);
         c.Factorize();
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 39, true},
      {"factorize with N one less than analysed", def,
       [](Caller& c) {
         c.Analyse();
         c.Factorize(c.n - 1, c.ne, c.lfact);
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 38, true},
      {"factorize with N one more than analysed", def,
       [](Caller& c) {
         c.Analyse();
         c.Factorize(c.n + 1, c.ne, c.lfact);
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 40, true},
      {"factorize with NE one more than analysed", def,
       [](Caller& c) {
         c.Analyse();
         c.Factorize(c.n, c.ne + 1, c.lfact);
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 41, true},
      {"factorize after the caller swapped two pivots", def,
       [](Caller& c) {
         c.Analyse();
         std::swap(c.Keep(1), c.Keep(2));  // bare: the pivot positions of variables 1 and 2
         c.Factorize();
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 40, true},
      {"factorize after the caller wrote another permutation with the same linear sums", def,
       [](Caller& c) {
         c.Analyse();
         // Two exchanges whose changes of sum(i * KEEP(i)) cancel: a checksum
         // that only adds would pass this order, for which the tree was not
         // built (found by fuzzing: the elimination then wrote outside FACT).
         const auto shift = [&c](int32_t i, int32_t j) {
           return (c.Keep(i) - c.Keep(j)) * (j - i);
         };
         for (int32_t i = 1; i <= c.n; ++i) {
           for (int32_t j = i + 1; j <= c.n; ++j) {
             for (int32_t k = j + 1; k <= c.n; ++k) {
               for (int32_t l = k + 1; l <= c.n; ++l) {
                 if (shift(i, j) + shift(k, l) != 0 || shift(i, j) == 0) continue;
                 std::swap(c.Keep(i), c.Keep(j));
                 std::swap(c.Keep(k), c.Keep(l));
                 c.Factorize();
                 return Last(c);
               }
             }
           }
         }
         ADD_FAILURE() << "no such pair of exchanges";
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 40, true},
      {"factorize after an analysis of another N wrote over KEEP", def,
       [](Caller& c) {
         c.Analyse();
         At(c.icntl)(MA57_ICNTL_SUPPLIED_ORDER) = 1;
         for (int32_t i = 1; i <= c.n + 1; ++i) c.Keep(i) = 1;  // its order for N + 1
         EXPECT_EQ(c.Analyse(c.n + 1, c.ne, c.lkeep), MA57_ERR_PERMUTATION);
         At(c.icntl)(MA57_ICNTL_SUPPLIED_ORDER) = 0;
         c.Factorize();
         return Last(c);
       },
       MA57_ERR_NOT_ANALYSED, 41, true},
      {"resume a factorization never suspended", def,
       [](Caller& c) {
         c.Analyse();
         c.Keep(pemric::ma57::KeepState(c.n)) = pemric::ma57::kForRealSpace;
         c.Factorize();
         return Last(c);
       },
       MA57_ERR_RESUME, 1},
      {"resume a suspension with a shorter FACT", indef,
       [](Caller& c) {
         c.Analyse();
         At(c.icntl)(MA57_ICNTL_SUSPEND) = 1;
         EXPECT_EQ(c.Factorize(c.n, c.ne, 250), MA57_SUSPENDED_REAL);
         c.Factorize(c.n, c.ne, 249);
         return Last(c);
       },
       MA57_ERR_RESUME, 249},
      {"resume a suspension in another pivoting mode", indef,
       [](Caller& c) {
         c.Analyse();
         At(c.icntl)(MA57_ICNTL_SUSPEND) = 1;
         EXPECT_EQ(c.Factorize(c.n, c.ne, 250), MA57_SUSPENDED_REAL);
         At(c.icntl)(MA57_ICNTL_PIVOTING) = 3;
         c.Factorize(c.n, c.ne, 250);
         return Last(c);
       },
       MA57_ERR_RESUME, 1},
      {"a value of A that is infinite", def,
       [](Caller& c) {
         c.Analyse();
         c.a[4] = -std::numeric_limits<double>::infinity();
         c.Factorize();
         return Last(c);
       },
       MA57_ERR_VALUE, 5},
      {"pivots whose reciprocals overflow", Diagonal({4e-310, -3e-310}),
       [](Caller& c) {
         c.Analyse();
         c.Factorize();
         return Last(c);
       },
       MA57_ERR_FACTORS_NOT_FINITE, 1},
      // Solution without the factors of a successful factorization of order N.
      {"solve on factors never written", def,
       [](Caller& c) {
         c.Solve();
         return LastSolve(c);
       },
       MA57_ERR_FACTORS, 3},
      {"solve after pivots whose reciprocals overflow", Diagonal({4e-310, -3e-310}),
       [](Caller& c) {
         c.Analyse();
         c.Factorize();
         c.Solve();
         return LastSolve(c);
       },
       MA57_ERR_FACTORS, 3},
      {"solve after IFACT ran out during the elimination (-4)", indef,
       [](Caller& c) {
         c.Analyse();
         c.lifact = c.Keep(pemric::ma57::KeepEntryCount(c.n)) + c.n + 5;  // passes the first check only
         EXPECT_EQ(c.Factorize(), MA57_ERR_LIFACT);
         c.Solve();
         return LastSolve(c);
       },
       MA57_ERR_FACTORS, 3},
      {"solve after FACT ran out (-3)", indef,
       [](Caller& c) {
         c.Analyse();
         EXPECT_EQ(c.Factorize(c.n, c.ne, c.Keep(pemric::ma57::KeepEntryCount(c.n)) + 1), MA57_ERR_LFACT);
         c.Solve();
         return LastSolve(c);
       },
       MA57_ERR_FACTORS, 3},
      {"solve after a success then a zero pivot (-5)", Diagonal({2.0, 3.0, 5.0}),
       [](Caller& c) {
         c.Analyse();
         At(c.icntl)(MA57_ICNTL_PIVOTING) = 2;
         EXPECT_EQ(c.Factorize(), 0);
         c.a[1] = 0.0;
         EXPECT_EQ(c.Factorize(), MA57_ERR_ZERO_PIVOT);
         c.Solve();
         return LastSolve(c);
       },
       MA57_ERR_FACTORS, 3},
      {"solve with N one more than factorized", def,
       [](Caller& c) {
         c.Analyse();
         c.Factorize();
         c.Solve(c.n + 1, c.lifact);
         return LastSolve(c);
       },
       MA57_ERR_FACTORS, 3},
      {"solve with LIFACT one short of the factors", def,
       [](Caller& c) {
         c.Analyse();
         c.Factorize();
         const int32_t used = At(c.info)(MA57_INFO_INTEGER_STORAGE);
         c.Solve(c.n, used - 1);
         // The last word of the last record is the first one missing.
         return std::make_pair(At(c.cinfo)(MA57_INFO_STATUS), At(c.cinfo)(MA57_INFO_VALUE) - used);
       },
       MA57_ERR_FACTORS, 0},
      {"solve with a variable INT32_MIN in the factors", Diagonal({2.0, 3.0}),
       [](Caller& c) {
         c.Analyse();
         c.Factorize();
         c.ifact[5] = kMin;  // IFACT(6), the first block's variable
         c.Solve();
         return LastSolve(c);
       },
       MA57_ERR_FACTORS, 6},
      // The specified checks keep their codes at the limits of 32 bits.
      {"analysis with N = INT32_MAX", def,
       [](Caller& c) {
         c.Analyse(kMax, c.ne, c.lkeep);
         return Last(c);
       },
       MA57_ERR_LKEEP, 0, true},
      {"factorization with N = INT32_MAX", def,
       [](Caller& c) {
         c.Factorize(kMax, c.ne, c.lfact);
         return Last(c);
       },
       MA57_ERR_LKEEP, 0, true},
      {"factorization with NE = INT32_MIN", def,
       [](Caller& c) {
         c.Factorize(c.n, kMin, c.lfact);
         return Last(c);
       },
       MA57_ERR_NE, kMin},
      {"solution with N = INT32_MIN", def,
       [](Caller& c) {
         c.Solve(kMin, c.lifact);
         return LastSolve(c);
       },
       MA57_ERR_N, kMin},
  };
}

TEST(PhaseProtocol, EveryMisuseEndsInItsCode) {
  for (const Case& k : Cases()) {
    SCOPED_TRACE(k.name);
    Caller c(k.matrix);
    const std::pair<int32_t, int32_t> got = k.run(c);
    EXPECT_EQ(got.first, k.status);
    if (k.status == MA57_ERR_LKEEP) {
      EXPECT_EQ(got.second, c.lkeep);
    } else {
      EXPECT_EQ(got.second, k.info2_after_n ? c.n + k.info2 : k.info2);
    }
  }
}

TEST(PhaseProtocol, MessagesOfTheNewChecks) {
  Caller c(Diagonal({4e-310, -3e-310}));
  At(c.icntl)(MA57_ICNTL_ERROR_STREAM) = 35;
  At(c.icntl)(MA57_ICNTL_PRINT_LEVEL) = 1;
  dalvex_test::StreamCapture err(35);
  c.Factorize();
  c.Analyse();
  c.Factorize();
  c.Solve();
  EXPECT_EQ(err.text(),
            "**** Error return from MA57BD ****  INFO(1) =-12\n"
            "KEEP holds no analysis for this N and NE\n"
            "Component        41 is faulty\n"
            "\n*** Error message from routine MA57BD **   INFO(1) =  -8\n"
            "Factors not finite at stage         1\n"
            "**** Error return from MA57CD ****  INFO(1) = -18\n"
            "Invalid factors supplied in IFACT\n"
            "Component         3 is faulty\n");
}

}  // namespace
