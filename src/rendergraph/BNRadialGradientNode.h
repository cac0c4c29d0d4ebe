#pragma once
// BNRadialGradientNode: a gradient in circles around a centre point,
// reaching the last entry at `radius`.
//
// A generator without inputs: infinite bounds, renders at any scale (its
// geometry is in points). The colours come from the provider as a table of
// 4096 premultiplied entries; with dither each channel takes a little noise
// from the shared noise table, anchored to the image (BNGradientRendering.h).

#include "rendergraph/BNGradientProvider.h"
#include "rendergraph/BNRenderNode.h"

class BNRadialGradientNode final : public BNRenderNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNRadialGradientNode> create(
        VKPoint center, double radius, std::shared_ptr<const BNGradientProvider> provider,
        bool dither);
    BNRadialGradientNode(CreationKey, VKPoint center, double radius,
                         std::shared_ptr<const BNGradientProvider> provider, bool dither);

    VKPoint centerPoint() const { return center_; }
    double radius() const { return radius_; }
    const std::shared_ptr<const BNGradientProvider>& provider() const { return provider_; }
    bool shouldDither() const { return shouldDither_; }

    const char* className() const override { return "BNRadialGradientNode"; }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKPoint center_;
    double radius_;
    std::shared_ptr<const BNGradientProvider> provider_;
    bool shouldDither_;
};
