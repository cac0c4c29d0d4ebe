#include "rendergraph/geometry/BNTranslateNode.h"

#include <cmath>

std::shared_ptr<const BNTranslateNode> BNTranslateNode::create(BNRenderNodePtr input,
                                                               VKPoint offset) {
    return make<BNTranslateNode>(std::move(input), offset);
}

BNTranslateNode::BNTranslateNode(CreationKey, BNRenderNodePtr input, VKPoint offset)
    : BNRenderNode({std::move(input)}), offset_{std::round(offset.x), std::round(offset.y)} {}

BNChannelMask BNTranslateNode::channels() const {
    return inputNode(0) ? inputNode(0)->channels() : BNRenderNode::channels();
}

VKRect BNTranslateNode::calculateBounds() const {
    VKRect bounds = inputNode(0) ? inputNode(0)->bounds() : VKRectZero;
    if (VKRectIsInfinite(bounds) || VKRectIsNull(bounds)) return bounds;
    bounds.origin = bounds.origin - offset_;
    return bounds;
}

VKRect BNTranslateNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect, double) const {
    rect.origin = rect.origin + offset_;
    return rect;
}

void BNTranslateNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(offset_);
}

BNSurfacePtr BNTranslateNode::preparedOutputSurface(VKRect rect, double scaleFactor,
                                                    const BNSurfaceList& inputs,
                                                    BNRenderingContext&) const {
    const BNSurfacePtr& input = inputs.at(0);
    // Counted as a view of the input, so that nothing draws into the input
    // in place while this output shows its pixels.
    input->incrementSubsurfaceCount();
    return std::make_shared<BNSurface>(rect, scaleFactor, input->channels(), input->data(),
                                       input->bytesPerRow(),
                                       [input](float*) { input->decrementSubsurfaceCount(); });
}
