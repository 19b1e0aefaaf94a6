// NS23AD called as a careless caller would: a faulty pattern or controls at
// the start, sizes at the limits of 32 bits, a reverse-communication
// protocol broken between calls, and runs that can only end in non-finite
// values. Each case must end in its named code and INFO(2) (and, under the
// sanitizer build, touch nothing outside the arrays).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "ns23_driver.h"
#include "pemric/ns23.h"
#include "pemric/one_based.h"

namespace {

using pemric::At;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The arrays of one linear problem, F = (x1 - 1, x2 - 2, x3 - 3, x2 - 4)
// with A = diag(0.5) on the first three rows: r = F + A x is least at
// x = (2/3, 7/3.25, 2). Every argument of a call is a field that a case may
// change before the call.
struct Session {
  int32_t m = 4, n = 3, maxfun = 50, iprint = 0, liw = 400, lw = 400, iflag = 1;
  double sac = 0.0, stpmin = 0.0, hmax = 0.0;
  std::vector<int32_t> irn{1, 2, 4, 3}, ip{1, 2, 4, 5};
  std::vector<double> aval{0.5, 0.5, 0.5};
  std::vector<int32_t> airn{1, 2, 3}, aip{1, 2, 3, 4};
  std::vector<int32_t> iw = std::vector<int32_t>(400);
  std::vector<double> w = std::vector<double>(400), x{0.5, 0.5, 0.5}, f = std::vector<double>(4),
                      fjac = std::vector<double>(4);
  int32_t icntl[NS23_LICNTL], info[NS23_LINFO] = {}, keep[NS23_LKEEP] = {}, lkeep[NS23_LLKEEP] = {};
  double cntl[NS23_LCNTL], rinfo[NS23_LRINFO] = {}, rkeep[NS23_LRKEEP] = {};

