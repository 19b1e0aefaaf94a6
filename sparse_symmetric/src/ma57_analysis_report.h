// Entry and exit reports of the analysis phase.
#pragma once

#include <cstdint>

namespace pemric {

void MA57ReportEntry(int32_t n,
                     int32_t ne,
                     const int32_t* irn,
                     const int32_t* jcn,
                     const int32_t* keep,
                     const int32_t* icntl);

void MA57ReportExit(int32_t n,
                    int32_t ne,
                    const int32_t* keep,
                    const int32_t* icntl,
                    const int32_t* info,
                    const double* rinfo);

}  // namespace pemric
