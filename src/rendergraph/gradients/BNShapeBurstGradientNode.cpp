#include "rendergraph/gradients/BNShapeBurstGradientNode.h"

#include "kernels/LookupKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/gradients/BNDistance.h"
#include "rendergraph/gradients/BNDistanceWorkspace.h"
#include "rendergraph/gradients/BNGradientRendering.h"

#include <cmath>

std::shared_ptr<const BNShapeBurstGradientNode> BNShapeBurstGradientNode::create(
    BNRenderNodePtr input, VKStrokePosition position, double width,
    std::shared_ptr<const BNGradientProvider> provider) {
    if (!input || input->channels() != BNChannelMaskOpacity) {
        lf::log("BNShapeBurstGradientNode only supports inputs with planar opacity channels.");
        return nullptr;
    }
    if (!provider) {
        lf::log("BNShapeBurstGradientNode: no gradient provider");
        return nullptr;
    }
    return make<BNShapeBurstGradientNode>(std::move(input), position, width, std::move(provider));
}

BNShapeBurstGradientNode::BNShapeBurstGradientNode(
    CreationKey, BNRenderNodePtr input, VKStrokePosition position, double width,
    std::shared_ptr<const BNGradientProvider> provider)
    : BNRenderNode({std::move(input)}),
      position_(position),
      width_(BNUsableStrokeWidth(width)),
      provider_(std::move(provider)) {}

VKRect BNShapeBurstGradientNode::calculateBounds() const {
    VKRect bounds = inputNode(0) ? inputNode(0)->bounds() : VKRectZero;
    if (position_ == VKStrokePositionInside) return bounds;
    return VKRectInset(bounds, -(width_ + 2.0), -(width_ + 2.0));
}

VKRect BNShapeBurstGradientNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect,
                                                                     double) const {
    const double grow = std::ceil(width_) + 2.0;
    return VKRectInset(rect, -grow, -grow);
}

void BNShapeBurstGradientNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(static_cast<int32_t>(position_));
    context.updateValue(width_);
    context.updateAddress(provider_.get());
}

void BNShapeBurstGradientNode::renderWithOutputSurface(BNSurface& output,
                                                       const BNSurfaceList& inputs,
                                                       BNRenderingContext& context) const {
    BNGradientTable table(context, *provider_, true);
    BNDistanceWorkspace workspace(*inputs.at(0), output, context, width_);
    if (!table.isValid() || !workspace.isValid()) {
        lf::log("BNShapeBurstGradientNode: no input margin or memory for the distance field");
        BNClearSurface(output);
        return;
    }
    workspace.computeForPosition(position_, BNDistanceTechniqueEdgeAnchored, nullptr);
    if (position_ == VKStrokePositionOutside) table.reverse();
    BNKernelPlane out(output);
    TarrowLookupPlanar(workspace.fieldAtOutputPixel(0, 0), out.data, table.data(), out.width,
                       out.height, static_cast<uint32_t>(workspace.fieldStride() * sizeof(float)),
                       out.stride, BNGradientTable::kEntryCount);
}
