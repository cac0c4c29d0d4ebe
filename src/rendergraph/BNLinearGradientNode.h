#pragma once
// BNLinearGradientNode: a gradient along the line from a start point
// (first entry) to an end point (last entry), constant across it and
// clamped beyond both points.
//
// A generator without inputs: infinite bounds, renders at any scale (its
// geometry is in points). The colours come from the provider as a table of
// 4096 premultiplied entries; with dither each channel takes a little noise
// from the shared noise table, anchored to the image (BNGradientRendering.h).

#include "rendergraph/BNGradientProvider.h"
#include "rendergraph/BNRenderNode.h"

class BNLinearGradientNode final : public BNRenderNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNLinearGradientNode> create(
        VKPoint start, VKPoint end, std::shared_ptr<const BNGradientProvider> provider,
        bool dither);
    BNLinearGradientNode(CreationKey, VKPoint start, VKPoint end,
                         std::shared_ptr<const BNGradientProvider> provider, bool dither);

    VKPoint startPoint() const { return start_; }
    VKPoint endPoint() const { return end_; }
    const std::shared_ptr<const BNGradientProvider>& provider() const { return provider_; }
    bool shouldDither() const { return shouldDither_; }

    const char* className() const override { return "BNLinearGradientNode"; }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKPoint start_;
    VKPoint end_;
    std::shared_ptr<const BNGradientProvider> provider_;
    bool shouldDither_;
};
