#include "rendergraph/blend/BNIsolateOpacityNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNIsolateOpacityNode> BNIsolateOpacityNode::create(BNRenderNodePtr input) {
    if (!BNHasInputs("BNIsolateOpacityNode", {input.get()})) return nullptr;
    return make<BNIsolateOpacityNode>(std::move(input));
}

BNIsolateOpacityNode::BNIsolateOpacityNode(CreationKey, BNRenderNodePtr input)
    : BNRenderNode({std::move(input)}) {}

VKRect BNIsolateOpacityNode::calculateBounds() const {
    return inputNode(0)->bounds();
}

void BNIsolateOpacityNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
}

void BNIsolateOpacityNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                   BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    if (input.samplesPerPixel() != 4) {
        lf::log("BNIsolateOpacityNode: unsupported input channels {}", input.channels());
        BNClearSurface(output);
        return;
    }
    BNKernelPlane i(input), o(output);
    TarrowIsolateOpacity(i.data, o.data, o.width, o.height, i.stride, o.stride);
}
