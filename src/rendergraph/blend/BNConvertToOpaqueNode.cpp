#include "rendergraph/blend/BNConvertToOpaqueNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"

std::shared_ptr<const BNConvertToOpaqueNode> BNConvertToOpaqueNode::create(BNRenderNodePtr input) {
    if (!BNHasInputs("BNConvertToOpaqueNode", {input.get()})) return nullptr;
    if (!BNMaskIsFourChannel(input->channels())) {
        lf::log("BNConvertToOpaqueNode: unsupported input channels");
        return nullptr;
    }
    return make<BNConvertToOpaqueNode>(std::move(input));
}

BNConvertToOpaqueNode::BNConvertToOpaqueNode(CreationKey, BNRenderNodePtr input)
    : BNRenderNode({std::move(input)}),
      channels_(BNColorChannelsOfMask(inputNode(0)->channels()) | BNChannelMaskOpacity) {}

VKRect BNConvertToOpaqueNode::calculateBounds() const {
    return inputNode(0)->bounds();
}

void BNConvertToOpaqueNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "inputNode", 0);
}

bool BNConvertToOpaqueNode::rendersInPlaceOverFirstInput() const {
    return inputNode(0)->channels() == channels_;
}

void BNConvertToOpaqueNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                    BNRenderingContext&) const {
    BNKernelPlane i(*inputs.at(0)), o(output);
    TarrowMakeOpaqueRGBA(i.data, o.data, o.width, o.height, i.stride, o.stride, 1.0f);
}
