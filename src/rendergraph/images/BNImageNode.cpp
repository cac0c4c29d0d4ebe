#include "rendergraph/images/BNImageNode.h"

#include "platform/core/Log.h"
#include "rendergraph/blurs/BNConvolution.h"
#include "rendergraph/core/BNSurfaceRegion.h"

#include <array>
#include <bit>
#include <cmath>

int BNSampleIndexOfChannel(BNChannelMask mask, BNChannel channel) {
    return std::popcount(static_cast<unsigned>(mask) & ((1u << channel) - 1u));
}

void BNPremultiplySurface(BNSurface& surface) {
    if (!BNMaskIsFourChannel(surface.channels())) return;
    lf::ImageBuffer buffer = BNImageBufferOfSurface(surface);
    lf::premultiplyRGBAFFFF(buffer, buffer);
}

std::shared_ptr<const BNImageNode> BNImageNode::create(
    std::shared_ptr<const BNImageProvider> provider) {
    if (!provider) {
        lf::log("BNImageNode: missing image provider");
        return nullptr;
    }
    return make<BNImageNode>(std::move(provider));
}

BNImageNode::BNImageNode(CreationKey, std::shared_ptr<const BNImageProvider> provider)
    : BNRenderNode({}), provider_(std::move(provider)) {}

int BNImageNode::offsetForChannel(BNChannel channel) const {
    return BNSampleIndexOfChannel(channels(), channel);
}

VKRect BNImageNode::calculateBounds() const {
    BNChannelMask mask = channels();
    for (int i = 0; i < BNChannelCount; ++i) {
        auto channel = static_cast<BNChannel>(i);
        if (BNMaskHasChannel(mask, channel) && provider_->backgroundValueForChannel(channel) != 0)
            return VKRectInfinite;
    }
    VKRect bounds = VKRectNull;
    bool first = true;
    for (int i = 0; i < BNChannelCount; ++i) {
        auto channel = static_cast<BNChannel>(i);
        if (!BNMaskHasChannel(mask, channel)) continue;
        VKRect channelBounds = provider_->boundsForChannel(channel);
        bounds = first ? channelBounds : VKRectUnion(bounds, channelBounds);
        first = false;
    }
    return bounds;
}

void BNImageNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateAddress(provider_.get());
}

namespace {

// A channel's bounds shrunk to the whole document pixels inside them.
VKRect wholePixelsInside(VKRect rect) {
    if (VKRectIsEmpty(rect) || VKRectIsInfinite(rect)) return rect;
    double x0 = std::ceil(VKRectGetMinX(rect)), y0 = std::ceil(VKRectGetMinY(rect));
    double x1 = std::floor(VKRectGetMaxX(rect)), y1 = std::floor(VKRectGetMaxY(rect));
    if (!(x1 > x0 && y1 > y0)) return VKRectNull;
    return VKRectMake(x0, y0, x1 - x0, y1 - y0);
}

}  // namespace

void BNImageNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                          BNRenderingContext& context) const {
    // The output's pixels as document pixels: its integral origin and its
    // size in pixels.
    VKRect pixels = VKRectMake(
        std::floor(output.rect().origin.x), std::floor(output.rect().origin.y),
        static_cast<double>(output.widthInPixels()), static_cast<double>(output.heightInPixels()));
    if (VKRectIsEmpty(pixels)) return;
    BNSurface grid(pixels, 1.0, output.channels(), output.data(), output.bytesPerRow(), nullptr);
    int n = output.samplesPerPixel();
    BNChannelMask mask = channels();
    // Each channel's pixels within the output; background values outside.
    std::array<VKRect, BNChannelCount> insides;
    std::array<float, BNChannelCount> backgrounds{};  // by sample
    int firstChannel = -1;
    bool sameInsides = true;
    for (int i = 0; i < BNChannelCount; ++i) {
        auto channel = static_cast<BNChannel>(i);
        if (!BNMaskHasChannel(mask, channel)) continue;
        VKRect inside =
            VKRectIntersection(pixels, wholePixelsInside(provider_->boundsForChannel(channel)));
        insides[i] = VKRectIsEmpty(inside) ? VKRectNull : inside;
        backgrounds[offsetForChannel(channel)] = provider_->backgroundValueForChannel(channel);
        if (firstChannel < 0) firstChannel = i;
        sameInsides = sameInsides && VKRectEqualToRect(insides[i], insides[firstChannel]);
    }
    // Usually every channel covers the same pixels: whole pixels are then
    // filled at once rather than sample by sample.
    if (sameInsides && firstChannel >= 0)
        for (VKRect rect : BNRectsOutside(pixels, insides[firstChannel]))
            BNFillPixelsInRect(grid, rect, backgrounds.data());
    for (int i = 0; i < BNChannelCount; ++i) {
        auto channel = static_cast<BNChannel>(i);
        if (!BNMaskHasChannel(mask, channel)) continue;
        int offset = offsetForChannel(channel);
        VKRect inside = insides[i];
        if (!sameInsides)
            for (VKRect rect : BNRectsOutside(pixels, inside))
                BNFillSampleInRect(grid, rect, offset, backgrounds[offset]);
        if (VKRectIsNull(inside)) continue;
        BNPixelRect at = BNPixelRectOfRect(grid, inside);
        provider_->readFloatData(grid.row(at.y) + at.x * n + offset, n * sizeof(float),
                                 output.bytesPerRow(), channel, inside, context);
    }
    BNPremultiplySurface(output);
}
