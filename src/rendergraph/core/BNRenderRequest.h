#pragma once
// One evaluation within a render call: the node to render for one distinct
// (identity, scale) key, the union of the rectangles its consumers need,
// its input requests and its consumers, and its surface while a consumer
// still needs it. Requests are made and owned by BNRenderer for one call and
// used on that call's thread only.

#include "rendergraph/core/BNHashIdentifier.h"
#include "rendergraph/core/BNRenderNode.h"

#include <set>
#include <string>
#include <unordered_map>
#include <vector>

struct BNRenderRequestKey {
    BNHashIdentifier hashIdentifier;
    double scaleFactor = 1.0;

    friend bool operator==(const BNRenderRequestKey& a, const BNRenderRequestKey& b) {
        return a.hashIdentifier == b.hashIdentifier && a.scaleFactor == b.scaleFactor;
    }
    // h = rotl(h, 8) ^ byte over the 20 identifier bytes, then the 8 bytes of
    // the scale factor as they lie in memory.
    uint64_t hash() const;
    // "<hex digits>@<scale>x"
    std::string description() const;
};

template <>
struct std::hash<BNRenderRequestKey> {
    size_t operator()(const BNRenderRequestKey& key) const { return key.hash(); }
};

class BNRenderRequest {
public:
    BNRenderRequest(BNRenderNodePtr node, VKRect bounds, BNRenderRequestKey key);

    const BNRenderRequestKey& key() const { return key_; }
    const BNRenderNodePtr& node() const { return node_; }
    VKRect bounds() const { return bounds_; }
    double scaleFactor() const { return key_.scaleFactor; }

    void unionBoundsWithRect(VKRect rect) { bounds_ = VKRectUnion(bounds_, rect); }

    // Stores an input request under its key (once per distinct key).
    void addInput(BNRenderRequest* input);
    BNRenderRequest* inputForKey(const BNRenderRequestKey& key) const;
    // The input requests, ordered by their nodes' heights, ascending; equal
    // heights keep the order in which the inputs were added.
    std::vector<BNRenderRequest*> inputRequestsSortedByHeight() const;
    const std::vector<BNRenderRequest*>& inputRequests() const { return inputOrder_; }

    // Consumers: a request that needs this one's surface.
    void addOutput(BNRenderRequest* consumer);
    // One consumer is done; the last one drops the surface.
    void removeOutput(BNRenderRequest* consumer);
    size_t outputCount() const { return outputCount_; }

    const BNSurfacePtr& surface() const { return surface_; }
    void setSurface(BNSurfacePtr surface) { surface_ = std::move(surface); }

    bool isInQueue() const { return isInQueue_; }
    void setIsInQueue(bool inQueue) { isInQueue_ = inQueue; }

    void addDebugName(const std::string& name) { debugNames_.insert(name); }
    const std::set<std::string>& debugNames() const { return debugNames_; }

    // Renders the node over the merged bounds from the input surfaces.
    void renderWithContext(BNRenderingContext& context);

    // Breaks the links between requests at the end of the call.
    void invalidate();

    // "<node address> <request address> <bounds>"
    std::string description() const;

private:
    BNRenderRequestKey key_;
    BNRenderNodePtr node_;
    VKRect bounds_;
    std::unordered_map<BNRenderRequestKey, BNRenderRequest*> inputs_;
    std::vector<BNRenderRequest*> inputOrder_;
    std::set<BNRenderRequest*> outputs_;
    size_t outputCount_ = 0;
    BNSurfacePtr surface_;
    bool isInQueue_ = false;
    std::set<std::string> debugNames_;
};
