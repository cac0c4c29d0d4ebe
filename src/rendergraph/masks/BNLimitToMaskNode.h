#pragma once
// BNLimitToMaskNode: caps a one-channel plane where a one-channel mask is
// low: where the mask is below the lower threshold's level, the output is
// min(input, mask * factor), elsewhere the input (MaskKernels.h quantises
// the threshold to whole percent and derives level and factor).

#include "rendergraph/core/BNRenderNode.h"

class BNLimitToMaskNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing or either input is
    // not a plane of opacity or fill alone.
    static std::shared_ptr<const BNLimitToMaskNode> create(BNRenderNodePtr input,
                                                           BNRenderNodePtr mask,
                                                           double lowerThreshold);
    BNLimitToMaskNode(CreationKey, BNRenderNodePtr input, BNRenderNodePtr mask,
                      double lowerThreshold);

    double lowerThreshold() const { return lowerThreshold_; }
    // Whether the threshold comes to at least one whole percent; below
    // that the output is the input.
    bool limitsInput() const;

    const char* className() const override { return "BNLimitToMaskNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    // The mask's bounds (outside them the mask is 0 and so is the output);
    // the input's when the threshold leaves the input unchanged.
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    double lowerThreshold_;
};
