// What callers of the shared library read back to report on a call: the
// words for each family's status codes, and the sparse solver's arrays that
// the least-squares routine keeps.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "pemric.h"

namespace {

struct Family {
  const char* name;
  const char* (*text)(int32_t);
  std::vector<int32_t> named;  // every status the family's header names
};

std::vector<Family> Families() {
  return {
      {"NS23", &NS23StatusText,
       {NS23_START, NS23_EVALUATE_CURRENT, NS23_EVALUATE_DIFFERENCE, NS23_EVALUATE_LINE_SEARCH,
        NS23_EVALUATE_TRIAL, NS23_FINISHED, NS23_ERR_MAXFUN, NS23_ERR_LIW, NS23_ERR_WORKSPACE,
        NS23_ERR_SIZES, NS23_ERR_NOT_FINITE, NS23_ERR_FACTORIZATION}},
      {"MA57", &MA57StatusText,
       {MA57_SUCCESS, MA57_WARN_OUT_OF_RANGE, MA57_WARN_DUPLICATES, MA57_WARN_RANGE_AND_DUPLICATES,
        MA57_WARN_SINGULAR, MA57_SUSPENDED_REAL, MA57_SUSPENDED_INTEGER, MA57_ERR_N, MA57_ERR_NE,
        MA57_ERR_LFACT, MA57_ERR_LIFACT, MA57_ERR_ZERO_PIVOT, MA57_ERR_SIGN_CHANGE, MA57_ERR_PERMUTATION,
        MA57_ERR_ICNTL7, MA57_ERR_LRHS, MA57_ERR_LKEEP, MA57_ERR_NRHS, MA57_ERR_LW}},
      {"MC59", &MC59StatusText,
       {0, MC59_WARN_DUPLICATES, MC59_WARN_BAD_ROWS, MC59_WARN_BAD_COLUMNS,
        MC59_WARN_DUPLICATES | MC59_WARN_BAD_ROWS | MC59_WARN_BAD_COLUMNS, MC59_ERROR_MODE, MC59_ERROR_NC,
        MC59_ERROR_NR, MC59_ERROR_NE, MC59_ERROR_LJCN, MC59_ERROR_LA, MC59_ERROR_LIP, MC59_ERROR_LIW,
        MC59_ERROR_IP, MC59_ERROR_ALL_OUT, MC59_ERROR_SYMMETRY}},
  };
}

// Every named status has words of its own; anything else, the family's
// "unknown" text.
TEST(StatusText, EveryNamedCodeHasItsOwnWordsAndOthersAreUnknown) {
  for (const Family& f : Families()) {
    SCOPED_TRACE(f.name);
    const std::string unknown = f.text(12345);
    EXPECT_NE(unknown.find("unknown"), std::string::npos) << unknown;
    EXPECT_EQ(f.text(INT32_MIN), unknown);
    EXPECT_EQ(f.text(-12345), unknown);
    std::set<std::string> seen;
    for (int32_t code : f.named) {
      SCOPED_TRACE(code);
      const char* text = f.text(code);
      ASSERT_NE(text, nullptr);
      EXPECT_NE(std::string(text), "");
      EXPECT_NE(text, unknown);
      EXPECT_TRUE(seen.insert(text).second) << "shared by two codes: " << text;
    }
  }
}

// MC59AD's warnings add up; each sum names exactly the warnings in it.
TEST(StatusText, SparsePatternWarningsNameEachBitSet) {
  for (int32_t sum = 1; sum <= 7; ++sum) {
    SCOPED_TRACE(sum);
    const std::string text = MC59StatusText(sum);
    EXPECT_EQ(text.find("duplicate") != std::string::npos, (sum & MC59_WARN_DUPLICATES) != 0) << text;
    EXPECT_EQ(text.find("row") != std::string::npos, (sum & MC59_WARN_BAD_ROWS) != 0) << text;
    EXPECT_EQ(text.find("column") != std::string::npos, (sum & MC59_WARN_BAD_COLUMNS) != 0) << text;
  }
}

// The views land on the sparse solver's controls as the least-squares
// defaults leave them: its own defaults, with printing off and pivoting
// control 2.
TEST(SparseSolverArrays, ViewTheControlsTheLeastSquaresDefaultsSet) {
  int32_t icntl[NS23_LICNTL], keep[NS23_LKEEP] = {}, lkeep[NS23_LLKEEP];
  double cntl[NS23_LCNTL], rkeep[NS23_LRKEEP] = {};
  NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
  int32_t want_icntl[MA57_LICNTL];
  double want_cntl[MA57_LCNTL];
  MA57SetDefaults(want_cntl, want_icntl);
  want_icntl[MA57_ICNTL_PRINT_LEVEL - 1] = 0;
  want_icntl[MA57_ICNTL_PIVOTING - 1] = MA57_PIVOT_ONE_SIGN;

  NS23SparseSolverArrays sparse;
  NS23GetSparseSolverArrays(keep, rkeep, &sparse);
  EXPECT_EQ(std::vector<int32_t>(sparse.ICNTL, sparse.ICNTL + MA57_LICNTL),
            std::vector<int32_t>(want_icntl, want_icntl + MA57_LICNTL));
  EXPECT_EQ(std::vector<double>(sparse.CNTL, sparse.CNTL + MA57_LCNTL),
            std::vector<double>(want_cntl, want_cntl + MA57_LCNTL));
  // INFO and RINFO follow the controls and end their arrays.
  EXPECT_EQ(sparse.INFO + MA57_LINFO, keep + NS23_LKEEP);
  EXPECT_EQ(sparse.RINFO + MA57_LRINFO, rkeep + NS23_LRKEEP);

  NS23GetSparseSolverArrays(nullptr, nullptr, &sparse);
  EXPECT_TRUE(sparse.ICNTL == nullptr && sparse.CNTL == nullptr && sparse.INFO == nullptr &&
              sparse.RINFO == nullptr);
  NS23GetSparseSolverArrays(keep, rkeep, nullptr);  // ignored
}

}  // namespace
