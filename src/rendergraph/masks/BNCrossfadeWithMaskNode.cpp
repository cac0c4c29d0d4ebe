#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"

#include "kernels/LookupKernels.h"
#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/core/BNSurfaceRegion.h"

#include <cmath>

namespace {

// Entries of each gamma table: fine enough that a mix of 8-bit colours read
// through both lands within an eighth of an 8-bit level of its exact powers
// at the type gamma of 1.45 (0.112 at worst, among the darkest colours,
// where the root is steepest between entries).
constexpr uint32_t kGammaTableCount = 4096;

std::string describe(const BNRenderNodePtr& node) {
    return node ? node->debugDescription() : "(null)";
}

}  // namespace

std::shared_ptr<const BNCrossfadeWithMaskNode> BNCrossfadeWithMaskNode::create(
    BNRenderNodePtr background, BNRenderNodePtr foreground, BNRenderNodePtr mask) {
    if (!background || !foreground || !mask) {
        lf::log("Invalid inputs for BNCrossfadeWithMaskNode: {}, {}, {}", describe(background),
                describe(foreground), describe(mask));
        return nullptr;
    }
    BNChannelMask channels = background->channels();
    if (channels != foreground->channels()) {
        lf::log("Channels don't match up: 0x{:x}, 0x{:x}", channels, foreground->channels());
        return nullptr;
    }
    if (channels != BNChannelMaskRGBA && channels != BNChannelMaskOpacity) {
        lf::log("BNCrossfadeWithMask does not currently support channels other than RGBA");
        return nullptr;
    }
    // The kernels read the mask as one plane of opacity.
    if (mask->channels() != BNChannelMaskOpacity) {
        lf::log("Mask doesn't contain opacity data");
        return nullptr;
    }
    return make<BNCrossfadeWithMaskNode>(std::move(background), std::move(foreground),
                                         std::move(mask));
}

std::shared_ptr<const BNCrossfadeWithMaskNode> BNCrossfadeWithMaskNode::createWithGamma(
    BNRenderNodePtr background, BNRenderNodePtr foreground, BNRenderNodePtr mask, double gamma) {
    if (!(gamma > 0) || !std::isfinite(gamma)) {
        lf::log("BNCrossfadeWithMaskNode: unusable gamma {}", gamma);
        return nullptr;
    }
    auto plain = create(background, foreground, mask);
    if (!plain || gamma == 1.0) return plain;
    if (plain->channels() != BNChannelMaskRGBA) {
        lf::log("BNCrossfadeWithMaskNode mixes only RGBA through a gamma");
        return nullptr;
    }
    return make<BNCrossfadeWithMaskNode>(std::move(background), std::move(foreground),
                                         std::move(mask), gamma);
}

BNCrossfadeWithMaskNode::BNCrossfadeWithMaskNode(CreationKey, BNRenderNodePtr background,
                                                 BNRenderNodePtr foreground, BNRenderNodePtr mask,
                                                 double gamma)
    : BNRenderNode({std::move(background), std::move(foreground), std::move(mask)}),
      channels_(inputNode(0)->channels()),
      gamma_(gamma) {
    if (gamma_ == 1.0) return;
    auto tables = std::make_shared<GammaTables>();
    for (uint32_t i = 0; i < kGammaTableCount; ++i) {
        double c = double(i) / double(kGammaTableCount - 1);
        tables->toGamma.push_back(static_cast<float>(std::pow(c, gamma_)));
        tables->fromGamma.push_back(static_cast<float>(std::pow(c, 1.0 / gamma_)));
    }
    gammaTables_ = std::move(tables);
}

VKRect BNCrossfadeWithMaskNode::calculateBounds() const {
    return VKRectUnion(inputNode(0)->bounds(), inputNode(1)->bounds());
}

