#pragma once
// BNDiamondGradientNode: a gradient growing from a centre point in
// diamonds (squares turned by `angle` degrees) that reach the last entry at
// `radius`. Its dither is twice as strong as the other generators'.
//
// A generator without inputs: infinite bounds, renders at any scale (its
// geometry is in points). The colours come from the provider as a table of
// 4096 premultiplied entries; with dither each channel takes a little noise
// from the shared noise table, anchored to the image (BNGradientRendering.h).

#include "rendergraph/BNGradientProvider.h"
#include "rendergraph/BNRenderNode.h"

class BNDiamondGradientNode final : public BNRenderNode {
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
    const std::shared_ptr<const BNGradientProvider>& provider() const { return provider_; }
    bool shouldDither() const { return shouldDither_; }

    const char* className() const override { return "BNDiamondGradientNode"; }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKPoint center_;
    double angle_;
    double radius_;
    std::shared_ptr<const BNGradientProvider> provider_;
    bool shouldDither_;
};
