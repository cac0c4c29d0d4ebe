#include "rendergraph/blend/BNInvertAlphaNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/core/BNSurfaceRegion.h"

std::shared_ptr<const BNInvertAlphaNode> BNInvertAlphaNode::create(BNRenderNodePtr input) {
    if (!BNHasInputs("BNInvertAlphaNode", {input.get()})) return nullptr;
    if (input->channels() != BNChannelMaskOpacity) {
        lf::log("BNInvertAlphaNode only supports inputs with planar opacity channels.");
        return nullptr;
    }
    return make<BNInvertAlphaNode>(std::move(input));
}

BNInvertAlphaNode::BNInvertAlphaNode(CreationKey, BNRenderNodePtr input)
    : BNRenderNode({std::move(input)}) {}

void BNInvertAlphaNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
}

VKRect BNInvertAlphaNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect,
                                                              double scaleFactor) const {
    return BNRectWithinBounds(rect, inputNode(0)->bounds(), scaleFactor);
}

void BNInvertAlphaNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    BNSurface* target = &output;
    BNSurfacePtr covered;
    if (!VKRectEqualToRect(input.rect(), output.rect())) {
        BNFillSurface(output, 1.0f - inputNode(0)->backgroundValueForChannel(BNChannelOpacity));
        if (!input.data()) return;
        covered = output.subsurfaceWithRect(input.rect());
        if (!covered) return;
        target = covered.get();
    }
    BNKernelPlane i(input), o(*target);
    TarrowInvertPlanar(i.data, o.data, o.width, o.height, i.stride, o.stride);
}
