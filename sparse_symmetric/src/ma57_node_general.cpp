// The general forms of a node's steps, out of the node loop and compiled
// at the numeric routines' -O3 (see ma57_node_loop.h).
#include "ma57_node_loop.h"

namespace pemric {
namespace ma57 {

bool NodeLoop::GeneralNode(FrontalState& st, Suspension resume) {
  NodeLoop loop(st);
  const bool ok = loop.Node<false>(resume);
  loop.Store();
  return ok;
}

}  // namespace ma57
}  // namespace pemric
