#include "rendergraph/masks/BNDifferenceMaskNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"

std::shared_ptr<const BNDifferenceMaskNode> BNDifferenceMaskNode::create(BNRenderNodePtr input,
                                                                         BNRenderNodePtr mask) {
    if (!BNHasInputs("BNDifferenceMaskNode", {input.get(), mask.get()})) return nullptr;
    if (input->channels() != BNChannelMaskOpacity || mask->channels() != BNChannelMaskOpacity) {
        lf::log("BNDifferenceMaskNode only supports inputs with planar opacity channels");
        return nullptr;
    }
    return make<BNDifferenceMaskNode>(std::move(input), std::move(mask));
}

BNDifferenceMaskNode::BNDifferenceMaskNode(CreationKey, BNRenderNodePtr input, BNRenderNodePtr mask)
    : BNRenderNode({std::move(input), std::move(mask)}) {}

VKRect BNDifferenceMaskNode::calculateBounds() const {
    return VKRectUnion(inputNode(0)->bounds(), inputNode(1)->bounds());
}

void BNDifferenceMaskNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    updateHashContextWithInput(context, "mask", 1);
}

void BNDifferenceMaskNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                   BNRenderingContext&) const {
    BNKernelPlane i(*inputs.at(0)), m(*inputs.at(1)), o(output);
    TarrowDifferencePlanar(i.data, m.data, o.data, o.width, o.height, i.stride, m.stride, o.stride);
}
