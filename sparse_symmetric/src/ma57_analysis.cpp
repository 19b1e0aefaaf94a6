// MA57AD: analysis of the pattern of a sparse symmetric matrix. Orders it
// by approximate minimum degree (or takes the caller's order), builds the
// assembly tree, the permuted structure with the map of the input entries,
// and forecasts the factorization's storage and work, all inside KEEP and
// the 5N integers of IWRK.
#include "ma57_analysis.h"

#include <algorithm>
#include <cstdint>

#include "ma57_analysis_report.h"
#include "ma57_checks.h"
#include "ma57_gates.h"
#include "ma57_layout.h"
#include "pemric/error_report.h"
#include "pemric/ma57.h"
#include "pemric/one_based.h"

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
  using ma57::Phase;
  const ErrorReport report =
      ma57::ArgumentErrors(Phase::kAnalysis, ma57::Gates(icntl.data()), info);
  if (!ma57::CheckOrder(report, Phase::kAnalysis, n) || !ma57::CheckEntryCount(report, ne) ||
      !ma57::CheckKeepLength(report, n, ne, lkeep)) {
    return false;
  }
  ma57::ClearAnalysisStamp(keep, n);
  if (icntl(MA57_ICNTL_SUPPLIED_ORDER) != 1) return true;
  // The supplied order must be a permutation: iwrk(k) marks position k taken.
  for (int32_t k = 1; k <= n; ++k) iwrk(k) = 0;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t k = keep(i);
    if (k < 1 || k > n || iwrk(k) != 0) {
      return report.Fail(MA57_ERR_PERMUTATION, i,
                         ma57::FaultyComponent("Invalid permutation supplied in KEEP", i));
    }
    iwrk(k) = i;
  }
  return true;
}

void OrderByMinimumDegree(const AnalysisArrays& a,
                          const EntryPattern& pattern,
                          const int32_t* icntl,
                          int32_t* info) {
  int64_t freepos = MA57BuildGraph(pattern, a.links, a.per_node, a.lists, a.per_var, icntl, info);
  MC47Arrays o;
  o.n = a.n;
  o.ladj = a.lkeep - 4 * static_cast<int64_t>(a.n) - 42;
  o.lstart = a.links;
  o.llen = a.per_node;
  o.adj = a.lists;
  o.svsize = a.w5;
  o.elcount = a.per_var;
  o.prev = a.order;
  o.deg = a.w1;
  o.bucket = a.w2;
  o.nextv = a.w3;
  o.wflags = a.w4;
  int32_t ncomp = 0;
  MC47OrderCore(o, freepos, ncomp);
  At(info)(MA57_INFO_ANALYSIS_COMPRESSES) = ncomp;
}

void EliminateSuppliedOrder(const AnalysisArrays& a,
                            const EntryPattern& pattern,
                            const int32_t* icntl,
                            int32_t* info) {
  MA57BuildOrderedPattern(pattern, a.order, a.links, a.per_node, a.lists, a.w1, icntl, info);
  At(info)(MA57_INFO_ANALYSIS_COMPRESSES) = MA57SymbolicEliminate(
      a.n, 2 * static_cast<int64_t>(a.ne), a.order, a.links, a.lists, a.per_var, a.w5, a.w1);
}

void BuildTreeStructureForecast(const AnalysisArrays& a,
                                const EntryPattern& pattern,
                                OneBased<int32_t> keep,
                                const int32_t* icntl,
                                int32_t* info,
                                double* rinfo) {
  const int64_t nn = a.n;
  TreeArrays t;
  t.n = a.n;
  t.link = a.links;
  t.size = a.w5;
  t.childhead = a.lists;
  t.pivots = a.w4;
  t.children = a.per_node;
  t.node = a.per_var;
  t.pos = a.order;
  t.scratch1 = a.w1;
  t.scratch2 = a.w2;
  t.front = a.w3;
  t.amalgamation = At(icntl)(MA57_ICNTL_AMALGAMATION);
  t.attached = a.columns;
  const int32_t nodes = MA57BuildTree(t);
  keep(ma57::KeepNodeCount(nn)) = nodes;
  const int32_t entries =
      MA57PermutedStructure(pattern, a.lists, a.columns, a.links, a.order, a.w2, a.w5);
  keep(ma57::KeepEntryCount(nn)) = entries;
  // The map section is max(N, NE) long; clear what the map does not use.
  const int64_t map_length = std::max<int64_t>(a.n, a.ne);
  for (int64_t k = a.ne; k < map_length; ++k) a.lists[k] = 0;
  ForecastArrays f;
  f.n = a.n;
  f.nodes = nodes;
  f.rowcount = a.links;
  f.children = a.per_node;
  f.pivots = a.w4;
  f.front = a.w3;
  f.stack1 = a.w1;
  f.stack2 = a.w2;
  MA57Forecast(f, info, rinfo);
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
  EntryPattern pattern;
  pattern.n = n;
  pattern.ne = ne;
  pattern.irn = IRN;
  pattern.jcn = JCN;
  if (icntl(MA57_ICNTL_SUPPLIED_ORDER) == 1) {
    EliminateSuppliedOrder(arrays, pattern, ICNTL, INFO);
  } else {
    OrderByMinimumDegree(arrays, pattern, ICNTL, INFO);
  }
  At(KEEP)(ma57::KeepState(n)) = 0;  // no factorization suspended
  BuildTreeStructureForecast(arrays, pattern, OneBased<int32_t>(KEEP), ICNTL, INFO, RINFO);
  ma57::StampAnalysis(OneBased<int32_t>(KEEP), n, ne);
  MA57ReportExit(n, ne, KEEP, ICNTL, INFO, RINFO);
}
