#pragma once
// BNInvertAlphaNode: 1 - x over an opacity plane. Outside its input's
// rectangle the output is 1 minus the input node's background opacity, so
// the node reaches over the whole plane (its bounds are infinite).

#include "rendergraph/core/BNRenderNode.h"

class BNInvertAlphaNode final : public BNRenderNode {
public:
    // Null, with a log line, when the input is missing or is not an opacity
    // plane (mask 8).
    static std::shared_ptr<const BNInvertAlphaNode> create(BNRenderNodePtr input);
    BNInvertAlphaNode(CreationKey, BNRenderNodePtr input);

    const char* className() const override { return "BNInvertAlphaNode"; }
    BNChannelMask channels() const override { return BNChannelMaskOpacity; }
    void updateHashContext(BNHashContext& context) const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;
};

