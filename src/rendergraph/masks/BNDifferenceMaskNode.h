#pragma once
// BNDifferenceMaskNode: the absolute difference |input - mask| of two
// opacity planes.

#include "rendergraph/core/BNRenderNode.h"

class BNDifferenceMaskNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing or either is not an
    // opacity plane.
    static std::shared_ptr<const BNDifferenceMaskNode> create(BNRenderNodePtr input,
                                                              BNRenderNodePtr mask);
    BNDifferenceMaskNode(CreationKey, BNRenderNodePtr input, BNRenderNodePtr mask);

    const char* className() const override { return "BNDifferenceMaskNode"; }
    BNChannelMask channels() const override { return BNChannelMaskOpacity; }
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;
};
