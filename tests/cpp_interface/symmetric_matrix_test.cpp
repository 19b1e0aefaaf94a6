// SymmetricMatrix from every input form, and every misuse of the C++
// interface's matrix and LDLT raising dalvex::Error with its code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "dalvex/dalvex.hpp"
#include "misuse_cases.h"

namespace {

using dalvex::ErrorCode;
using dalvex::SymmetricMatrix;
using dalvex::Triangle;

// The 4 x 4 matrix
//   [ 4  1  0  2 ]
//   [ 1 -3  0  0 ]
//   [ 0  0  5 -1 ]
//   [ 2  0 -1  0 ]
// in each form; the products with x = (1, 2, 3, 4) are (14, -5, 11, -1).
const std::vector<double> kProduct = {14, -5, 11, -1};

std::vector<double> Times(const SymmetricMatrix& a) {
  const std::vector<double> x = {1, 2, 3, 4};
  std::vector<double> y(4);
  a.Multiply(x, y);
  return y;
}

TEST(SymmetricMatrixForms, EveryFormGivesTheSameMatrix) {
  const std::vector<double> lower_values = {4, 1, 2, -3, 5, -1};
  struct Form {
    const char* name;
    std::function<SymmetricMatrix()> make;
  };
  const std::vector<Form> forms = {
      {"coordinates, lower, 32-bit",
       [&] {
         return SymmetricMatrix::FromCoordinates(4, std::vector<int32_t>{0, 1, 3, 1, 2, 3},
                                                 std::vector<int32_t>{0, 0, 0, 1, 2, 2},
                                                 lower_values, Triangle::kLower);
       }},
      {"coordinates, upper, 64-bit",
       [&] {
         return SymmetricMatrix::FromCoordinates(4, std::vector<int64_t>{0, 0, 0, 1, 2, 2},
                                                 std::vector<int64_t>{0, 1, 3, 1, 2, 3},
                                                 lower_values, Triangle::kUpper);
       }},
      {"compressed columns, lower",
       [&] {
         return SymmetricMatrix::FromCsc(4, std::vector<int32_t>{0, 3, 4, 6, 6},
                                         std::vector<int32_t>{0, 1, 3, 1, 2, 3}, lower_values,
                                         Triangle::kLower);
       }},
      {"compressed rows, upper, 64-bit",
       [&] {
         return SymmetricMatrix::FromCsr(4, std::vector<int64_t>{0, 3, 4, 6, 6},
                                         std::vector<int64_t>{0, 1, 3, 1, 2, 3}, lower_values,
                                         Triangle::kUpper);
       }},
      {"compressed rows, both, a repeat split across the triangles",
       [&] {
         return SymmetricMatrix::FromCsr(4, std::vector<int32_t>{0, 3, 5, 7, 10},
                                         std::vector<int32_t>{0, 1, 3, 0, 1, 2, 3, 0, 2, 0},
                                         std::vector<double>{4, 1, 2, 1, -3, 5, -1, 1.5, -1, 0.5},
                                         Triangle::kBoth);
       }},
  };
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    const SymmetricMatrix a = form.make();
    EXPECT_EQ(Times(a), kProduct);
    EXPECT_EQ(a.NormInf(), 7.0);
    dalvex::LDLT ldlt;
    ldlt.Factorize(a);
    EXPECT_EQ(ldlt.inertia().positive, 2);
    EXPECT_EQ(ldlt.inertia().negative, 2);
  }
}

