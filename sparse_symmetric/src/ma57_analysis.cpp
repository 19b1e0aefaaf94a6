// MA57AD: analysis of the pattern of a sparse symmetric matrix. Orders it
// by approximate minimum degree (or takes the caller's order), builds the
// assembly tree, the permuted structure with the map of the input entries,
// and forecasts the factorization's storage and work, all inside KEEP and
// the 5N integers of IWRK.
#include "ma57_analysis.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "ma57_analysis_report.h"
#include "ma57_gates.h"
#include "ma57_layout.h"
#include "pemric/error_report.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"
#include "pemric/record.h"

namespace pemric {
namespace {

// The caller's arrays carved into their named sections (1-based offsets in
// the comments; see ma57_layout.h for what each holds on return).
struct AnalysisArrays {
  int32_t n;
  int32_t ne;
  int64_t lkeep;
  int32_t* order;       // KEEP(1..N)
  int32_t* links;       // KEEP(N+43..2N+42): list starts, parent links, row counts
  int32_t* per_var;     // KEEP(2N+43..3N+42): marks, sequence, node of each variable
  int32_t* per_node;    // KEEP(3N+43..4N+42): list lengths, children per node
  int32_t* lists;       // KEEP(4N+43..LKEEP): lists, child heads, then the map
  int32_t* columns;     // KEEP(4N+43+max(N,NE)..): column indices of the permuted matrix
  int32_t* w1;          // IWRK(1..N)
  int32_t* w2;          // IWRK(N+1..2N)
  int32_t* w3;          // IWRK(2N+1..3N): front per node
  int32_t* w4;          // IWRK(3N+1..4N): pivots per node
  int32_t* w5;          // IWRK(4N+1..5N): front size per variable
};

AnalysisArrays Carve(int32_t n, int32_t ne, int32_t lkeep, int32_t* keep, int32_t* iwrk) {
  const int64_t nn = n;
  AnalysisArrays a{};
  a.n = n;
  a.ne = ne;
  a.lkeep = lkeep;
  a.order = keep;
  a.links = keep + (ma57::KeepRowCounts(nn) - 1);
  a.per_var = keep + (ma57::KeepNodeOfVariable(nn) - 1);
  a.per_node = keep + (ma57::KeepChildren(nn) - 1);
  a.lists = keep + (ma57::KeepMap(nn) - 1);
  a.columns = keep + (ma57::KeepColumns(nn, ne) - 1);
  a.w1 = iwrk;
  a.w2 = iwrk + nn;
  a.w3 = iwrk + 2 * nn;
  a.w4 = iwrk + 3 * nn;
  a.w5 = iwrk + 4 * nn;
  return a;
}

// An I10 field that widens instead of overflowing, for the LKEEP bound,
// which can pass ten digits.
int Width10(int64_t v) { return std::max<int>(10, static_cast<int>(std::to_string(v).size())); }

// Argument checks in their fixed order; returns false after an error. Once
// the sizes pass, KEEP is going to be rewritten (or its order was written by
// the caller), so whatever analysis it held is withdrawn first.
bool CheckArguments(int32_t n,
                    int32_t ne,
                    int32_t lkeep,
                    OneBased<int32_t> keep,
                    OneBased<int32_t> iwrk,
                    OneBased<const int32_t> icntl,
                    int32_t* info) {
  using ma57::ValueDetail;
  const ErrorReport report = ma57::PhaseErrors(ma57::Gates(icntl.data()), info,
                                               "**** Error return from MA57AD ****  INFO(1) =", 3);
  if (n < 1) return report.Fail(MA57_ERR_N, n, ValueDetail("N has value ", n));
  if (ne < 0) return report.Fail(MA57_ERR_NE, ne, ValueDetail("NE has value", ne));
  const int64_t bound = ma57::MinimumLkeep(n, ne);
  if (lkeep < bound) {
    return report.Fail(MA57_ERR_LKEEP, lkeep, [&](int32_t u) {
      Record(u).Text("LKEEP has value    ").I(lkeep, 10);
      Record(u).Text("Should be at least ").I(bound, Width10(bound));
    });
  }
  ma57::ClearAnalysisStamp(keep, n);
  if (icntl(MA57_ICNTL_SUPPLIED_ORDER) != 1) return true;
  // The supplied order must be a permutation: iwrk(k) marks position k taken.
  for (int32_t k = 1; k <= n; ++k) iwrk(k) = 0;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t k = keep(i);
    if (k < 1 || k > n || iwrk(k) != 0) {
      return report.Fail(MA57_ERR_PERMUTATION, i, [&](int32_t u) {
        Record(u).Text("Invalid permutation supplied in KEEP");
        Record(u).Text("Component").I(i, 10).Text(" is faulty");
      });
    }
    iwrk(k) = i;
  }
  return true;
}

void OrderByMinimumDegree(const AnalysisArrays& a,
                          const int32_t* irn,
                          const int32_t* jcn,
                          const int32_t* icntl,
                          int32_t* info) {
  int64_t freepos = MA57BuildGraph(a.n, a.ne, irn, jcn, a.links, a.per_node, a.lists, a.per_var,
                                   icntl, info);
  const int64_t ladj = a.lkeep - 4 * static_cast<int64_t>(a.n) - 42;
  int32_t ncomp = 0;
  MC47OrderCore(a.n, ladj, a.links, freepos, a.per_node, a.lists, a.w5, a.per_var, a.order, ncomp,
                a.w1, a.w2, a.w3, a.w4);
  At(info)(MA57_INFO_ANALYSIS_COMPRESSES) = ncomp;
}

void EliminateSuppliedOrder(const AnalysisArrays& a,
                            int32_t* irn,
                            int32_t* jcn,
                            const int32_t* icntl,
                            int32_t* info) {
  MA57BuildOrderedPattern(a.n, a.ne, irn, jcn, a.order, a.links, a.per_node, a.lists, a.w1, icntl,
                          info);
  int32_t ncomp = 0;
  MA57SymbolicEliminate(a.n, 2 * static_cast<int64_t>(a.ne), a.order, a.links, a.lists, a.per_var,
                        a.w5, a.w1, ncomp);
  At(info)(MA57_INFO_ANALYSIS_COMPRESSES) = ncomp;
}

void BuildTreeStructureForecast(const AnalysisArrays& a,
                                const int32_t* irn,
                                const int32_t* jcn,
                                int32_t* keep,
                                const int32_t* icntl,
                                int32_t* info,
                                double* rinfo) {
  const int64_t nn = a.n;
  const int32_t nodes =
      MA57BuildTree(a.n, a.links, a.w5, a.lists, a.w4, a.per_node, a.per_var, a.order, a.w1, a.w2,
                    a.w3, At(icntl)(MA57_ICNTL_AMALGAMATION), a.columns);
  At(keep)(ma57::KeepNodeCount(nn)) = nodes;
  const int32_t entries = MA57PermutedStructure(a.n, a.ne, irn, jcn, a.lists, a.columns, a.links,
                                                a.order, a.w2, a.w5);
  At(keep)(ma57::KeepEntryCount(nn)) = entries;
  // The map section is max(N, NE) long; clear what the map does not use.
  const int64_t map_length = std::max<int64_t>(a.n, a.ne);
  for (int64_t k = a.ne; k < map_length; ++k) a.lists[k] = 0;
  MA57Forecast(a.n, a.links, a.per_node, a.w4, a.w3, nodes, a.w1, a.w2, info, rinfo);
}

}  // namespace
}  // namespace pemric

