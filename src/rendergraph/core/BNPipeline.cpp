#include "rendergraph/core/BNPipeline.h"

#include "platform/core/Assert.h"
#include "platform/core/Log.h"

BNPipeline::BNPipeline(uint64_t tag) : tag_(tag) {
    LF_PRECONDITION(tag < 2, "a pipeline tag is 0 or 1");
}

void BNPipeline::prepareWithInitialNodes(std::vector<BNRenderNodePtr> initialNodes,
                                         uint64_t totalCount, BNRenderNodePtr head) {
    head_ = std::move(head);
    initialNodes_ = std::move(initialNodes);
    remainingNodeCount_.store(static_cast<int64_t>(totalCount), std::memory_order_relaxed);
}

void BNPipeline::dispatchToQueue(std::shared_ptr<lf::DispatchQueue> queue,
                                 std::function<void()> completionHandler) {
    LF_PRECONDITION(queue && !queue_, "a pipeline runs once, on a queue");
    queue_ = queue;
    completionHandler_ = std::move(completionHandler);
    if (remainingNodeCount_.load(std::memory_order_relaxed) == 0) {
        complete();
        return;
    }
    // The nodes may finish the pipeline before this loop ends, and finishing
    // lets go of queue_: dispatch through the caller's reference.
    for (const BNRenderNodePtr& node : initialNodes_)
        node->dispatchToQueue(queue, tag_);
}

void BNPipeline::dispatchNode(const BNRenderNode& node) {
    // Every read of queue_ comes before the reading node's didFinishNode,
    // so queue_ is still set here.
    if (queue_) node.dispatchToQueue(queue_, tag_);
}

void BNPipeline::didFinishNode() {
    if (remainingNodeCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) complete();
}

void BNPipeline::complete() {
    // Nothing reads the queue or the handler any more. Moving the handler
    // out also breaks the cycle through processNext's list of pipelines.
    std::shared_ptr<lf::DispatchQueue> queue = std::move(queue_);
    std::function<void()> handler = std::move(completionHandler_);
    if (handler) queue->async(std::move(handler));
}

uint64_t BNPipeline::memoryBudget(VKRect rect, double scaleFactor) {
    const double budget = rect.size.width * rect.size.height * scaleFactor * 4.0 * 32.0;
    if (!(budget > 0)) return 0;                              // empty, negative or NaN
    if (budget >= 18446744073709551616.0) return UINT64_MAX;  // 2^64: would not convert
    return static_cast<uint64_t>(budget);
}

BNPipelineList BNPipeline::orderedPipelinesFromTreeWithRootNode(const BNRenderNodePtr& root,
                                                                uint64_t tag, VKRect rect,
                                                                double scaleFactor) {
    LF_PRECONDITION(tag < 2, "a pipeline tag is 0 or 1");
    BNPipelineList pipelines;
    if (root)
        root->generatePipelines(pipelines, memoryBudget(rect, scaleFactor), tag, rect, scaleFactor);
    return pipelines;
}

void BNPipeline::processOrderedPipelines(BNPipelineList pipelines,
                                         std::shared_ptr<lf::DispatchQueue> queue,
                                         std::function<void()> completionHandler) {
    lf::log("processOrderedPipelines: {}", pipelines.size());
    processNext(0, std::make_shared<const BNPipelineList>(std::move(pipelines)), std::move(queue),
                std::move(completionHandler));
}

void BNPipeline::processNext(size_t index, std::shared_ptr<const BNPipelineList> pipelines,
                             std::shared_ptr<lf::DispatchQueue> queue,
                             std::function<void()> completionHandler) {
    if (index >= pipelines->size()) {
        queue->async([handler = std::move(completionHandler)] {
            lf::log("done processing pipelines");
            if (handler) handler();
        });
        return;
    }
    // The next pipeline starts from this one's completion, which runs once
    // every node of this one has finished.
    const std::shared_ptr<BNPipeline>& pipeline = (*pipelines)[index];
    pipeline->dispatchToQueue(queue, [index, pipelines, queue, completionHandler] {
        processNext(index + 1, pipelines, queue, completionHandler);
    });
}
