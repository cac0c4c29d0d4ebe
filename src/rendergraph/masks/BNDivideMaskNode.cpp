#include "rendergraph/masks/BNDivideMaskNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNDivideMaskNode> BNDivideMaskNode::create(BNRenderNodePtr background,
                                                                 BNRenderNodePtr foreground,
                                                                 double fill) {
    if (!BNHasInputs("BNDivideMaskNode", {background.get(), foreground.get()})) return nullptr;
    if (foreground->channels() != BNChannelMaskOpacity) {
        lf::log("BNDivideMaskNode only supports foreground inputs with a planar opacity channel");
        return nullptr;
    }
    BNChannelMask channels = background->channels();
    if (channels != BNChannelMaskOpacity && !BNMaskIsFourChannel(channels)) {
        lf::log("BNDivideMaskNode: unsupported background channels");
        return nullptr;
    }
    return make<BNDivideMaskNode>(std::move(background), std::move(foreground), fill);
}

BNDivideMaskNode::BNDivideMaskNode(CreationKey, BNRenderNodePtr background,
                                   BNRenderNodePtr foreground, double fill)
    : BNRenderNode({std::move(background), std::move(foreground)}), fill_(fill) {}

VKRect BNDivideMaskNode::calculateBounds() const {
    return VKRectUnion(inputNode(0)->bounds(), inputNode(1)->bounds());
}

void BNDivideMaskNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "background", 0);
    updateHashContextWithInput(context, "foreground", 1);
    context.updateValue(fill_);
}

void BNDivideMaskNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                               BNRenderingContext&) const {
    const BNSurface& background = *inputs.at(0);
    BNKernelPlane b(background), f(*inputs.at(1)), o(output);
    auto k = static_cast<float>(fill_);
    if (BNMaskIsFourChannel(background.channels()))
        TarrowDivideMaskRGBA(b.data, f.data, o.data, o.width, o.height, b.stride, f.stride,
                             o.stride, k);
    else if (background.channels() == BNChannelMaskOpacity)
        TarrowDivideMaskPlanar(b.data, f.data, o.data, o.width, o.height, b.stride, f.stride,
                               o.stride, k);
    else
        BNClearSurface(output);
}
