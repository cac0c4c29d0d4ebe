#pragma once
// BNUnmixWithMaskNode: the foreground that a crossfade with a mask mixed
// into its background, brought back from the mixed picture. Where
// BNCrossfadeWithMaskNode gives mixed = background + m * (foreground -
// background), this gives background + (mixed - background) / m per
// premultiplied sample, clamped to 0..1 with colour at most the coverage;
// where m is below 0.0001 (nothing was mixed in) the mixed picture itself.
//
// Layer compositing draws a pass-through group blended like a layer with
// it: the group's layers are drawn onto what lies below the group, weighed
// by their own coverage; taking that coverage back out gives the group's
// colour at full strength over the backdrop, which the group's shape then
// weighs once.

#include "rendergraph/core/BNRenderNode.h"

class BNUnmixWithMaskNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing, the background or
    // the mixed picture is not RGBA, or the mask is not an opacity plane.
    static std::shared_ptr<const BNUnmixWithMaskNode> create(BNRenderNodePtr background,
                                                             BNRenderNodePtr mixed,
                                                             BNRenderNodePtr mask);
    BNUnmixWithMaskNode(CreationKey, BNRenderNodePtr background, BNRenderNodePtr mixed,
                        BNRenderNodePtr mask);

    const char* className() const override { return "BNUnmixWithMaskNode"; }
    BNChannelMask channels() const override { return BNChannelMaskRGBA; }
    // The union of the background's and the mixed picture's bounds.
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;
};