  Session() {
    NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
    At(icntl)(NS23_ICNTL_STREAM) = 0;
    Evaluate();
  }
  void Evaluate() {
    for (int32_t i = 0; i < 4; ++i) f[i] = (i < 3 ? x[i] : x[1]) - (i + 1);
    std::fill(fjac.begin(), fjac.end(), 1.0);
  }
  int32_t Call() {
    NS23AD(&m, &n, &sac, &stpmin, &maxfun, &iprint, irn.data(), ip.data(), aval.data(), airn.data(),
           aip.data(), &hmax, &liw, iw.data(), &lw, w.data(), x.data(), f.data(), fjac.data(),
           &iflag, icntl, cntl, info, rinfo, keep, rkeep, lkeep);
    return iflag;
  }
  // Starts the problem and answers until the routine asks for a trial point.
  void StartAndAskForATrial() {
    ASSERT_EQ(Call(), NS23_EVALUATE_TRIAL);
    Evaluate();
  }
};

struct Case {
  const char* name;
  std::function<void(Session&)> run;  // leaves the last call's return in the session
  int32_t status, info2;
};

std::vector<Case> Cases() {
  auto start_with = [](std::function<void(Session&)> fault) {
    return [fault](Session& s) {
      fault(s);
      s.Call();
    };
  };
  auto resume_with = [](std::function<void(Session&)> fault) {
    return [fault](Session& s) {
      s.StartAndAskForATrial();
      fault(s);
      s.Call();
    };
  };
  return {
      // The start: sizes, then controls, then (once IW can hold the row marks)
      // the pattern, each refused before anything is read past it.
      {"N = 0", start_with([](Session& s) { s.n = 0; }), NS23_ERR_SIZES, 0},
      {"M = N - 1", start_with([](Session& s) { s.m = s.n - 1; }), NS23_ERR_SIZES, 0},
      {"N = INT32_MIN", start_with([](Session& s) { s.n = kMin; }), NS23_ERR_SIZES, 0},
      {"CNTL(1) NaN", start_with([](Session& s) { At(s.cntl)(NS23_CNTL_LINEARITY) = kNaN; }), NS23_ERR_CNTL, 1},
      {"every CNTL NaN", start_with([](Session& s) {
         for (double& c : s.cntl) c = kNaN;
       }),
       NS23_ERR_CNTL, 1},
      {"CNTL(3) = 1", start_with([](Session& s) { At(s.cntl)(NS23_CNTL_GOOD_RATIO) = 1.0; }), NS23_ERR_CNTL, 3},
      {"CNTL(5) infinite",
       start_with([](Session& s) { At(s.cntl)(NS23_CNTL_INITIAL_STEP) = std::numeric_limits<double>::infinity(); }),
       NS23_ERR_CNTL, 5},
      {"IP(1) = 0", start_with([](Session& s) { s.ip[0] = 0; }), NS23_ERR_IP, 1},
      {"IP(1) = 2", start_with([](Session& s) { s.ip[0] = 2; }), NS23_ERR_IP, 1},
      {"IP decreasing", start_with([](Session& s) { s.ip[2] = 1; }), NS23_ERR_IP, 3},
      {"IP(2) = INT32_MIN", start_with([](Session& s) { s.ip[1] = kMin; }), NS23_ERR_IP, 2},
      {"IRN(3) = 0", start_with([](Session& s) { s.irn[2] = 0; }), NS23_ERR_IRN, 3},
      {"IRN(4) = M + 1", start_with([](Session& s) { s.irn[3] = s.m + 1; }), NS23_ERR_IRN, 4},
      {"IRN(1) = INT32_MIN", start_with([](Session& s) { s.irn[0] = kMin; }), NS23_ERR_IRN, 1},
      {"AIP(1) = 0", start_with([](Session& s) { s.aip[0] = 0; }), NS23_ERR_AIP, 1},
      {"AIP decreasing", start_with([](Session& s) { s.aip[3] = 2; }), NS23_ERR_AIP, 4},
      {"AIRN(2) = INT32_MAX", start_with([](Session& s) { s.airn[1] = kMax; }), NS23_ERR_AIRN, 2},
      {"LIW below the row marks: the faulty pattern is not read", start_with([](Session& s) {
         s.liw = 2 * s.m;
         s.irn[0] = 0;
       }),
       NS23_ERR_LIW, 8},
      {"M = N = INT32_MAX: refused without reading an array",
       start_with([](Session& s) { s.m = s.n = kMax; }), NS23_ERR_LIW, 400},
      // Resumptions.
      {"a resumption before any start",
       [](Session& s) {
         s.iflag = 5;
         s.Call();
       },
       NS23_ERR_PROTOCOL, 0},
      {"an answer to another request", resume_with([](Session& s) { s.iflag = 3; }),
       NS23_ERR_PROTOCOL, 5},
      {"M changed", resume_with([](Session& s) { s.m += 1; }), NS23_ERR_CHANGED, 1},
      {"N changed", resume_with([](Session& s) { s.n -= 1; }), NS23_ERR_CHANGED, 2},
      {"IP(N+1) changed", resume_with([](Session& s) { s.ip[3] += 1; }), NS23_ERR_CHANGED, 8},
      {"AIP(N+1) changed", resume_with([](Session& s) { s.aip[3] -= 1; }), NS23_ERR_CHANGED, 11},
      {"HMAX made positive", resume_with([](Session& s) { s.hmax = 1e-6; }), NS23_ERR_CHANGED, 12},
      {"LIW changed", resume_with([](Session& s) { s.liw += 1; }), NS23_ERR_CHANGED, 13},
      {"LW changed", resume_with([](Session& s) { s.lw -= 1; }), NS23_ERR_CHANGED, 15},
      {"a resumption after the end",
       [](Session& s) {
         while (s.Call() > 0) s.Evaluate();
         ASSERT_EQ(s.iflag, NS23_FINISHED);
         s.iflag = NS23_EVALUATE_TRIAL;
         s.Call();
       },
       NS23_ERR_PROTOCOL, 0},
  };
}

TEST(Protocol, EveryMisuseEndsInItsCode) {
  for (const Case& k : Cases()) {
    SCOPED_TRACE(k.name);
    Session s;
    k.run(s);
    EXPECT_EQ(s.iflag, k.status);
    EXPECT_EQ(At(s.info)(NS23_INFO_STATUS), k.status);
    EXPECT_EQ(At(s.info)(NS23_INFO_VALUE), k.info2);
  }
}

TEST(Protocol, ARefusedResumptionChangesNothingAndTheRunGoesOn) {
  Session s;
  s.StartAndAskForATrial();
  const Session before = s;
  s.iflag = NS23_EVALUATE_CURRENT;
  ASSERT_EQ(s.Call(), NS23_ERR_PROTOCOL);
  EXPECT_EQ(s.x, before.x);
  EXPECT_EQ(s.w, before.w);
  EXPECT_EQ(s.iw, before.iw);
  EXPECT_TRUE(std::equal(s.keep, s.keep + 130, before.keep));
  EXPECT_TRUE(std::equal(s.rkeep, s.rkeep + 72, before.rkeep));
  s.iflag = NS23_EVALUATE_TRIAL;
  while (s.Call() > 0) s.Evaluate();
  EXPECT_EQ(s.iflag, NS23_FINISHED);
  EXPECT_NEAR(s.x[1], 7.0 / 3.25, 1e-6);
  EXPECT_NEAR(s.x[2], 2.0, 1e-6);
}

TEST(Protocol, MessagesOfTheNewRefusals) {
  ns23_test::StreamCapture out(36);
  Session s;
  At(s.icntl)(NS23_ICNTL_STREAM) = 36;
  s.irn[2] = 0;
  s.Call();
  s.irn[2] = 2;
  s.iflag = 1;
  s.StartAndAskForATrial();
  s.iflag = 3;
  s.Call();
  s.liw += 1;
  s.iflag = 5;
  s.Call();
  EXPECT_EQ(out.text(),
            "\n\n Error return from NS23 because IRN(K) is out of range, K =         3\n"
            "\n\n Error return from NS23 because IFLAG =      3 but the request outstanding is"
            "      5\n"
            "\n\n Error return from NS23 because LIW has changed since the start of the problem\n");
}

// Runs that can end only in non-finite values end in -7, never in success.
TEST(Protocol, NoSuccessWithoutAFiniteResult) {
  ns23_test::LsqProblem p;
  p.m = p.n = 1;
  p.irn = {1};
  p.ip = {1, 2};
  p.aip = {1, 1};
  p.x0 = {1.0};
  p.jacobian = [](const double*, double* v) { v[0] = 1.0; };
  for (double hmax : {0.0, 1e-3}) {
    SCOPED_TRACE(hmax);
    // Finite at the start only: every trial point is outside the domain.
    p.residuals = [](const double* x, double* f) { f[0] = x[0] == 1.0 ? -1.0 : kNaN; };
    ns23_test::Options o;
    o.hmax = hmax;
    EXPECT_EQ(ns23_test::Solve(p, o).iflag, NS23_ERR_NOT_FINITE);
  }
  // A Jacobian value near 1e200 overflows the normal matrix.
  p.x0 = {0.0};
  p.residuals = [](const double* x, double* f) { f[0] = 1e200 * x[0] - 1.0; };
  p.jacobian = [](const double*, double* v) { v[0] = 1e200; };
  ns23_test::StreamCapture out(37);
  ns23_test::Options o;
  o.stream = 37;
  o.liw = o.lw = 1000;
  const ns23_test::Outcome run = ns23_test::Solve(p, o);
  EXPECT_EQ(run.iflag, NS23_ERR_NOT_FINITE);
  EXPECT_EQ(run.Info(NS23_INFO_VALUE), 0);
  EXPECT_EQ(out.text(),
            "\n\n Error return from NS23 because\n"
            " the normal matrix is not finite at the current point\n");
}

}  // namespace
