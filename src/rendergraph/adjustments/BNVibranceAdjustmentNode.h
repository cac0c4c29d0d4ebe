#pragma once
// BNVibranceAdjustmentNode: the vibrance adjustment: vibrance raises the
// saturation of dull colours more than that of saturated ones and spares
// skin tones; saturation moves every colour away from its grey. Works in
// the linear light of the rendering's colour profile (its estimated gamma,
// 2.2 without a profile), on RGBA or RGB-with-fill inputs. Renders at any
// scale.

#include "rendergraph/core/BNRenderNode.h"

class BNVibranceAdjustmentNode final : public BNRenderNode {
public:
    // Null, with a log line, unless the input is RGBA or RGB with fill.
    // Vibrance is kept within -1..1; saturation (-1..1) is stored plus one,
    // within 0..2. NaN settings count as 0.
    static std::shared_ptr<const BNVibranceAdjustmentNode> create(BNRenderNodePtr input,
                                                                  double vibrance,
                                                                  double saturation);
    BNVibranceAdjustmentNode(CreationKey, BNRenderNodePtr input, double vibrance,
                             double saturation);

    double vibrance() const { return vibrance_; }
    double saturation() const { return saturation_; }

    const char* className() const override { return "BNVibranceAdjustmentNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    double vibrance_;
    double saturation_;
};
