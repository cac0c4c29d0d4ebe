#pragma once
// BNApplyMaskNode: multiplies every channel of a picture (RGBA, RGBF, or
// opacity or fill alone) by a one-channel mask. Its bounds are the mask's.

#include "rendergraph/core/BNRenderNode.h"

class BNApplyMaskNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing or the input has
    // neither an opacity nor a fill channel.
    static std::shared_ptr<const BNApplyMaskNode> create(BNRenderNodePtr input,
                                                         BNRenderNodePtr mask);
    BNApplyMaskNode(CreationKey, BNRenderNodePtr input, BNRenderNodePtr mask);

    const char* className() const override { return "BNApplyMaskNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    VKRect calculateBounds() const override { return inputNode(1)->bounds(); }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // Layouts other than the four- and one-channel ones give a transparent
    // output.
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;
};
