#pragma once
// BNConstantColorNode: one colour over the whole plane. The values are
// unpremultiplied, one per channel index; an opacity plane (mask 8) is
// filled with the opacity value, an RGBA picture (mask 15) with the colour
// premultiplied by its opacity. Other masks have no fill and render
// transparent. The node's background values are 0, like every node's.

#include "rendergraph/core/BNRenderNode.h"

class BNConstantColorNode final : public BNRenderNode {
public:
    // Values of channels outside the mask are stored as 0.
    static std::shared_ptr<const BNConstantColorNode> create(const BNChannelValues& values,
                                                             BNChannelMask channels);
    BNConstantColorNode(CreationKey, const BNChannelValues& values, BNChannelMask channels);

    const BNChannelValues& values() const { return values_; }

    const char* className() const override { return "BNConstantColorNode"; }
    BNChannelMask channels() const override { return channels_; }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

    // "<BNConstantColorNode 0x<mask in hex>: <values of the mask's channels>>"
    std::string description() const;

private:
    BNChannelValues values_;
    BNChannelMask channels_;
};
