#pragma once
// BNRenderer: renders a node over a rectangle in points at a scale factor
// into one surface, synchronously on the calling thread.
//
// A call first enters every distinct (identity, scale) reachable from the
// root as one request, merging the rectangles its consumers need; then it
// orders the requests depth first, tallest input first, so that inputs come
// before consumers and few intermediate results are alive at once; then it
// renders each request once with a fresh rendering context, releasing each
// intermediate surface as soon as its last consumer has rendered. A node
// that does not support the call's scale renders at scale 1 behind a
// BNSimpleScaleNode. Nothing in a call recurses, so graphs thousands of
// nodes deep render on small worker stacks.
//
// A renderer runs one call at a time; several renderers may render the same
// nodes on several threads at once.

#include "rendergraph/core/BNColorProfile.h"
#include "rendergraph/core/BNRenderNode.h"

#include <memory>

class BNRenderer {
public:
    BNRenderer();

    // The root's surface over `rect`, or null when the root could not be
    // rendered (a failure is logged; the call never throws).
    BNSurfacePtr renderNode(const BNRenderNodePtr& node, VKRect rect, double scaleFactor);

    const std::shared_ptr<const BNColorProfile>& colorProfile() const { return colorProfile_; }
    void setColorProfile(std::shared_ptr<const BNColorProfile> profile) {
        colorProfile_ = std::move(profile);
    }

private:
    std::shared_ptr<const BNColorProfile> colorProfile_;
};
