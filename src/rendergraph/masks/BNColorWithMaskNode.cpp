#include "rendergraph/masks/BNColorWithMaskNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNColorWithMaskNode> BNColorWithMaskNode::create(
    BNRenderNodePtr mask, const BNChannelValues& colorValues, BNChannelMask colorChannels) {
    if (colorChannels != BNChannelMaskRGB) {
        lf::log("BNColorWithMaskNode: unsupported input");
        return nullptr;
    }
    if (!BNHasInputs("BNColorWithMaskNode", {mask.get()})) return nullptr;
    return make<BNColorWithMaskNode>(std::move(mask), colorValues);
}

BNColorWithMaskNode::BNColorWithMaskNode(CreationKey, BNRenderNodePtr mask,
                                         const BNChannelValues& values)
    : BNRenderNode({std::move(mask)}),
      values_{values[BNChannelRed], values[BNChannelGreen], values[BNChannelBlue], 0.0, 0.0},
      channels_(BNCoverageChannelsOfMask(inputNode(0)->channels()) | BNChannelMaskRGB) {}

VKRect BNColorWithMaskNode::calculateBounds() const {
    return inputNode(0)->bounds();
}

void BNColorWithMaskNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "mask", 0);
    context.updateValue(values_);
    context.updateValue(colorChannels_);
}

void BNColorWithMaskNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                  BNRenderingContext&) const {
    const BNSurface& mask = *inputs.at(0);
    if (!BNMaskIsOneChannel(mask.channels()) || !BNMaskIsFourChannel(output.channels())) {
        // A mask with both or neither coverage channel gives no layout the
        // kernel can write: the output stays transparent.
        lf::log("BNColorWithMaskNode: unsupported input");
        BNClearSurface(output);
        return;
    }
    BNKernelPlane m(mask), o(output);
    TarrowColorWithMaskRGBA(m.data, o.data, o.width, o.height, m.stride, o.stride,
                            static_cast<float>(values_[BNChannelRed]),
                            static_cast<float>(values_[BNChannelGreen]),
                            static_cast<float>(values_[BNChannelBlue]));
}
