#include "ReferenceRenderer.h"

#include "DistanceGradientReference.h"
#include "PlainBlurs.h"
#include "geometry/VKGeometryStrings.h"
#include "kernels/BlendKernels.h"
#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/geometry/BNTranslateNode.h"

#include <fmt/format.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <map>
#include <string_view>

namespace rendergraph_test {

namespace {

using Evaluator = BNSurfacePtr (*)(const BNRenderNode& node, VKRect rect, double scaleFactor,
                                   const BNSurfaceList& inputs, BNRenderingContext& context);

bool hasPixels(const BNSurface& surface) {
    return surface.data() && surface.widthInPixels() > 0 && surface.heightInPixels() > 0;
}

// Pixel offset of `inner`'s origin within `outer`'s.
int64_t offsetInPixels(double inner, double outer, double scaleFactor) {
    return std::llround((inner - outer) * scaleFactor);
}

// Copies every pixel of `source` into `destination` at `source`'s place,
// both of one channel layout and `source` inside `destination`.
void place(const BNSurface& source, BNSurface& destination) {
    double scale = destination.scaleFactor();
    int64_t dx = offsetInPixels(source.rect().origin.x, destination.rect().origin.x, scale);
    int64_t dy = offsetInPixels(source.rect().origin.y, destination.rect().origin.y, scale);
    int n = source.samplesPerPixel();
    for (uint64_t y = 0; y < source.heightInPixels(); ++y)
        std::memcpy(destination.row(y + dy) + dx * n, source.row(y),
                    source.widthInPixels() * n * sizeof(float));
}

// The node's own render hook over a zero-filled output.
BNSurfacePtr evaluateWithRenderHook(const BNRenderNode& node, VKRect rect, double scaleFactor,
                                    const BNSurfaceList& inputs, BNRenderingContext& context) {
    BNSurfacePtr output = zeroSurface(rect, scaleFactor, node.channels());
    node.renderWithOutputSurface(*output, inputs, context);
    return output;
}

// A translation is a copy of the input's pixels under the new rectangle.
BNSurfacePtr evaluateTranslate(const BNRenderNode&, VKRect rect, double scaleFactor,
                               const BNSurfaceList& inputs, BNRenderingContext&) {
    const BNSurface& input = *inputs.at(0);
    BNSurfacePtr output = zeroSurface(rect, scaleFactor, input.channels());
    BNSurface moved(output->rect(), scaleFactor, input.channels(), input.data(),
                    input.bytesPerRow(), nullptr);
    place(moved, *output);
    return output;
}

// Opacity as fill: a copy of the input under the node's channels, where the
// layouts agree; transparent where they do not.
BNSurfacePtr evaluateRelabel(const BNRenderNode& node, VKRect rect, double scaleFactor,
                             const BNSurfaceList& inputs, BNRenderingContext&) {
    const BNSurface& input = *inputs.at(0);
    BNSurfacePtr output = zeroSurface(rect, scaleFactor, node.channels());
    if (input.samplesPerPixel() != output->samplesPerPixel()) return output;
    BNSurface relabelled(input.rect(), scaleFactor, node.channels(), input.data(),
                         input.bytesPerRow(), nullptr);
    place(relabelled, *output);
    return output;
}

// A blend, always by regions: the background node's background values,
// the background's pixels where it has them, the foreground blended over
// that where it has pixels. A blend that cannot run leaves the background.
BNSurfacePtr evaluateBlend(const BNRenderNode& node, VKRect rect, double scaleFactor,
                           const BNSurfaceList& inputs, BNRenderingContext&) {
    const auto& blend = static_cast<const BNBlendNode&>(node);
    const BNSurface& background = *inputs.at(0);
    const BNSurface& foreground = *inputs.at(1);
    BNSurfacePtr output = zeroSurface(rect, scaleFactor, BNChannelMaskRGBA);
    BNFillSurfaceWithBackgroundOfNode(*output, *node.inputNode(0));
    if (hasPixels(background) && background.samplesPerPixel() == 4) place(background, *output);

    int mode = blend.blendMode();
    if (!hasPixels(foreground) || foreground.samplesPerPixel() != 4 || mode < 0 ||
        mode >= kTarrowBlendModeCount)
        return output;
    BNChannelMask coverage = foreground.channels() & (BNChannelMaskOpacity | BNChannelMaskFill);
    const TarrowBlendTable& table =
        coverage == BNChannelMaskOpacity || coverage == BNChannelMaskFill
            ? TarrowFillAwareBlendKernels()
            : TarrowPlainBlendKernels();
    int64_t dx = offsetInPixels(foreground.rect().origin.x, rect.origin.x, scaleFactor);
    int64_t dy = offsetInPixels(foreground.rect().origin.y, rect.origin.y, scaleFactor);
    float* under = output->row(dy) + dx * 4;
    auto stride = static_cast<uint32_t>(output->bytesPerRow());
    table[mode](
        under, foreground.data(), under, 0, 0, static_cast<uint32_t>(foreground.widthInPixels()),
        static_cast<int32_t>(foreground.heightInPixels()), stride,
        static_cast<uint32_t>(foreground.bytesPerRow()), stride, static_cast<float>(blend.fill()));
    return output;
}

// The input at `index` over the whole rectangle: its pixels where it has
// them, its background values elsewhere.
BNSurfacePtr spread(const BNRenderNode& node, size_t index, VKRect rect, double scaleFactor,
                    const BNSurface& input, BNChannelMask channels) {
    const BNRenderNode& source = *node.inputNode(index);
    BNSurfacePtr surface = zeroSurface(rect, scaleFactor, channels);
    if (BNSamplesPerPixel(channels) == 4)
        BNFillSurfaceWithBackgroundOfNode(*surface, source);
    else
        BNFillSurface(*surface, source.backgroundValueForChannel(BNChannelOpacity));
    if (hasPixels(input)) place(input, *surface);
    return surface;
}

// A crossfade with a mask, pixel by pixel over the whole rectangle rather
// than by regions.
BNSurfacePtr evaluateCrossfadeWithMask(const BNRenderNode& node, VKRect rect, double scaleFactor,
                                       const BNSurfaceList& inputs, BNRenderingContext&) {
    BNChannelMask channels = node.channels();
    BNSurfacePtr background = spread(node, 0, rect, scaleFactor, *inputs.at(0), channels);
    BNSurfacePtr foreground = spread(node, 1, rect, scaleFactor, *inputs.at(1), channels);
    BNSurfacePtr mask = spread(node, 2, rect, scaleFactor, *inputs.at(2), BNChannelMaskOpacity);
    BNSurfacePtr output = zeroSurface(rect, scaleFactor, channels);
    BNKernelPlane b(*background), f(*foreground), m(*mask), o(*output);
    (channels == BNChannelMaskRGBA ? TarrowCrossfadeWithMaskRGBA : TarrowCrossfadeWithMaskPlanar)(
        b.data, f.data, m.data, o.data, o.width, o.height, b.stride, f.stride, m.stride, o.stride);
    return output;
}

// The blurs computed plainly (PlainBlurs.h).
BNSurfacePtr evaluateGaussianBlur(const BNRenderNode& node, VKRect rect, double scaleFactor,
                                  const BNSurfaceList& inputs, BNRenderingContext&) {
    return plainGaussianBlur(static_cast<const BNGaussianBlurNode&>(node), *inputs.at(0), rect,
                             scaleFactor);
}
BNSurfacePtr evaluateTentBlur(const BNRenderNode& node, VKRect rect, double scaleFactor,
                              const BNSurfaceList& inputs, BNRenderingContext&) {
    return plainTentBlur(static_cast<const BNTentBlurNode&>(node), *inputs.at(0), rect,
                         scaleFactor);
}

const std::map<std::string_view, Evaluator> kEvaluators = {
    {"BNTranslateNode", evaluateTranslate},
    {"BNConvertOpacityToFillNode", evaluateRelabel},
    {"BNBlendNode", evaluateBlend},
    {"BNCrossfadeWithMaskNode", evaluateCrossfadeWithMask},
    {"BNGaussianBlurNode", evaluateGaussianBlur},
    {"BNTentBlurNode", evaluateTentBlur},
    {"BNAngularGradientNode", evaluateGradientByColumns},
    {"BNDiamondGradientNode", evaluateGradientByColumns},
    {"BNLinearGradientNode", evaluateGradientByColumns},
    {"BNRadialGradientNode", evaluateGradientByColumns},
    {"BNReflectedGradientNode", evaluateGradientByColumns},
    {"BNBitmapStrokeNode", evaluateDistanceOverWholeInput},
    {"BNDistanceTransformNode", evaluateDistanceOverWholeInput},
    {"BNShapeBurstGradientNode", evaluateDistanceOverWholeInput},
};

// Each pixel of a scale-1 surface as a k by k block.
BNSurfacePtr replicate(const BNSurface& source, double scaleFactor) {
    auto k = static_cast<uint64_t>(scaleFactor);
    BNSurfacePtr output = zeroSurface(source.rect(), scaleFactor, source.channels());
    int n = source.samplesPerPixel();
    for (uint64_t y = 0; y < output->heightInPixels(); ++y)
        for (uint64_t x = 0; x < output->widthInPixels(); ++x)
            for (int s = 0; s < n; ++s)
                output->row(y)[x * n + s] = source.row(y / k)[(x / k) * n + s];
    return output;
}

}  // namespace

BNSurfacePtr zeroSurface(VKRect rect, double scaleFactor, BNChannelMask channels) {
    BNSurfacePtr surface = BNSurface::create(rect, scaleFactor, channels);
    if (surface && surface->data())
        std::memset(surface->data(), 0, surface->bytesPerRow() * surface->heightInPixels());
    return surface;
}

bool sameSurfaces(const BNSurface& a, const BNSurface& b, std::string* difference) {
    auto fail = [&](std::string text) {
        if (difference) *difference = std::move(text);
        return false;
    };
    if (!VKRectEqualToRect(a.rect(), b.rect()) || a.scaleFactor() != b.scaleFactor())
        return fail(fmt::format("rectangles {} @{} and {} @{}", NSStringFromVKRect(a.rect()),
                                a.scaleFactor(), NSStringFromVKRect(b.rect()), b.scaleFactor()));
    if (a.channels() != b.channels())
        return fail(fmt::format("channels {} and {}", a.channels(), b.channels()));
    int n = a.samplesPerPixel();
    for (uint64_t y = 0; y < a.heightInPixels(); ++y)
        for (uint64_t x = 0; x < a.widthInPixels() * n; ++x) {
            float u = a.row(y)[x], v = b.row(y)[x];
            if (std::bit_cast<uint32_t>(u) != std::bit_cast<uint32_t>(v))
                return fail(
                    fmt::format("pixel ({}, {}) sample {}: {} and {}", x / n, y, x % n, u, v));
        }
    return true;
}

ReferenceRenderer::ReferenceRenderer() : context_(BNRenderingContext::create()) {}

BNSurfacePtr ReferenceRenderer::render(const BNRenderNodePtr& node, VKRect rect,
                                       double scaleFactor) {
    return node ? renderAtScale(*node, rect, scaleFactor) : nullptr;
}

BNSurfacePtr ReferenceRenderer::renderAtScale(const BNRenderNode& asked, VKRect rect,
                                              double scaleFactor) {
    BNRenderNodePtr substitute = asked.substituteNodeForRect(rect, scaleFactor);
    const BNRenderNode& node = substitute ? *substitute : asked;
    if (scaleFactor != 1.0 && !node.supportsScaleFactor()) {
        if (scaleFactor != std::floor(scaleFactor)) {
            lf::log("ReferenceRenderer: no replication by {}", scaleFactor);
            return nullptr;
        }
        BNSurfacePtr single = renderAtScale(node, rect, 1.0);
        return single ? replicate(*single, scaleFactor) : nullptr;
    }

    BNSurfaceList inputs;
    for (size_t i = 0; i < node.inputNodes().size(); ++i) {
        const BNRenderNode* input = node.inputNode(i);
        VKRect region = node.regionOfInterestForInputNodeAtIndex(i, rect, scaleFactor);
        if (!input || VKRectIsEmpty(region)) {
            inputs.push_back(BNSurface::emptySurface());
            continue;
        }
        BNSurfacePtr surface = renderAtScale(
            *input, region, scaleFactor * node.scaleFactorMultiplierForInputNodeAtIndex(i));
        if (!surface) return nullptr;
        inputs.push_back(std::move(surface));
    }
    auto evaluator = kEvaluators.find(node.className());
    return (evaluator == kEvaluators.end() ? evaluateWithRenderHook : evaluator->second)(
        node, rect, scaleFactor, inputs, *context_);
}

}  // namespace rendergraph_test
