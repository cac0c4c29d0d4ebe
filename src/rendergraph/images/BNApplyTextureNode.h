#pragma once
// BNApplyTextureNode: darkens an opacity plane by a texture's luminance,
// output = input - L * amount, not clamped. L is the luminance of the
// texture composited over white: an RGBA texture, or a gray-and-alpha one
// (channels R and A, gray carried in R).

#include "rendergraph/core/BNRenderNode.h"

class BNApplyTextureNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing or the input is not
    // an opacity plane.
    static std::shared_ptr<const BNApplyTextureNode> create(BNRenderNodePtr input,
                                                            BNRenderNodePtr texture, double amount);
    BNApplyTextureNode(CreationKey, BNRenderNodePtr input, BNRenderNodePtr texture, double amount);

    double amount() const { return amount_; }

    const char* className() const override { return "BNApplyTextureNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // A texture of another layout is logged and the input passes unchanged.
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    double amount_;
};
