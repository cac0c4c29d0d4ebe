#include "rendergraph/BNReflectedGradientNode.h"

#include "kernels/GradientKernels.h"
#include "platform/Log.h"
#include "rendergraph/BNGradientRendering.h"

std::shared_ptr<const BNReflectedGradientNode> BNReflectedGradientNode::create(
    VKPoint start, VKPoint end, std::shared_ptr<const BNGradientProvider> provider, bool dither) {
    if (!provider) {
        lf::log("BNReflectedGradientNode: no gradient provider");
        return nullptr;
    }
    return make<BNReflectedGradientNode>(start, end, std::move(provider), dither);
}

BNReflectedGradientNode::BNReflectedGradientNode(CreationKey, VKPoint start, VKPoint end,
                                                 std::shared_ptr<const BNGradientProvider> provider,
                                                 bool dither)
    : BNRenderNode({}),
      start_(start),
      end_(end),
      provider_(std::move(provider)),
      shouldDither_(dither) {}

void BNReflectedGradientNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateValue(start_);
    context.updateValue(end_);
    context.updateAddress(provider_.get());
    // Dither changes the pixels, so it is part of the identity.
    context.updateFlag(shouldDither_);
}

void BNReflectedGradientNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                                      BNRenderingContext& context) const {
    const double s = output.scaleFactor();
    BNRenderGradientGenerator(
        className(), output, context, *provider_, shouldDither_, kBNGradientDitherStep,
        [&](const float* table, int32_t x0, int32_t y0, const BNKernelPlane& plane) {
            TarrowReflectedGradient(plane.data, table, x0, y0, static_cast<int32_t>(plane.width),
                                    plane.height, plane.stride, BNGradientTable::kEntryCount, false,
                                    float(start_.x * s), float(start_.y * s), float(end_.x * s),
                                    float(end_.y * s));
        });
}
