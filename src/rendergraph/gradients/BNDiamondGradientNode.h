#pragma once
// BNDiamondGradientNode: a gradient growing from a centre point in
// diamonds (squares turned by `angle` degrees) that reach the last entry at
// `radius`. Its dither is twice as strong as the other generators'.
// (BNGradientGeneratorNode.h tells what every generator does.)

#include "rendergraph/gradients/BNGradientGeneratorNode.h"

class BNDiamondGradientNode final : public BNGradientGeneratorNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNDiamondGradientNode> create(
        VKPoint center, double angle, double radius,
        std::shared_ptr<const BNGradientProvider> provider, bool dither);
    BNDiamondGradientNode(CreationKey, VKPoint center, double angle, double radius,
                          std::shared_ptr<const BNGradientProvider> provider, bool dither);

    VKPoint centerPoint() const { return center_; }
    double angle() const { return angle_; }
    double radius() const { return radius_; }

    const char* className() const override { return "BNDiamondGradientNode"; }

private:
    void updateGeometryHash(BNHashContext& context) const override;
    void drawGradient(const float* table, int32_t x0, int32_t y0, const BNKernelPlane& output,
                      double scale) const override;

    VKPoint center_;
    double angle_;
    double radius_;
};
