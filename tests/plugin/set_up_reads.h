// The parameter reads of set-up, in order, each with its fallback as the
// retrieval messages print it (%d or %e): one list for both message paths,
// the verbose one and the one of a read that fails.
#pragma once

#include <utility>

namespace dalvex_test {

inline constexpr std::pair<const char*, const char*> kSetUpReads[] = {
    {"SeriouslyVerbose", "0"},       {"MaxIters", "100"},
    {"PrintInterval", "1"},          {"PrintLevel", "0"},
    {"Acc", "1.000000e-04"},         {"Sac", "1.000000e-04"},
    {"Tol", "1.000000e-04"},         {"Hmax", "0.000000e+00"},
    {"Hmin", "0.000000e+00"},        {"Eps", "0.000000e+00"},
    {"Epsf", "0.000000e+00"},        {"DiffScheme", "2"},
    {"Iprint", "0"},                 {"RangeFrac", "1.000000e+00"},
    {"MaxVarStep", "5.000000e+01"},  {"MinNonZero", "1.000000e-05"},
    {"BoundsFrac", "1.000000e+00"},  {"ClipThresh", "1.000000e-06"},
};

}  // namespace dalvex_test