// Every misuse raises dalvex::Error with its code and a message that names
// the fault.
TEST(Misuse, RaisesErrorWithItsCode) {
  const std::vector<int32_t> r = {0, 1}, c = {0, 0};
  const std::vector<double> v = {2, 1};
  auto lower = [&] { return SymmetricMatrix::FromCoordinates(2, r, c, v, Triangle::kLower); };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<dalvex_test::MisuseCase> cases = {
      {"order 0", [&] { SymmetricMatrix::FromCoordinates(0, r, c, v, Triangle::kLower); },
       ErrorCode::kInvalidArgument, "order n is 0"},
      {"order beyond 32 bits",
       [&] { SymmetricMatrix::FromCoordinates(int64_t{1} << 33, r, c, v, Triangle::kLower); },
       ErrorCode::kTooLarge, "32-bit"},
      {"index arrays of different lengths",
       [&] {
         SymmetricMatrix::FromCoordinates(2, r, std::vector<int32_t>{0}, v, Triangle::kLower);
       },
       ErrorCode::kInvalidArgument, "2 row indices but 1 column"},
      {"values of another length",
       [&] { SymmetricMatrix::FromCoordinates(2, r, c, std::vector<double>{1}, Triangle::kLower); },
       ErrorCode::kInvalidArgument, "1 values for 2 entries"},
      {"a row index out of range",
       [&] {
         SymmetricMatrix::FromCoordinates(2, std::vector<int64_t>{0, 2}, std::vector<int64_t>{0, 0},
                                          v, Triangle::kLower);
       },
       ErrorCode::kIndexOutOfRange, "entry 1 at (row 2, column 0) lies outside 0..1"},
      {"an entry above the diagonal of a lower triangle",
       [&] { SymmetricMatrix::FromCoordinates(2, c, r, v, Triangle::kLower); },
       ErrorCode::kInvalidArgument, "entry 1 at (row 0, column 1) is outside the lower"},
      {"a NaN value",
       [&] {
         SymmetricMatrix::FromCoordinates(2, r, c, std::vector<double>{2, nan}, Triangle::kLower);
       },
       ErrorCode::kNotFinite, "entry 1"},
      {"triangles that differ",
       [&] {
         SymmetricMatrix::FromCoordinates(3, std::vector<int32_t>{1, 0, 2, 1},
                                          std::vector<int32_t>{0, 1, 1, 2},
                                          std::vector<double>{1, 1, 5, 4}, Triangle::kBoth);
       },
       ErrorCode::kNotSymmetric, "(row 2, column 1) is 5 but (row 1, column 2) is 4"},
      {"an entry without its mirror",
       [&] {
         SymmetricMatrix::FromCoordinates(2, std::vector<int32_t>{1}, std::vector<int32_t>{0},
                                          std::vector<double>{3}, Triangle::kBoth);
       },
       ErrorCode::kNotSymmetric, "(row 0, column 1) is absent"},
      {"column starts that decrease",
       [&] {
         SymmetricMatrix::FromCsc(2, std::vector<int32_t>{0, 2, 1}, r, v, Triangle::kLower);
       },
       ErrorCode::kInvalidArgument, "column_starts decreases at 2"},
      {"new values of another length", [&] { lower().WithValues(std::vector<double>{1}); },
       ErrorCode::kInvalidArgument, "1 values for 2 entries"},
      {"a pivot threshold above 0.5",
       [&] {
         dalvex::LDLTOptions o;
         o.pivot_threshold = 0.7;
         dalvex::LDLT ldlt(o);
       },
       ErrorCode::kInvalidArgument, "LDLTOptions::pivot_threshold is 0.7"},
      {"a NaN zero-pivot tolerance",
       [&] {
         dalvex::LDLTOptions o;
         o.zero_pivot_tolerance = nan;
         dalvex::LDLT ldlt(o);
       },
       ErrorCode::kInvalidArgument, "LDLTOptions::zero_pivot_tolerance"},
      {"an elimination order that repeats a variable",
       [&] {
         dalvex::LDLTOptions o;
         o.ordering = dalvex::Ordering::kGiven;
         o.elimination_order = {1, 1};
         dalvex::LDLT(o).Analyse(lower());
       },
       ErrorCode::kInvalidArgument, "elimination_order[1] = 1 repeats"},
      {"an elimination order without Ordering::kGiven",
       [&] {
         dalvex::LDLTOptions o;
         o.elimination_order = {1, 0};
         dalvex::LDLT ldlt(o);
       },
       ErrorCode::kInvalidArgument, "elimination_order"},
      {"an unknown ordering's name", [] { dalvex::ParseOrdering("rcm"); },
       ErrorCode::kInvalidArgument, "'rcm' (one of amd, metis, natural, given, auto)"},
      {"a pattern without values factorized",
       [&] {
         dalvex::LDLT().Factorize(SymmetricMatrix::FromCoordinates(2, r, c, {}, Triangle::kLower));
       },
       ErrorCode::kInvalidArgument, "without values"},
      {"another pattern than the analysed one",
       [&] {
         dalvex::LDLT ldlt;
         ldlt.Analyse(lower());
         ldlt.Factorize(SymmetricMatrix::FromCoordinates(
             2, std::vector<int32_t>{0, 1}, std::vector<int32_t>{0, 1}, v, Triangle::kLower));
       },
       ErrorCode::kPatternMismatch, "call Analyse"},
      {"a solve before a factorization",
       [&] {
         dalvex::LDLT ldlt;
         ldlt.Analyse(lower());
         ldlt.Solve(std::vector<double>{1, 1});
       },
       ErrorCode::kWrongState, "call Factorize"},
      {"the inertia before a factorization", [&] { dalvex::LDLT().inertia(); },
       ErrorCode::kWrongState, "call Factorize"},
      {"a right-hand side of another length",
       [&] {
         dalvex::LDLT ldlt;
         ldlt.Factorize(lower());
         ldlt.Solve(std::vector<double>{1, 1, 1});
       },
       ErrorCode::kInvalidArgument, "of 3 values does not hold 2"},
      {"a right-hand side with an infinity",
       [&] {
         dalvex::LDLT ldlt;
         ldlt.Factorize(lower());
         ldlt.Solve(std::vector<double>{1, std::numeric_limits<double>::infinity()});
       },
       ErrorCode::kNotFinite, "non-finite value at 1"},
      {"a negative number of refinement steps",
       [&] {
         dalvex::LDLT ldlt;
         ldlt.Factorize(lower());
         dalvex::SolveOptions o;
         o.refinement_steps = -1;
         ldlt.Solve(std::vector<double>{1, 1}, o);
       },
       ErrorCode::kInvalidArgument, "refinement_steps is -1"},
  };
  dalvex_test::ExpectErrors(cases);
}

}  // namespace
