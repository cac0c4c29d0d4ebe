// The node pipeline: planning cuts a graph into pipelines in running order
// under the memory budget, and a run dispatches every node exactly once,
// after all of its inputs, then completes once.
#include "RandomGraph.h"
#include "TestNodes.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/core/BNPipeline.h"
#include "rendergraph/geometry/BNTranslateNode.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <set>

using namespace rendergraph_test;

namespace {

// Every node below `root`, root included.
std::set<const BNRenderNode*> graphNodes(const BNRenderNodePtr& root) {
    std::set<const BNRenderNode*> nodes;
    std::vector<const BNRenderNode*> stack{root.get()};
    while (!stack.empty()) {
        const BNRenderNode* node = stack.back();
        stack.pop_back();
        if (!nodes.insert(node).second) continue;
        for (const auto& input : node->inputNodes())
            if (input) stack.push_back(input.get());
    }
    return nodes;
}

// Runs the pipelines on a global queue and checks what the run logged:
// each node of the graph said "Self" exactly once, after each of its inputs,
// and the completion came once, last.
void expectSoundRun(const BNRenderNodePtr& root, BNPipelineList pipelines,
                    const std::string& context) {
    SCOPED_TRACE(context);
    auto completions = std::make_shared<std::atomic<int>>(0);
    lf::DispatchSemaphore done(0);
    std::vector<std::string> lines;
    {
        lf::LogCapture capture;
        BNPipeline::processOrderedPipelines(std::move(pipelines), lf::DispatchQueue::global(),
                                            [completions, done]() mutable {
                                                lf::log("completed");
                                                ++*completions;
                                                done.signal();
                                            });
        // Only a guard against a run that never ends; nothing is timed.
        ASSERT_TRUE(done.waitFor(std::chrono::seconds(120))) << "the run never completed";
        lines = capture.lines();
    }
    EXPECT_EQ(completions->load(), 1);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), "completed");
    EXPECT_EQ(lines[lines.size() - 2], "done processing pipelines");

    std::map<std::string, size_t> selfLine;
    size_t renders = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with("Render with ")) ++renders;
        if (!lines[i].starts_with("Self: ")) continue;
        EXPECT_TRUE(selfLine.emplace(lines[i].substr(6), i).second) << "twice: " << lines[i];
    }
    const std::set<const BNRenderNode*> nodes = graphNodes(root);
    EXPECT_EQ(selfLine.size(), nodes.size());
    EXPECT_EQ(renders, nodes.size());
    for (const BNRenderNode* node : nodes) {
        auto self = selfLine.find(node->description());
        ASSERT_NE(self, selfLine.end()) << "never dispatched: " << node->description();
        for (const auto& input : node->inputNodes()) {
            if (!input) continue;
            auto before = selfLine.find(input->description());
            ASSERT_NE(before, selfLine.end());
            EXPECT_LT(before->second, self->second)
                << node->description() << " ran before its input " << input->description();
        }
    }
}

}  // namespace

TEST(BNPipeline, MemoryBudgetOfTheRectangle) {
    const struct {
        VKRect rect;
        double scale;
        uint64_t budget;
    } cases[] = {
        {VKRectMake(0, 0, 10, 10), 1, 12800},  // 10 x 10 x 1 x 4 x 32
        {VKRectMake(5, 5, 0.25, 0.25), 1, 8},  //
        {VKRectMake(0, 0, 1, 1), 2, 256},      // the scale counts once
        {VKRectInfinite, 1, UINT64_MAX},       // too large to convert
        {VKRectNull, 1, 0},                    //
        {VKRectMake(0, 0, 4, 4), NAN, 0},      //
        {VKRectMake(0, 0, 4, -4), 1, 0},       //
    };
    for (const auto& c : cases)
        EXPECT_EQ(BNPipeline::memoryBudget(c.rect, c.scale), c.budget)
            << c.rect.size.width << " x " << c.rect.size.height << " at " << c.scale;
}

