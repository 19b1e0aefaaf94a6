#include "dalvex/ordering.hpp"

#include <string>

#include "dalvex/error.hpp"

namespace dalvex {
namespace {

constexpr Ordering kOrderings[] = {Ordering::kAmd, Ordering::kMetis, Ordering::kNatural,
                                   Ordering::kGiven, Ordering::kAuto};

}  // namespace

const char* to_string(Ordering ordering) {
  switch (ordering) {
    case Ordering::kAmd: return "amd";
    case Ordering::kMetis: return "metis";
    case Ordering::kNatural: return "natural";
    case Ordering::kGiven: return "given";
    case Ordering::kAuto: return "auto";
  }
  return "unknown";
}

Ordering ParseOrdering(std::string_view name) {
  std::string accepted;
  for (Ordering ordering : kOrderings) {
    if (name == to_string(ordering)) return ordering;
    accepted += accepted.empty() ? "" : ", ";
    accepted += to_string(ordering);
  }
  throw Error(ErrorCode::kInvalidArgument,
              "unknown ordering '" + std::string(name) + "' (one of " + accepted + ")");
}

bool MetisAvailable() {
#ifdef DALVEX_HAVE_METIS
  return true;
#else
  return false;
#endif
}

}  // namespace dalvex
