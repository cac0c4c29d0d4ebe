#pragma once
// ReferenceRenderer: the plain way to render a node graph, against which the
// real renderer (BNRenderer) is checked byte for byte.
//
// It recurses from the root and renders every input afresh for exactly the
// region its consumer asks, at the consumer's scale times the multiplier:
// no requests are shared or merged, no surface is cut from another, nothing
// comes from a pool (every output starts zero-filled on the heap), nothing
// is blended in place. A node that does not support the scale renders at
// scale 1 and its pixels are replicated here, without a scale node.
//
// Each node is evaluated through its own hooks (substitute, regions of
// interest, scale multipliers, renderWithOutputSurface) unless its family
// has an evaluator of its own below: families whose rendering the renderer
// takes part in (zero-copy views, in-place blending) are computed here
// independently, so that a fault in the renderer or in those roads shows
// up as a difference; so are families whose pixels must not depend on the
// rectangle asked of them (gradients, distance fields:
// DistanceGradientReference.h). To add a node family, add nothing when its render
// hook is all there is, or one evaluator function and one table entry.
//
// One object per thread; any number may render the same graph at once.

#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <memory>
#include <string>

namespace rendergraph_test {

class ReferenceRenderer {
public:
    ReferenceRenderer();

    // The node's pixels over `rect` at `scaleFactor`; null when a node
    // cannot be evaluated (logged).
    BNSurfacePtr render(const BNRenderNodePtr& node, VKRect rect, double scaleFactor);

    // The context handed to nodes for their settings (anti-aliasing grid,
    // colour profile); its pool is not used for outputs.
    BNRenderingContext& context() { return *context_; }

private:
    BNSurfacePtr renderAtScale(const BNRenderNode& node, VKRect rect, double scaleFactor);

    std::shared_ptr<BNRenderingContext> context_;
};

// A new heap surface with every byte zero, padding included.
BNSurfacePtr zeroSurface(VKRect rect, double scaleFactor, BNChannelMask channels);

// Whether two surfaces have the same rectangle, scale, channels and pixel
// bytes (padding aside); otherwise `difference` tells the first difference.
bool sameSurfaces(const BNSurface& a, const BNSurface& b, std::string* difference);

}  // namespace rendergraph_test
