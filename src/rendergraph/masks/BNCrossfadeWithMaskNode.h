#pragma once
// BNCrossfadeWithMaskNode: mixes two pictures of the same layout (RGBA or
// opacity alone) by a one-channel mask, m * foreground + (1 - m) *
// background per sample.
//
// RGBA is mixed by regions: outside the mask's bounds, where the mask is 0
// and the output is the background, the foreground is not rendered and the
// background is only copied; the foreground is needed over the mask's
// bounds only. Outside its own bounds the foreground still counts with its
// background value, so the result does not depend on how tight the
// foreground's bounds are.

#include "rendergraph/core/BNRenderNode.h"

class BNCrossfadeWithMaskNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing, the background and
    // foreground layouts differ or are not RGBA or opacity alone, or the
    // mask is not an opacity plane.
    static std::shared_ptr<const BNCrossfadeWithMaskNode> create(BNRenderNodePtr background,
                                                                 BNRenderNodePtr foreground,
                                                                 BNRenderNodePtr mask);
    BNCrossfadeWithMaskNode(CreationKey, BNRenderNodePtr background, BNRenderNodePtr foreground,
                            BNRenderNodePtr mask);

    const char* className() const override { return "BNCrossfadeWithMaskNode"; }
    BNChannelMask channels() const override { return channels_; }
    // The union of the background's and the foreground's bounds.
    VKRect calculateBounds() const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // The background has the node's channels (create checks it), so the
    // result keeps them in the background's surface.
    bool rendersInPlaceOverFirstInput() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    // Whether the mask is 0 outside finite bounds, so that RGBA can be mixed
    // by regions.
    bool mixesByRegions() const;
    void renderRGBA(BNSurface& output, const BNSurface& background, const BNSurface& foreground,
                    const BNSurface& mask) const;

    BNChannelMask channels_;
};
