#include "rendergraph/core/BNRenderNode.h"

#include "platform/core/Assert.h"
#include "rendergraph/core/BNPipeline.h"
#include "rendergraph/core/BNRenderNodeGraph.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>

namespace {

// Nodes whose last reference went while another node was being destroyed on
// this thread. The outermost destructor releases them one by one, so freeing
// a deep chain does not recurse once per level.
thread_local std::vector<BNRenderNodePtr>* releasingInputs = nullptr;

}  // namespace

BNRenderNode::BNRenderNode(std::vector<BNRenderNodePtr> inputs)
    : inputs_(std::move(inputs)), height_(1) {
    for (const auto& input : inputs_)
        if (input) height_ = std::max(height_, input->height_ + 1);
}

BNRenderNode::~BNRenderNode() {
    if (releasingInputs) {
        for (auto& input : inputs_)
            if (input) releasingInputs->push_back(std::move(input));
        return;
    }
    std::vector<BNRenderNodePtr> pending;
    releasingInputs = &pending;
    for (auto& input : inputs_)
        if (input) pending.push_back(std::move(input));
    while (!pending.empty()) {
        BNRenderNodePtr next = std::move(pending.back());
        pending.pop_back();
        next.reset();  // a node that dies here queues its own inputs
    }
    releasingInputs = nullptr;
}

void BNRenderNode::registerWithInputs() const {
    auto self = weak_from_this();
    for (const auto& input : inputs_)
        if (input) input->addOutputNode(self);
}

void BNRenderNode::addOutputNode(std::weak_ptr<const BNRenderNode> node) const {
    std::lock_guard lock(mutex_);
    // Drop consumers that are gone, so the list does not grow without bound
    // on an input that many short-lived graphs share.
    std::erase_if(outputs_, [](const auto& weak) { return weak.expired(); });
    outputs_.push_back(std::move(node));
}

std::vector<BNRenderNodePtr> BNRenderNode::outputNodes() const {
    std::lock_guard lock(mutex_);
    std::vector<BNRenderNodePtr> alive;
    for (const auto& weak : outputs_)
        if (auto node = weak.lock()) alive.push_back(std::move(node));
    return alive;
}

VKRect BNRenderNode::bounds() const {
    if (!boundsReady_.load(std::memory_order_acquire)) {
        BNRenderNodeGraph::computeBottomUp(
            this,
            [](const BNRenderNode* node) {
                return node->boundsReady_.load(std::memory_order_acquire);
            },
            [](const BNRenderNode* node) {
                std::call_once(node->boundsOnce_, [node] {
                    node->bounds_ = node->calculateBounds();
                    node->boundsReady_.store(true, std::memory_order_release);
                });
            });
    }
    return bounds_;
}

const BNHashIdentifier& BNRenderNode::hashIdentifier() const {
    if (!hashReady_.load(std::memory_order_acquire)) {
        BNRenderNodeGraph::computeBottomUp(
            this,
            [](const BNRenderNode* node) {
                return node->hashReady_.load(std::memory_order_acquire);
            },
            [](const BNRenderNode* node) {
                std::call_once(node->hashOnce_, [node] {
                    BNHashContext context = BNHashContext::create();
                    node->updateHashContext(context);
                    node->hashIdentifier_ = context.finalize();
                    node->hashReady_.store(true, std::memory_order_release);
                });
            });
    }
    return hashIdentifier_;
}

void BNRenderNode::markForDebugWithName(std::string name) const {
    std::lock_guard lock(mutex_);
    debugName_ = std::move(name);
}

std::string BNRenderNode::debugName() const {
    std::lock_guard lock(mutex_);
    return debugName_;
}

std::string BNRenderNode::debugDescription() const {
    std::string inputs;
    for (size_t i = 0; i < inputs_.size(); ++i)
        inputs += fmt::format("\"{}\" = {}; ", labelForInputNodeAtIndex(i),
                              inputs_[i] ? inputs_[i]->debugDescription() : "(null)");
    return fmt::format("{{ \"name\" = \"{}\"; \"inputNodes\" = {{ {} }}; }}", className(), inputs);
}

std::string BNRenderNode::description() const {
    return fmt::format("<{}: {}>", className(), fmt::ptr(this));
}

void BNRenderNode::doHeightTest() const {
    std::vector<const BNRenderNode*> stack{this};
    while (!stack.empty()) {
        const BNRenderNode* node = stack.back();
        stack.pop_back();
        if (node->activities().didHeightTest.exchange(true)) continue;
        std::string inputs;
        for (const auto& input : node->inputs_)
            if (input)
                inputs += fmt::format("{}{} {}", inputs.empty() ? "" : ", ", input->className(),
                                      input->height_);
        fmt::print(stdout, "{} ({})\n", node->className(), inputs);
        for (auto input = node->inputs_.rbegin(); input != node->inputs_.rend(); ++input)
            if (*input) stack.push_back(input->get());
    }
    std::fflush(stdout);
}

BNNodeActivities& BNRenderNode::activities() const {
    std::call_once(activitiesOnce_, [this] { activities_ = std::make_unique<BNNodeActivities>(); });
    return *activities_;
}

BNNodeActivity& BNRenderNode::activityWithTag(uint64_t tag) const {
    LF_PRECONDITION(tag < 2, "a pipeline tag is 0 or 1");
    return activities().byTag[tag];
}

std::string BNRenderNode::labelForInputNodeAtIndex(size_t index) const {
    return fmt::format("input{}", index);
}

VKRect BNRenderNode::calculateBounds() const {
    return VKRectInfinite;
}

float BNRenderNode::backgroundValueForChannel(BNChannel) const {
    return 0.0f;
}

void BNRenderNode::updateHashContext(BNHashContext& context) const {
    context.updateString(className());
}

BNChannelMask BNRenderNode::channels() const {
    return BNChannelMaskRGBA;
}

VKRect BNRenderNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect, double) const {
    return rect;
}

double BNRenderNode::scaleFactorMultiplierForInputNodeAtIndex(size_t) const {
    return 1.0;
}

void BNRenderNode::renderWithOutputSurface(BNSurface&, const BNSurfaceList&,
                                           BNRenderingContext&) const {}

BNSurfacePtr BNRenderNode::preparedOutputSurface(VKRect rect, double scaleFactor,
                                                 const BNSurfaceList& inputs,
                                                 BNRenderingContext& context) const {
    BNSurfacePtr output = context.surfaceWithRect(rect, scaleFactor, channels());
    if (output) renderWithOutputSurface(*output, inputs, context);
    return output;
}

BNRenderNodePtr BNRenderNode::substituteNodeForRect(VKRect, double) const {
    return nullptr;
}

bool BNRenderNode::supportsScaleFactor() const {
    return false;
}

void BNRenderNode::updateHashContextWithInput(BNHashContext& context, const char* label,
                                              size_t index) const {
    context.updateString(label);
    const BNRenderNode* input = index < inputs_.size() ? inputs_[index].get() : nullptr;
    context.updateIdentifier(input ? input->hashIdentifier() : BNHashIdentifier{});
}
