#pragma once
// BNBitmapStrokeNode: a stroke band of a given width along the edge of a
// shape given as an opacity-only plane: inside the shape, outside it or
// centred on its edge. Coverage 1 within the band, a one-pixel ramp at its
// border, 0 beyond; an inside stroke is 1 everywhere outside the shape, an
// outside stroke is 1 on the shape itself.
// The stroke effect and the spread of shadows and glows are built from it.
// Renders at any scale: the width is in points and measured in output
// pixels.

#include "geometry/VKStrokeStyle.h"
#include "rendergraph/core/BNRenderNode.h"

class BNBitmapStrokeNode final : public BNRenderNode {
public:
    // Null, with a log line, unless the input is opacity only. A width that
    // is negative or not finite counts as 0.
    static std::shared_ptr<const BNBitmapStrokeNode> create(BNRenderNodePtr input,
                                                            VKStrokePosition position,
                                                            double width);
    BNBitmapStrokeNode(CreationKey, BNRenderNodePtr input, VKStrokePosition position, double width);

    VKStrokePosition position() const { return position_; }
    double width() const { return width_; }

    const char* className() const override { return "BNBitmapStrokeNode"; }
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
};
