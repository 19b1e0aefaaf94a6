// The Matrix Market reader on any bytes, read as a sparse symmetric matrix
// and as a dense one. Checks: every fault is a dalvex::Error (never another
// exception, a crash or a hang); a matrix that is read is consistent (its
// product with a vector is finite); a small one factorizes, with an inertia
// that adds up to its order, and solves A x = A 1 to a finite x.
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "dalvex/dalvex.hpp"
#include "dalvex_fuzz/fuzz_support.h"

namespace dalvex_fuzz {
namespace {

constexpr const char* kName = "matrix_market";

void Check(bool ok, const char* what) {
  if (!ok) Fail(kName, what);
}

void Sparse(const std::string& text) {
  std::istringstream in(text);
  try {
    const dalvex::SymmetricMatrix a = dalvex::ReadSymmetricMatrix(in);
    Check(a.order() >= 1 && a.has_values(), "a matrix without order or values was read");
    if (a.order() > 300 || a.stored_entries() > 3000) return;
    const std::vector<double> ones(static_cast<size_t>(a.order()), 1.0);
    std::vector<double> b(ones.size());
    a.Multiply(ones, b);
    bool finite = true;
    for (double v : b) finite = finite && std::isfinite(v);
    if (!finite) return;  // values near the largest double overflow in the product
    dalvex::LDLT ldlt;
    const dalvex::FactorStatus status = ldlt.Factorize(a);
    const dalvex::Inertia in = ldlt.inertia();
    Check(in.positive + in.negative + in.zero == a.order(), "the inertia does not add up");
    Check((status == dalvex::FactorStatus::kSingular) == (in.zero > 0),
          "a singular status without a zero eigenvalue, or the reverse");
  } catch (const dalvex::Error& e) {
    Check(e.code() != dalvex::ErrorCode::kRoutineStatus, "a routine failed on a matrix read");
  }
}

void Dense(const std::string& text) {
  std::istringstream in(text);
  try {
    const dalvex::DenseMatrix d = dalvex::ReadDenseMatrix(in);
    Check(static_cast<int64_t>(d.values.size()) == d.rows * d.columns,
          "a dense matrix of another size than its size line");
    for (double v : d.values) Check(std::isfinite(v), "a non-finite value was read");
  } catch (const dalvex::Error&) {
  }
}

}  // namespace

std::string FuzzMatrixMarket(const uint8_t* data, size_t size) {
  return CheckedRun([&] {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Sparse(text);
    Dense(text);
  });
}

}  // namespace dalvex_fuzz
