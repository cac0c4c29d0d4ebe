#pragma once
// BNAngularGradientNode: a gradient swept around a centre point: the
// position runs once around the circle counter-clockwise (in document
// coordinates, whose y grows downwards), starting at `angle` degrees; the
// seam shows the first entry.
// (BNGradientGeneratorNode.h tells what every generator does.)

#include "rendergraph/gradients/BNGradientGeneratorNode.h"

class BNAngularGradientNode final : public BNGradientGeneratorNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNAngularGradientNode> create(
        VKPoint center, double angle, std::shared_ptr<const BNGradientProvider> provider,
        bool dither);
    BNAngularGradientNode(CreationKey, VKPoint center, double angle,
                          std::shared_ptr<const BNGradientProvider> provider, bool dither);

    VKPoint centerPoint() const { return center_; }
    double angle() const { return angle_; }

    const char* className() const override { return "BNAngularGradientNode"; }

private:
    void updateGeometryHash(BNHashContext& context) const override;
    void drawGradient(const float* table, int32_t x0, int32_t y0, const BNKernelPlane& output,
                      double scale) const override;

    VKPoint center_;
    double angle_;
};
