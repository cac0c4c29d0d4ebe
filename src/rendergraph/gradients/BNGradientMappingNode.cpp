#include "rendergraph/gradients/BNGradientMappingNode.h"

#include "kernels/LookupKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNInputMargin.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/gradients/BNGradientRendering.h"

std::shared_ptr<const BNGradientMappingNode> BNGradientMappingNode::create(
    BNRenderNodePtr input, std::shared_ptr<const BNGradientProvider> provider, bool opaque) {
    if (!provider) {
        lf::log("BNGradientMappingNode: no gradient provider");
        return nullptr;
    }
    return make<BNGradientMappingNode>(std::move(input), std::move(provider), opaque);
}

BNGradientMappingNode::BNGradientMappingNode(CreationKey, BNRenderNodePtr input,
                                             std::shared_ptr<const BNGradientProvider> provider,
                                             bool opaque)
    : BNRenderNode({std::move(input)}), provider_(std::move(provider)), opaque_(opaque) {}

void BNGradientMappingNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateAddress(provider_.get());
    // Opaque and translucent mappings differ in every pixel's opacity.
    context.updateFlag(opaque_);
}

void BNGradientMappingNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                    BNRenderingContext& context) const {
    const BNSurface& input = *inputs.at(0);
    const BNChannelMask mask = input.channels();
    const float* source = BNInputOverOutput(input, output);
    const bool usable = mask == BNChannelMaskRGBA || mask == BNChannelMaskOpacity;
    BNGradientTable table(context, *provider_, false);
    if (!source || !usable || !table.isValid()) {
        // Pool memory is never cleared: leave a defined, transparent result.
        lf::log("BNGradientMappingNode: cannot map an input of channels 0x{:x}", mask);
        BNClearSurface(output);
        return;
    }
    for (uint32_t i = 0; i < BNGradientTable::kEntryCount; ++i) {
        float* entry = table.entry(i);
        if (opaque_) {
            entry[3] = 1.0f;
        } else {
            for (int c = 0; c < 3; ++c)
                entry[c] *= entry[3];
        }
    }
    BNKernelPlane out(output);
    (mask == BNChannelMaskRGBA ? TarrowGradientMap : TarrowLookupPlanar)(
        source, out.data, table.data(), out.width, out.height,
        static_cast<uint32_t>(input.bytesPerRow()), out.stride, BNGradientTable::kEntryCount);
}
