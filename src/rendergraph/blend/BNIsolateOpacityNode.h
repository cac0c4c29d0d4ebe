#pragma once
// BNIsolateOpacityNode: the fourth channel of a four-channel picture as a
// one-channel opacity plane.

#include "rendergraph/core/BNRenderNode.h"

class BNIsolateOpacityNode final : public BNRenderNode {
public:
    // Null, with a log line, when the input is missing.
    static std::shared_ptr<const BNIsolateOpacityNode> create(BNRenderNodePtr input);
    BNIsolateOpacityNode(CreationKey, BNRenderNodePtr input);

    const char* className() const override { return "BNIsolateOpacityNode"; }
    BNChannelMask channels() const override { return BNChannelMaskOpacity; }
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // An input that is not a four-sample picture gives a transparent output.
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;
};
