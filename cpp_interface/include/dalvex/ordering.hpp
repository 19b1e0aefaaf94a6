// Fill-reducing orderings for the LDL^T factorization.
//
// Approximate minimum degree (the analysis's own) suits most matrices and
// is the default; nested dissection (METIS) cuts the fill and the work of
// large 2D and 3D grid-like problems further, while on banded matrices it
// can double the fill; `auto` runs the analysis with both and keeps the one
// that forecasts fewer operations. docs/cpp-api.md gives the measurements.
#pragma once

#include <string_view>

namespace dalvex {

enum class Ordering {
  kAmd,      // approximate minimum degree, computed by the analysis
  kMetis,    // METIS nested dissection, given to the analysis as its pivot order
  kNatural,  // the variables in their own order, 0, 1, ..., n-1
  kGiven,    // the caller's elimination order (LDLTOptions::elimination_order)
  kAuto,     // kAmd or kMetis, whichever forecasts fewer operations
};

// "amd", "metis", "natural", "given", "auto".
const char* to_string(Ordering ordering);
// The inverse of to_string; throws Error (kInvalidArgument) naming the
// accepted names.
Ordering ParseOrdering(std::string_view name);
// Whether this build has METIS (kMetis throws Error kUnavailable, and kAuto
// uses kAmd, when it has not).
bool MetisAvailable();

}  // namespace dalvex
