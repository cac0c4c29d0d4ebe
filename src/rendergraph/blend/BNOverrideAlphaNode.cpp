#include "rendergraph/blend/BNOverrideAlphaNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNOverrideAlphaNode> BNOverrideAlphaNode::create(BNRenderNodePtr input,
                                                                       BNRenderNodePtr alphaNode) {
    if (!BNHasInputs("BNOverrideAlphaNode", {input.get(), alphaNode.get()})) return nullptr;
    return make<BNOverrideAlphaNode>(std::move(input), std::move(alphaNode));
}

BNOverrideAlphaNode::BNOverrideAlphaNode(CreationKey, BNRenderNodePtr input,
                                         BNRenderNodePtr alphaNode)
    : BNRenderNode({std::move(input), std::move(alphaNode)}),
      channels_(BNColorChannelsOfMask(inputNode(0)->channels()) |
                BNCoverageChannelsOfMask(inputNode(1)->channels())) {}

void BNOverrideAlphaNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    updateHashContextWithInput(context, "alpha", 1);
}

void BNOverrideAlphaNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                  BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    const BNSurface& alpha = *inputs.at(1);
    if (input.samplesPerPixel() != 4 || alpha.samplesPerPixel() != 4 ||
        output.samplesPerPixel() != 4) {
        lf::log("BNOverrideAlphaNode: unsupported channels {} and {}", input.channels(),
                alpha.channels());
        BNClearSurface(output);
        return;
    }
    BNKernelPlane i(input), a(alpha), o(output);
    TarrowOverrideAlphaRGBA(i.data, a.data, o.data, o.width, o.height, i.stride, a.stride,
                            o.stride);
}
