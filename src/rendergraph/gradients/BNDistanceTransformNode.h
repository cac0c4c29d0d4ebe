#pragma once
// BNDistanceTransformNode: the normalised distance field of a shape given
// as a one-channel plane (BNDistance.h). A centred position gives the
// centred field, 0 far outside through 0.5 at the edge to 1 deep inside;
// inside and outside give the one-sided field, 0 on the zero region rising
// to 1 at w + 1 pixels from it. Precise glows and chisel bevels use
// it. Renders at any scale: the width is in points and measured in output
// pixels.

#include "geometry/VKStrokeStyle.h"
#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/gradients/BNDistance.h"

class BNDistanceTransformNode final : public BNRenderNode {
public:
    // Null, with a log line, unless the input has exactly one channel. A
    // width that is negative or not finite counts as 0. The technique says
    // how the centred field starts at the edge pixels.
    static std::shared_ptr<const BNDistanceTransformNode> create(BNRenderNodePtr input,
                                                                 VKStrokePosition position,
                                                                 double width,
                                                                 BNDistanceTechnique technique);
    BNDistanceTransformNode(CreationKey, BNRenderNodePtr input, VKStrokePosition position,
                            double width, BNDistanceTechnique technique);

    VKStrokePosition position() const { return position_; }
    double width() const { return width_; }
    BNDistanceTechnique technique() const { return technique_; }

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
    VKStrokePosition position_;
    double width_;
    BNDistanceTechnique technique_;
};
