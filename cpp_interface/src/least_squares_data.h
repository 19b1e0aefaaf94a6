// What a LeastSquaresProblem holds: the caller's pattern and functions, and
// the pattern as NS23AD takes it.
#pragma once

#include <cstdint>

#include "dalvex/least_squares.hpp"
#include "uninitialized_buffer.h"

namespace dalvex {

struct LeastSquaresProblem::Data {
  int32_t m = 0, n = 0;
  bool differences = false;
  ResidualFunction residuals;
  // One of the two, both empty with differences.
  JacobianFunction jacobian;
  JacobianViewFunction jacobian_view;
  // The arrays below in one block, whose pages are faulted together (as one
  // huge page where it is large enough), not array by array.
  internal::UninitializedBuffer<int32_t> block;
  Span<int32_t> rows, columns;  // the caller's pattern, from 0
  // Column-compressed, rows increasing in each column, from 1: irn (at least
  // one cell) and ip (n + 1).
  Span<int32_t> irn, ip;
  // Routine entry q is the caller's entry order[q]; empty when they agree.
  Span<int32_t> order;
};

}  // namespace dalvex
