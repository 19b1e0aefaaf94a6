// Independent subtrees of the assembly tree factorized at the same time.
//
// The node loop works in place in FACT and IFACT, one node after another, and
// a subtree's nodes need nothing from outside the subtree until its root's
// contribution block goes to the parent. So the other threads factorize
// subtrees ahead of the loop, each in a private workspace holding a copy of
// the subtree's input rows, with the same operations in the same order as in
// place (the arithmetic of a front does not depend on where it lies). When
// the loop reaches such a subtree it takes the result in:
//   - it replays, node by node, the space tests and forecasts that the
//     subtree would have made in place (from each node's front order, fully
//     summed variables, pivots and input, kept by the private run), with the
//     compresses that they call for;
//   - it copies the factors, the block records and the root's contribution
//     block into place and moves its counters on.
// Factors, INFO, RINFO and records are thus bitwise those of the run in
// place. The plan depends on the matrix alone; how the subtrees of a batch fall
// to the threads changes with the thread count and the timing, the result never.
// Where a result cannot be taken in exactly (a space test that fails even
// after a compress, counting mode, a failed or delayed-beyond-its-space
// private run, a sign that the loop would reject), the loop factorizes the
// subtree in place instead.
//
// Only fresh factorizations in modes 1 to 3 use it: the modified factorization
// of mode 4 decides each pivot on the history of all earlier ones.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "ma57_frontal.h"
#include "ma57_frontal_state.h"
#include "ma57_threads.h"
#include "pemric/paged_array.h"

namespace pemric {
namespace ma57 {
namespace {

// Subtrees of fewer variables are left to the loop: waking a helper and
// copying the input cost more than they gain.
constexpr int64_t kLeastSubtree = 256;
// The largest subtree taken apart holds at most n / kSubtreeShare variables
// (and always may hold kLeastPlannedBudget): small enough that the subtrees
// of a batch balance among the threads, large enough that the top of the
// tree, where the fronts share their tiles instead, stays small. The plan
// depends on the matrix alone, never on the thread count.
constexpr int64_t kSubtreeShare = 16;
constexpr int64_t kLeastPlannedBudget = 2000;
// Subtrees per batch, per thread, at most.
constexpr int kBatchPerThread = 2;
// Operation counts are whole numbers, summed exactly while below 2^52.
constexpr double kExactSum = 4503599627370496.0;

struct Subtree {
  int32_t first = 0, root = 0;  // its nodes, consecutive in the node order
  int32_t k0 = 0, k1 = 0;       // its variables: pivot positions k0 + 1 .. k1
  int64_t in0 = 0, in1 = 0;     // its input entries, offsets from the first input row
};

// A private workspace: FACT, IFACT and the front positions of a subtree
// factorized apart. Its arrays are left uninitialized (the run sets what it
// reads, as it does in the caller's arrays) and are used again for later
// subtrees of the same factorization: clearing them, or taking fresh pages
// from the system for every subtree, cost the helpers as much time as the
// subtrees' own arithmetic (every first touch of a page is a fault).
struct Workspace {
  PagedArray<double> fact;
  PagedArray<int32_t> ifact, frontpos;

  // Room for the given lengths; false when the memory cannot be had.
  bool Reserve(int64_t la, int64_t li, int64_t n) {
    return fact.Grow(la) && ifact.Grow(li) && frontpos.Grow(n);
  }

  int64_t Bytes() const {
    return fact.size() * static_cast<int64_t>(sizeof(double)) +
           (ifact.size() + frontpos.size()) * static_cast<int64_t>(sizeof(int32_t));
  }
};

// The workspaces of one factorization, handed from subtree to subtree: a
// helper takes one for a subtree, the loop gives it back once it has taken
// the result in.
class WorkspacePool {
 public:
  // The largest free one (the subtrees of a plan are of like sizes, so it
  // seldom has to grow), or a new, empty one.
  std::unique_ptr<Workspace> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (free_.empty()) return std::make_unique<Workspace>();
    size_t pick = 0;
    for (size_t j = 1; j < free_.size(); ++j) {
      if (free_[j]->fact.size() > free_[pick]->fact.size()) pick = j;
    }
    std::unique_ptr<Workspace> w = std::move(free_[pick]);
    free_.erase(free_.begin() + static_cast<std::ptrdiff_t>(pick));
    return w;
  }

