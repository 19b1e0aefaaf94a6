// Working state of one call of the frontal factorization kernel, shared by
// its parts (node loop, pivoting, workspace management, finish). A suspended
// factorization keeps what it needs of this state in KEEP(N+3..N+42).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "pemric/ma57.h"
#include "pemric/one_based.h"

namespace pemric {
namespace ma57 {

// 64-bit size arithmetic that saturates instead of wrapping, so that space
// checks on huge fronts fail cleanly.
constexpr int64_t kSizeMax = std::numeric_limits<int64_t>::max() / 4;
// Fronts and blocks up to this order are cleared and copied whole or element
// by element: for them a library call per row costs more than the data.
constexpr int64_t kSmallFront = 16;
// Fronts up to this order whose fully summed part fits one block take the
// small fronts' forms of the node's steps (ma57_node_ops.h). Measured on
// chains of fronts of one order (banded normal matrices): up to about 16
// they take a fifth fewer instructions than the general forms; above, the
// general forms' row copies and half-front clearing win.
constexpr int32_t kSmallPathOrder = 16;

// The two forms of a node's steps. The small form eliminates the fully
// summed variables in one pass (s <= block size) and stacks the
// contribution block the direct way, with element loops and no library call
// per row; it does the same operations in the same order as the general
// form, so factors, pivots, statistics and records are the same bit for
// bit. It is not taken in mode 4.
enum class FrontPath : int32_t {
  kBySize,   // the small form up to kSmallPathOrder, the general one above
  kGeneral,  // always the general form
  kSmall,    // the small form wherever it applies, whatever the order
};

// How a factorization runs: which path its nodes take and on how many
// threads. Neither changes any result; tests vary them to show it.
struct FactorSettings {
  FrontPath path = FrontPath::kBySize;
  int threads = 0;  // 0: the process's count (ConfiguredThreads)
};
// The settings of a factorization started on the calling thread: those of
// the innermost ScopedFactorSettings alive on it, else the defaults.
FactorSettings CurrentFactorSettings();
// While it lives, factorizations started on the constructing thread take
// these settings (tests compare paths and thread counts with it; other
// threads' factorizations are not affected).
class ScopedFactorSettings {
 public:
  explicit ScopedFactorSettings(const FactorSettings& settings);
  ~ScopedFactorSettings();
  ScopedFactorSettings(const ScopedFactorSettings&) = delete;
  ScopedFactorSettings& operator=(const ScopedFactorSettings&) = delete;

