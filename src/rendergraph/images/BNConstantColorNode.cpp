#include "rendergraph/images/BNConstantColorNode.h"

#include "platform/core/Log.h"
#include "rendergraph/core/BNSurfaceFill.h"

#include <fmt/format.h>

std::shared_ptr<const BNConstantColorNode> BNConstantColorNode::create(
    const BNChannelValues& values, BNChannelMask channels) {
    return make<BNConstantColorNode>(values, channels);
}

BNConstantColorNode::BNConstantColorNode(CreationKey, const BNChannelValues& values,
                                         BNChannelMask channels)
    : BNRenderNode({}), values_{}, channels_(channels) {
    for (int channel = 0; channel < BNChannelCount; ++channel)
        if (BNMaskHasChannel(channels, static_cast<BNChannel>(channel)))
            values_[channel] = values[channel];
}

void BNConstantColorNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateValue(values_);
    context.updateValue(channels_);
}

void BNConstantColorNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                                  BNRenderingContext&) const {
    auto value = [this](BNChannel channel) { return static_cast<float>(values_[channel]); };
    if (channels_ == BNChannelMaskOpacity) {
        BNFillSurface(output, value(BNChannelOpacity));
    } else if (channels_ == BNChannelMaskRGBA) {
        BNFillSurfaceRGBA(output, value(BNChannelRed), value(BNChannelGreen), value(BNChannelBlue),
                          value(BNChannelOpacity));
    } else {
        lf::log("BNConstantColorNode: no fill for channels {:x}", channels_);
        BNClearSurface(output);
    }
}

std::string BNConstantColorNode::description() const {
    std::string values;
    for (int channel = 0; channel < BNChannelCount; ++channel) {
        if (!BNMaskHasChannel(channels_, static_cast<BNChannel>(channel))) continue;
        if (!values.empty()) values += ' ';
        values += fmt::format("{}", static_cast<float>(values_[channel]));
    }
    return fmt::format("<BNConstantColorNode 0x{:x}: {}>", channels_, values);
}
