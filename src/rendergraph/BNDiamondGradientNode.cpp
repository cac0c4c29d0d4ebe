#include "rendergraph/BNDiamondGradientNode.h"

#include "kernels/GradientKernels.h"
#include "platform/Log.h"
#include "rendergraph/BNGradientRendering.h"

std::shared_ptr<const BNDiamondGradientNode> BNDiamondGradientNode::create(
    VKPoint center, double angle, double radius, std::shared_ptr<const BNGradientProvider> provider,
    bool dither) {
    if (!provider) {
        lf::log("BNDiamondGradientNode: no gradient provider");
        return nullptr;
    }
    return make<BNDiamondGradientNode>(center, angle, radius, std::move(provider), dither);
}

BNDiamondGradientNode::BNDiamondGradientNode(CreationKey, VKPoint center, double angle,
                                             double radius,
                                             std::shared_ptr<const BNGradientProvider> provider,
                                             bool dither)
    : BNRenderNode({}),
      center_(center),
      angle_(angle),
      radius_(radius),
      provider_(std::move(provider)),
      shouldDither_(dither) {}

void BNDiamondGradientNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateValue(center_);
    context.updateValue(angle_);
    context.updateValue(radius_);
    context.updateAddress(provider_.get());
    // Dither changes the pixels, so it is part of the identity.
    context.updateFlag(shouldDither_);
}

void BNDiamondGradientNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                                    BNRenderingContext& context) const {
    const double s = output.scaleFactor();
    BNRenderGradientGenerator(
        className(), output, context, *provider_, shouldDither_, kBNDiamondGradientDitherStep,
        [&](const float* table, int32_t x0, int32_t y0, const BNKernelPlane& plane) {
            TarrowDiamondGradient(plane.data, table, x0, y0, static_cast<int32_t>(plane.width),
                                  plane.height, plane.stride, BNGradientTable::kEntryCount, false,
                                  float(center_.x * s), float(center_.y * s), float(angle_),
                                  float(radius_ * s));
        });
}
