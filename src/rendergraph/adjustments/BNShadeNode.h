#pragma once
// BNShadeNode: the shading of a bevel: a one-channel height map lit from
// `direction` (degrees) at `elevation` (degrees above the plane); `size`
// (points) and `depth` set how steep the map's slopes are. Each output
// pixel is shaded from the 3 by 3 block of height samples centred on it.
// Renders at any scale.

#include "rendergraph/core/BNRenderNode.h"

class BNShadeNode final : public BNRenderNode {
public:
    static std::shared_ptr<const BNShadeNode> create(BNRenderNodePtr input, double direction,
                                                     double elevation, double size, double depth);
    BNShadeNode(CreationKey, BNRenderNodePtr input, double direction, double elevation, double size,
                double depth);

    double direction() const { return direction_; }
    double elevation() const { return elevation_; }
    double size() const { return size_; }
    double depth() const { return depth_; }

    const char* className() const override { return "BNShadeNode"; }
    BNChannelMask channels() const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    double direction_, elevation_, size_, depth_;
};
