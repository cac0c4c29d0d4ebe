#pragma once
// BNDivideMaskNode: divides the coverage of a picture (RGBA, RGBF, or an
// opacity plane) by a one-channel mask, scaled by a fill factor k:
// a' = clamp(a * k / f, 0, 1), or clamp(a, 0, 1) where the mask is below
// 0.0001; colour is rescaled with the coverage. Layer compositing divides by
// a group's factor mask with it, so the group's shape is not applied twice.

#include "rendergraph/core/BNRenderNode.h"

class BNDivideMaskNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing, the foreground is not
    // an opacity plane or the background not RGBA, RGBF or opacity alone.
    static std::shared_ptr<const BNDivideMaskNode> create(BNRenderNodePtr background,
                                                          BNRenderNodePtr foreground,
                                                          double fill = 1.0);
    BNDivideMaskNode(CreationKey, BNRenderNodePtr background, BNRenderNodePtr foreground,
                     double fill);

    double fill() const { return fill_; }

    const char* className() const override { return "BNDivideMaskNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    double fill_;
};
