#include "rendergraph/gradients/BNDiamondGradientNode.h"

#include "rendergraph/gradients/BNGradientRendering.h"

std::shared_ptr<const BNDiamondGradientNode> BNDiamondGradientNode::create(
    VKPoint center, double angle, double radius, std::shared_ptr<const BNGradientProvider> provider,
    bool dither) {
    if (!hasProvider("BNDiamondGradientNode", provider.get())) return nullptr;
    return make<BNDiamondGradientNode>(center, angle, radius, std::move(provider), dither);
}

BNDiamondGradientNode::BNDiamondGradientNode(CreationKey, VKPoint center, double angle,
                                             double radius,
                                             std::shared_ptr<const BNGradientProvider> provider,
                                             bool dither)
    : BNGradientGeneratorNode(std::move(provider), dither, kBNDiamondGradientDitherStep),
      center_(center),
      angle_(angle),
      radius_(radius) {}

void BNDiamondGradientNode::updateGeometryHash(BNHashContext& context) const {
    context.updateValue(center_);
    context.updateValue(angle_);
    context.updateValue(radius_);
}

void BNDiamondGradientNode::drawGradient(const float* table, int32_t x0, int32_t y0,
                                         const BNKernelPlane& output, double scale) const {
    TarrowDiamondGradient(output.data, table, x0, y0, static_cast<int32_t>(output.width),
                          output.height, output.stride, BNGradientTable::kEntryCount, false,
                          static_cast<float>(center_.x * scale),
                          static_cast<float>(center_.y * scale), static_cast<float>(angle_),
                          static_cast<float>(radius_ * scale));
}
