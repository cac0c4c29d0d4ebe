#pragma once
// BNColorWithMaskNode: a flat colour shaped by a one-channel mask. Each
// output pixel is (r*m, g*m, b*m, m), m the mask's sample; the fourth channel
// is opacity or fill as the mask carries (RGBA for an opacity mask, RGBF for
// a fill mask).

#include "rendergraph/core/BNRenderNode.h"

class BNColorWithMaskNode final : public BNRenderNode {
public:
    // Null, with a log line, when the colour channels are not exactly R, G
    // and B (7) or the mask is missing. Only the values of R, G and B are
    // kept; those of A and F are stored as 0.
    static std::shared_ptr<const BNColorWithMaskNode> create(BNRenderNodePtr mask,
                                                             const BNChannelValues& colorValues,
                                                             BNChannelMask colorChannels);
    BNColorWithMaskNode(CreationKey, BNRenderNodePtr mask, const BNChannelValues& values);

    const BNChannelValues& values() const { return values_; }

    const char* className() const override { return "BNColorWithMaskNode"; }
    BNChannelMask channels() const override { return channels_; }
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    BNChannelValues values_;
    BNChannelMask colorChannels_ = BNChannelMaskRGB;
    BNChannelMask channels_;
};
