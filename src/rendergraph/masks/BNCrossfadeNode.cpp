#include "rendergraph/masks/BNCrossfadeNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNCrossfadeNode> BNCrossfadeNode::create(BNRenderNodePtr background,
                                                               BNRenderNodePtr foreground,
                                                               double blend) {
    if (!background || !foreground) return nullptr;
    BNChannelMask channels = background->channels();
    if (channels != foreground->channels()) {
        lf::log("Channels don't match up: 0x{:x}, 0x{:x}", channels, foreground->channels());
        return nullptr;
    }
    if (channels != BNChannelMaskRGBA && channels != BNChannelMaskRGBF &&
        channels != BNChannelMaskOpacity) {
        lf::log("BNCrossfadeNode does not currently support channels other than RGBA");
        return nullptr;
    }
    return make<BNCrossfadeNode>(std::move(background), std::move(foreground), blend);
}

BNCrossfadeNode::BNCrossfadeNode(CreationKey, BNRenderNodePtr background,
                                 BNRenderNodePtr foreground, double blend)
    : BNRenderNode({std::move(background), std::move(foreground)}),
      blend_(blend),
      channels_(inputNode(0)->channels()) {}

VKRect BNCrossfadeNode::calculateBounds() const {
    return VKRectUnion(inputNode(0)->bounds(), inputNode(1)->bounds());
}

void BNCrossfadeNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "background", 0);
    updateHashContextWithInput(context, "foreground", 1);
    context.updateValue(blend_);
}

void BNCrossfadeNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                              BNRenderingContext&) const {
    const BNSurface& background = *inputs.at(0);
    BNKernelPlane b(background), f(*inputs.at(1)), o(output);
    auto t = static_cast<float>(blend_);
    if (BNMaskIsFourChannel(background.channels()))
        TarrowCrossfadeRGBA(b.data, f.data, o.data, o.width, o.height, b.stride, f.stride, o.stride,
                            t);
    else if (background.channels() == BNChannelMaskOpacity)
        TarrowCrossfadePlanar(b.data, f.data, o.data, o.width, o.height, b.stride, f.stride,
                              o.stride, t);
    else
        BNClearSurface(output);
}
