#pragma once
// BNAngularGradientNode: a gradient swept around a centre point: the
// position runs once around the circle counter-clockwise (in document
// coordinates, whose y grows downwards), starting at `angle` degrees; the
// seam shows the first entry.
//
// A generator without inputs: infinite bounds, renders at any scale (its
// geometry is in points). The colours come from the provider as a table of
// 4096 premultiplied entries; with dither each channel takes a little noise
// from the shared noise table, anchored to the image (BNGradientRendering.h).

#include "rendergraph/BNGradientProvider.h"
#include "rendergraph/BNRenderNode.h"

class BNAngularGradientNode final : public BNRenderNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNAngularGradientNode> create(
        VKPoint center, double angle, std::shared_ptr<const BNGradientProvider> provider,
        bool dither);
    BNAngularGradientNode(CreationKey, VKPoint center, double angle,
                          std::shared_ptr<const BNGradientProvider> provider, bool dither);

    VKPoint centerPoint() const { return center_; }
    double angle() const { return angle_; }
    const std::shared_ptr<const BNGradientProvider>& provider() const { return provider_; }
    bool shouldDither() const { return shouldDither_; }

    const char* className() const override { return "BNAngularGradientNode"; }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKPoint center_;
    double angle_;
    std::shared_ptr<const BNGradientProvider> provider_;
    bool shouldDither_;
};
