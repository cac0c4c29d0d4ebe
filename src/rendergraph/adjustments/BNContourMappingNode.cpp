#include "rendergraph/adjustments/BNContourMappingNode.h"

#include "kernels/LookupKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNInputMargin.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNScratchBuffer.h"
#include "rendergraph/core/BNSurfaceFill.h"

#include <algorithm>
#include <cmath>
#include <vector>

std::shared_ptr<const BNContourMappingNode> BNContourMappingNode::create(
    BNRenderNodePtr input, BNContourProviders providers, double minRange, double maxRange) {
    return make<BNContourMappingNode>(std::move(input), std::move(providers), minRange, maxRange);
}

std::shared_ptr<const BNContourMappingNode> BNContourMappingNode::create(
    BNRenderNodePtr input, std::shared_ptr<const BNContourProvider> provider, double minRange,
    double maxRange) {
    BNContourProviders providers;
    const BNChannelMask mask = input ? input->channels() : 0;
    for (int channel = 0; channel < BNChannelCount; ++channel)
        if (BNMaskHasChannel(mask, BNChannel(channel))) providers[channel] = provider;
    return create(std::move(input), std::move(providers), minRange, maxRange);
}

std::shared_ptr<const BNContourMappingNode> BNContourMappingNode::create(
    BNRenderNodePtr input, std::shared_ptr<const BNContourProvider> provider) {
    return create(std::move(input), std::move(provider), 0.0, 1.0);
}

BNContourMappingNode::BNContourMappingNode(CreationKey, BNRenderNodePtr input,
                                           BNContourProviders providers, double minRange,
                                           double maxRange)
    : BNRenderNode({std::move(input)}),
      providers_(std::move(providers)),
      minRange_(minRange),
      maxRange_(maxRange) {}

BNChannelMask BNContourMappingNode::channels() const {
    return inputNode(0) ? inputNode(0)->channels() : BNRenderNode::channels();
}

VKRect BNContourMappingNode::calculateBounds() const {
    return inputNode(0) ? inputNode(0)->bounds() : VKRectZero;
}

void BNContourMappingNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    for (const auto& provider : providers_)
        context.updateAddress(provider.get());
    context.updateValue(minRange_);
    context.updateValue(maxRange_);
}

void BNContourMappingNode::generateValues(float* values, uint32_t count, BNChannel channel,
                                          BNRenderingContext& context) const {
    if (const auto& provider = providers_[channel]) {
        provider->generateContourValues(values, count, context);
        return;
    }
    for (uint32_t i = 0; i < count; ++i)
        values[i] = float(i) / float(count - 1);
}

void BNContourMappingNode::adjustValues(float* values, uint32_t count, double minRange,
                                        double maxRange) {
    if (count < 2) return;
    std::vector<float> copy(values, values + count);
    copy.push_back(0.0f);

    const auto low = static_cast<float>(minRange), high = static_cast<float>(maxRange);
    const float k = 1.0f / (high - low);
    const float first = values[0];
    const float slope = float(count) * (values[1] - values[0]) * k;
    const auto last = float(count - 1);
    for (uint32_t i = 0; i < count; ++i) {
        const float x = std::clamp(float(i) / last, 0.0f, 1.0f);
        if (x > high) {
            values[i] = copy[count - 1];
        } else if (x < low) {
            values[i] = x == 0.0f ? 0.0f : first - (1.0f - (high - low) - x) * slope;
        } else {
            // Positions are kept on the table (an empty range gives NaN).
            float position = (x - low) * k * last;
            position = position > 0.0f ? std::min(position, last) : 0.0f;
            const auto index = static_cast<uint32_t>(position);
            const float fraction = position - float(index);
            values[i] = copy[index] * (1.0f - fraction) + copy[index + 1] * fraction;
        }
    }
}

void BNContourMappingNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                   BNRenderingContext& context) const {
    const BNSurface& input = *inputs.at(0);
    const BNChannelMask mask = inputNode(0) ? inputNode(0)->channels() : 0;
    const float* source = BNInputOverOutput(input, output);
    const bool opacityOnly = mask == BNChannelMaskOpacity;
    const int tableCount = opacityOnly ? 1 : 4;
    BNScratchBuffer<float> tables(context, size_t(tableCount) * (kTableCount + 1));
    if (!source || !(opacityOnly || mask == BNChannelMaskRGBA) || !tables.isValid()) {
        // Pool memory is never cleared: leave a defined, transparent result.
        lf::log("BNContourMappingNode: cannot map an input of channels 0x{:x}", mask);
        BNClearSurface(output);
        return;
    }
    // Tables in channel order: opacity alone, or red, green, blue, opacity.
    for (int t = 0; t < tableCount; ++t) {
        float* table = tables.data() + size_t(t) * (kTableCount + 1);
        const auto channel = opacityOnly ? BNChannelOpacity : BNChannel(t);
        generateValues(table, kTableCount, channel, context);
        table[kTableCount] = 0.0f;
        if (minRange_ != 0.0 || maxRange_ != 1.0)
            adjustValues(table, kTableCount, minRange_, maxRange_);
    }
    auto table = [&](int t) { return tables.data() + size_t(t) * (kTableCount + 1); };
    BNKernelPlane out(output);
    const auto inStride = static_cast<uint32_t>(input.bytesPerRow());
    if (opacityOnly)
        TarrowContourPlanar(source, out.data, table(0), out.width, out.height, inStride, out.stride,
                            kTableCount);
    else
        TarrowContourRGBA(source, out.data, table(0), table(1), table(2), table(3), out.width,
                          out.height, inStride, out.stride, kTableCount);
}
