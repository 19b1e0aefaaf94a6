// NS23WorkspaceSize against NS23AD's own start: the lengths it gives are the
// ones the start asks for, so a caller that uses them never sees -2 or -3;
// and what a -2 or -3 return leaves for the call that follows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ns23_driver.h"
#include "pemric/ns23.h"
#include "pemric/one_based.h"
#include "problems/registry.h"

namespace {

using ns23_test::LsqProblem;
using ns23_test::Options;
using ns23_test::Outcome;
using pemric::At;

struct Sizes {
  int32_t liw = 0, lw = 0;
  int32_t info[NS23_LINFO] = {};
};

Sizes SizeFor(const LsqProblem& p, double hmax) {
  Sizes s;
  const int32_t one = 1;
  const int32_t* airn = p.airn.empty() ? &one : p.airn.data();
  NS23WorkspaceSize(&p.m, &p.n, p.irn.data(), p.ip.data(), airn, p.aip.data(), &hmax, &s.liw, &s.lw,
                    s.info);
  return s;
}

// The start of NS23AD with the given LIW and no real workspace: its IFLAG,
// with INFO(2), INFO(4) and INFO(5) in `s`.
int32_t Start(const LsqProblem& p, double hmax, int32_t liw, Sizes& s) {
  int32_t icntl[NS23_LICNTL], keep[NS23_LKEEP], lkeep[NS23_LLKEEP], info[NS23_LINFO] = {};
  double cntl[NS23_LCNTL] = {}, rkeep[NS23_LRKEEP], rinfo[NS23_LRINFO] = {};
  NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
  At(icntl)(NS23_ICNTL_STREAM) = 0;
  std::vector<int32_t> iw(std::max(liw, 1)), ip = p.ip, airn = p.airn;
  airn.resize(std::max<size_t>(airn.size(), 1));
  std::vector<double> w(1), x(std::max(p.n, 1)), f(std::max(p.m, 1)), fjac(p.irn.size() + 1),
      aval(p.airn.size() + 1);
  const double sac = 0.0, stpmin = 0.0;
  const int32_t maxfun = 10, iprint = 0, lw = 0;
  int32_t iflag = NS23_START;
  NS23AD(&p.m, &p.n, &sac, &stpmin, &maxfun, &iprint, p.irn.data(), ip.data(), aval.data(),
         airn.data(), p.aip.data(), &hmax, &liw, iw.data(), &lw, w.data(), x.data(), f.data(),
         fjac.data(), &iflag, icntl, cntl, info, rinfo, keep, rkeep, lkeep);
  At(s.info)(NS23_SIZE_INFO_VALUE) = At(info)(NS23_INFO_VALUE);
  s.liw = At(info)(NS23_INFO_LIW_NEEDED);
  s.lw = At(info)(NS23_INFO_LW_NEEDED);
  return iflag;
}

// What the start asks for: it analyses the pattern, then returns -3 with
// both lengths.
Sizes StartAsks(const LsqProblem& p, double hmax, int32_t liw) {
  Sizes s;
  EXPECT_EQ(Start(p, hmax, liw, s), NS23_ERR_WORKSPACE);
  return s;
}

// A pattern of J drawn at random with repeated positions, and a constant A
// that overlaps it: the counts the lengths depend on (distinct positions,
// normal-matrix entries) differ from the plain entry counts.
LsqProblem RandomPattern(unsigned seed) {
  std::mt19937 rng(seed);
  LsqProblem p;
  p.n = std::uniform_int_distribution<int32_t>(1, 40)(rng);
  p.m = p.n + std::uniform_int_distribution<int32_t>(0, 30)(rng);
  auto column_major = [&](std::vector<int32_t>& rows, std::vector<int32_t>& ptr, int per_column) {
    ptr.assign(1, 1);
    for (int32_t j = 0; j < p.n; ++j) {
      const int count = std::uniform_int_distribution<int>(0, per_column)(rng);
      for (int k = 0; k < count; ++k)
        rows.push_back(std::uniform_int_distribution<int32_t>(1, p.m)(rng));
      ptr.push_back(static_cast<int32_t>(rows.size()) + 1);
    }
  };
  column_major(p.irn, p.ip, 5);
  column_major(p.airn, p.aip, 2);
  return p;
}

std::vector<std::string> LibraryProblems() {
  std::vector<std::string> names;
  for (const auto& entry : problems::Registry()) names.push_back(entry.name);
  return names;
}

class WorkspaceSize : public ::testing::TestWithParam<std::string> {};

// The lengths are the start's (whatever LIW the start is given beyond them),
// and a solve given them runs without a workspace return.
TEST_P(WorkspaceSize, LibraryProblemsGetTheStartsLengthsAndSolveWithoutRestart) {
  const auto entry = problems::FindProblem(GetParam());
  problems::ProblemOptions options;
  options.size = entry->default_size == 0 ? 0 : std::min(entry->default_size, 30);
  options.size = std::max(options.size, entry->min_size);
  const auto problem = problems::MakeProblem(GetParam(), options);
  const LsqProblem p = ns23_test::FromLibrary(*problem);
  for (double hmax : {0.0, 1e-3}) {
    SCOPED_TRACE(hmax);
    const Sizes s = SizeFor(p, hmax);
    ASSERT_EQ(At(s.info)(NS23_SIZE_INFO_STATUS), 0);
    for (int32_t liw : {s.liw, 2 * s.liw + 100}) {
      const Sizes asked = StartAsks(p, hmax, liw);
      EXPECT_EQ(asked.liw, s.liw);
      EXPECT_EQ(asked.lw, s.lw);
    }
    Options o;
    o.hmax = hmax;
    o.liw = s.liw;
    o.lw = s.lw;
    o.maxfun = 30;
    o.grow = false;
    const Outcome out = ns23_test::Solve(p, o);
    EXPECT_EQ(out.count(NS23_ERR_LIW) + out.count(NS23_ERR_WORKSPACE), 0);
    EXPECT_GT(out.evaluations, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Library,
                         WorkspaceSize,
                         ::testing::ValuesIn(LibraryProblems()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string s = info.param;
                           std::replace(s.begin(), s.end(), '-', '_');
                           return s;
                         });

TEST(WorkspaceSize, RandomPatternsWithRepeatsAndAConstantMatrix) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    const LsqProblem p = RandomPattern(seed);
    const double hmax = seed % 2 == 0 ? 0.0 : 1.0;
    const Sizes s = SizeFor(p, hmax);
    ASSERT_EQ(At(s.info)(NS23_SIZE_INFO_STATUS), 0);
    const Sizes asked = StartAsks(p, hmax, s.liw);
    EXPECT_EQ(asked.liw, s.liw);
    EXPECT_EQ(asked.lw, s.lw);
  }
}

// Patterns large enough for the sizing's rounds to share an array of whole
// huge pages (Bratu 100²), and one whose last round outgrows it (260²): the
// lengths are still those the start asks for.
TEST(WorkspaceSize, LargePatternsGetTheStartsLengths) {
  for (int32_t side : {100, 260}) {
    SCOPED_TRACE(side);
    problems::ProblemOptions options;
    options.size = side;
    const LsqProblem p = ns23_test::FromLibrary(*problems::MakeProblem("bratu-2d", options));
    const Sizes s = SizeFor(p, 0.0);
    ASSERT_EQ(At(s.info)(NS23_SIZE_INFO_STATUS), 0);
    const Sizes asked = StartAsks(p, 0.0, s.liw);
    EXPECT_EQ(asked.liw, s.liw);
    EXPECT_EQ(asked.lw, s.lw);
  }
}

// A faulty pattern gets the code and INFO(2) that NS23AD's start gives it.
TEST(WorkspaceSize, BadArgumentsGetTheStartsCodeAndPosition) {
  struct Case {
    const char* what;
    int32_t m, n;
    std::vector<int32_t> irn, ip, airn, aip;
    int32_t status, value;
  };
  const int32_t kMin = std::numeric_limits<int32_t>::min();
  const std::vector<Case> cases = {
      {"N = 0", 2, 0, {1}, {1}, {1}, {1}, NS23_ERR_SIZES, 0},
      {"M < N", 1, 2, {1}, {1, 2, 2}, {1}, {1, 1, 1}, NS23_ERR_SIZES, 0},
      {"IP(1) = 2", 2, 2, {1, 2}, {2, 3, 3}, {1}, {1, 1, 1}, NS23_ERR_IP, 1},
      {"IP decreasing", 2, 2, {1, 2}, {1, 3, 2}, {1}, {1, 1, 1}, NS23_ERR_IP, 3},
      {"IP(1) = INT_MIN", 2, 2, {1, 2}, {kMin, 2, 3}, {1}, {1, 1, 1}, NS23_ERR_IP, 1},
      {"IRN(2) = 0", 2, 2, {1, 0}, {1, 2, 3}, {1}, {1, 1, 1}, NS23_ERR_IRN, 2},
      {"IRN(1) = M + 1", 2, 2, {3, 1}, {1, 2, 3}, {1}, {1, 1, 1}, NS23_ERR_IRN, 1},
      {"AIP decreasing", 2, 2, {1, 2}, {1, 2, 3}, {1}, {1, 2, 1}, NS23_ERR_AIP, 3},
      {"AIP(1) = -1", 2, 2, {1, 2}, {1, 2, 3}, {1}, {-1, 1, 1}, NS23_ERR_AIP, 1},
      {"AIRN(1) = -1", 2, 2, {1, 2}, {1, 2, 3}, {-1}, {1, 2, 2}, NS23_ERR_AIRN, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int32_t liw = -1, lw = -1, info[NS23_LINFO] = {9, 9, 9, 9, 9};
    const double hmax = 0.0;
    NS23WorkspaceSize(&c.m, &c.n, c.irn.data(), c.ip.data(), c.airn.data(), c.aip.data(), &hmax,
                      &liw, &lw, info);
    EXPECT_EQ(At(info)(NS23_SIZE_INFO_STATUS), c.status);
    EXPECT_EQ(At(info)(NS23_SIZE_INFO_VALUE), c.value);
    EXPECT_EQ(liw, 0);
    EXPECT_EQ(lw, 0);
    LsqProblem p;
    p.m = c.m, p.n = c.n, p.irn = c.irn, p.ip = c.ip, p.airn = c.airn, p.aip = c.aip;
    Sizes start;
    EXPECT_EQ(Start(p, hmax, 2 * c.m + 1, start), c.status);
    EXPECT_EQ(At(start.info)(NS23_SIZE_INFO_VALUE), c.value);
  }
}

// After -2 or -3 the caller may replace IW and W by larger arrays whose
// contents are anything, and call again with IFLAG unchanged: X, F, FJAC and
// IP are as the caller left them (they still belong together), nothing was
// counted as an evaluation, and the problem restarts from them exactly as a
// first call with the right lengths would have started.
TEST(WorkspaceReturns, ArraysThatSurviveAndAnExactRestart) {
  const auto problem = problems::MakeProblem("broyden-banded", {40, 6.0});
  const LsqProblem p = ns23_test::FromLibrary(*problem);
  for (double hmax : {0.0, 1e-3}) {
    SCOPED_TRACE(hmax);
    const Sizes s = SizeFor(p, hmax);
    Options o;
    o.hmax = hmax;
    o.liw = s.liw;
    o.lw = s.lw;
    const Outcome reference = ns23_test::Solve(p, o);
    ASSERT_EQ(reference.iflag, 0);

    int32_t icntl[NS23_LICNTL], keep[NS23_LKEEP], lkeep[NS23_LLKEEP], info[NS23_LINFO] = {};
    double cntl[NS23_LCNTL] = {}, rkeep[NS23_LRKEEP], rinfo[NS23_LRINFO] = {};
    NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
    At(icntl)(NS23_ICNTL_STREAM) = 0;
    std::vector<double> x = p.x0, f(p.m), fjac(p.irn.size());
    std::vector<int32_t> ip = p.ip;
    p.residuals(x.data(), f.data());
    if (hmax == 0.0) p.jacobian(x.data(), fjac.data());
    const std::vector<double> x0 = x, f0 = f, fjac0 = fjac;
    const double sac = 0.0, stpmin = 0.0, aval = 0.0;
    const int32_t maxfun = o.maxfun, iprint = 0, airn = 1;
    int32_t liw = 1, lw = 1, iflag = NS23_START, workspace_returns = 0, evaluations = 0;
    std::vector<int32_t> iw(liw, -7);
    std::vector<double> w(lw, std::numeric_limits<double>::quiet_NaN());
    for (int call = 0; call < 10000; ++call) {
      NS23AD(&p.m, &p.n, &sac, &stpmin, &maxfun, &iprint, p.irn.data(), ip.data(), &aval, &airn,
             p.aip.data(), &hmax, &liw, iw.data(), &lw, w.data(), x.data(), f.data(), fjac.data(),
             &iflag, icntl, cntl, info, rinfo, keep, rkeep, lkeep);
      if (iflag == NS23_ERR_LIW || iflag == NS23_ERR_WORKSPACE) {
        ++workspace_returns;
        EXPECT_EQ(At(info)(NS23_INFO_EVALUATIONS), 0);
        EXPECT_EQ(std::memcmp(x.data(), x0.data(), x.size() * sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(f.data(), f0.data(), f.size() * sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(fjac.data(), fjac0.data(), fjac.size() * sizeof(double)), 0);
        EXPECT_EQ(ip, p.ip);
        // New arrays of the lengths asked for, filled with rubbish.
        liw = std::max(liw, At(info)(NS23_INFO_LIW_NEEDED));
        if (iflag == NS23_ERR_WORKSPACE) lw = std::max(lw, At(info)(NS23_INFO_LW_NEEDED));
        iw.assign(liw, -7);
        w.assign(lw, std::numeric_limits<double>::quiet_NaN());
        continue;
      }
      if (iflag <= 0) break;
      p.residuals(x.data(), f.data());
      if (hmax == 0.0 && (iflag == 2 || iflag == 5)) p.jacobian(x.data(), fjac.data());
      ++evaluations;
    }
    EXPECT_GE(workspace_returns, 2);
    EXPECT_EQ(liw, s.liw);
    EXPECT_EQ(lw, s.lw);
    EXPECT_EQ(iflag, reference.iflag);
    EXPECT_EQ(evaluations, reference.evaluations);
    EXPECT_EQ(At(info)(NS23_INFO_EVALUATIONS), reference.Info(NS23_INFO_EVALUATIONS));
    EXPECT_EQ(std::memcmp(x.data(), reference.x.data(), x.size() * sizeof(double)), 0);
  }
}

}  // namespace
