#include "rendergraph/images/BNApplyNoiseNode.h"

#include "kernels/NoiseKernels.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"

#include <algorithm>

std::shared_ptr<const BNApplyNoiseNode> BNApplyNoiseNode::create(BNRenderNodePtr input,
                                                                 double amount,
                                                                 BNChannelMask channelsToProcess) {
    if (!BNHasInputs("BNApplyNoiseNode", {input.get()})) return nullptr;
    return make<BNApplyNoiseNode>(std::move(input), amount, channelsToProcess);
}

std::shared_ptr<const BNApplyNoiseNode> BNApplyNoiseNode::create(BNRenderNodePtr input,
                                                                 double amount) {
    if (!BNHasInputs("BNApplyNoiseNode", {input.get()})) return nullptr;
    BNChannelMask channels = input->channels();
    return create(std::move(input), amount, channels);
}

BNApplyNoiseNode::BNApplyNoiseNode(CreationKey, BNRenderNodePtr input, double amount,
                                   BNChannelMask channelsToProcess)
    : BNRenderNode({std::move(input)}),
      noiseAmount_(amount),
      channelsToProcess_(channelsToProcess) {}

void BNApplyNoiseNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(noiseAmount_);
    context.updateValue(channelsToProcess_);
}

void BNApplyNoiseNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                               BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    auto amountFor = [&](BNChannelMask bit) {
        return (channelsToProcess_ & bit) ? static_cast<float>(noiseAmount_) : 0.0f;
    };
    // Anchored to the image: the tile's first pixel in image pixels.
    double s = output.scaleFactor();
    auto anchor = [s](double points) {
        return static_cast<int32_t>(std::clamp(points * s, -2147483648.0, 2147483647.0));
    };
    int32_t x = anchor(output.rect().origin.x), y = anchor(output.rect().origin.y);
    BNKernelPlane i(input), o(output);
    switch (output.channels()) {
        case BNChannelMaskRGBA:
            TarrowAddNoiseRGBA(i.data, o.data, x, y, o.width, o.height, amountFor(BNChannelMaskRed),
                               amountFor(BNChannelMaskGreen), amountFor(BNChannelMaskBlue),
                               amountFor(BNChannelMaskOpacity), i.stride, o.stride);
            return;
        case BNChannelMaskOpacity:
            TarrowAddNoisePlanar(i.data, o.data, x, y, o.width, o.height,
                                 amountFor(BNChannelMaskOpacity), i.stride, o.stride);
            return;
        default:
            BNCopySurface(input, output);
    }
}
