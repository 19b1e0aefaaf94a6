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

// Approximate minimum degree ordering with aggressive absorption (Amestoy,
// Davis and Duff, SIAM J. Matrix Anal. Appl. 17, 1996) on the quotient graph
// held in adj(1..ladj). Input: symmetric adjacency lists without self-loops or
// repeats, lstart(i)/llen(i) for i = 1..n, occupying adj(1..freepos-1), with
// ladj >= freepos - 1 + n. Output: prev(k) = variable at position k,
// elcount(i) = position of variable i, lstart(e) = -(parent element) or 0 for
// a principal variable, -(representative) otherwise, svsize(e) = front size of
// a principal variable, 0 otherwise; ncomp = number of compactions of adj;
// freepos = peak use of adj. deg, bucket, nextv, wflags: workspace (n).
void MC47OrderCore(int32_t n,
                   int64_t ladj,
                   int32_t* lstart,
                   int64_t& freepos,
                   int32_t* llen,
                   int32_t* adj,
                   int32_t* svsize,
                   int32_t* elcount,
                   int32_t* prev,
                   int32_t& ncomp,
                   int32_t* deg,
                   int32_t* bucket,
                   int32_t* nextv,
                   int32_t* wflags);

// Adjacency graph of the off-diagonal in-range entries for the ordering,
// repeats removed. Writes lstart(n), llen(n) and adj(from 1), uses mark(n);
// sets INFO(1), INFO(3), INFO(4) and prints the warnings. Returns the first
// free position of adj.
int64_t MA57BuildGraph(int32_t n,
                       int32_t ne,
                       const int32_t* irn,
                       const int32_t* jcn,
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
void MA57BuildOrderedPattern(int32_t n,
                             int32_t ne,
                             int32_t* irn,
                             int32_t* jcn,
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
// workspace; compactions are counted in ncomp.
void MA57SymbolicEliminate(int32_t n,
                           int64_t ladj,
                           const int32_t* pos,
                           int32_t* start,
                           int32_t* lists,
                           int32_t* seq,
                           int32_t* size,
                           int32_t* mark,
                           int32_t& ncomp);

// Compaction of the list space lists(1..until-1) for the symbolic
// elimination: live lists (start > 0) move down, keeping their order.
// Returns the first free position after them.
int64_t MA57CompressLists(int32_t n, int64_t until, int32_t* start, int32_t* lists);

// Assembly tree from the elimination tree (link, size per variable): largest
// child last, post-order numbering, amalgamation. Writes pos(1..n) (final
// positions), node(1..n), children(1..nodes), front(1..nodes),
// pivots(1..nodes), returns the number of nodes. link is changed; childhead,
// attached(n), counts in node, scratch1(n), scratch2(n) are workspace.
int32_t MA57BuildTree(int32_t n,
                      int32_t* link,
                      const int32_t* size,
                      int32_t* childhead,
                      int32_t* pivots,
                      int32_t* children,
                      int32_t* node,
                      int32_t* pos,
                      int32_t* scratch1,
                      int32_t* scratch2,
                      int32_t* front,
                      int32_t amalgamation,
                      int32_t* attached);

// Rows of the permuted matrix: rowcount(1..n), the column indices cols(1..T)
// with one diagonal slot at the start of each row, and map(1..ne). Returns T.
// rowptr(n), diagptr(n): workspace.
int32_t MA57PermutedStructure(int32_t n,
                              int32_t ne,
                              const int32_t* irn,
                              const int32_t* jcn,
                              int32_t* map,
                              int32_t* cols,
                              int32_t* rowcount,
                              const int32_t* pos,
                              int32_t* rowptr,
                              int32_t* diagptr);

// Storage and operation forecasts for the factorization of the assembly tree
// (INFO(5..12), RINFO(1..2)). stack1(n), stack2(n): workspace.
void MA57Forecast(int32_t n,
                  const int32_t* rowcount,
                  const int32_t* children,
                  const int32_t* pivots,
                  const int32_t* front,
                  int32_t nodes,
                  int32_t* stack1,
                  int32_t* stack2,
                  int32_t* info,
                  double* rinfo);

// Printed records of the analysis (gates of ICNTL(1..3) and ICNTL(5)).
void MA57ReportOutOfRange(const int32_t* icntl, int32_t count, int32_t k, int32_t i, int32_t j);
void MA57ReportDuplicates(const int32_t* icntl, int32_t duplicates);

}  // namespace pemric
