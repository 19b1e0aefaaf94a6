// Assembly tree from the elimination tree: the largest child of each node
// is moved last (so its contribution block is the last one stacked and the
// first one assembled), nodes and variables are numbered in post-order, and
// a parent is amalgamated with its last child when the child's update matrix
// is exactly the parent's front, or when both have fewer pivots than the
// amalgamation parameter.
#include <cstdint>

#include "ma57_analysis.h"

namespace pemric {
namespace {

class TreeBuilder {
 public:
  explicit TreeBuilder(const TreeArrays& a)
      : n_(a.n), link_(At(a.link)), size_(At(a.size)), head_(At(a.childhead)),
        pivots_(At(a.pivots)), children_(At(a.children)), node_(At(a.node)), pos_(At(a.pos)),
        done_(At(a.scratch1)), parent_(At(a.scratch2)), front_(At(a.front)),
        amalgamation_(a.amalgamation), attached_(At(a.attached)) {}

  int32_t Run();

 private:
  void LinkChildren();
  void LargestChildLast(int32_t p);
  void Walk(int32_t root);
  void Complete(int32_t c);
  bool Merges() const;

  const int32_t n_;
  // link(v): before LinkChildren, -parent / 0 (root) / -(representative);
  // afterwards, for a principal child, the next sibling (> 0) or -parent for
  // the last child; for a non-principal variable, the next variable of its
  // representative's attached list.
  OneBased<int32_t> link_;
  OneBased<const int32_t> size_;  // front size of a principal variable, else 0
  OneBased<int32_t> head_;        // first child of each principal variable
  OneBased<int32_t> pivots_;      // per node
  OneBased<int32_t> children_;    // per node
  OneBased<int32_t> node_;        // per variable; before numbering, attached counts
  OneBased<int32_t> pos_;         // final position of each variable
  OneBased<int32_t> done_;        // children completed, per principal variable
  OneBased<int32_t> parent_;      // parent of each principal variable, 0 for a root
  OneBased<int32_t> front_;       // per node
  const int32_t amalgamation_;
  OneBased<int32_t> attached_;    // first attached variable of each principal variable
  int32_t k_ = 1;                 // node being completed
  int32_t next_pos_ = 1;          // next free position of the pivot order
};

int32_t TreeBuilder::Run() {
  LinkChildren();
  for (int32_t p = 1; p <= n_; ++p) {
    if (size_(p) > 0 && head_(p) != 0) LargestChildLast(p);
  }
  // Roots in decreasing index order.
  for (int32_t r = n_; r >= 1; --r) {
    if (size_(r) > 0 && parent_(r) == 0) Walk(r);
  }
  return k_ - 1;
}

// Child lists and attached lists are built by pushing in increasing index
// order, so both run in decreasing index order.
void TreeBuilder::LinkChildren() {
  for (int32_t v = 1; v <= n_; ++v) {
    head_(v) = 0;
    pivots_(v) = 0;
    node_(v) = 0;
    attached_(v) = 0;
    done_(v) = 0;
    parent_(v) = 0;
  }
  for (int32_t v = 1; v <= n_; ++v) {
    const int32_t l = link_(v);
    if (size_(v) == 0) {
      const int32_t r = -l;
      link_(v) = attached_(r);
      attached_(r) = v;
      ++node_(r);
    } else if (l < 0) {
      const int32_t p = -l;
      parent_(v) = p;
      if (head_(p) != 0) link_(v) = head_(p);
      head_(p) = v;
    }
  }
}

// One exchange pass over p's children: a smaller child moves in front of
// the current one, so the largest front travels to the end. Fronts 5, 3, 1
// become 3, 1, 5; equal fronts keep their order.
void TreeBuilder::LargestChildLast(int32_t p) {
  int32_t before = 0;  // child ahead of d, 0 when d is first
  int32_t d = head_(p);
  while (link_(d) > 0) {
    const int32_t c = link_(d);
    if (size_(c) < size_(d)) {
      link_(d) = link_(c);
      link_(c) = d;
      if (before == 0) {
        head_(p) = c;
      } else {
        link_(before) = c;
      }
      before = c;
    } else {
      before = d;
      d = c;
    }
  }
}

// Post-order: descend to first children, complete a node when its last
// child is complete.
void TreeBuilder::Walk(int32_t root) {
  int32_t v = root;
  while (head_(v) != 0) v = head_(v);
  for (;;) {
    Complete(v);
    if (v == root) return;
    if (link_(v) > 0) {
      v = link_(v);
      while (head_(v) != 0) v = head_(v);
    } else {
      v = -link_(v);
    }
  }
}

void TreeBuilder::Complete(int32_t c) {
  pivots_(k_) = 1 + node_(c);  // the representative and its attached variables
  children_(k_) = done_(c);
  front_(k_) = size_(c);
  node_(c) = k_;
  pos_(c) = next_pos_++;
  for (int32_t a = attached_(c); a != 0; a = link_(a)) {
    node_(a) = k_;
    pos_(a) = next_pos_++;
  }
  if (parent_(c) != 0) ++done_(parent_(c));
  if (!Merges()) {
    ++k_;
    return;
  }
  // Node k - 1 is c's last child: it absorbs c.
  const int32_t k = k_ - 1;
  children_(k) += children_(k_) - 1;
  front_(k) = front_(k_) + pivots_(k);
  pivots_(k) += pivots_(k_);
  pivots_(k_) = 0;
  node_(c) = k;
  for (int32_t a = attached_(c); a != 0; a = link_(a)) node_(a) = k;
}

bool TreeBuilder::Merges() const {
  const int32_t k = k_;
  if (children_(k) < 1) return false;
  if (children_(k) == 1 && front_(k - 1) - pivots_(k - 1) == front_(k)) return true;
  return pivots_(k) < amalgamation_ && pivots_(k - 1) < amalgamation_;
}

}  // namespace

int32_t MA57BuildTree(const TreeArrays& a) {
  TreeBuilder builder(a);
  return builder.Run();
}

}  // namespace pemric
