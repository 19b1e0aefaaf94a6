// The BLAS calls whose results must not depend on the BLAS implementation:
// fixed seeded inputs through pemric/blas.h, all results in one vector. Used
// by the test (linked with the project's BLAS) and by a probe program linked
// with the reference BLAS.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "pemric/blas.h"

namespace blascases {

inline std::vector<double> Random(std::mt19937& gen, std::size_t n, double scale = 1.0) {
  std::uniform_real_distribution<double> u(-scale, scale);
  std::vector<double> v(n);
  for (double& x : v) x = u(gen);
  return v;
}

inline std::vector<double> Compute() {
  using namespace pemric::blas;
  std::mt19937 gen(20261208);
  std::vector<double> out;
  const int32_t m = 37, n = 29, k = 41;
  const std::vector<double> a = Random(gen, m * k), b = Random(gen, k * n), bt = Random(gen, n * k);
  std::vector<double> c = Random(gen, m * n);
  Dgemm('N', 'N', m, n, k, -1.0, a.data(), m, b.data(), k, 1.0, c.data(), m);
  out.insert(out.end(), c.begin(), c.end());
  Dgemm('N', 'T', m, n, k, 0.5, a.data(), m, bt.data(), n, 0.0, c.data(), m);
  out.insert(out.end(), c.begin(), c.end());
  const std::vector<double> x = Random(gen, k), xt = Random(gen, 2 * m);
  std::vector<double> y = Random(gen, m), yt = Random(gen, k);
  Dgemv('N', m, k, -1.0, a.data(), m, x.data(), 1, 1.0, y.data(), 1);
  Dgemv('T', m, k, 1.0, a.data(), m, xt.data(), 2, -2.0, yt.data(), 1);
  out.insert(out.end(), y.begin(), y.end());
  out.insert(out.end(), yt.begin(), yt.end());
  const int32_t p = 40;  // unit lower triangle, packed by columns, small off-diagonals
  const std::vector<double> l = Random(gen, p * (p + 1) / 2, 1.0 / p);
  std::vector<double> rhs = Random(gen, p), rhs2 = Random(gen, 2 * p);
  Dtpsv('L', 'N', 'U', p, l.data(), rhs.data(), 1);
  Dtpsv('L', 'T', 'U', p, l.data(), rhs2.data(), 2);
  out.insert(out.end(), rhs.begin(), rhs.end());
  out.insert(out.end(), rhs2.begin(), rhs2.end());
  const std::vector<double> d1 = Random(gen, 1000), d2 = Random(gen, 2000);
  out.push_back(Ddot(1000, d1.data(), 1, d2.data(), 2));
  out.push_back(Ddot(0, d1.data(), 1, d2.data(), 1));
  return out;
}

}  // namespace blascases
