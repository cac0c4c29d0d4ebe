#include "rendergraph/gradients/BNRadialGradientNode.h"

#include "rendergraph/gradients/BNGradientRendering.h"

std::shared_ptr<const BNRadialGradientNode> BNRadialGradientNode::create(
    VKPoint center, double radius, std::shared_ptr<const BNGradientProvider> provider,
    bool dither) {
    if (!hasProvider("BNRadialGradientNode", provider.get())) return nullptr;
    return make<BNRadialGradientNode>(center, radius, std::move(provider), dither);
}

BNRadialGradientNode::BNRadialGradientNode(CreationKey, VKPoint center, double radius,
                                           std::shared_ptr<const BNGradientProvider> provider,
                                           bool dither)
    : BNGradientGeneratorNode(std::move(provider), dither, kBNGradientDitherStep),
      center_(center),
      radius_(radius) {}

void BNRadialGradientNode::updateGeometryHash(BNHashContext& context) const {
    context.updateValue(center_);
    context.updateValue(radius_);
}

void BNRadialGradientNode::drawGradient(const float* table, int32_t x0, int32_t y0,
                                        const BNKernelPlane& output, double scale) const {
    TarrowRadialGradient(
        output.data, table, x0, y0, static_cast<int32_t>(output.width), output.height,
        output.stride, BNGradientTable::kEntryCount, false, static_cast<float>(center_.x * scale),
        static_cast<float>(center_.y * scale), static_cast<float>(radius_ * scale));
}
