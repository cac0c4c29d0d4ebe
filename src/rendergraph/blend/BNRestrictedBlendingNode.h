#pragma once
// BNRestrictedBlendingNode: a blend result limited to some channels: the
// channels named in the background-channel mask come from the background
// (what lay under the layer), the others from the foreground (the blend).
// Layer compositing uses it for a layer's channel restrictions and knockout.

#include "rendergraph/core/BNRenderNode.h"

class BNRestrictedBlendingNode final : public BNRenderNode {
public:
    // `backgroundChannels`: R 1, G 2, B 4 and A 8 (the fourth sample, also
    // of RGBF pictures). Null, with a log line, when an input is missing.
    static std::shared_ptr<const BNRestrictedBlendingNode> create(BNRenderNodePtr foreground,
                                                                  BNRenderNodePtr background,
                                                                  BNChannelMask backgroundChannels);
    BNRestrictedBlendingNode(CreationKey, BNRenderNodePtr foreground, BNRenderNodePtr background,
                             BNChannelMask backgroundChannels);

    BNChannelMask backgroundChannels() const { return backgroundChannels_; }

    const char* className() const override { return "BNRestrictedBlendingNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // Inputs that are not both four-channel pictures are logged and the
    // foreground passes unchanged.
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    BNChannelMask backgroundChannels_;
};
