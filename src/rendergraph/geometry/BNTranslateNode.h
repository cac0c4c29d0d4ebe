#pragma once
// BNTranslateNode: moves its input by a whole number of points without
// copying: its output is the input's surface relabelled with the requested
// rectangle. The output pixel at point p shows the input pixel at p +
// offset, so the input appears moved by minus the offset.

#include "rendergraph/core/BNRenderNode.h"

class BNTranslateNode final : public BNRenderNode {
public:
    // The offset is rounded to whole points, halves away from zero.
    static std::shared_ptr<const BNTranslateNode> create(BNRenderNodePtr input, VKPoint offset);
    BNTranslateNode(CreationKey, BNRenderNodePtr input, VKPoint offset);

    VKPoint offset() const { return offset_; }

    const char* className() const override { return "BNTranslateNode"; }
    BNChannelMask channels() const override;
    VKRect calculateBounds() const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    BNSurfacePtr preparedOutputSurface(VKRect rect, double scaleFactor, const BNSurfaceList& inputs,
                                       BNRenderingContext& context) const override;

private:
    VKPoint offset_;
};
