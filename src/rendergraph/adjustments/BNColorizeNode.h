#pragma once
// BNColorizeNode: the colorize option of a hue/saturation adjustment. Every
// pixel takes one hue and saturation and keeps (after the lightness
// setting) its own HSL lightness. Works on four-channel inputs (RGBA or
// RGB with fill); renders at scale 1 only.

#include "rendergraph/core/BNRenderNode.h"

class BNColorizeNode final : public BNRenderNode {
public:
    // Null, with a log line, unless the input has the R, G and B channels.
    // Hue in degrees, saturation and lightness from -1 to 1.
    static std::shared_ptr<const BNColorizeNode> create(BNRenderNodePtr input, double hue,
                                                        double saturation, double lightness);
    BNColorizeNode(CreationKey, BNRenderNodePtr input, double hue, double saturation,
                   double lightness);

    double hue() const { return hue_; }
    double saturation() const { return saturation_; }
    double lightness() const { return lightness_; }

    const char* className() const override { return "BNColorizeNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    VKRect calculateBounds() const override { return inputNode(0)->bounds(); }
    void updateHashContext(BNHashContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    double hue_, saturation_, lightness_;
};
