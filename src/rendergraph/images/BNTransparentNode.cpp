#include "rendergraph/images/BNTransparentNode.h"

#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNTransparentNode> BNTransparentNode::create(VKRect bounds,
                                                                   BNChannelMask channels) {
    return make<BNTransparentNode>(bounds, channels);
}

BNTransparentNode::BNTransparentNode(CreationKey, VKRect bounds, BNChannelMask channels)
    : BNRenderNode({}), bounds_(bounds), channels_(channels) {}

void BNTransparentNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateValue(channels_);
}

void BNTransparentNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                                BNRenderingContext&) const {
    BNClearSurface(output);
}