  void Give(std::unique_ptr<Workspace> w) {
    if (!w) return;
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(w));
  }

  // Keeps the largest free workspaces that fit in `bytes` together and
  // frees the others.
  void Trim(int64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::sort(free_.begin(), free_.end(),
              [](const auto& a, const auto& b) { return a->Bytes() > b->Bytes(); });
    int64_t kept = 0;
    size_t keep = 0;
    for (; keep < free_.size() && kept + free_[keep]->Bytes() <= bytes; ++keep) kept += free_[keep]->Bytes();
    free_.resize(keep);
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<Workspace>> free_;
};

// The workspaces kept from one factorization to the next, up to
// kKeptBytes together: a fresh workspace is fresh memory, and on a virtual
// machine first touching its pages cost the helpers as much time as the
// subtrees' arithmetic on matrices of 10^4 unknowns (factorizations repeated
// by a solver's iterations then pay it every time). Larger workspaces are
// freed at the end of each factorization, where their faults are small
// beside the arithmetic. Only a factorization that has the helpers uses
// them, so they are seldom contended.
constexpr int64_t kKeptBytes = int64_t{sizeof(void*) >= 8 ? 64 : 16} << 20;

WorkspacePool& KeptWorkspaces() {
  static WorkspacePool pool;
  return pool;
}

// The result of a subtree factorized apart.
enum TaskState : int { kPending, kRunning, kDone, kClaimed };
struct Task {
  Subtree tree;
  std::atomic<int> state{kPending};
  bool ok = false;
  // Private FACT (factors from 1, the root's block on the stack), IFACT
  // (records from 4, the root's record on the stack) and front positions.
  std::unique_ptr<Workspace> ws;
  std::vector<NodeTrace> trace;
  int64_t factors = 0, records = 0;  // reals and integers of the stored blocks
  int64_t block_at = 0, record_at = 0;  // the root's contribution block and record (0-based)
  int32_t nsteps = 0, nblocks = 0, n2x2 = 0, nneg = 0, maxfront = 0, delayed = 0;
  int32_t refsign = 0, sign_changes = 0;
  double ops_assembly = 0.0, ops_elim = 0.0, ops_blas = 0.0;
};

// What the private runs read of the loop's factorization: fixed for the
// whole call, so reading it from several threads races with nothing.
struct Shared {
  int32_t n = 0, nnodes = 0;
  const int32_t* pivseq = nullptr;   // 0-based views
  const int32_t* rowlen = nullptr;
  const int32_t* varnode = nullptr;
  const int32_t* nchild = nullptr;
  const double* input_values = nullptr;  // the first input row's values
  const int32_t* input_columns = nullptr;
  double u = 0.0, tol = 0.0;
  int32_t mode = 1, nb = 16;
  FrontPath path = FrontPath::kBySize;
};

// The subtrees to factorize apart, in node order.
std::vector<Subtree> Plan(const FrontalState& st) {
  std::vector<Subtree> plan;
  const int32_t n = st.n, nnodes = st.nnodes;
  const int64_t budget = std::max<int64_t>(kLeastPlannedBudget, n / kSubtreeShare);
  if (n < 2 * kLeastSubtree || nnodes < 2) return plan;
  std::vector<int32_t> own(static_cast<size_t>(nnodes) + 1, 0);
  for (int32_t v = 0; v < n; ++v) own[std::abs(st.varnode.data()[v])] += 1;
  // Post-order walk with a stack of the pending subtrees: size and first node.
  struct Open {
    int64_t size;
    int32_t first, node;
  };
  std::vector<Open> open;
  std::vector<int64_t> size(static_cast<size_t>(nnodes) + 1);
  std::vector<int32_t> first(static_cast<size_t>(nnodes) + 1), parent(static_cast<size_t>(nnodes) + 1, 0);
  for (int32_t k = 1; k <= nnodes; ++k) {
    Open o{own[k], k, k};
    const int32_t children = std::min<int32_t>(st.nchild(k), static_cast<int32_t>(open.size()));
    for (int32_t c = 0; c < children; ++c) {
      const Open& child = open.back();
      o.size += child.size;
      o.first = std::min(o.first, child.first);
      parent[child.node] = k;
      open.pop_back();
    }
    size[k] = o.size;
    first[k] = o.first;
    open.push_back(o);
  }
  int64_t k0 = 0, in0 = 0;
  int32_t next_node = 1;  // nodes before it are counted into k0 and in0
  const int32_t* rowlen = st.rowlen.data();
  for (int32_t k = 1; k <= nnodes; ++k) {
    if (size[k] > budget || size[k] < kLeastSubtree) continue;
    if (parent[k] != 0 && size[parent[k]] <= budget) continue;  // not maximal
    Subtree t;
    t.first = first[k], t.root = k;
    for (; next_node < t.first; ++next_node) {
      for (int32_t v = 0; v < own[next_node]; ++v) in0 += rowlen[k0++];
    }
    t.k0 = static_cast<int32_t>(k0), t.in0 = in0;
    for (; next_node <= t.root; ++next_node) {
      for (int32_t v = 0; v < own[next_node]; ++v) in0 += rowlen[k0++];
    }
    t.k1 = static_cast<int32_t>(k0), t.in1 = in0;
    plan.push_back(t);
  }
  return plan;
}

// Workspace lengths for a subtree factorized apart, from its structure with
// no pivot delayed (a run that needs more suspends and is done in place):
// the factors, the largest front with its gap, the deepest stack and the
// input, plus the loop's reserve of N integers for later index lists.
void Lengths(const Shared& sh, const Subtree& t, int32_t* mark, int64_t& la, int64_t& li) {
  // The stacked index lists one after another in `stack`, each ending where
  // `ends` says; the node's list is gathered in `list` (the children's lists
  // are read before they are popped), so the run allocates only as the
  // buffers grow, not once per node.
  std::vector<int32_t> stack, list;
  std::vector<size_t> ends;
  int64_t factors = 0, records = 0, front = 0, widest = 0;
  int64_t depth_r = 0, depth_i = 0, most_r = 0, most_i = 0;
  int32_t k = t.k0;
  int64_t col = t.in0;
  for (int32_t node = t.first; node <= t.root; ++node) {
    list.clear();
    const auto add = [&](int32_t v) {
      if (mark[v - 1] == node) return;
      mark[v - 1] = node;
      list.push_back(v);
    };
    int32_t o = 0;
    for (; k < t.k1 && std::abs(sh.varnode[sh.pivseq[k] - 1]) <= node; ++k, ++o) add(sh.pivseq[k]);
    for (int32_t r = k - o; r < k; ++r) {
      for (int32_t e = 0; e < sh.rowlen[r]; ++e) add(sh.input_columns[col++]);
    }
    for (int32_t c = 0; c < sh.nchild[node - 1] && !ends.empty(); ++c) {
      ends.pop_back();
      const size_t from = ends.empty() ? 0 : ends.back();
      const int64_t size = static_cast<int64_t>(stack.size() - from);
      for (size_t j = from; j < stack.size(); ++j) add(stack[j]);
      stack.resize(from);
      depth_r -= Triangle(size);
      depth_i -= size + 1;
    }
    const int64_t f = static_cast<int64_t>(list.size()), g = f - o;
    factors += Triangle(o) + o * g;
    records += f + 2;
    front = std::max(front, Triangle(o) + f * f);
    widest = std::max(widest, f);
    if (g > 0) {
      stack.insert(stack.end(), list.begin() + o, list.end());
      ends.push_back(stack.size());
      depth_r += Triangle(g), depth_i += g + 1;
    }
    most_r = std::max(most_r, depth_r);
    most_i = std::max(most_i, depth_i);
  }
  const int64_t input = t.in1 - t.in0;
  la = factors + front + most_r + input + 64;
  li = records + most_i + input + sh.n + 2 * widest + 64;
}

// Factorizes a subtree in a private workspace of the given lengths; true
// when it ran to its root (false, with nothing kept, when the space ran out
// or a pivot failed).
bool RunApartIn(const Shared& sh, Task& task, int64_t la, int64_t li) {
  const Subtree& t = task.tree;
  Workspace& ws = *task.ws;
  if (!ws.Reserve(la, li, sh.n)) return false;
  try {
    task.trace.clear();
    task.trace.reserve(static_cast<size_t>(t.root - t.first + 1));
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::fill(ws.frontpos.get(), ws.frontpos.get() + sh.n, sh.n + 1);
  const int64_t input = t.in1 - t.in0;
  std::memcpy(ws.fact.get() + (la - input), sh.input_values + t.in0,
              sizeof(double) * static_cast<size_t>(input));
  std::memcpy(ws.ifact.get() + (li - input), sh.input_columns + t.in0,
              sizeof(int32_t) * static_cast<size_t>(input));
  // The saved state of a suspension is as long as INFO (KEEP(N+3..N+42)).
  int32_t info[MA57_LINFO] = {0};
  double rinfo[MA57_LRINFO] = {0.0};
  int32_t saved[MA57_LINFO] = {0};
  FrontalState sub;
  sub.n = sh.n, sub.m = static_cast<int32_t>(input);
  sub.fact = OneBased<double>(ws.fact.get()), sub.la = la;
  sub.ifact = OneBased<int32_t>(ws.ifact.get()), sub.lifact = li;
  sub.rowlen = OneBased<const int32_t>(sh.rowlen), sub.pivseq = OneBased<const int32_t>(sh.pivseq);
  sub.nnodes = sh.nnodes, sub.nchild = OneBased<const int32_t>(sh.nchild);
  sub.varnode = OneBased<const int32_t>(sh.varnode);
  sub.frontpos = OneBased<int32_t>(ws.frontpos.get());
  sub.info = OneBased<int32_t>(info), sub.rinfo = OneBased<double>(rinfo);
  sub.saved = OneBased<int32_t>(saved);
  sub.u = sh.u, sub.tol = sh.tol, sub.mode = sh.mode, sub.nb = sh.nb;
  sub.lp = sub.wp = -1;  // a failure is reported by the run in place
  sub.suspend = true;    // stop at once when the space is short
  sub.path = sh.path, sub.threads = 1;
  sub.node = t.first, sub.ntaken = t.k0;
  sub.rtop = la - input, sub.rin0 = sub.rin = la - input + 1;
  sub.itop = li - input, sub.iin0 = sub.iin = li - input + 1;
  sub.real_held_compress = sub.real_held_plain = sub.int_held_compress = sub.int_held_plain = input;
  sub.trace = &task.trace;
  for (int k = 1; k < kIfactRecords + 2; ++k) sub.ifact(k) = 0;
  if (!RunRange(sub, t.root, kNotSuspended) || sub.info(MA57_INFO_STATUS) != MA57_SUCCESS ||
      sub.node != t.root + 1) {
    return false;
  }
  task.factors = sub.nextfac - 1;
  task.records = sub.recpos - 2 - kIfactRecords;
  task.block_at = sub.rtop;  // FACT(rtop + 1) is the root block's first value
  task.record_at = sub.itop;
  task.nsteps = sub.nsteps, task.nblocks = sub.nblocks, task.n2x2 = sub.n2x2;
  task.nneg = sub.nneg, task.maxfront = sub.maxfront;
  task.delayed = sub.delayed, task.sign_changes = sub.sign_changes;
  task.refsign = sub.refsign;
  task.ops_assembly = sub.ops_assembly, task.ops_elim = sub.ops_elim, task.ops_blas = sub.ops_blas;
  return true;
}

// Factorizes a subtree apart; task.ok when the result can be taken in. The
// lengths come from the structure; delayed pivots can ask for more, given in
// a second run (and a third) with twice the space.
void RunApart(const Shared& sh, WorkspacePool& pool, Task& task) {
  int64_t la = 0, li = 0;
  try {
    task.ws = pool.Take();
    if (!task.ws->Reserve(0, 0, sh.n)) return;
    std::fill(task.ws->frontpos.get(), task.ws->frontpos.get() + sh.n, 0);
    Lengths(sh, task.tree, task.ws->frontpos.get(), la, li);
  } catch (const std::bad_alloc&) {
    return;
  }
  for (int attempt = 0; attempt < 3 && !task.ok; ++attempt, la *= 2, li *= 2) {
    if (la > kSizeMax || li > std::numeric_limits<int32_t>::max()) return;
    task.ok = RunApartIn(sh, task, la, li);
    if (sh.mode != MA57_PIVOT_THRESHOLD) break;  // no delays: more space cannot help
  }
}

// The space management of the subtree's nodes as the run in place would
// have done it, on a copy of the loop's counters; false when some test fails
// even after a compress (the loop then runs the subtree in place).
bool Replay(FrontalState& v, const Task& task) {
  std::vector<int64_t> blocks;  // orders of the subtree's stacked blocks
  int32_t node = task.tree.first;
  for (const NodeTrace& e : task.trace) {
    v.node = node;
    v.f = e.f, v.s = e.s;
    v.maxfront = std::max(v.maxfront, e.f);
    // The real space test, with its compress.
    v.frontstart = SatAdd(v.nextfac, Triangle(e.s));
    UpdateRealForecasts(v);
    const int64_t front_end = SatAdd(v.frontstart, static_cast<int64_t>(e.f) * e.f) - 1;
    if (front_end > v.rtop) {
      v.rtop += v.rin - v.rin0, v.rin0 = v.rin, v.rcompress += 1;
      if (front_end > v.rtop) return false;
    }
    // Assembly: the input consumed, the children popped.
    v.rin += e.input, v.iin += e.input;
    v.real_held_compress -= e.input, v.int_held_compress -= e.input;
    for (int32_t c = 0; c < v.nchild(node) && !blocks.empty(); ++c) {
      const int64_t g = blocks.back(), size = Triangle(g);
      blocks.pop_back();
      v.itop += g + 1, v.rtop += size;
      v.int_stack -= g + 1, v.real_stack -= size;
      v.int_held_compress -= g + 1, v.int_held_plain -= g + 1;
      v.real_held_compress -= size, v.real_held_plain -= size;
    }
    // The contribution block.
    v.p = e.p;
    const int64_t g = e.f - e.p, m = e.f - e.s;
    if (g > 0) {
      if (!(v.nb < m && v.nb <= e.p)) UpdateRealForecasts(v);  // the direct way's forecast
      v.rtop -= Triangle(g);
      v.real_stack += Triangle(g);
      v.real_held_compress = SatAdd(v.real_held_compress, Triangle(g));
      v.real_held_plain = SatAdd(v.real_held_plain, Triangle(g));
      v.int_held_compress += g + 1, v.int_held_plain += g + 1;
    }
    v.nsteps += e.p;
    UpdateIntegerForecasts(v, v.n, v.nnodes);
    // The integer space test, with its compress, and the index record.
    const int64_t need = (g > 0 ? g + 1 : 0) + static_cast<int64_t>(v.n - v.nsteps) + v.recpos + e.f + 1;
    if (need > v.itop) {
      v.itop += v.iin - v.iin0, v.iin0 = v.iin, v.icompress += 1;
      if (need > v.itop) return false;
    }
    if (g > 0) {
      v.itop -= g + 1, v.int_stack += g + 1;
      blocks.push_back(g);
    }
    // The block.
    if (e.p > 0) {
      const int64_t size = Triangle(e.p) + e.p * g;
      v.nblocks += 1, v.recpos += e.f + 2;
      v.vnext = SatAdd(v.vnext, size), v.nextfac += size;
    }
    ++node;
  }
  return true;
}

// Takes a subtree factorized apart into the loop's workspace; false when the
// loop must factorize it in place (nothing has then been changed).
bool TakeIn(FrontalState& st, const Task& task) {
  const Subtree& t = task.tree;
  if (!task.ok || st.counting || st.node != t.first || st.ntaken != t.k0) return false;
  if (st.ops_elim + task.ops_elim >= kExactSum || st.ops_assembly + task.ops_assembly >= kExactSum ||
      st.ops_blas + task.ops_blas >= kExactSum) {
    return false;
  }
  // Modes 2 and 3 compare each pivot's sign with the one before; the subtree
  // began its own reference at its first pivot (1/d leads its first block).
  int32_t sign_changes = task.sign_changes;
  if ((st.mode == MA57_PIVOT_ONE_SIGN || st.mode == MA57_PIVOT_ANY_SIGN) && task.nsteps > 0 &&
      st.nsteps > 0) {
    const int32_t first_sign = task.ws->fact[0] > 0.0 ? 1 : -1;
    if (first_sign != st.refsign) {
      if (st.mode == MA57_PIVOT_ONE_SIGN) return false;  // the run in place reports it
      sign_changes += 1;
    }
  }
  FrontalState v = st;
  v.trace = nullptr;
  try {
    if (!Replay(v, task)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The stack below the subtree moves as the replayed compresses moved it.
  MA57CompressStack(st.fact.data(), st.ifact.data(), st.rtop, st.rin0, v.rin0, true);
  MA57CompressStack(st.fact.data(), st.ifact.data(), st.itop, st.iin0, v.iin0, false);
  const Workspace& ws = *task.ws;
  std::memcpy(&st.fact(st.nextfac), ws.fact.get(), sizeof(double) * static_cast<size_t>(task.factors));
  std::memcpy(&st.ifact(st.recpos - 2), ws.ifact.get() + (kIfactRecords - 1),
              sizeof(int32_t) * static_cast<size_t>(task.records));
  const int64_t g = task.trace.back().f - task.trace.back().p;
  if (g > 0) {
    std::memcpy(&st.fact(v.rtop + 1), ws.fact.get() + task.block_at,
                sizeof(double) * static_cast<size_t>(Triangle(g)));
    std::memcpy(&st.ifact(v.itop + 1), ws.ifact.get() + task.record_at,
                sizeof(int32_t) * static_cast<size_t>(g + 1));
  }
  for (int32_t k = t.k0; k < t.k1; ++k) {
    const int32_t var = st.pivseq.data()[k];
    st.frontpos(var) = ws.frontpos[var - 1];
  }
  // The counters move on as the run in place would have moved them.
  v.fact = st.fact, v.ifact = st.ifact;
  v.node = t.root + 1, v.ntaken = t.k1;
  v.nblocks = st.nblocks + task.nblocks, v.n2x2 = st.n2x2 + task.n2x2, v.nneg = st.nneg + task.nneg;
  v.maxfront = std::max(st.maxfront, task.maxfront);
  v.ops_assembly = st.ops_assembly + task.ops_assembly;
  v.ops_elim = st.ops_elim + task.ops_elim;
  v.ops_blas = st.ops_blas + task.ops_blas;
  if (task.nsteps > 0) v.refsign = task.refsign;
  v.assembled = task.trace.back().input;
  v.p = task.trace.back().p;
  v.trace = st.trace;
  st = v;
  st.delayed += task.delayed;
  st.sign_changes += sign_changes;
  if (st.node <= st.nnodes) {
    st.ifact(st.recpos - 2) = 0;
    st.ifact(st.recpos - 1) = 0;
  }
  return true;
}

// One batch: the calling loop walks the nodes from the first subtree to the
// last one's root, taking in what the other threads factorized apart. The
// large fronts that it meets between the subtrees share their loops with the
// helpers that are done with their subtrees (inner loops, ma57_threads.cpp).
class Batch {
 public:
  Batch(FrontalState& st, const Shared& sh, WorkspacePool& pool, const std::vector<Subtree>& trees)
      : st_(st), sh_(sh), pool_(pool) {
    tasks_ = std::vector<Task>(trees.size());
    for (size_t j = 0; j < trees.size(); ++j) tasks_[j].tree = trees[j];
  }

  // False when the factorization stopped.
  bool Run() {
    // The loop, then the subtrees from the last one back to the second: the
    // loop claims them from the front, the helpers from the back, so that
    // they meet once, and the loop seldom waits for a subtree just begun.
    const int64_t jobs = static_cast<int64_t>(tasks_.size());
    const auto body = [this, jobs](int64_t i) {
      if (i == 0) {
        Walk();
      } else {
        Apart(tasks_[static_cast<size_t>(jobs - i)]);
      }
    };
    const RowBody call = [](const void* b, int64_t i) { (*static_cast<const decltype(body)*>(b))(i); };
    // With the helpers busy (another factorization has them), the loop
    // claims every subtree and factorizes it in place.
    if (!RunSharedRows(st_.threads, jobs, call, &body)) Walk();
    return !stopped_;
  }

 private:
  void Apart(Task& task) {
    int expected = kPending;
    if (!task.state.compare_exchange_strong(expected, kRunning)) return;  // the loop took it
    RunApart(sh_, pool_, task);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      task.state.store(kDone);
    }
    done_.notify_all();
  }

  void Walk() {
    for (size_t j = 0; j < tasks_.size(); ++j) {
      Task& task = tasks_[j];
      if (!RunRange(st_, task.tree.first - 1, kNotSuspended)) return Stop();
      int expected = kPending;
      const bool mine = j == 0 || task.state.compare_exchange_strong(expected, kClaimed);
      if (!mine) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return task.state.load() == kDone; });
      }
      if (mine || !TakeIn(st_, task)) {
        if (!RunRange(st_, task.tree.root, kNotSuspended)) return Stop();
      }
      pool_.Give(std::move(task.ws));
      task.trace = {};
    }
  }

