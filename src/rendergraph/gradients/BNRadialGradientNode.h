#pragma once
// BNRadialGradientNode: a gradient in circles around a centre point,
// reaching the last entry at `radius`.
// (BNGradientGeneratorNode.h tells what every generator does.)

#include "rendergraph/gradients/BNGradientGeneratorNode.h"

class BNRadialGradientNode final : public BNGradientGeneratorNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNRadialGradientNode> create(
        VKPoint center, double radius, std::shared_ptr<const BNGradientProvider> provider,
        bool dither);
    BNRadialGradientNode(CreationKey, VKPoint center, double radius,
                         std::shared_ptr<const BNGradientProvider> provider, bool dither);

    VKPoint centerPoint() const { return center_; }
    double radius() const { return radius_; }

    const char* className() const override { return "BNRadialGradientNode"; }

private:
    void updateGeometryHash(BNHashContext& context) const override;
    void drawGradient(const float* table, int32_t x0, int32_t y0, const BNKernelPlane& output,
                      double scale) const override;

    VKPoint center_;
    double radius_;
};
