// Entry and exit reports and error messages of the analysis phase.
#pragma once

#include <cstdint>

namespace pemric {

// Error record for status `code`; `bound` is the LKEEP bound for -15.
void MA57ReportError(const int32_t* icntl, int32_t code, int64_t value, int64_t bound);

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
