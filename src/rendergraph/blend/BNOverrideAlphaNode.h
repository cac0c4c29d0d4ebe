#pragma once
// BNOverrideAlphaNode: gives a picture another node's coverage. With a the
// fourth channel of the alpha node's picture, each output pixel is the
// input's colour rescaled to a: (rgb * a / max(A, 0.00001), a). The output's
// fourth channel is opacity or fill as the alpha node carries it.

#include "rendergraph/core/BNRenderNode.h"

class BNOverrideAlphaNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing.
    static std::shared_ptr<const BNOverrideAlphaNode> create(BNRenderNodePtr input,
                                                             BNRenderNodePtr alphaNode);
    BNOverrideAlphaNode(CreationKey, BNRenderNodePtr input, BNRenderNodePtr alphaNode);

    const char* className() const override { return "BNOverrideAlphaNode"; }
    BNChannelMask channels() const override { return channels_; }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // Inputs that are not both four-sample pictures give a transparent
    // output.
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    BNChannelMask channels_;
};
