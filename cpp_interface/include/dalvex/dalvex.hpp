// The C++ interface of the Dalvex numeric library: a sparse symmetric
// indefinite LDL^T factorization with its inertia, and sparse nonlinear
// least squares, owning their memory and reporting misuse as dalvex::Error.
// docs/cpp-api.md describes every class and option.
#pragma once

#include "dalvex/error.hpp"
#include "dalvex/ldlt.hpp"
#include "dalvex/least_squares.hpp"
#include "dalvex/log.hpp"
#include "dalvex/matrix_market.hpp"
#include "dalvex/ordering.hpp"
#include "dalvex/span.hpp"
#include "dalvex/symmetric_matrix.hpp"
