#include "rendergraph/gradients/BNBitmapStrokeNode.h"

#include "platform/core/Log.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/gradients/BNDistance.h"
#include "rendergraph/gradients/BNDistanceWorkspace.h"

#include <cmath>

std::shared_ptr<const BNBitmapStrokeNode> BNBitmapStrokeNode::create(BNRenderNodePtr input,
                                                                     VKStrokePosition position,
                                                                     double width) {
    if (!input || input->channels() != BNChannelMaskOpacity) {
        lf::log("BNBitmapStrokeNode only supports planar opacity inputs");
        return nullptr;
    }
    return make<BNBitmapStrokeNode>(std::move(input), position, width);
}

BNBitmapStrokeNode::BNBitmapStrokeNode(CreationKey, BNRenderNodePtr input,
                                       VKStrokePosition position, double width)
    : BNRenderNode({std::move(input)}), position_(position), width_(BNUsableStrokeWidth(width)) {}

VKRect BNBitmapStrokeNode::calculateBounds() const {
    VKRect bounds = inputNode(0) ? inputNode(0)->bounds() : VKRectZero;
    if (position_ == VKStrokePositionInside) return bounds;
    const double grow = std::ceil(width_ + 2.0);
    return VKRectInset(bounds, -grow, -grow);
}

VKRect BNBitmapStrokeNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect,
                                                               double scaleFactor) const {
    const double grow =
        scaleFactor >= 1.0 ? std::ceil(width_ + 2.0) : std::ceil((width_ + 2.0) / scaleFactor);
    return VKRectInset(rect, -grow, -grow);
}

void BNBitmapStrokeNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(static_cast<int32_t>(position_));
    context.updateValue(width_);
}

void BNBitmapStrokeNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                 BNRenderingContext& context) const {
    const double w = width_ * output.scaleFactor();
    BNDistanceWorkspace workspace(*inputs.at(0), output, context, w);
    if (!workspace.isValid()) {
        lf::log("BNBitmapStrokeNode: no input margin or memory for the distance field");
        BNClearSurface(output);
        return;
    }
    workspace.computeForPosition(position_, BNDistanceTechniqueEdgeAnchored, &output);
}
