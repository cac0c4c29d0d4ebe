#include "rendergraph/core/BNSimpleScaleNode.h"

#include "geometry/VKGeometryStrings.h"
#include "kernels/FillCopyScaleKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/core/BNSurfaceFill.h"

#include <cmath>

std::shared_ptr<const BNSimpleScaleNode> BNSimpleScaleNode::create(BNRenderNodePtr input,
                                                                   double scale) {
    return make<BNSimpleScaleNode>(std::move(input), scale);
}

BNSimpleScaleNode::BNSimpleScaleNode(CreationKey, BNRenderNodePtr input, double scale)
    : BNRenderNode({std::move(input)}), scale_(scale) {}

BNChannelMask BNSimpleScaleNode::channels() const {
    return inputNode(0) ? inputNode(0)->channels() : BNRenderNode::channels();
}

VKRect BNSimpleScaleNode::calculateBounds() const {
    return inputNode(0) ? inputNode(0)->bounds() : VKRectZero;
}

namespace {

// `rect` grown to whole pixels at `scaleFactor`.
VKRect integralAtScale(VKRect rect, double scaleFactor) {
    VKRect pixels =
        VKRectIntegral(VKRectMake(rect.origin.x * scaleFactor, rect.origin.y * scaleFactor,
                                  rect.size.width * scaleFactor, rect.size.height * scaleFactor));
    return VKRectMake(pixels.origin.x / scaleFactor, pixels.origin.y / scaleFactor,
                      pixels.size.width / scaleFactor, pixels.size.height / scaleFactor);
}

}  // namespace

VKRect BNSimpleScaleNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect,
                                                              double scaleFactor) const {
    // Enlarging maps whole input pixels onto blocks of output pixels: the
    // input is asked for whole pixels of its own resolution, so that a
    // rectangle that starts between them does not shift the picture.
    if (scale_ >= 1.0) return integralAtScale(rect, scaleFactor / scale_);
    // Halving reads whole 2 by 2 blocks of input pixels: start on the block grid.
    VKRect region = rect;
    region.origin = {std::floor(rect.origin.x * scale_) / scale_,
                     std::floor(rect.origin.y * scale_) / scale_};
    lf::log("Returning {}", NSStringFromVKRect(region));
    return region;
}

void BNSimpleScaleNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateString("inputNode");
    if (inputNode(0)) context.updateIdentifier(inputNode(0)->hashIdentifier());
    context.updateValue(scale_);
}

BNSurfacePtr BNSimpleScaleNode::preparedOutputSurface(VKRect rect, double scaleFactor,
                                                      const BNSurfaceList& inputs,
                                                      BNRenderingContext& context) const {
    if (scale_ < 1.0)
        return BNRenderNode::preparedOutputSurface(rect, scaleFactor, inputs, context);
    // Enlarge the whole input, then show the part that was asked for.
    VKRect whole = integralAtScale(rect, scaleFactor / scale_);
    if (!VKRectContainsRect(whole, rect))
        return BNRenderNode::preparedOutputSurface(rect, scaleFactor, inputs, context);
    BNSurfacePtr output = context.surfaceWithRect(whole, scaleFactor, channels());
    if (!output) return nullptr;
    renderWithOutputSurface(*output, inputs, context);
    return output->subsurfaceWithRect(rect);
}

void BNSimpleScaleNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    auto inWidth = static_cast<uint32_t>(input.widthInPixels());
    auto inHeight = static_cast<uint32_t>(input.heightInPixels());
    auto inStride = static_cast<uint32_t>(input.bytesPerRow());
    auto outStride = static_cast<uint32_t>(output.bytesPerRow());
    BNChannelMask mask = input.channels();
    bool fourChannels = BNMaskIsFourChannel(mask), oneChannel = BNMaskIsOneChannel(mask);

    if (scale_ > 2.0 && std::fmod(scale_, 1.0) == 0 && mask == BNChannelMaskOpacity &&
        output.channels() == BNChannelMaskOpacity) {
        // Nearest-neighbour replication into k by k blocks.
        auto k = static_cast<uint64_t>(scale_);
        uint64_t outWidth = output.widthInPixels(), outHeight = output.heightInPixels();
        for (uint64_t y = 0; y < inHeight && y * k < outHeight; ++y)
            for (uint64_t x = 0; x < inWidth && x * k < outWidth; ++x) {
                float value = input.row(y)[x];
                for (uint64_t dy = 0; dy < k && y * k + dy < outHeight; ++dy)
                    for (uint64_t dx = 0; dx < k && x * k + dx < outWidth; ++dx)
                        output.row(y * k + dy)[x * k + dx] = value;
            }
        return;
    }
    if (scale_ == 2.0 && (fourChannels || oneChannel)) {
        (fourChannels ? TarrowScaleUp2x4 : TarrowScaleUp2x1)(input.data(), output.data(), inWidth,
                                                             static_cast<int32_t>(inHeight),
                                                             inStride, outStride);
        return;
    }
    if (scale_ == 0.5 && (fourChannels || oneChannel)) {
        (fourChannels ? TarrowScaleDown2x4 : TarrowScaleDown2x1)(
            input.data(), output.data(), inWidth, inHeight,
            static_cast<uint32_t>(output.widthInPixels()),
            static_cast<uint32_t>(output.heightInPixels()), inStride, outStride);
        return;
    }
    if (scale_ != 2.0 && scale_ != 0.5) lf::log("Unable to handle scale: {:g}", scale_);
    // Pool memory is never cleared: leave a defined, transparent result.
    BNClearSurface(output);
}
