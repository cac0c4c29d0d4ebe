#include "rendergraph/masks/BNApplyMaskNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNApplyMaskNode> BNApplyMaskNode::create(BNRenderNodePtr input,
                                                               BNRenderNodePtr mask) {
    if (!BNHasInputs("BNApplyMaskNode", {input.get(), mask.get()})) return nullptr;
    if (!(input->channels() & (BNChannelMaskOpacity | BNChannelMaskFill))) {
        lf::log("BNApplyMaskNode requires its input node to have an opacity or fill channel");
        return nullptr;
    }
    return make<BNApplyMaskNode>(std::move(input), std::move(mask));
}

BNApplyMaskNode::BNApplyMaskNode(CreationKey, BNRenderNodePtr input, BNRenderNodePtr mask)
    : BNRenderNode({std::move(input), std::move(mask)}) {}

void BNApplyMaskNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    updateHashContextWithInput(context, "mask", 1);
}

void BNApplyMaskNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                              BNRenderingContext&) const {
    BNKernelPlane i(*inputs.at(0)), m(*inputs.at(1)), o(output);
    if (BNMaskIsFourChannel(output.channels()))
        TarrowApplyMaskRGBA(i.data, m.data, o.data, o.width, o.height, i.stride, m.stride,
                            o.stride);
    else if (BNMaskIsOneChannel(output.channels()))
        TarrowApplyMaskPlanar(i.data, m.data, o.data, o.width, o.height, i.stride, m.stride,
                              o.stride);
    else
        BNClearSurface(output);
}
