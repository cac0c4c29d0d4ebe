#pragma once
// BNPipeline: a second, concurrent way of walking a node graph, kept beside
// the renderer (BNRenderer), which does not use it.
//
// The graph below a root is cut into pipelines whose estimated memory stays
// under a budget (orderedPipelinesFromTreeWithRootNode); the pipelines run one after
// another on a concurrent queue (processOrderedPipelines), and inside a
// pipeline every node is dispatched as soon as all of its inputs in that
// pipeline have finished. Every node is dispatched exactly once, after all
// of its inputs; a pipeline reports its completion once, after its last
// node has finished. A dispatched node renders nothing: it logs what it
// would render ("Render with <rect> <scale>", "Self: ...", "Outputs: ...")
// and tells its inputs and consumers that it is done.
//
// Bookkeeping. Each node keeps one activity record per tag (0 or 1), so two
// schedules may share nodes when their tags differ. Planning resets and then
// fills the records of every node below the root: the rectangle and scale
// asked of the node, its pipeline, the number of its inputs in its own
// pipeline that have not finished (missing inputs) and the number of
// consumers in the schedule that have not finished (output dependencies).
// Both counts are set before anything is dispatched.
//
// Threading. Plan on one thread; while a schedule of a tag is planned or
// running, no other schedule of the same tag may include any of its nodes.
// The completion handlers run on the queue; read a node's outputWithTag
// only once its schedule has completed.

#include "geometry/VKGeometry.h"
#include "platform/dispatch/DispatchQueue.h"
#include "rendergraph/core/BNRenderNode.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class BNPipeline;
using BNPipelineList = std::vector<std::shared_ptr<BNPipeline>>;

// What a node knows of the schedule of one tag.
struct BNNodeActivity {
    std::weak_ptr<BNPipeline> pipeline;
    std::atomic<int64_t> missingInputCount{0};
    std::atomic<int64_t> outputDependencyCount{0};
    VKRect rect = VKRectNull;  // the union of what its consumers ask of it
    double scaleFactor = 0;    // 0 until a consumer asks
    BNSurfacePtr output;       // released when the last consumer is done
};

// The per-node bookkeeping of the pipelines and of the debugging walks.
struct BNNodeActivities {
    std::array<BNNodeActivity, 2> byTag;
    std::atomic<bool> hasDepth{false};
    std::atomic<uint64_t> depth{0};
    std::atomic<bool> didHeightTest{false};
};

class BNPipeline {
public:
    explicit BNPipeline(uint64_t tag);
    BNPipeline(const BNPipeline&) = delete;
    BNPipeline& operator=(const BNPipeline&) = delete;

    uint64_t tag() const { return tag_; }
    // The nodes that can start at once.
    const std::vector<BNRenderNodePtr>& initialNodes() const { return initialNodes_; }

    // `initialNodes` can start at once; `totalCount` nodes in all. `head` is
    // the node whose part of the graph this pipeline is: every node of the
    // pipeline lies below it, so keeping it keeps them all.
    void prepareWithInitialNodes(std::vector<BNRenderNodePtr> initialNodes, uint64_t totalCount,
                                 BNRenderNodePtr head);
    // Dispatches the initial nodes to `queue`; `completionHandler` runs on
    // the queue once every node has finished. Once per pipeline.
    void dispatchToQueue(std::shared_ptr<lf::DispatchQueue> queue,
                         std::function<void()> completionHandler);
    // Dispatches a node whose inputs in this pipeline have all finished.
    void dispatchNode(const BNRenderNode& node);
    // Called by each node of the pipeline when its work is done.
    void didFinishNode();

    // The pipelines of the graph below `root` for `rect` at `scaleFactor`,
    // in the order they must run: a pipeline's nodes need only nodes of
    // itself and of the pipelines before it. The budget is the memory of
    // the rectangle's pixels, width x height x scale x 4 x 32.
    static BNPipelineList orderedPipelinesFromTreeWithRootNode(const BNRenderNodePtr& root,
                                                               uint64_t tag, VKRect rect,
                                                               double scaleFactor);
    // Runs the pipelines one after another on `queue`, then logs "done
    // processing pipelines" and calls `completionHandler` on the queue.
    static void processOrderedPipelines(BNPipelineList pipelines,
                                        std::shared_ptr<lf::DispatchQueue> queue,
                                        std::function<void()> completionHandler);

    // The budget of orderedPipelinesFromTreeWithRootNode: 0 for an empty
    // rectangle, the largest value for one too large to count.
    static uint64_t memoryBudget(VKRect rect, double scaleFactor);

private:
    void complete();
    static void processNext(size_t index, std::shared_ptr<const BNPipelineList> pipelines,
                            std::shared_ptr<lf::DispatchQueue> queue,
                            std::function<void()> completionHandler);

    const uint64_t tag_;
    BNRenderNodePtr head_;
    std::vector<BNRenderNodePtr> initialNodes_;
    std::atomic<int64_t> remainingNodeCount_{0};
    std::function<void()> completionHandler_;
    std::shared_ptr<lf::DispatchQueue> queue_;  // kept while the pipeline runs
};
