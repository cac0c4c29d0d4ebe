#pragma once
// BNDistanceTransformNode: the normalised distance field of a shape given
// as a one-channel plane (BNDistance.h). Position 0 gives the centred field,
// 0 far outside through 0.5 at the edge to 1 deep inside; positions 1
// (inside) and 2 (outside) give the one-sided field, 0 on the zero region
// rising to 1 at w + 1 pixels from it. Precise glows and chisel bevels use
// it. Renders at any scale: the width is in points and measured in output
// pixels.

#include "rendergraph/core/BNRenderNode.h"

class BNDistanceTransformNode final : public BNRenderNode {
public:
    // Null, with a log line, unless the input has exactly one channel. A
    // width that is negative or not finite counts as 0. Technique 1 starts
    // the centred field symmetrically from the edge pixels' coverage.
    static std::shared_ptr<const BNDistanceTransformNode> create(BNRenderNodePtr input,
                                                                 int position, double width,
                                                                 int technique);
    BNDistanceTransformNode(CreationKey, BNRenderNodePtr input, int position, double width,
                            int technique);

    int position() const { return position_; }
    double width() const { return width_; }
    int technique() const { return technique_; }

    const char* className() const override { return "BNDistanceTransformNode"; }
    BNChannelMask channels() const override { return BNChannelMaskOpacity; }
    VKRect calculateBounds() const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    int32_t position_;
    double width_;
    int32_t technique_;
};