 private:
  FactorSettings settings_;
  const ScopedFactorSettings* outer_;
  friend FactorSettings CurrentFactorSettings();
};

inline int64_t SatAdd(int64_t a, int64_t b) {
  const int64_t r = a + b;  // operands are kept below kSizeMax, so no overflow
  return r > kSizeMax ? kSizeMax : r;
}
inline int32_t SatInt32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}
inline int64_t Triangle(int64_t k) { return k * (k + 1) / 2; }

// Why a factorization was suspended, kept in its saved state: the node loop
// resumes at the real space test or at the integer space test.
enum Suspension : int32_t {
  kNotSuspended = 0,
  kForRealSpace = 1,     // before the node's assembly
  kForIntegerSpace = 2,  // after its elimination, its pivots chosen
};
// The slot of the saved state (KEEP(N+3), the first) that holds the reason.
constexpr int kSavedReason = 1;

// The five scalars of the modified factorization (mode 4), kept in FACT
// beside the factors so that a suspended factorization resumes with them.
enum ModificationScalar : int {
  kModLargestDiagonal = 1,    // largest |diagonal| of the input matrix
  kModRelativeFloor = 2,      // eps^(1/3): the least pivot relative to the largest diagonal
  kModNegativeAllowance = 3,  // 0.1: how negative a predicted diagonal may become
  kModLargestPredicted = 4,   // largest predicted diagonal of the last pivot's update
  kModSmallestPredicted = 5,  // smallest predicted diagonal of the last pivot's update
};

// The phases of the modified factorization (FrontalState::modphase).
enum ModificationPhase : int32_t {
  kUnmodified = 1,  // no pivot has needed a change yet
  kModifying = 2,   // every later pivot is raised as needed
};

// What a node did, as far as the space management needs it: the trace of a
// subtree factorized apart, from which the node loop replays the space tests
// and forecasts that the subtree would have made in place.
struct NodeTrace {
  int32_t f = 0;      // order of the front
  int32_t s = 0;      // fully summed variables
  int32_t p = 0;      // pivots chosen
  int64_t input = 0;  // entries of the input rows assembled
};

// The moving part of the kernel's state: what the node loop changes from
// node to node. The loop holds it in a local copy (NodeCursor c = st),
// which the compiler keeps in registers: the state itself lies behind
// pointers that every store through the int32_t arrays might change, and
// would be reloaded after each one. The copy goes back to the state (Store)
// only around the routines that work on the whole state.
struct NodeCursor {
  // Positions in FACT and IFACT, 1-based.
  int64_t nextfac = 1;     // next free factor position
  int64_t vnext = 1;       // nextfac as it would be had every factor been stored
  int64_t frontstart = 1;  // F(1,1) of the current front
  int64_t rtop = 0;        // last free position below the real stack
  int64_t rin0 = 0;        // first real of consumed input not yet reclaimed
  int64_t rin = 0;         // first real of the unassembled input
  int64_t recpos = 6;      // index list of the current front, after its record's two counts
  int64_t itop = 0;        // last free position below the integer stack
  int64_t iin0 = 0;        // first integer of consumed input not yet reclaimed
  int64_t iin = 0;         // first integer of the unassembled input

  // Progress.
  int32_t node = 1;          // current tree node
  int32_t ntaken = 0;        // variables taken from pivseq so far
  int32_t o = 0;             // own variables of the node (its pivots in pivseq)
  int32_t f = 0;             // order of the front
  int32_t s = 0;             // fully summed variables of the front (own and delayed)
  int32_t p = 0;             // pivots chosen at the current node
  int32_t nsteps = 0;        // pivot steps over all nodes
  int32_t nblocks = 0;       // block pivots stored
  int32_t n2x2 = 0;          // 2x2 pivots
  int32_t nneg = 0;          // negative eigenvalues of D
  int32_t maxfront = 0;      // order of the largest front
  int32_t refsign = 0;       // sign of the first pivot (modes 2 and 3)
  int32_t delayed = 0;       // INFO(23): fully summed variables passed to a parent
  int32_t sign_changes = 0;  // INFO(26): changes of the pivots' sign (mode 3)

  // Space held beyond the factors and front, and the four forecasts of the
  // least FACT and IFACT, each as if the stacks were compressed whenever
  // they could be ("compress") and as if they never were ("plain").
  int64_t real_held_compress = 0;      // reals of the stack and the unassembled input
  int64_t real_held_plain = 0;         // reals of the stack and all the input
  int64_t int_held_compress = 0;       // integers of the stack and the unassembled input
  int64_t int_held_plain = 0;          // integers of the stack and all the input
  int64_t real_stack = 0;              // reals of the contribution blocks on the stack
  int64_t int_stack = 0;               // integers of their index records
  int64_t real_forecast_compress = 0;  // least LFACT with compresses (INFO(17))
  int64_t real_forecast_plain = 0;     // least LFACT without (INFO(19))
  int64_t int_forecast_compress = 0;   // least LIFACT with compresses (INFO(18))
  int64_t int_forecast_plain = 0;      // least LIFACT without (INFO(20))

  // Operation counts.
  double ops_assembly = 0.0;  // RINFO(3)
  double ops_elim = 0.0;      // RINFO(4)
  double ops_blas = 0.0;      // RINFO(5)

