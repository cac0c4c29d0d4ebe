#pragma once
// BNBlendingRangesMaskNode: the Blend If mask of an RGBA (or RGBF) picture:
// a one-channel plane weighing each pixel by where its gray value and its
// colour channels fall in a layer's blending ranges. The ranges come from a
// provider as tables of 256 weights, asked for on every render; the product
// of the gray weight and the three colour weights is the mask. Without any
// range the mask is 1 everywhere.

#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/masks/BNBlendingRangesProvider.h"

class BNBlendingRangesMaskNode final : public BNRenderNode {
public:
    static constexpr uint64_t kTableCount = 256;

    // Null, with a log line, without an input. A missing provider counts as
    // one without ranges.
    static std::shared_ptr<const BNBlendingRangesMaskNode> create(
        BNRenderNodePtr input, std::shared_ptr<const BNBlendingRangesProvider> provider);
    BNBlendingRangesMaskNode(CreationKey, BNRenderNodePtr input,
                             std::shared_ptr<const BNBlendingRangesProvider> provider);

    const char* className() const override { return "BNBlendingRangesMaskNode"; }
    BNChannelMask channels() const override { return BNChannelMaskOpacity; }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // An input that is not a four-channel picture is logged and leaves the
    // mask at 1.
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    // Whether colour channel 0, 1 or 2 has a range of its own.
    bool shouldProcessColorChannels() const;
    // The provider's table for a colour channel, or 1 everywhere without.
    void generateValues(float* values, uint64_t count, uint64_t channel) const;

    std::shared_ptr<const BNBlendingRangesProvider> provider_;
};