extern "C" PEMRIC_API void MA57AD(const int32_t* N,
                                  const int32_t* NE,
                                  int32_t* IRN,
                                  int32_t* JCN,
                                  const int32_t* LKEEP,
                                  int32_t* KEEP,
                                  int32_t* IWRK,
                                  const int32_t* ICNTL,
                                  int32_t* INFO,
                                  double* RINFO) {
  using namespace pemric;
  std::fill(INFO, INFO + MA57_LINFO, 0);
  std::fill(RINFO, RINFO + MA57_LRINFO, 0.0);
  const int32_t n = *N, ne = *NE;
  const OneBased<const int32_t> icntl(ICNTL);
  if (!CheckArguments(n, ne, *LKEEP, OneBased<int32_t>(KEEP), OneBased<int32_t>(IWRK), icntl,
                      INFO)) {
    return;
  }
  MA57ReportEntry(n, ne, IRN, JCN, KEEP, ICNTL);
  const AnalysisArrays arrays = Carve(n, ne, *LKEEP, KEEP, IWRK);
  if (icntl(MA57_ICNTL_SUPPLIED_ORDER) == 1) {
    EliminateSuppliedOrder(arrays, IRN, JCN, ICNTL, INFO);
  } else {
    OrderByMinimumDegree(arrays, IRN, JCN, ICNTL, INFO);
  }
  At(KEEP)(ma57::KeepState(n)) = 0;  // no factorization suspended
  BuildTreeStructureForecast(arrays, IRN, JCN, KEEP, ICNTL, INFO, RINFO);
  ma57::StampAnalysis(OneBased<int32_t>(KEEP), n, ne);
  MA57ReportExit(n, ne, KEEP, ICNTL, INFO, RINFO);
}
