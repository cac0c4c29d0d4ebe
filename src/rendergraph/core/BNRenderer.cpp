#include "rendergraph/core/BNRenderer.h"

#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderRequest.h"
#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/core/BNSimpleScaleNode.h"

#include <cstring>
#include <unordered_map>

namespace {

using RequestMap = std::unordered_map<BNRenderRequestKey, std::unique_ptr<BNRenderRequest>>;

// What renders a request for `node` over `rect` at `scale`: the node's
// substitute for the rectangle (or the node), and whether it must render at
// scale 1 behind a scale node because it cannot render at `scale`.
struct RenderChoice {
    BNRenderNodePtr node;
    bool pixelDoubled;

    const char* className() const { return pixelDoubled ? "BNSimpleScaleNode" : node->className(); }
};

RenderChoice chooseRenderNode(const BNRenderNodePtr& node, VKRect rect, double scale) {
    BNRenderNodePtr chosen = node->substituteNodeForRect(rect, scale);
    if (!chosen) chosen = node;
    return {chosen, scale != 1.0 && !chosen->supportsScaleFactor()};
}

BNRenderNodePtr makeRenderNode(const RenderChoice& choice, double scale) {
    if (!choice.pixelDoubled) return choice.node;
    if (std::strcmp(choice.node->className(), "BNImageNode") != 0)
        lf::log("Pixel-double: {}", choice.node->className());
    return BNSimpleScaleNode::create(choice.node, scale);
}

// Enters the graph below `root` into `requests`; returns the root's request.
//
// Where a request is asked for a rectangle its bounds do not hold yet, its
// bounds grow to the union and its inputs are asked again for the regions
// of interest of the merged bounds, which is what the request will render:
// every input then covers what its consumer reads.
BNRenderRequest* enterGraph(const BNRenderNodePtr& root, VKRect rect, double scale,
                            RequestMap& requests) {
    struct Visit {
        BNRenderNodePtr node;
        VKRect rect;
        double scale;
        BNRenderRequest* consumer;
    };
    std::vector<Visit> pending{{root, rect, scale, nullptr}};
    BNRenderRequest* rootRequest = nullptr;
    while (!pending.empty()) {
        Visit visit = std::move(pending.back());
        pending.pop_back();
        BNRenderRequestKey key{visit.node->hashIdentifier(), visit.scale};
        RenderChoice choice = chooseRenderNode(visit.node, visit.rect, visit.scale);
        std::string debugName = choice.node->debugName();

        BNRenderRequest* request;
        auto found = requests.find(key);
        if (found == requests.end()) {
            auto made = std::make_unique<BNRenderRequest>(makeRenderNode(choice, visit.scale),
                                                          visit.rect, key);
            request = made.get();
            requests.emplace(key, std::move(made));
        } else {
            // Two different kinds of node with one identity would be a fault
            // of a node's identity; the first one renders.
            request = found->second.get();
            if (std::strcmp(request->node()->className(), choice.className()) != 0)
                lf::log("***** Some serious issues: {}, {}", request->node()->className(),
                        choice.className());
        }
        if (!debugName.empty()) request->addDebugName(debugName);
        if (visit.consumer) {
            request->addOutput(visit.consumer);
            visit.consumer->addInput(request);
        }
        if (!rootRequest) rootRequest = request;
        if (found != requests.end()) {
            if (VKRectContainsRect(request->bounds(), visit.rect)) continue;
            request->unionBoundsWithRect(visit.rect);
        }

        // Inputs in reverse, so that they are entered in input order.
        const BNRenderNode& node = *request->node();
        for (size_t index = node.inputNodes().size(); index-- > 0;) {
            const BNRenderNodePtr& input = node.inputNodes()[index];
            if (!input) continue;
            VKRect region =
                node.regionOfInterestForInputNodeAtIndex(index, request->bounds(), visit.scale);
            if (VKRectIsEmpty(region)) continue;
            pending.push_back({input, region,
                               visit.scale * node.scaleFactorMultiplierForInputNodeAtIndex(index),
                               request});
        }
    }
    return rootRequest;
}

// The render order: depth first with an explicit stack, each request's
// inputs taken tallest first, each request placed once, after its inputs.
std::vector<BNRenderRequest*> gatherRenderRequests(BNRenderRequest* root) {
    struct StackEntry {
        BNRenderRequest* request;
        std::vector<BNRenderRequest*> remaining;  // ascending height, consumed from the end
    };
    std::vector<BNRenderRequest*> order;
    std::vector<StackEntry> stack;
    stack.push_back({root, root->inputRequestsSortedByHeight()});
    while (!stack.empty()) {
        StackEntry& top = stack.back();
        if (top.request->isInQueue()) {
            stack.pop_back();
        } else if (!top.remaining.empty()) {
            BNRenderRequest* next = top.remaining.back();
            top.remaining.pop_back();
            stack.push_back({next, next->inputRequestsSortedByHeight()});
        } else {
            order.push_back(top.request);
            top.request->setIsInQueue(true);
            stack.pop_back();
        }
    }
    return order;
}

}  // namespace

BNRenderer::BNRenderer() = default;

BNSurfacePtr BNRenderer::renderNode(const BNRenderNodePtr& node, VKRect rect, double scaleFactor) {
    if (!node) return nullptr;
    RequestMap requests;
    BNRenderRequest* root = enterGraph(node, rect, scaleFactor, requests);
    std::vector<BNRenderRequest*> order = gatherRenderRequests(root);

    auto context = BNRenderingContext::create();
    context->setColorProfile(colorProfile_);
    for (BNRenderRequest* request : order)
        request->renderWithContext(*context);

    BNSurfacePtr result = root->surface();
    for (BNRenderRequest* request : order) {
        request->invalidate();
        request->setSurface(nullptr);
    }
    context->reclaimUnusedMemory();
    return result;
}
