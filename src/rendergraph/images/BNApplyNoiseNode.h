#pragma once
// BNApplyNoiseNode: adds noise to chosen channels of an RGBA picture or an
// opacity plane. The noise is anchored to the image, not to the tile, so
// the tiles of one render continue one pattern (NoiseKernels.h); samples
// whose coverage is 0 keep it.

#include "rendergraph/core/BNRenderNode.h"

class BNApplyNoiseNode final : public BNRenderNode {
public:
    // `channelsToProcess` picks the channels that take noise (R 1, G 2, B 4,
    // A 8); `amount` scales it. Null, with a log line, without an input.
    static std::shared_ptr<const BNApplyNoiseNode> create(BNRenderNodePtr input, double amount,
                                                          BNChannelMask channelsToProcess);
    // Noise on every channel of the input.
    static std::shared_ptr<const BNApplyNoiseNode> create(BNRenderNodePtr input, double amount);
    BNApplyNoiseNode(CreationKey, BNRenderNodePtr input, double amount,
                     BNChannelMask channelsToProcess);

    double noiseAmount() const { return noiseAmount_; }
    BNChannelMask channelsToProcess() const { return channelsToProcess_; }

    const char* className() const override { return "BNApplyNoiseNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // Outputs other than RGBA and opacity alone take no noise: the input
    // passes unchanged.
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    double noiseAmount_;
    BNChannelMask channelsToProcess_;
};