  int64_t assembled = 0;  // input entries assembled at the current node
};

struct FrontalState : NodeCursor {
  // The arguments; arrays are 1-based views of the caller's.
  int32_t n = 0;                    // order of the matrix
  int32_t m = 0;                    // entries of the permuted matrix
  OneBased<double> fact;            // FACT: factors, front, stack and unassembled input
  int64_t la = 0;                   // usable length of FACT
  OneBased<int32_t> ifact;          // IFACT: block records, index list, stack and input
  int64_t lifact = 0;               // length of IFACT
  OneBased<const int32_t> rowlen;   // entries of each row of the permuted matrix (N)
  OneBased<const int32_t> pivseq;   // variables in pivot order (N)
  int32_t nnodes = 0;               // nodes of the assembly tree
  OneBased<const int32_t> nchild;   // children assembled at each node (NNODES)
  OneBased<const int32_t> varnode;  // node of each variable, read through |.| (N)
  OneBased<double> moddiag;         // mode 4: predicted diagonal, then the amount added (N)
  OneBased<double> modscal;         // mode 4: the ModificationScalar values (5)
  OneBased<int32_t> frontpos;       // > n: in no front; <= n: position in the (last) front (N)
  OneBased<int32_t> info;           // INFO(40)
  OneBased<double> rinfo;           // RINFO(20)
  OneBased<int32_t> saved;          // KEEP(N+3..N+42): state of a suspended factorization

  // Controls.
  double u = 0.0;        // relative pivot threshold, CNTL(1) in [0, 0.5]
  double tol = 0.0;      // |pivot| <= tol counts as zero, CNTL(2)
  int32_t lp = 6;        // error stream, ICNTL(1)
  int32_t wp = 6;        // warning stream, ICNTL(2)
  int32_t level = 0;     // print level, ICNTL(5)
  int32_t mode = 1;      // pivoting mode ICNTL(7), MA57_PIVOT_*
  int32_t nb = 16;       // block size of the Level 3 updates, ICNTL(11) (>= 1)
  bool suspend = false;  // ICNTL(8) != 0: suspend rather than fail for lack of space
  FrontPath path = FrontPath::kBySize;  // the ways nodes may take
  int threads = 1;                      // threads that large fronts may share

  int32_t last = 0;                // last node of this run: nnodes, or a subtree's root
  int32_t rcompress = 0;           // compresses of the real stack in this call
  int32_t icompress = 0;           // compresses of the integer stack in this call
  int32_t modphase = kUnmodified;  // mode 4: the ModificationPhase
  bool counting = false;           // real space ran out: only forecasts continue

  // A subtree factorized apart records what each node did here.
  std::vector<NodeTrace>* trace = nullptr;

