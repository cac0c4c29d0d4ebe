#include "rendergraph/gradients/BNAngularGradientNode.h"

#include "rendergraph/gradients/BNGradientRendering.h"

std::shared_ptr<const BNAngularGradientNode> BNAngularGradientNode::create(
    VKPoint center, double angle, std::shared_ptr<const BNGradientProvider> provider, bool dither) {
    if (!hasProvider("BNAngularGradientNode", provider.get())) return nullptr;
    return make<BNAngularGradientNode>(center, angle, std::move(provider), dither);
}

BNAngularGradientNode::BNAngularGradientNode(CreationKey, VKPoint center, double angle,
                                             std::shared_ptr<const BNGradientProvider> provider,
                                             bool dither)
    : BNGradientGeneratorNode(std::move(provider), dither, kBNGradientDitherStep),
      center_(center),
      angle_(angle) {}

void BNAngularGradientNode::updateGeometryHash(BNHashContext& context) const {
    context.updateValue(center_);
    context.updateValue(angle_);
}

void BNAngularGradientNode::drawGradient(const float* table, int32_t x0, int32_t y0,
                                         const BNKernelPlane& output, double scale) const {
    TarrowAngularGradient(output.data, table, x0, y0, static_cast<int32_t>(output.width),
                          output.height, output.stride, BNGradientTable::kEntryCount, false,
                          static_cast<float>(center_.x * scale),
                          static_cast<float>(center_.y * scale), static_cast<float>(angle_));
}
