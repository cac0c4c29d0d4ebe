#pragma once
// BNConvertToOpaqueNode: makes a picture fully opaque: the colour is divided
// by its coverage (opacity or fill) and the output's fourth channel is
// opacity 1. RGBA and RGBF inputs give RGBA; an RGBA input may be made
// opaque in place, where the renderer allows.

#include "rendergraph/core/BNRenderNode.h"

class BNConvertToOpaqueNode final : public BNRenderNode {
public:
    // Null, with a log line, when the input is missing or is neither RGBA
    // nor RGBF.
    static std::shared_ptr<const BNConvertToOpaqueNode> create(BNRenderNodePtr input);
    BNConvertToOpaqueNode(CreationKey, BNRenderNodePtr input);

    const char* className() const override { return "BNConvertToOpaqueNode"; }
    BNChannelMask channels() const override { return channels_; }
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // Over an RGBA input only, whose surface then keeps the node's channels.
    bool rendersInPlaceOverFirstInput() const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    BNChannelMask channels_;
};
