#include "rendergraph/blend/BNRestrictedBlendingNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNRestrictedBlendingNode> BNRestrictedBlendingNode::create(
    BNRenderNodePtr foreground, BNRenderNodePtr background, BNChannelMask backgroundChannels) {
    if (!BNHasInputs("BNRestrictedBlendingNode", {foreground.get(), background.get()}))
        return nullptr;
    return make<BNRestrictedBlendingNode>(std::move(foreground), std::move(background),
                                          backgroundChannels);
}

BNRestrictedBlendingNode::BNRestrictedBlendingNode(CreationKey, BNRenderNodePtr foreground,
                                                   BNRenderNodePtr background,
                                                   BNChannelMask backgroundChannels)
    : BNRenderNode({std::move(foreground), std::move(background)}),
      backgroundChannels_(backgroundChannels) {}

void BNRestrictedBlendingNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "foreground", 0);
    updateHashContextWithInput(context, "background", 1);
    context.updateValue(backgroundChannels_);
}

void BNRestrictedBlendingNode::renderWithOutputSurface(BNSurface& output,
                                                       const BNSurfaceList& inputs,
                                                       BNRenderingContext&) const {
    const BNSurface& foreground = *inputs.at(0);
    const BNSurface& background = *inputs.at(1);
    if (!BNMaskIsFourChannel(foreground.channels()) ||
        !BNMaskIsFourChannel(background.channels())) {
        lf::log("BNRestrictedBlendingNode: unsupported channels 0x{:x} and 0x{:x}",
                foreground.channels(), background.channels());
        BNCopySurface(foreground, output);
        return;
    }
    // Channels by position: bit 8 stands for the fourth sample.
    uint32_t fromForeground = ~static_cast<uint32_t>(backgroundChannels_) & 15u;
    BNKernelPlane b(background), f(foreground), o(output);
    TarrowRestrictChannelsRGBA(b.data, f.data, o.data, o.width, o.height, b.stride, f.stride,
                               o.stride, fromForeground);
}
