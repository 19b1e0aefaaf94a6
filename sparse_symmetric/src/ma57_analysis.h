// Internal steps of the analysis phase MA57AD, in calling order:
//   ordering path:        MA57BuildGraph, MC47OrderCore
//   supplied-order path:  MA57BuildOrderedPattern, MA57SymbolicEliminate
//   both:                 MA57BuildTree, MA57PermutedStructure, MA57Forecast
// Every array argument is indexed from 1 through OneBased views; lengths are
// stated per routine. None of them allocates or fails.
#pragma once

#include <cstdint>

#include "pemric/one_based.h"

namespace pemric {

// The arrays of the ordering, each of length n unless stated.
struct MC47Arrays {
  int32_t n = 0;
  int64_t ladj = 0;            // length of adj
  int32_t* lstart = nullptr;   // in: list starts; out: -(parent) / -(representative) / 0
  int32_t* llen = nullptr;     // in: list lengths; workspace afterwards
  int32_t* adj = nullptr;      // (ladj) adjacency lists, then the quotient graph
  int32_t* svsize = nullptr;   // out: front size of a principal variable, else 0
  int32_t* elcount = nullptr;  // out: position of each variable
  int32_t* prev = nullptr;     // out: variable at each position
  int32_t* deg = nullptr;      // workspace: degrees
  int32_t* bucket = nullptr;   // workspace: degree-list heads
  int32_t* nextv = nullptr;    // workspace: degree-list links
  int32_t* wflags = nullptr;   // workspace: marks
};

// Approximate minimum degree ordering with aggressive absorption (Amestoy,
// Davis and Duff, SIAM J. Matrix Anal. Appl. 17, 1996) on the quotient graph
// held in adj(1..ladj). Input: symmetric adjacency lists without self-loops or
// repeats, lstart(i)/llen(i) for i = 1..n, occupying adj(1..freepos-1), with
// ladj >= freepos - 1 + n. Output: prev(k) = variable at position k,
// elcount(i) = position of variable i, lstart(e) = -(parent element) or 0 for
// a principal variable, -(representative) otherwise, svsize(e) = front size of
// a principal variable, 0 otherwise; ncomp = number of compactions of adj;
// freepos = peak use of adj.
void MC47OrderCore(const MC47Arrays& a, int64_t& freepos, int32_t& ncomp);

// The input pattern of the analysis: entry k is (irn(k), jcn(k)), k = 1..ne.
// Only MA57BuildOrderedPattern writes it (it zeroes out-of-range entries).
struct EntryPattern {
  int32_t n = 0;
  int32_t ne = 0;
  int32_t* irn = nullptr;
  int32_t* jcn = nullptr;
};

// Adjacency graph of the off-diagonal in-range entries for the ordering,
// repeats removed. Writes lstart(n), llen(n) and adj(from 1), uses mark(n);
// sets INFO(1), INFO(3), INFO(4) and prints the warnings. Returns the first
// free position of adj.
int64_t MA57BuildGraph(const EntryPattern& pattern,
                       int32_t* lstart,
                       int32_t* llen,
                       int32_t* adj,
                       int32_t* mark,
                       const int32_t* icntl,
                       int32_t* info);

// Rows of the matrix in the supplied order pos(1..n): each entry goes to the
// row of its variable that comes first. Row v is a count word at start(v)
// followed by its entries (start 0: empty row). Out-of-range entries are
// zeroed in irn and jcn. Uses count(n), mark(n); sets INFO(1), (3), (4).
void MA57BuildOrderedPattern(const EntryPattern& pattern,
                             const int32_t* pos,
                             int32_t* start,
                             int32_t* count,
                             int32_t* lists,
                             int32_t* mark,
                             const int32_t* icntl,
                             int32_t* info);

// Elimination tree of the supplied order by symbolic elimination with
// element absorption in lists(1..ladj), ladj = 2*ne. On return start(v) is
// -parent or 0 for a root and size(v) the front size of v. seq(n), mark(n):
// workspace. Returns the number of compactions.
int32_t MA57SymbolicEliminate(int32_t n,
                              int64_t ladj,
                              const int32_t* pos,
                              int32_t* start,
                              int32_t* lists,
                              int32_t* seq,
                              int32_t* size,
                              int32_t* mark);

// Compaction of the list space lists(1..until-1) for the symbolic
// elimination: live lists (start > 0) move down, keeping their order.
// Returns the first free position after them.
int64_t MA57CompressLists(int32_t n, int64_t until, int32_t* start, int32_t* lists);

// The arrays of the tree step, each of length n. The per-node arrays hold
// one value for each of the nodes that MA57BuildTree returns.
struct TreeArrays {
  int32_t n = 0;
  int32_t* link = nullptr;       // in: -parent / 0 (root) / -(representative); changed
  const int32_t* size = nullptr;  // in: front size of a principal variable, else 0
  int32_t* childhead = nullptr;  // workspace: first child of each principal variable
  int32_t* pivots = nullptr;     // out: pivots per node
  int32_t* children = nullptr;   // out: children per node
  int32_t* node = nullptr;       // out: node of each variable (workspace counts before)
  int32_t* pos = nullptr;        // out: final position of each variable
  int32_t* scratch1 = nullptr;   // workspace: children completed
  int32_t* scratch2 = nullptr;   // workspace: parents
  int32_t* front = nullptr;      // out: front order per node
  int32_t amalgamation = 0;      // ICNTL(12)
  int32_t* attached = nullptr;   // workspace: attached variables
};

// Assembly tree from the elimination tree (link, size per variable): largest
// child last, post-order numbering, amalgamation. Returns the number of nodes.
int32_t MA57BuildTree(const TreeArrays& a);

// Rows of the permuted matrix: rowcount(1..n), the column indices cols(1..T)
// with one diagonal slot at the start of each row, and map(1..ne). Returns T.
// rowptr(n), diagptr(n): workspace.
int32_t MA57PermutedStructure(const EntryPattern& pattern,
                              int32_t* map,
                              int32_t* cols,
                              int32_t* rowcount,
                              const int32_t* pos,
                              int32_t* rowptr,
                              int32_t* diagptr);

// The assembly tree as the forecast reads it, and its workspace.
struct ForecastArrays {
  int32_t n = 0;
  int32_t nodes = 0;
  const int32_t* rowcount = nullptr;  // (n) entries of each row of the permuted matrix
  const int32_t* children = nullptr;  // (nodes) children per node
  const int32_t* pivots = nullptr;    // (nodes) pivots per node
  const int32_t* front = nullptr;     // (nodes) front order per node
  int32_t* stack1 = nullptr;          // (n) workspace
  int32_t* stack2 = nullptr;          // (n) workspace
};

// Storage and operation forecasts for the factorization of the assembly tree
// (INFO(5..12), RINFO(1..2)).
void MA57Forecast(const ForecastArrays& a, int32_t* info, double* rinfo);

// Printed records of the analysis (gates of ICNTL(1..3) and ICNTL(5)).
void MA57ReportOutOfRange(const int32_t* icntl, int32_t count, int32_t k, int32_t i, int32_t j);
void MA57ReportDuplicates(const int32_t* icntl, int32_t duplicates);

}  // namespace pemric