TEST(BNPipeline, SharedNodesArePlannedOnceAndCutsRunFirst) {
    lf::LogCapture quiet;
    auto leaf = PatternNode::create(VKRectMake(0, 0, 8, 8), BNChannelMaskRGBA, true);
    auto left = BNTranslateNode::create(leaf, {1, 0});
    auto right = BNTranslateNode::create(leaf, {0, 1});
    auto top = BNBlendNode::create(left, right, kTarrowBlendMultiply, 1.0, 1.0);
    auto twice =
        BNBlendNode::create(top, top, kTarrowBlendNormal, 1.0, 1.0);  // names its input twice

    // Within the budget: one pipeline, starting from the shared leaf alone.
    BNPipelineList roomy =
        BNPipeline::orderedPipelinesFromTreeWithRootNode(twice, 0, VKRectMake(0, 0, 8, 8), 1);
    ASSERT_EQ(roomy.size(), 1u);
    ASSERT_EQ(roomy[0]->initialNodes().size(), 1u);
    EXPECT_EQ(roomy[0]->initialNodes()[0], leaf);
    expectSoundRun(twice, std::move(roomy), "one pipeline");

    // No budget at all: every input heads a pipeline of its own, the shared
    // leaf once, and each runs before the pipelines that need it.
    BNPipelineList cut = BNPipeline::orderedPipelinesFromTreeWithRootNode(twice, 0, VKRectNull, 1);
    std::vector<BNRenderNodePtr> heads;
    for (const auto& pipeline : cut) {
        ASSERT_EQ(pipeline->initialNodes().size(), 1u);
        heads.push_back(pipeline->initialNodes()[0]);
    }
    EXPECT_EQ(heads, (std::vector<BNRenderNodePtr>{leaf, left, right, top, twice}));
    expectSoundRun(twice, std::move(cut), "a pipeline per node");

    // The other tag plans the same nodes without disturbing tag 0's records.
    expectSoundRun(twice, BNPipeline::orderedPipelinesFromTreeWithRootNode(twice, 1, VKRectNull, 1),
                   "tag 1");
    EXPECT_EQ(BNPipeline::orderedPipelinesFromTreeWithRootNode(nullptr, 0, VKRectNull, 1).size(),
              0u);
}

TEST(BNPipeline, ConcurrentRunsOfRandomGraphsDispatchEachNodeOnceAfterItsInputs) {
    // Random graphs of every node family share nodes between consumers. Each
    // graph is planned three times with one tag, so every plan must forget
    // the one before.
    lf::LogCapture quiet;
    const VKRect area = VKRectMake(-10, -8, 70, 56);
    for (uint32_t seed = 0; seed < 24; ++seed) {
        RandomGraph graph = makeRandomGraph(seed, 4 + static_cast<int>(seed % 5) * 9, area);
        // In one piece, cut where the budget runs out, and with no budget,
        // where every node with inputs cuts them off.
        const struct {
            VKRect rect;
            const char* name;
        } plans[] = {{VKRectMake(-6, -4, 60, 44), "roomy"},
                     {VKRectMake(0, 0, 0.25, 0.25), "small"},
                     {VKRectNull, "no budget"}};
        for (const auto& plan : plans) {
            BNPipelineList pipelines =
                BNPipeline::orderedPipelinesFromTreeWithRootNode(graph.root, 0, plan.rect, 2.0);
            if (VKRectIsNull(plan.rect)) {
                EXPECT_EQ(pipelines.size() > 1, graphNodes(graph.root).size() > 1);
            }
            expectSoundRun(graph.root, std::move(pipelines),
                           fmt::format("seed {}, {}", seed, plan.name));
            if (HasFatalFailure()) return;
        }
    }
}

TEST(BNRenderNode, DepthsLeavesAndTheHeightTestVisitEachNodeOnce) {
    auto leaf = PatternNode::create(VKRectMake(0, 0, 8, 8), BNChannelMaskRGBA, true);
    auto moved = BNTranslateNode::create(leaf, {1, 0});
    auto top = BNBlendNode::create(leaf, moved, kTarrowBlendNormal, 1.0, 1.0);
    EXPECT_EQ(top->inputNodesSortedByHeight(), (std::vector<BNRenderNodePtr>{moved, leaf}));

    std::vector<BNRenderNodePtr> leaves;
    top->recursivelyMarkWithDepth(0, leaves);
    EXPECT_EQ(leaves, std::vector<BNRenderNodePtr>{leaf});
    EXPECT_EQ(top->depth(), 0u);
    EXPECT_EQ(moved->depth(), 1u);
    EXPECT_EQ(leaf->depth(), 1u);  // met first as the blend's own input

    testing::internal::CaptureStdout();
    top->doHeightTest();
    top->doHeightTest();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "BNBlendNode (PatternNode 1, BNTranslateNode 2)\n"
              "PatternNode ()\n"
              "BNTranslateNode (PatternNode 1)\n");
}