bool BNCrossfadeWithMaskNode::mixesByRegions() const {
    const BNRenderNode& mask = *inputNode(2);
    return channels_ == BNChannelMaskRGBA && !VKRectIsInfinite(mask.bounds()) &&
           mask.backgroundValueForChannel(BNChannelOpacity) == 0.0f;
}

VKRect BNCrossfadeWithMaskNode::regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                                                    double scaleFactor) const {
    if (channels_ != BNChannelMaskRGBA) return rect;
    if (index == 0) return BNRectWithinBounds(rect, inputNode(0)->bounds(), scaleFactor);
    if (!mixesByRegions()) return rect;
    return BNRectWithinBounds(rect, inputNode(2)->bounds(), scaleFactor);
}

void BNCrossfadeWithMaskNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "background", 0);
    updateHashContextWithInput(context, "foreground", 1);
    updateHashContextWithInput(context, "mask", 2);
    // Plain crossfades keep the identities they always had.
    if (gamma_ != 1.0) context.updateValue(gamma_);
}

void BNCrossfadeWithMaskNode::renderWithOutputSurface(BNSurface& output,
                                                      const BNSurfaceList& inputs,
                                                      BNRenderingContext&) const {
    const BNSurface& background = *inputs.at(0);
    const BNSurface& foreground = *inputs.at(1);
    const BNSurface& mask = *inputs.at(2);
    if (channels_ == BNChannelMaskRGBA) {
        renderRGBA(output, background, foreground, mask);
    } else if (channels_ == BNChannelMaskOpacity) {
        BNKernelPlane b(background), f(foreground), m(mask), o(output);
        TarrowCrossfadeWithMaskPlanar(b.data, f.data, m.data, o.data, o.width, o.height, b.stride,
                                      f.stride, m.stride, o.stride);
    } else {
        lf::log("BNCrossfadeWithMaskNode can only handle RGBA and Opacity surfaces");
        BNClearSurface(output);
    }
}

void BNCrossfadeWithMaskNode::renderRGBA(BNSurface& output, const BNSurface& background,
                                         const BNSurface& foreground, const BNSurface& mask) const {
    auto mix = [&](const BNSurface& from, VKRect rect) {
        BNKernelPlane b = BNKernelPlaneOfRect(from, rect),
                      f = BNKernelPlaneOfRect(foreground, rect),
                      m = BNKernelPlaneOfRect(mask, rect), o = BNKernelPlaneOfRect(output, rect);
        if (gammaTables_)
            TarrowGammaCrossfadeWithMaskRGBA(b.data, f.data, m.data, o.data, o.width, o.height,
                                             b.stride, f.stride, m.stride, o.stride,
                                             gammaTables_->toGamma.data(),
                                             gammaTables_->fromGamma.data(), kGammaTableCount);
        else
            TarrowCrossfadeWithMaskRGBA(b.data, f.data, m.data, o.data, o.width, o.height, b.stride,
                                        f.stride, m.stride, o.stride);
    };
    VKRect out = output.rect(), under = background.rect();
    if (VKRectEqualToRect(under, out) && VKRectEqualToRect(foreground.rect(), out) &&
        VKRectEqualToRect(mask.rect(), out)) {
        mix(background, out);
        return;
    }
    // Where the mask may be non-zero; elsewhere the output is the background.
    VKRect mixed = VKRectIntersection(mask.rect(), foreground.rect());
    bool mixes = !VKRectIsEmpty(mixed);
    if (&output == &background) {  // in place: the rest already is the background
        if (mixes) mix(output, mixed);
        return;
    }
    if (!VKRectEqualToRect(under, out)) BNFillSurfaceWithBackgroundOfNode(output, *inputNode(0));
    if (mixes && VKRectContainsRect(under, mixed)) {
        for (VKRect rect : BNRectsOutside(under, mixed))
            BNCopyRect(background, output, rect);
        mix(background, mixed);
    } else {
        BNCopyRect(background, output, under);
        if (mixes) mix(output, mixed);
    }
}
