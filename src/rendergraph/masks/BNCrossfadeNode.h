#pragma once
// BNCrossfadeNode: mixes two pictures of the same layout by a constant
// factor, foreground * t + background * (1 - t) per sample, in place over
// the background's surface where the renderer allows.

#include "rendergraph/core/BNRenderNode.h"

class BNCrossfadeNode final : public BNRenderNode {
public:
    // Null when an input is missing (silently, as a crossfade with nothing
    // has nothing to mix), or, with a log line, when the two layouts differ
    // or are not RGBA, RGBF or opacity alone.
    static std::shared_ptr<const BNCrossfadeNode> create(BNRenderNodePtr background,
                                                         BNRenderNodePtr foreground, double blend);
    BNCrossfadeNode(CreationKey, BNRenderNodePtr background, BNRenderNodePtr foreground,
                    double blend);

    double blend() const { return blend_; }

    const char* className() const override { return "BNCrossfadeNode"; }
    BNChannelMask channels() const override { return channels_; }
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // The background has the node's channels (create checks it), and the
    // kernels may write over the background they read.
    bool rendersInPlaceOverFirstInput() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    double blend_;
    BNChannelMask channels_;
};
