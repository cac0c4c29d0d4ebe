#pragma once
// BNTransparentNode: all zeros over its bounds, in the channels of its mask:
// the backdrop of transparency groups. The bounds do not enter the identity,
// so transparent nodes of one mask share it whatever their bounds; a blend
// over a transparent background never renders it (BNBlendNode).

#include "rendergraph/core/BNRenderNode.h"

class BNTransparentNode final : public BNRenderNode {
public:
    static std::shared_ptr<const BNTransparentNode> create(VKRect bounds, BNChannelMask channels);
    BNTransparentNode(CreationKey, VKRect bounds, BNChannelMask channels);

    const char* className() const override { return "BNTransparentNode"; }
    BNChannelMask channels() const override { return channels_; }
    VKRect calculateBounds() const override { return bounds_; }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKRect bounds_;
    BNChannelMask channels_;
};
