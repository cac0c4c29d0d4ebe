#pragma once
// BNConvertOpacityToFillNode: relabels its input's opacity channel as fill
// without touching a pixel (RGBA becomes RGBF, A becomes F). The output is
// a view of the input's surface under the new channel mask; it keeps the
// input's surface alive and never owns the memory, so nothing blends into it
// in place.

#include "rendergraph/core/BNRenderNode.h"

class BNConvertOpacityToFillNode final : public BNRenderNode {
public:
    // Null, with a log line, when the input is missing or has no opacity
    // channel.
    static std::shared_ptr<const BNConvertOpacityToFillNode> create(BNRenderNodePtr input);
    BNConvertOpacityToFillNode(CreationKey, BNRenderNodePtr input);

    const char* className() const override { return "BNConvertOpacityToFillNode"; }
    BNChannelMask channels() const override { return channels_; }
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    BNSurfacePtr preparedOutputSurface(VKRect rect, double scaleFactor, const BNSurfaceList& inputs,
                                       BNRenderingContext& context) const override;

private:
    BNChannelMask channels_;
};
