// The node pipeline's additions to BNRenderNode (BNPipeline.h). Every walk is
// iterative, so graphs thousands of nodes deep are safe on worker stacks,
// and meets each node once, so nodes shared by several consumers are
// planned and dispatched once.

#include "geometry/VKGeometryStrings.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNPipeline.h"
#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/core/BNRenderNodeGraph.h"

#include <fmt/format.h>

#include <algorithm>
#include <unordered_map>

namespace {

// The nodes below `root`, root included, each once, every node after all of
// its inputs.
std::vector<const BNRenderNode*> inputsFirst(const BNRenderNode* root) {
    std::vector<const BNRenderNode*> order;
    BNRenderNodeGraph::computeBottomUp(
        root, [](const BNRenderNode*) { return false; },
        [&order](const BNRenderNode* node) { order.push_back(node); });
    return order;
}

uint64_t saturatingSum(uint64_t a, uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// Makes the pipeline of the part of the graph below `head` that has none
// yet and appends it; nothing when `head` already belongs to one.
void appendPipeline(const BNRenderNode& head, BNPipelineList& pipelines, uint64_t tag) {
    auto pipeline = std::make_shared<BNPipeline>(tag);
    std::vector<BNRenderNodePtr> leaves;
    uint64_t count = 0;
    head.recursivelyAssignPipeline(pipeline, leaves, count, tag);
    if (count == 0) return;
    pipeline->prepareWithInitialNodes(std::move(leaves), count, head.shared_from_this());
    pipelines.push_back(std::move(pipeline));
    if (pipelines.size() % 1000 == 0) lf::log("pipeline count: {}", pipelines.size());
}

}  // namespace

void BNRenderNode::generatePipelines(BNPipelineList& pipelines, uint64_t preferredMemoryCost,
                                     uint64_t tag, VKRect rect, double scaleFactor) const {
    lf::log("maximumMemoryCostForSubtree: {}",
            maximumMemoryCostWhileGeneratingPipelines(pipelines, preferredMemoryCost, tag, rect,
                                                      scaleFactor));
    appendPipeline(*this, pipelines, tag);
}

uint64_t BNRenderNode::maximumMemoryCostWhileGeneratingPipelines(BNPipelineList& pipelines,
                                                                 uint64_t preferredMemoryCost,
                                                                 uint64_t tag, VKRect rect,
                                                                 double scaleFactor) const {
    const std::vector<const BNRenderNode*> order = inputsFirst(this);
    for (const BNRenderNode* node : order) {
        BNNodeActivity& activity = node->activityWithTag(tag);
        activity.pipeline.reset();
        activity.missingInputCount.store(0, std::memory_order_relaxed);
        activity.outputDependencyCount.store(0, std::memory_order_relaxed);
        activity.rect = VKRectNull;
        activity.scaleFactor = 0;
        activity.output.reset();
    }

    // What each node is asked for, consumers first: the union of its
    // consumers' regions of interest, at the scale of the first consumer
    // that asks (a node asked at two scales is planned at one of them).
    BNNodeActivity& own = activityWithTag(tag);
    own.rect = rect;
    own.scaleFactor = scaleFactor;
    for (auto at = order.rbegin(); at != order.rend(); ++at) {
        const BNRenderNode* node = *at;
        const BNNodeActivity& asked = node->activityWithTag(tag);
        for (size_t i = 0; i < node->inputs_.size(); ++i) {
            const BNRenderNode* input = node->inputNode(i);
            if (!input) continue;
            const bool needed = !VKRectIsEmpty(asked.rect);
            const VKRect region =
                needed ? node->regionOfInterestForInputNodeAtIndex(i, asked.rect, asked.scaleFactor)
                       : VKRectNull;
            const double scale =
                asked.scaleFactor * node->scaleFactorMultiplierForInputNodeAtIndex(i);
            BNNodeActivity& activity = input->activityWithTag(tag);
            if (activity.scaleFactor == 0) {
                activity.rect = region;
                activity.scaleFactor = scale;
            } else if (activity.scaleFactor == scale) {
                activity.rect = VKRectUnion(activity.rect, region);
            }
        }
    }

    // Costs, inputs first. Where a node's inputs together cost more than the
    // budget, each input heads a pipeline of its own that runs earlier, and
    // the node's part starts afresh from its own output.
    std::unordered_map<const BNRenderNode*, uint64_t> costs;
    uint64_t visited = 0;
    for (const BNRenderNode* node : order) {
        if (++visited % 1000 == 0) lf::log("numNodes: {}", visited);
        uint64_t sum = 0;
        for (const auto& input : node->inputs_)
            if (input) sum = saturatingSum(sum, costs.at(input.get()));
        uint64_t cost = std::max(sum, node->outputMemoryCost());
        if (sum > preferredMemoryCost) {
            for (const auto& input : node->inputs_)
                if (input) appendPipeline(*input, pipelines, tag);
            cost = node->outputMemoryCost();
        }
        costs[node] = cost;
    }
    return costs.at(this);
}

void BNRenderNode::recursivelyAssignPipeline(const std::shared_ptr<BNPipeline>& pipeline,
                                             std::vector<BNRenderNodePtr>& leaves, uint64_t& count,
                                             uint64_t tag) const {
    // A node that already has a pipeline is in this one or in an earlier one,
    // which will have finished before this one starts: either way it is not
    // taken again.
    std::vector<const BNRenderNode*> taken;
    std::vector<const BNRenderNode*> stack{this};
    while (!stack.empty()) {
        const BNRenderNode* node = stack.back();
        stack.pop_back();
        BNNodeActivity& activity = node->activityWithTag(tag);
        if (!activity.pipeline.expired()) continue;
        activity.pipeline = pipeline;
        taken.push_back(node);
        for (const auto& input : node->inputs_)
            if (input) stack.push_back(input.get());
    }
    count += taken.size();

    // Counted per edge, as a node that names an input twice is that input's
    // consumer twice. Inputs of earlier pipelines are not waited for.
    for (const BNRenderNode* node : taken) {
        BNNodeActivity& activity = node->activityWithTag(tag);
        for (const auto& input : node->inputs_) {
            if (!input) continue;
            BNNodeActivity& inputActivity = input->activityWithTag(tag);
            inputActivity.outputDependencyCount.fetch_add(1, std::memory_order_relaxed);
            if (inputActivity.pipeline.lock() == pipeline)
                activity.missingInputCount.fetch_add(1, std::memory_order_relaxed);
        }
        if (activity.missingInputCount.load(std::memory_order_relaxed) == 0)
            leaves.push_back(node->shared_from_this());
    }
}

void BNRenderNode::dispatchToQueue(const std::shared_ptr<lf::DispatchQueue>& queue,
                                   uint64_t tag) const {
    queue->async([node = shared_from_this(), tag] {
        const BNNodeActivity& activity = node->activityWithTag(tag);
        lf::log("Render with {} {:g}", NSStringFromVKRect(activity.rect), activity.scaleFactor);
        for (const auto& input : node->inputs_)
            if (input) input->outputNodeDidFinishWithTag(tag);

        // Consumers of other graphs, or of other pipelines of this one, do
        // not wait for this node.
        const std::shared_ptr<BNPipeline> pipeline = activity.pipeline.lock();
        std::vector<BNRenderNodePtr> consumers = node->outputNodes();
        std::string outputs;
        for (const BNRenderNodePtr& consumer : consumers)
            outputs += (outputs.empty() ? "" : ", ") + consumer->description();
        lf::log("Self: {}", node->description());
        lf::log("Outputs: ({})", outputs);
        for (const BNRenderNodePtr& consumer : consumers)
            if (pipeline && consumer->activityWithTag(tag).pipeline.lock() == pipeline)
                consumer->inputNodeDidFinishWithTag(tag);
        if (pipeline) pipeline->didFinishNode();
    });
}

void BNRenderNode::inputNodeDidFinishWithTag(uint64_t tag) const {
    BNNodeActivity& activity = activityWithTag(tag);
    if (activity.missingInputCount.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (auto pipeline = activity.pipeline.lock()) pipeline->dispatchNode(*this);
}

void BNRenderNode::outputNodeDidFinishWithTag(uint64_t tag) const {
    BNNodeActivity& activity = activityWithTag(tag);
    if (activity.outputDependencyCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        activity.output.reset();
}

BNSurfacePtr BNRenderNode::outputWithTag(uint64_t tag) const {
    return activityWithTag(tag).output;
}

void BNRenderNode::recursivelyMarkWithDepth(uint64_t depth,
                                            std::vector<BNRenderNodePtr>& leaves) const {
    std::vector<std::pair<const BNRenderNode*, uint64_t>> stack{{this, depth}};
    while (!stack.empty()) {
        auto [node, nodeDepth] = stack.back();
        stack.pop_back();
        BNNodeActivities& activities = node->activities();
        if (activities.hasDepth.exchange(true)) continue;
        activities.depth.store(nodeDepth, std::memory_order_relaxed);
        bool hasInput = false;
        for (auto input = node->inputs_.rbegin(); input != node->inputs_.rend(); ++input) {
            if (!*input) continue;
            hasInput = true;
            stack.push_back({input->get(), nodeDepth + 1});
        }
        if (!hasInput) leaves.push_back(node->shared_from_this());
    }
}

uint64_t BNRenderNode::depth() const {
    return activities().depth.load(std::memory_order_relaxed);
}

std::vector<BNRenderNodePtr> BNRenderNode::inputNodesSortedByHeight() const {
    std::vector<BNRenderNodePtr> sorted = inputs_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return (a ? a->height_ : 0) > (b ? b->height_ : 0);
    });
    return sorted;
}
