#pragma once
// BNReflectedGradientNode: a linear gradient mirrored about the midpoint
// of its two points: the first entry lies midway between them, the last at
// both points and beyond.
//
// A generator without inputs: infinite bounds, renders at any scale (its
// geometry is in points). The colours come from the provider as a table of
// 4096 premultiplied entries; with dither each channel takes a little noise
// from the shared noise table, anchored to the image (BNGradientRendering.h).

#include "rendergraph/BNGradientProvider.h"
#include "rendergraph/BNRenderNode.h"

class BNReflectedGradientNode final : public BNRenderNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNReflectedGradientNode> create(
        VKPoint start, VKPoint end, std::shared_ptr<const BNGradientProvider> provider,
        bool dither);
    BNReflectedGradientNode(CreationKey, VKPoint start, VKPoint end,
                            std::shared_ptr<const BNGradientProvider> provider, bool dither);

    VKPoint startPoint() const { return start_; }
    VKPoint endPoint() const { return end_; }
    const std::shared_ptr<const BNGradientProvider>& provider() const { return provider_; }
    bool shouldDither() const { return shouldDither_; }

    const char* className() const override { return "BNReflectedGradientNode"; }
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
