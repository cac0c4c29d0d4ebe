#include "rendergraph/images/BNApplyTextureNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"

namespace {
// A gray-and-alpha texture: gray in the R position, then A.
constexpr BNChannelMask kGrayAlpha = BNChannelMaskRed | BNChannelMaskOpacity;
}  // namespace

std::shared_ptr<const BNApplyTextureNode> BNApplyTextureNode::create(BNRenderNodePtr input,
                                                                     BNRenderNodePtr texture,
                                                                     double amount) {
    if (!BNHasInputs("BNApplyTextureNode", {input.get(), texture.get()})) return nullptr;
    if (input->channels() != BNChannelMaskOpacity) {
        lf::log("BNApplyTextureNode only supports inputs with planar opacity channels.");
        return nullptr;
    }
    return make<BNApplyTextureNode>(std::move(input), std::move(texture), amount);
}

BNApplyTextureNode::BNApplyTextureNode(CreationKey, BNRenderNodePtr input, BNRenderNodePtr texture,
                                       double amount)
    : BNRenderNode({std::move(input), std::move(texture)}), amount_(amount) {}

void BNApplyTextureNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    updateHashContextWithInput(context, "texture", 1);
    context.updateValue(amount_);
}

void BNApplyTextureNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                 BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    const BNSurface& texture = *inputs.at(1);
    BNKernelPlane t(texture), i(input), o(output);
    auto amount = static_cast<float>(amount_);
    if (texture.channels() == BNChannelMaskRGBA) {
        TarrowApplyTextureRGBA(t.data, i.data, o.data, o.width, o.height, t.stride, i.stride,
                               o.stride, amount);
    } else if (texture.channels() == kGrayAlpha) {
        TarrowApplyTextureGrayAlpha(t.data, i.data, o.data, o.width, o.height, t.stride, i.stride,
                                    o.stride, amount);
    } else {
        lf::log("Unsupported texture format: {}", texture.description());
        BNCopySurface(input, output);
    }
}
