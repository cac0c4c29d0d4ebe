#pragma once
// BNBlendNode: composites a foreground node over a background node in one of
// the 27 blend modes (BNBlendMode.h) with a fill factor. Layer compositing
// stacks every layer, effect and group result with it.
//
// The output is always RGBA; outside the part that the inputs cover it holds
// the background node's background values. A foreground with exactly one of
// the opacity and fill channels (RGBA, RGBF) blends through the fill-aware
// kernel table, any other through the plain table (BlendKernels.h). The
// opacity is kept and enters the identity, but only the fill acts on pixels.
//
// Rendering takes one of three roads: in place over the background surface,
// when the renderer hands that surface over as the output (it does so only
// when nothing else reads it); directly, when both inputs cover the whole
// output; or by regions: background values outside the background, a copy of
// the background outside the foreground, and the blend inside it. A blend
// that cannot run (a mode outside 0 to 26, an input that is not a
// four-sample surface) leaves the background in the output.

#include "rendergraph/blend/BNBlendMode.h"
#include "rendergraph/core/BNRenderNode.h"

class BNBlendNode final : public BNRenderNode {
public:
    // Null, with a log line, when either input is missing. The mode is not
    // checked here.
    static std::shared_ptr<const BNBlendNode> create(BNRenderNodePtr background,
                                                     BNRenderNodePtr foreground,
                                                     BNBlendMode blendMode, double opacity = 1.0,
                                                     double fill = 1.0);
    BNBlendNode(CreationKey, BNRenderNodePtr background, BNRenderNodePtr foreground,
                BNBlendMode blendMode, double opacity, double fill);

    BNBlendMode blendMode() const { return blendMode_; }
    double opacity() const { return opacity_; }
    double fill() const { return fill_; }

    const char* className() const override { return "BNBlendNode"; }
    std::string labelForInputNodeAtIndex(size_t index) const override;
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    bool supportsScaleFactor() const override { return true; }
    // Only over an RGBA background, so that the result keeps the node's
    // channels whichever surface it lands in.
    bool rendersInPlaceOverFirstInput() const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

    // Blends the foreground into the background surface itself.
    void renderInPlaceWithBackgroundSurface(BNSurface& background, const BNSurface& foreground,
                                            BNRenderingContext& context) const;

private:
    BNBlendMode blendMode_;
    double opacity_;
    double fill_;
};

// Blends `foreground` over `background` into `output`, three surfaces of the
// same pixel size (output may be the background itself). Chooses the kernel
// table by the foreground's channels. Returns false, drawing nothing, when
// the mode is outside 0 to 26 or a surface does not hold four samples per
// pixel.
bool BNBlendSurfaces(const BNSurface& foreground, const BNSurface& background, BNSurface& output,
                     BNBlendMode blendMode, double opacity, double fill);
