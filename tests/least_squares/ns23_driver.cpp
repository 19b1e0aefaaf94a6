#include "ns23_driver.h"

#include <algorithm>
#include <cstdlib>

#include "pemric/ns23.h"
#include "pemric/streams.h"
#include "problems/problem.h"

namespace ns23_test {

LsqProblem FromLibrary(const problems::Problem& problem) {
  LsqProblem p;
  p.m = problem.NEqs();
  p.n = problem.NVars();
  const auto& rows = problem.JacobianRows();
  const auto& cols = problem.JacobianCols();
  p.irn = rows;
  p.ip.assign(p.n + 1, 0);
  for (int32_t c : cols) p.ip[c] += 1;
  p.ip[0] = 1;
  for (int32_t j = 1; j <= p.n; ++j) p.ip[j] += p.ip[j - 1];
  p.aip.assign(p.n + 1, 1);
  p.residuals = [&problem](const double* x, double* f) { problem.Residuals(x, f); };
  p.jacobian = [&problem](const double* x, double* v) { problem.JacobianValues(x, v); };
  p.x0.resize(p.n);
  problem.StartingPoint(p.x0.data());
  return p;
}

double Outcome::ss() const {
  double s = 0.0;
  for (double v : f) s += v * v;
  return s;
}

int Outcome::count(int32_t flag) const {
  return static_cast<int>(std::count(flags.begin(), flags.end(), flag));
}

Outcome Solve(const LsqProblem& p, const Options& o) {
  int32_t icntl[NS23_LICNTL];
  double cntl[NS23_LCNTL] = {};
  int32_t keep[NS23_LKEEP] = {};
  double rkeep[NS23_LRKEEP] = {};
  int32_t lkeep[NS23_LLKEEP] = {};
  NS23SetDefaults(icntl, cntl, keep, rkeep, lkeep);
  pemric::At(icntl)(NS23_ICNTL_STREAM) = o.stream;
  if (o.adjust) o.adjust(icntl, cntl);
  Outcome out;
  out.x = p.x0;
  out.f.assign(p.m, 0.0);
  std::vector<int32_t> ip = p.ip;
  const int32_t nnz = std::abs(ip[p.n]) - 1;  // marks may have negated pointers
  std::vector<double> fjac(std::max(nnz, 1), 0.0);
  std::vector<double> aval = p.aval;
  aval.resize(std::max<size_t>(aval.size(), 1));
  std::vector<int32_t> airn = p.airn;
  airn.resize(std::max<size_t>(airn.size(), 1));
  int32_t liw = o.liw, lw = o.lw;
  std::vector<int32_t> iw(std::max(liw, 1));
  std::vector<double> w(std::max(lw, 1));
  p.residuals(out.x.data(), out.f.data());
  const bool analytic = !(o.hmax > 0.0);
  if (analytic) p.jacobian(out.x.data(), fjac.data());
  int32_t iflag = 1;
  for (int calls = 0; calls < 100000; ++calls) {
    NS23AD(&p.m, &p.n, &o.sac, &o.stpmin, &o.maxfun, &o.iprint, p.irn.data(), ip.data(),
           aval.data(), airn.data(), p.aip.data(), &o.hmax, &liw, iw.data(), &lw, w.data(),
           out.x.data(), out.f.data(), fjac.data(), &iflag, icntl, cntl, out.info, out.rinfo,
           keep, rkeep, lkeep);
    out.flags.push_back(iflag);
    if (iflag == -2 || iflag == -3) {
      if (!o.grow) break;
      liw = std::max(liw, out.Info(NS23_INFO_LIW_NEEDED));
      if (iflag == -3) lw = std::max(lw, out.Info(NS23_INFO_LW_NEEDED));
      iw.assign(std::max(liw, 1), 0);
      w.assign(std::max(lw, 1), 0.0);
      continue;
    }
    if (iflag <= 0) break;
    if (o.on_return) o.on_return(iflag, out.x.data(), fjac.data());
    p.residuals(out.x.data(), out.f.data());
    if (analytic && (iflag == 2 || iflag == 5)) p.jacobian(out.x.data(), fjac.data());
    out.evaluations += 1;
  }
  out.iflag = iflag;
  out.liw = liw;
  out.lw = lw;
  return out;
}

}  // namespace ns23_test
