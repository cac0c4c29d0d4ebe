#pragma once
// Random render graphs of the node families built so far, for comparing the
// renderer with the reference renderer. A graph comes with the C++ source
// that builds it again, so that a failing case can be pasted into a
// regression test.

#include "rendergraph/core/BNRenderNode.h"

#include <cstdint>
#include <string>

namespace rendergraph_test {

struct RandomGraph {
    BNRenderNodePtr root;
    std::string code;  // statements ending with "auto root = ...;"
};

// A graph of about `nodeCount` nodes from `seed`, its geometry (paths,
// bounds, translations) spread over `area`. Inputs are taken from earlier
// nodes, so nodes are shared between consumers.
RandomGraph makeRandomGraph(uint32_t seed, int nodeCount, VKRect area);

}  // namespace rendergraph_test
