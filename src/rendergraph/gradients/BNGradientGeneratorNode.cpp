#include "rendergraph/gradients/BNGradientGeneratorNode.h"

#include "platform/core/Log.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/gradients/BNGradientRendering.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The whole part, toward zero, of a pixel coordinate, kept within the
// kernels' 32-bit range.
int32_t pixelOrigin(double coordinate) {
    if (!(coordinate == coordinate)) return 0;
    constexpr double kLow = std::numeric_limits<int32_t>::min();
    constexpr double kHigh = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::trunc(std::clamp(coordinate, kLow, kHigh)));
}

}  // namespace

BNGradientGeneratorNode::BNGradientGeneratorNode(std::shared_ptr<const BNGradientProvider> provider,
                                                 bool dither, float ditherStep)
    : BNRenderNode({}),
      provider_(std::move(provider)),
      shouldDither_(dither),
      ditherStep_(ditherStep) {}

bool BNGradientGeneratorNode::hasProvider(const char* className,
                                          const BNGradientProvider* provider) {
    if (!provider) lf::log("{}: no gradient provider", className);
    return provider != nullptr;
}

void BNGradientGeneratorNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateGeometryHash(context);
    context.updateAddress(provider_.get());
    context.updateFlag(shouldDither_);
}

void BNGradientGeneratorNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                                      BNRenderingContext& context) const {
    BNGradientTable table(context, *provider_, true);
    if (!table.isValid()) {
        lf::log("{}: no memory for the gradient table", className());
        BNClearSurface(output);
        return;
    }
    const double scale = output.scaleFactor();
    const int32_t x0 = pixelOrigin(output.rect().origin.x * scale);
    const int32_t y0 = pixelOrigin(output.rect().origin.y * scale);
    drawGradient(table.data(), x0, y0, BNKernelPlane(output), scale);
    if (shouldDither_) BNAddGradientDither(output, x0, y0, ditherStep_);
}

BNTwoPointGradientNode::BNTwoPointGradientNode(VKPoint start, VKPoint end,
                                               std::shared_ptr<const BNGradientProvider> provider,
                                               bool dither, TarrowTwoPointGradientFn kernel)
    : BNGradientGeneratorNode(std::move(provider), dither, kBNGradientDitherStep),
      start_(start),
      end_(end),
      kernel_(kernel) {}

void BNTwoPointGradientNode::updateGeometryHash(BNHashContext& context) const {
    context.updateValue(start_);
    context.updateValue(end_);
}

void BNTwoPointGradientNode::drawGradient(const float* table, int32_t x0, int32_t y0,
                                          const BNKernelPlane& output, double scale) const {
    kernel_(output.data, table, x0, y0, static_cast<int32_t>(output.width), output.height,
            output.stride, BNGradientTable::kEntryCount, false,
            static_cast<float>(start_.x * scale), static_cast<float>(start_.y * scale),
            static_cast<float>(end_.x * scale), static_cast<float>(end_.y * scale));
}
