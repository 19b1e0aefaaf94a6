// The multifrontal node loop of one run (used by ma57_frontal.cpp): the
// nodes' steps of ma57_node_ops.h in their small or general forms. The loop
// itself is compiled at -O2 with the small forms, which run on fronts of a
// few variables, where vectorized loops cost more than they save; the
// general forms are compiled apart at -O3 (GeneralNode), where the long rows
// of large fronts gain by it.
#pragma once

#include <cstdint>

#include "ma57_front_ops.h"
#include "ma57_frontal_state.h"
#include "ma57_node_ops.h"

namespace pemric {
namespace ma57 {

// The node loop of one run, its moving state in locals (a NodeCursor and
// the elimination's counters, which stay in `w` from node to node), the
// state itself stored only around the routines that work on the whole of it.
class NodeLoop {
 public:
  explicit NodeLoop(FrontalState& st) : st_(st), a_(st), c_(st), w_(CountersOf(st)), counting_(st.counting) {
    // Fronts up to kSmallPathOrder (any order with FrontPath::kSmall) whose
    // fully summed variables are eliminated in one pass and whose
    // contribution block goes the direct way take the small fronts' forms
    // of the steps. The modified factorization (mode 4) decides its pivots
    // on the whole state and always takes the general elimination.
    small_ok_ = st.path != FrontPath::kGeneral && st.mode != MA57_PIVOT_MODIFIED;
    small_order_ = st.path == FrontPath::kSmall ? st.n : kSmallPathOrder;
  }

  // Gathers the nodes from the current one to `last` and processes them;
  // false when the factorization stopped (INFO set). A node that takes the
  // general forms is handed to GeneralNode (out of line), which keeps the code of
  // this loop, the hot one on sparse problems, small.
  PEMRIC_NODE_STEP bool Run(int32_t last) {
    for (; c_.node <= last; ++c_.node) {
      GatherFront(c_, a_);
      const int32_t s = c_.s, f = c_.f, nb = st_.nb;
      if (small_ok_ && s <= nb && f <= small_order_ && DirectContributionWay(nb, s, f - s)) {
        if (!Node<true>(kNotSuspended)) return false;
      } else if (!WithState([this] { return GeneralNode(st_, kNotSuspended); })) {
        return false;
      }
    }
    Store();
    return true;
  }

  // A gathered node in the general forms, from the given space test after a
  // suspension; false when the factorization stopped. Out of line, in its
  // own file (ma57_node_general.cpp), compiled for large fronts.
  static bool GeneralNode(FrontalState& st, Suspension resume);

 private:
  // One gathered node: space tests, assembly, elimination, contribution
  // block, index record and factors, each in its small or general form;
  // after a suspension from the space test that suspended it.
  template <bool kSmall>
  PEMRIC_NODE_STEP bool Node(Suspension resume) {
    if (resume != kForIntegerSpace) {
      if (!PlaceFront(c_, counting_) && !WithState([this] { return MakeRealSpace(st_); })) {
        return false;
      }
      AssembleFront<kSmall>(c_, a_);
      if (kSmall) {
        if (!EliminateSmall()) return false;
        if (c_.node != a_.nnodes) c_.delayed += c_.s - c_.p;
        if (c_.f > c_.p) {
          StackSmallContribution(c_, a_, w_.ops);
          CountStackedBlock(c_, c_.f - c_.p);
        }
      } else {
        const bool ok = WithState([this] {
          if (EliminateFront(st_) < 0) return false;
          if (st_.node != st_.nnodes) st_.delayed += st_.s - st_.p;
          StackContribution(st_);
          return true;
        });
        if (!ok) return false;
      }
      UpdateIntegerForecasts(c_, a_.n, a_.nnodes);
    }
    if (c_.node != a_.nnodes) {
      if (!IntegerSpaceFits(c_, a_.n) && !WithState([this] { return MakeIntegerSpace(st_); })) {
        return false;
      }
      PushIndexRecord(c_, a_);
    }
    StoreBlock<kSmall>(c_, a_, counting_);
    if (st_.trace != nullptr) st_.trace->push_back({c_.f, c_.s, c_.p, c_.assembled});
    return true;
  }

  // The elimination of a small front: its fully summed variables in one
  // pass (s <= block size), the last, with every row in its block and no
  // blocked update: the operations of the general elimination in the same
  // order. False when a pivot failed (reported).
  PEMRIC_NODE_STEP bool EliminateSmall() {
    w_.a = a_.fact + (c_.frontstart - 1);
    w_.index = a_.ifact + (c_.recpos - 1);
    w_.f = c_.f;
    w_.s = c_.s;
    w_.p = 0;
    int32_t kb = 0;
    if (c_.s > 0) {
      Pass ps;
      ps.b = c_.s;
      ps.e = c_.s;
      ps.last = true;
      // Mode 4 never takes this way, so no pivot is modified here.
      const auto unmodified = [](FrontWork&, bool) { return 0; };
      kb = w_.mode == MA57_PIVOT_THRESHOLD ? PassThreshold<true>(w_, ps)
                                           : PassInOrder<true>(w_, ps, unmodified);
    }
    c_.p = static_cast<int32_t>(w_.p);
    c_.nsteps = w_.nsteps;  // for the integer forecasts and space test
    if (kb >= 0) return true;
    Store();
    ReportEliminationFailure(st_, kb, w_.bad);
    return false;
  }

  void Store() {
    TakeCounters(c_, w_);
    ma57::Store(st_, c_);
  }

  // Hands the node to a routine of the whole state and takes back what it did.
  template <typename Step>
  bool WithState(Step step) {
    Store();
    const bool ok = step();
    c_ = st_;
    w_ = CountersOf(st_);
    counting_ = st_.counting;
    return ok;
  }

  FrontalState& st_;
  const NodeArrays a_;
  NodeCursor c_;
  FrontWork w_;
  bool counting_;
  bool small_ok_ = false;
  int32_t small_order_ = 0;
};

}  // namespace ma57
}  // namespace pemric