  // The current front, row i stored contiguously from frontstart: F(i, j).
  double* Front() { return fact.from(frontstart); }
  double& F(int64_t i, int64_t j) { return fact.data()[frontstart - 1 + (i - 1) * f + (j - 1)]; }
  // Variable at front position i (negated for a member of a 2x2 pivot).
  int32_t& Index(int64_t i) { return ifact.data()[recpos - 1 + (i - 1)]; }
};

// The node loop's copy of the moving state back into the state.
inline void Store(FrontalState& st, const NodeCursor& c) { static_cast<NodeCursor&>(st) = c; }

// The real forecasts for the current front as it would be placed had every
// factor been stored, so that they stay valid for a rerun even in counting
// mode, where fronts are actually placed at position 1.
inline void UpdateRealForecasts(NodeCursor& st) {
  const int64_t f2 = static_cast<int64_t>(st.f) * st.f;
  const int64_t end = SatAdd(SatAdd(st.vnext, Triangle(st.s)), f2 - 1);
  st.real_forecast_compress =
      std::max(st.real_forecast_compress, SatAdd(end, st.real_held_compress));
  st.real_forecast_plain = std::max(st.real_forecast_plain, SatAdd(end, st.real_held_plain));
}

// Processes the nodes from st.node to `last` in place (from the given space
// test after a suspension); false when the factorization stopped (error,
// suspension), INFO set.
bool RunRange(FrontalState& st, int32_t last, Suspension resume);
// Processes every node of a fresh factorization, factorizing independent
// subtrees apart on the other threads where that pays, with the outcome of
// RunRange(st, st.nnodes, kNotSuspended) bit for bit; false as RunRange.
bool RunWithSubtrees(FrontalState& st);

// Parts of the kernel, defined in separate files.
// Pivot choice and elimination of the fully summed variables (p set on exit).
// Returns 0, or -5 / -6 with INFO set and the message printed.
int32_t EliminateFront(FrontalState& st);
// Reports a failure of the elimination (-5 with the pivot `bad`, or -6).
int32_t ReportEliminationFailure(FrontalState& st, int32_t status, double bad);
// Contribution block of the current front onto the real stack (rows p+1..f
// fully updated), with the multipliers of the non-fully-summed columns formed.
void StackContribution(FrontalState& st);
// Contribution blocks go through DGEMM from this many pivots and rows on,
// whatever the block size.
constexpr int64_t kLevel3MinPivots = 4;
constexpr int64_t kLevel3MinRows = 48;
// Whether the contribution block of a front with p pivots and m rows after
// the fully summed ones is formed the direct way (rank-1 and rank-2 updates
// of the stacked copy) rather than by DGEMM in the front.
inline bool DirectContributionWay(int64_t nb, int64_t p, int64_t m) {
  return !(nb < m && nb <= p) && !(p >= kLevel3MinPivots && m >= kLevel3MinRows);
}
// Space management.
// The integer forecasts for the current front (n the order, nnodes the nodes).
inline void UpdateIntegerForecasts(NodeCursor& c, int32_t n, int32_t nnodes) {
  const int64_t list_end = c.recpos + c.f - 1;
  if (c.node == nnodes) {
    c.int_forecast_compress = std::max(c.int_forecast_compress, list_end + c.int_held_compress);
    c.int_forecast_plain = std::max(c.int_forecast_plain, list_end + c.int_held_plain);
    return;
  }
  const int64_t reserve = static_cast<int64_t>(n - c.nsteps) + list_end + 2;
  c.int_forecast_compress = std::max(c.int_forecast_compress, c.int_held_compress + reserve);
  c.int_forecast_plain = std::max(c.int_forecast_plain, c.int_held_plain + reserve);
}
// Places the current front (after the factors and a gap for its pivot
// block, at 1 when only counting) and updates the real forecasts; true when
// it fits below the stack as things are.
inline bool PlaceFront(NodeCursor& c, bool counting) {
  c.frontstart = counting ? 1 : SatAdd(c.nextfac, Triangle(c.s));
  UpdateRealForecasts(c);
  return SatAdd(c.frontstart, static_cast<int64_t>(c.f) * c.f) - 1 <= c.rtop;
}
// Whether the index record of the current front's contribution block and
// the index lists of any later fronts fit below the integer stack.
inline bool IntegerSpaceFits(const NodeCursor& c, int32_t n) {
  const int64_t g = c.f - c.p;
  return (g > 0 ? g + 1 : 0) + static_cast<int64_t>(n - c.nsteps) + c.recpos + c.f + 1 <= c.itop;
}
// The real and the integer space test of the current front when the space
// does not fit as things are: a compress, then suspension, failure or (for
// reals) counting mode. False: suspended or failed, return.
bool MakeRealSpace(FrontalState& st);
bool MakeIntegerSpace(FrontalState& st);
void SaveState(FrontalState& st, Suspension reason);
void RestoreState(FrontalState& st);
void EndCounting(FrontalState& st);
int64_t ModificationReserve(const FrontalState& st);  // n + 5 in mode 4, else 0

}  // namespace ma57
}  // namespace pemric