  void Stop() {
    stopped_ = true;
    // Nothing more is taken in: unclaimed subtrees are not started.
    for (Task& t : tasks_) {
      int expected = kPending;
      t.state.compare_exchange_strong(expected, kClaimed);
    }
  }

  FrontalState& st_;
  const Shared& sh_;
  WorkspacePool& pool_;
  std::vector<Task> tasks_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool stopped_ = false;
};

}  // namespace

bool RunWithSubtrees(FrontalState& st) {
  std::vector<Subtree> plan;
  if (st.threads > 1 && st.mode != MA57_PIVOT_MODIFIED && st.node == 1) {
    try {
      plan = Plan(st);
    } catch (const std::bad_alloc&) {
      plan.clear();
    }
  }
  if (plan.size() < 2) return RunRange(st, st.nnodes, kNotSuspended);
  Shared sh;
  sh.n = st.n, sh.nnodes = st.nnodes;
  sh.pivseq = st.pivseq.data(), sh.rowlen = st.rowlen.data();
  sh.varnode = st.varnode.data(), sh.nchild = st.nchild.data();
  sh.input_values = &st.fact(st.la - st.m + 1);
  sh.input_columns = &st.ifact(st.lifact - st.m + 1);
  sh.u = st.u, sh.tol = st.tol, sh.mode = st.mode, sh.nb = st.nb, sh.path = st.path;
  // The batches are as even in their counts as they can be: the loop takes
  // the first subtree of each batch by rule, so a last batch of a lone
  // subtree would be factorized by the loop alone while the helpers sleep.
  const size_t per_batch = static_cast<size_t>(kBatchPerThread * st.threads);
  const size_t batches = (plan.size() + per_batch - 1) / per_batch;
  WorkspacePool& pool = KeptWorkspaces();
  bool stopped = false;
  for (size_t k = 0, b = 0; k < batches && !stopped; ++k) {
    const size_t e = plan.size() * (k + 1) / batches;
    const std::vector<Subtree> trees(plan.begin() + static_cast<std::ptrdiff_t>(b),
                                     plan.begin() + static_cast<std::ptrdiff_t>(e));
    b = e;
    try {
      Batch batch(st, sh, pool, trees);
      stopped = !batch.Run();
    } catch (const std::bad_alloc&) {
      stopped = !RunRange(st, trees.back().root, kNotSuspended);
    }
  }
  pool.Trim(kKeptBytes);
  if (stopped) return false;
  return RunRange(st, st.nnodes, kNotSuspended);
}

}  // namespace ma57
}  // namespace pemric
