#pragma once
// BNEffectMaskHackNode: the crossfade mask between a layer's interior and
// exterior effects inside a group with a factor mask. With i, e, s and f
// the interior coverage, exterior coverage, layer shape and factor mask,
//   q = i s / (e (1 - s) + i s),  out = clamp((1 - f) q + s f, 0, 1),
// and 0 where the denominator is 0. All five planes are one-channel.

#include "rendergraph/core/BNRenderNode.h"

class BNEffectMaskHackNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing or is not a plane of
    // opacity or fill alone.
    static std::shared_ptr<const BNEffectMaskHackNode> create(BNRenderNodePtr interior,
                                                              BNRenderNodePtr exterior,
                                                              BNRenderNodePtr shape,
                                                              BNRenderNodePtr factorMask);
    BNEffectMaskHackNode(CreationKey, BNRenderNodePtr interior, BNRenderNodePtr exterior,
                         BNRenderNodePtr shape, BNRenderNodePtr factorMask);

    const char* className() const override { return "BNEffectMaskHackNode"; }
    BNChannelMask channels() const override { return BNChannelMaskOpacity; }
    // The union of the four inputs' bounds.
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;
};
