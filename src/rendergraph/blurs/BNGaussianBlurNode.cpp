#include "rendergraph/blurs/BNGaussianBlurNode.h"

#include "kernels/FillCopyScaleKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/blurs/BNBoxBlur.h"
#include "rendergraph/blurs/BNConvolution.h"
#include "rendergraph/blurs/BNGaussianKernel.h"
#include "rendergraph/core/BNInputMargin.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/core/BNSurfaceRegion.h"

bool BNMaskIsSingleChannel(BNChannelMask mask) {
    return (mask & ~0x1F) == 0 && BNSamplesPerPixel(mask) == 1;
}

std::shared_ptr<const BNGaussianBlurNode> BNGaussianBlurNode::create(BNRenderNodePtr input,
                                                                     double radius,
                                                                     BNChannelMask channels) {
    if (!BNHasInputs("BNGaussianBlurNode", {input.get()})) return nullptr;
    if (!BNMaskIsSingleChannel(input->channels()) || !BNMaskIsSingleChannel(channels)) {
        lf::log("BNGaussianBlurNode only supports inputs with 1 channel.");
        return nullptr;
    }
    return make<BNGaussianBlurNode>(std::move(input), radius > 0 ? radius : 0.0, channels);
}

std::shared_ptr<const BNGaussianBlurNode> BNGaussianBlurNode::create(BNRenderNodePtr input,
                                                                     double radius) {
    if (!BNHasInputs("BNGaussianBlurNode", {input.get()})) return nullptr;
    BNChannelMask channels = input->channels();
    return create(std::move(input), radius, channels);
}

BNGaussianBlurNode::BNGaussianBlurNode(CreationKey, BNRenderNodePtr input, double radius,
                                       BNChannelMask channels)
    : BNRenderNode({std::move(input)}), radius_(radius), blurChannels_(channels) {}

double BNGaussianBlurNode::expansionForBlurRadius(double radius) {
    return static_cast<double>(BNGaussianExpansion(radius));
}

VKRect BNGaussianBlurNode::calculateBounds() const {
    VKRect bounds = inputNode(0)->bounds();
    if (VKRectIsInfinite(bounds)) return bounds;
    double e = expansionForBlurRadius(radius_);
    return VKRectInset(bounds, -e, -e);
}

VKRect BNGaussianBlurNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect,
                                                               double scaleFactor) const {
    // E pixels beyond the output, rounded up to whole points at scale 2
    // (the blur reads the input from the output's actual place within it).
    double e = static_cast<double>(BNGaussianExpansion(scaleFactor * radius_)) / scaleFactor;
    return BNRectAlignedToPixels(VKRectInset(rect, -e, -e), scaleFactor);
}

void BNGaussianBlurNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(radius_);
    context.updateValue(blurChannels_);
}

void BNGaussianBlurNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                 BNRenderingContext& context) const {
    const BNSurface& input = *inputs.at(0);
    double size = output.scaleFactor() * radius_;
    bool done = size <= kMaximumGaussianSize ? renderUsingTaps(output, input, size, context)
                                             : renderUsingBoxBlurs(output, input, size, context);
    if (!done) BNClearSurface(output);
}

bool BNGaussianBlurNode::renderUsingTaps(BNSurface& output, const BNSurface& input, double size,
                                         BNRenderingContext& context) const {
    std::vector<float> taps = BNGaussianTaps(size);
    auto e = static_cast<uint64_t>(taps.size() / 2);
    std::optional<BNMargin> margin = BNInputMargin(input, output);
    if (!margin || margin->x < e || margin->y < e) {
        lf::log("BNGaussianBlurNode: the input does not reach {} pixels beyond the output", e);
        return false;
    }
    lf::ImageOpResult result =
        BNConvolveSeparable(input, output, taps, static_cast<uint32_t>(margin->x),
                            static_cast<uint32_t>(margin->y), context);
    if (result != lf::kImageOpNoError) {
        lf::log("BNGaussianBlurNode: convolution failed: {}", static_cast<long>(result));
        return false;
    }
    return true;
}

bool BNGaussianBlurNode::renderUsingBoxBlurs(BNSurface& output, const BNSurface& input, double size,
                                             BNRenderingContext& context) const {
    std::vector<uint32_t> halfWidths = BNBoxBlurSizes(size);
    uint64_t expansion = 0;
    for (uint32_t n : halfWidths)
        expansion += n;
    std::optional<BNMargin> margin = BNInputMargin(input, output);
    if (!margin || margin->x < expansion || margin->y < expansion) {
        lf::log("BNGaussianBlurNode: the input does not reach {} pixels beyond the output",
                expansion);
        return false;
    }
    // The boxes work in place, on a copy of the input.
    BNSurfacePtr work =
        context.surfaceWithRect(input.rect(), input.scaleFactor(), BNChannelMaskOpacity);
    if (!work) {
        lf::log("BNGaussianBlurNode: no memory for the box blurs");
        return false;
    }
    BNKernelPlane in(input), tmp(*work), out(output);
    TarrowCopyPlanar(in.data, tmp.data, in.width, in.height, in.stride, tmp.stride);
    if (!BNBoxBlurPlane(tmp.data, tmp.width, static_cast<uint64_t>(tmp.height), tmp.stride,
                        halfWidths, context)) {
        lf::log("BNGaussianBlurNode: no memory for the box blurs");
        return false;
    }
    const float* block = work->row(margin->y) + margin->x;
    TarrowCopyPlanar(block, out.data, out.width, out.height, tmp.stride, out.stride);
    return true;
}
