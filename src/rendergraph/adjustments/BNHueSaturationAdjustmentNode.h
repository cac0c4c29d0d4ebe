#pragma once
// BNHueSaturationAdjustmentNode: a hue/saturation adjustment of an RGBA
// input: the master's hue, saturation and lightness, plus those of each
// secondary adjustment over its colour range of hues. Works through tables
// of 1080 steps over the hue circle. Renders at any scale.
//
// The node copies its adjustments when it is made, and its identity covers
// their values: changing an adjustment object afterwards does not change
// the node.

#include "rendergraph/adjustments/BNHueSaturationAdjustment.h"
#include "rendergraph/core/BNRenderNode.h"

#include <vector>

class BNHueSaturationAdjustmentNode final : public BNRenderNode {
public:
    static constexpr uint32_t kHueTableCount = 1080;
    static constexpr uint32_t kLightnessLookupCount = 256;

    // Null, with a log line, unless the input is RGBA.
    static std::shared_ptr<const BNHueSaturationAdjustmentNode> create(
        BNRenderNodePtr input, const BNHueSaturationAdjustment& masterAdjustment,
        std::vector<BNHueSaturationAdjustment> secondaryAdjustments);
    BNHueSaturationAdjustmentNode(CreationKey, BNRenderNodePtr input,
                                  const BNHueSaturationAdjustment& masterAdjustment,
                                  std::vector<BNHueSaturationAdjustment> secondaryAdjustments);

    const BNHueSaturationAdjustment& masterAdjustment() const { return master_; }
    const std::vector<BNHueSaturationAdjustment>& adjustments() const { return adjustments_; }

    const char* className() const override { return "BNHueSaturationAdjustmentNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

    // The tables the kernel reads: hue in degrees, saturation factor and
    // lightness change per step of the hue circle, and the master's
    // lightness curve.
    struct Tables {
        std::vector<float> hue, saturation, lightness, lightnessLookup;
    };
    Tables makeTables() const;

private:
    BNHueSaturationAdjustment master_;
    std::vector<BNHueSaturationAdjustment> adjustments_;
};
