#include "rendergraph/blurs/BNTentBlurNode.h"

#include "platform/core/Log.h"
#include "rendergraph/blurs/BNConvolution.h"
#include "rendergraph/blurs/BNGaussianBlurNode.h"
#include "rendergraph/core/BNInputMargin.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNScratchBuffer.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/core/BNSurfaceRegion.h"

#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {
// The 8-bit tent takes kernels of up to 8189 taps a side.
constexpr double kMaximumRadius = 4094;
}  // namespace

std::shared_ptr<const BNTentBlurNode> BNTentBlurNode::create(BNRenderNodePtr input, double radius,
                                                             BNChannelMask channels,
                                                             bool forceFloat) {
    if (!BNHasInputs("BNTentBlurNode", {input.get()})) return nullptr;
    if (!BNMaskIsSingleChannel(input->channels()) || !BNMaskIsSingleChannel(channels)) {
        lf::log("BNTentBlurNode only supports inputs with 1 channel.");
        return nullptr;
    }
    return make<BNTentBlurNode>(std::move(input), radius > 0 ? radius : 0.0, channels, !forceFloat);
}

std::shared_ptr<const BNTentBlurNode> BNTentBlurNode::create(BNRenderNodePtr input, double radius) {
    if (!BNHasInputs("BNTentBlurNode", {input.get()})) return nullptr;
    BNChannelMask channels = input->channels();
    return create(std::move(input), radius, channels);
}

BNTentBlurNode::BNTentBlurNode(CreationKey, BNRenderNodePtr input, double radius,
                               BNChannelMask channels, bool shouldRender8Bit)
    : BNRenderNode({std::move(input)}),
      radius_(radius),
      blurChannels_(channels),
      shouldRender8Bit_(shouldRender8Bit) {}

VKRect BNTentBlurNode::calculateBounds() const {
    VKRect bounds = inputNode(0)->bounds();
    if (VKRectIsInfinite(bounds)) return bounds;
    double grow = std::ceil(radius_);
    return VKRectInset(bounds, -grow, -grow);
}

VKRect BNTentBlurNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect, double) const {
    double grow = std::ceil(radius_);
    return VKRectInset(rect, -grow, -grow);
}

void BNTentBlurNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(radius_);
    context.updateValue(blurChannels_);
    context.updateFlag(shouldRender8Bit_);
}

float BNTentBlurNode::backgroundValue() const {
    // The input's value where it has nothing, of the channel it carries.
    const BNRenderNode& input = *inputNode(0);
    return input.backgroundValueForChannel(BNCoverageChannelOfMask(input.channels()));
}

void BNTentBlurNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                             BNRenderingContext& context) const {
    const BNSurface& input = *inputs.at(0);
    const float background = backgroundValue();
    // What the input can reach: its bounds grown by the blur, on the
    // output's pixel grid.
    VKRect reach = BNRectWithinBounds(output.rect(), bounds(), output.scaleFactor());
    if (VKRectIsEmpty(reach)) reach = VKRectNull;
    if (!VKRectEqualToRect(reach, output.rect()))
        for (VKRect rect : BNRectsOutside(output.rect(), reach))
            BNFillSampleInRect(output, rect, 0, background);
    if (VKRectIsNull(reach)) return;

    // The reached part alone, from the part of the input around it.
    double grow = std::ceil(radius_);
    BNSurfacePtr target = output.subsurfaceWithRect(reach);
    BNSurfacePtr source =
        input.data() ? inputs.at(0)->subsurfaceWithRect(VKRectInset(reach, -grow, -grow)) : nullptr;
    bool done = target && source && renderWithInputSurface(*source, *target, context);
    if (!done) BNFillSampleInRect(output, reach, 0, background);
}

bool BNTentBlurNode::renderWithInputSurface(const BNSurface& input, BNSurface& output,
                                            BNRenderingContext& context) const {
    double size = std::ceil(output.scaleFactor() * radius_);
    std::optional<BNMargin> margin = BNInputMargin(input, output);
    if (!(size <= kMaximumRadius)) {
        lf::log("BNTentBlurNode: a radius of {} pixels is too large", size);
        return false;
    }
    if (!margin || margin->x < size || margin->y < size) {
        lf::log("BNTentBlurNode: the input does not reach {} pixels beyond the output", size);
        return false;
    }
    auto r = static_cast<uint32_t>(size);
    auto x = static_cast<uint32_t>(margin->x), y = static_cast<uint32_t>(margin->y);
    return shouldRender8Bit_ ? render8Bit(input, output, r, x, y, context)
                             : renderFloat(input, output, r, x, y, context);
}

bool BNTentBlurNode::renderFloat(const BNSurface& input, BNSurface& output, uint32_t r,
                                 uint32_t offsetX, uint32_t offsetY,
                                 BNRenderingContext& context) const {
    // Tap i of 2R + 1: (R + 1 - |R - i|) / (R + 1)^2; the taps sum to 1.
    std::vector<float> taps(2 * size_t(r) + 1);
    double norm = double(r + 1) * double(r + 1);
    for (size_t i = 0; i < taps.size(); ++i)
        taps[i] = static_cast<float>((double(r) + 1 - std::abs(double(r) - double(i))) / norm);
    lf::ImageOpResult result = BNConvolveSeparable(input, output, taps, offsetX, offsetY, context);
    if (result != lf::kImageOpNoError) {
        lf::log("Error with convolution: {}", static_cast<long>(result));
        return false;
    }
    return true;
}

bool BNTentBlurNode::render8Bit(const BNSurface& input, BNSurface& output, uint32_t r,
                                uint32_t offsetX, uint32_t offsetY,
                                BNRenderingContext& context) const {
    // 8-bit planes with rows of whole 16-byte blocks.
    auto plane = [](const BNSurface& surface, BNScratchBuffer<uint8_t>& memory) {
        return lf::ImageBuffer{memory.data(), static_cast<uint32_t>(surface.heightInPixels()),
                               static_cast<uint32_t>(surface.widthInPixels()),
                               (surface.widthInPixels() + 15) / 16 * 16};
    };
    auto bytesFor = [](const BNSurface& surface) {
        return surface.heightInPixels() * ((surface.widthInPixels() + 15) / 16 * 16);
    };
    BNScratchBuffer<uint8_t> inputBytes(context, bytesFor(input));
    BNScratchBuffer<uint8_t> outputBytes(context, bytesFor(output));
    if (!inputBytes.isValid() || !outputBytes.isValid()) {
        lf::log("BNTentBlurNode: no memory for the 8-bit planes");
        return false;
    }
    lf::ImageBuffer in8 = plane(input, inputBytes), out8 = plane(output, outputBytes);
    lf::ImageBuffer in = BNImageBufferOfSurface(input), out = BNImageBufferOfSurface(output);
    uint32_t taps = 2 * r + 1;
    long result = lf::convertPlanarFToPlanar8(in, in8, 1.0f, 0.0f);
    if (result != lf::kImageOpNoError) {
        lf::log("Error converting to int: {}", result);
        return false;
    }
    BNScratchBuffer<uint8_t> temp(context, lf::tentConvolvePlanar8TempSize(out8, taps, taps));
    result = lf::tentConvolvePlanar8(in8, out8, temp.data(), offsetX, offsetY, taps, taps);
    if (result != lf::kImageOpNoError) {
        lf::log("Error with convolution: {}", result);
        return false;
    }
    result = lf::convertPlanar8ToPlanarF(out8, out, 1.0f, 0.0f);
    if (result != lf::kImageOpNoError) {
        lf::log("Error converting to float: {}", result);
        return false;
    }
    return true;
}
