#pragma once
// BNShapeBurstGradientNode: a gradient laid along the distance to the edge
// of a shape given as an opacity-only input. An inside position runs the
// gradient inward from the edge, outside outward from it (the table
// reversed, so the last entry lies on the edge), centred across it (the
// first entry far outside, the middle on the edge, the last deep inside);
// `width` points to go from one end to the other. Gradient fills and glows use it.
// Renders at scale 1 only (the renderer scales its pixels).

#include "geometry/VKStrokeStyle.h"
#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/gradients/BNGradientProvider.h"

class BNShapeBurstGradientNode final : public BNRenderNode {
public:
    // Null, with a log line, unless the input is opacity only, and without a
    // provider. A width that is negative or not finite counts as 0.
    static std::shared_ptr<const BNShapeBurstGradientNode> create(
        BNRenderNodePtr input, VKStrokePosition position, double width,
        std::shared_ptr<const BNGradientProvider> provider);
    BNShapeBurstGradientNode(CreationKey, BNRenderNodePtr input, VKStrokePosition position,
                             double width, std::shared_ptr<const BNGradientProvider> provider);

    VKStrokePosition position() const { return position_; }
    double width() const { return width_; }
    const std::shared_ptr<const BNGradientProvider>& provider() const { return provider_; }

    const char* className() const override { return "BNShapeBurstGradientNode"; }
    VKRect calculateBounds() const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    void updateHashContext(BNHashContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKStrokePosition position_;
    double width_;
    std::shared_ptr<const BNGradientProvider> provider_;
};
