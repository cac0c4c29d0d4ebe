#include "rendergraph/gradients/BNDistanceTransformNode.h"

#include "platform/core/Log.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/gradients/BNDistance.h"
#include "rendergraph/gradients/BNDistanceWorkspace.h"

#include <cmath>
#include <cstring>

std::shared_ptr<const BNDistanceTransformNode> BNDistanceTransformNode::create(
    BNRenderNodePtr input, VKStrokePosition position, double width, BNDistanceTechnique technique) {
    // Exactly one channel: an input without channels (or without a node)
    // has no coverage to measure.
    if (!input || BNSamplesPerPixel(input->channels()) != 1) {
        lf::log("BNDistanceTransformNode only supports inputs with 1 channel.");
        return nullptr;
    }
    return make<BNDistanceTransformNode>(std::move(input), position, width, technique);
}

BNDistanceTransformNode::BNDistanceTransformNode(CreationKey, BNRenderNodePtr input,
                                                 VKStrokePosition position, double width,
                                                 BNDistanceTechnique technique)
    : BNRenderNode({std::move(input)}),
      position_(position),
      width_(BNUsableStrokeWidth(width)),
      technique_(technique) {}

VKRect BNDistanceTransformNode::calculateBounds() const {
    VKRect bounds = inputNode(0) ? inputNode(0)->bounds() : VKRectZero;
    if (position_ == VKStrokePositionInside) return bounds;
    return VKRectInset(bounds, -(width_ + 2.0), -(width_ + 2.0));
}

VKRect BNDistanceTransformNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect,
                                                                    double) const {
    const double grow = std::ceil(width_) + 2.0;
    return VKRectInset(rect, -grow, -grow);
}

void BNDistanceTransformNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(static_cast<int32_t>(position_));
    context.updateValue(width_);
    context.updateValue(static_cast<int32_t>(technique_));
}

void BNDistanceTransformNode::renderWithOutputSurface(BNSurface& output,
                                                      const BNSurfaceList& inputs,
                                                      BNRenderingContext& context) const {
    const double w = width_ * output.scaleFactor();
    BNDistanceWorkspace workspace(*inputs.at(0), output, context, w);
    if (!workspace.isValid()) {
        lf::log("BNDistanceTransformNode: no input margin or memory for the distance field");
        BNClearSurface(output);
        return;
    }
    workspace.computeForPosition(position_, technique_, nullptr);
    for (uint64_t y = 0; y < output.heightInPixels(); ++y)
        std::memcpy(output.row(y), workspace.fieldAtOutputPixel(0, y),
                    output.widthInPixels() * sizeof(float));
}
