#pragma once
// The graph walk shared by BNRenderNode's own files; a friend of the node,
// it reads the inputs directly.

#include "rendergraph/core/BNRenderNode.h"

#include <unordered_set>
#include <vector>

// Walks the nodes below `root` that are not `ready` yet, inputs before
// consumers, and calls `compute` on each once; nothing recurses, so graphs of
// any depth are safe on small worker stacks.
struct BNRenderNodeGraph {
    template <typename Ready, typename Compute>
    static void computeBottomUp(const BNRenderNode* root, Ready ready, Compute compute) {
        struct Frame {
            const BNRenderNode* node;
            size_t nextInput;
        };
        std::vector<Frame> stack{{root, 0}};
        std::unordered_set<const BNRenderNode*> seen{root};
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (top.nextInput < top.node->inputs_.size()) {
                const BNRenderNode* input = top.node->inputs_[top.nextInput++].get();
                if (input && !ready(input) && seen.insert(input).second)
                    stack.push_back({input, 0});
                continue;
            }
            compute(top.node);
            stack.pop_back();
        }
    }
};
