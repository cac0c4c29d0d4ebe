#pragma once
// BNSimpleScaleNode: resamples its input between resolutions by whole
// factors. The renderer wraps a node that does not support a scale factor in
// one of these, so that the node renders at scale 1 and its pixels are then
// doubled (factor 2), halved (factor 0.5) or, for opacity-only input,
// replicated into k by k blocks (whole factors above 2).

#include "rendergraph/core/BNRenderNode.h"

// The scale factors at which every graph renders: 1, and 2 and 0.5, to
// which this node doubles and halves the nodes that render at scale 1 only
// (their pixels are lost at any other scale). Ascending.
inline constexpr double BNRenderableScaleFactors[] = {0.5, 1.0, 2.0};

class BNSimpleScaleNode final : public BNRenderNode {
public:
    // `scale` is the factor from input to output resolution.
    static std::shared_ptr<const BNSimpleScaleNode> create(BNRenderNodePtr input, double scale);
    BNSimpleScaleNode(CreationKey, BNRenderNodePtr input, double scale);

    double scale() const { return scale_; }

    const char* className() const override { return "BNSimpleScaleNode"; }
    BNChannelMask channels() const override;
    VKRect calculateBounds() const override;
    double scaleFactorMultiplierForInputNodeAtIndex(size_t index) const override {
        return 1.0 / scale_;
    }
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    BNSurfacePtr preparedOutputSurface(VKRect rect, double scaleFactor, const BNSurfaceList& inputs,
                                       BNRenderingContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    double scale_;
};
