#pragma once
// BNGaussianBlurNode: a Gaussian blur of a one-channel plane (an opacity or
// fill mask) whose radius is the standard deviation in points; renders at
// any scale, blurring by radius * scale pixels. Small blurs (up to 2
// pixels) are one exact separable convolution, larger ones a series of box
// blurs whose cost per pixel does not depend on the radius
// (BNGaussianKernel.h). The input is read E pixels beyond the output on
// every side, E being the blur's expansion, rounded up to whole points.

#include "rendergraph/core/BNRenderNode.h"

class BNGaussianBlurNode final : public BNRenderNode {
public:
    // `channels` labels the output (opacity or fill alone); a radius below
    // 0, or not a number, counts as 0 (no blur). Null, with a log line,
    // without an input or when the input or `channels` is not exactly one
    // channel.
    static std::shared_ptr<const BNGaussianBlurNode> create(BNRenderNodePtr input, double radius,
                                                            BNChannelMask channels);
    // The output takes the input's channel.
    static std::shared_ptr<const BNGaussianBlurNode> create(BNRenderNodePtr input, double radius);
    BNGaussianBlurNode(CreationKey, BNRenderNodePtr input, double radius, BNChannelMask channels);

    // How many pixels a blur of `radius` widens a shape by on each side at
    // scale 1.
    static double expansionForBlurRadius(double radius);

    double radius() const { return radius_; }

    const char* className() const override { return "BNGaussianBlurNode"; }
    BNChannelMask channels() const override { return blurChannels_; }
    // The input's bounds grown by the expansion at scale 1.
    VKRect calculateBounds() const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    // The box-blur road for sizes above 2 pixels.
    bool renderUsingBoxBlurs(BNSurface& output, const BNSurface& input, double size,
                             BNRenderingContext& context) const;
    bool renderUsingTaps(BNSurface& output, const BNSurface& input, double size,
                         BNRenderingContext& context) const;

    double radius_;
    BNChannelMask blurChannels_;
};

// Whether a mask names exactly one channel.
bool BNMaskIsSingleChannel(BNChannelMask mask);
