// The bridge from the problem library to the reference host: any Problem
// described as the host's equation set object.  This is the one part of the
// problem library that knows the host; the problems themselves do not.
#ifndef PROBLEMS_HOST_PROBLEM_H
#define PROBLEMS_HOST_PROBLEM_H

#include <functional>
#include <memory>

#include "problems/problem.h"
#include "vorn_host/reference_eso.h"

namespace problems {

// Called after every residual evaluation the host answers, with the point and
// the residuals just computed (NVars and NEqs entries).
using ResidualObserver = std::function<void(const double* x, const double* f)>;

// The description from which vorn_host::ReferenceEso::Create makes an ESO:
// sizes, names, starting point, bounds, the Jacobian pattern in column order
// and evaluation functions that call `problem`, which they keep alive.
vorn_host::ProblemDescription DescribeForHost(std::shared_ptr<const Problem> problem,
                                              ResidualObserver observer = {});

}  // namespace problems

#endif  // PROBLEMS_HOST_PROBLEM_H
