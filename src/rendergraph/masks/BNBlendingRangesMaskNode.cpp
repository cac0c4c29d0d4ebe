#include "rendergraph/masks/BNBlendingRangesMaskNode.h"

#include "kernels/LookupKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"

#include <algorithm>
#include <array>

std::shared_ptr<const BNBlendingRangesMaskNode> BNBlendingRangesMaskNode::create(
    BNRenderNodePtr input, std::shared_ptr<const BNBlendingRangesProvider> provider) {
    if (!BNHasInputs("BNBlendingRangesMaskNode", {input.get()})) return nullptr;
    return make<BNBlendingRangesMaskNode>(std::move(input), std::move(provider));
}

BNBlendingRangesMaskNode::BNBlendingRangesMaskNode(
    CreationKey, BNRenderNodePtr input, std::shared_ptr<const BNBlendingRangesProvider> provider)
    : BNRenderNode({std::move(input)}), provider_(std::move(provider)) {}

void BNBlendingRangesMaskNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateAddress(provider_.get());
}

bool BNBlendingRangesMaskNode::shouldProcessColorChannels() const {
    if (!provider_) return false;
    for (uint64_t channel = 0; channel < 3; ++channel)
        if (provider_->hasColorBlendingRangeDataForChannel(channel)) return true;
    return false;
}

void BNBlendingRangesMaskNode::generateValues(float* values, uint64_t count,
                                              uint64_t channel) const {
    if (provider_->hasColorBlendingRangeDataForChannel(channel))
        provider_->generateColorBlendingRangeValues(values, count, channel);
    else
        std::fill(values, values + count, 1.0f);
}

void BNBlendingRangesMaskNode::renderWithOutputSurface(BNSurface& output,
                                                       const BNSurfaceList& inputs,
                                                       BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    BNKernelPlane i(input), o(output);
    if (!BNMaskIsFourChannel(input.channels())) {
        lf::log("BNBlendingRangesMaskNode: unsupported input channels 0x{:x}", input.channels());
        BNFillSurface(output, 1.0f);
        return;
    }
    bool gray = provider_ && provider_->hasGrayBlendingRangeData();
    bool color = shouldProcessColorChannels();
    if (!gray && !color) {
        // No ranges: every pixel blends fully.
        BNFillSurface(output, 1.0f);
        return;
    }
    constexpr auto count = static_cast<uint32_t>(kTableCount);
    if (gray) {
        std::array<float, kTableCount> table;
        provider_->generateGrayBlendingRangeValues(table.data(), kTableCount);
        TarrowBlendIfGray(i.data, o.data, table.data(), o.width, o.height, i.stride, o.stride,
                          count);
    }
    if (color) {
        std::array<std::array<float, kTableCount>, 3> tables;
        for (uint64_t channel = 0; channel < 3; ++channel)
            generateValues(tables[channel].data(), kTableCount, channel);
        (gray ? TarrowBlendIfColorMultiply : TarrowBlendIfColor)(
            i.data, o.data, tables[0].data(), tables[1].data(), tables[2].data(), o.width, o.height,
            i.stride, o.stride, count);
    }
}
