#pragma once
// BNTentBlurNode: a tent (triangle) blur of a one-channel plane, the
// product of a horizontal and a vertical tent of 2R + 1 taps, R = ceil(scale
// * radius) pixels. By default the plane is quantised to 8 bits, blurred in
// integers and converted back; with forceFloat it is blurred in floats.
//
// The input is read ceil(radius) points beyond the output on every side,
// and the kernel is centred on the output's own position within the input,
// so that at scale 2 the blur stays centred where it is at scale 1. Only the
// part of the output the input can reach (the input's bounds grown by
// ceil(radius)) is blurred; the rest is the input's background value.

#include "rendergraph/core/BNRenderNode.h"

class BNTentBlurNode final : public BNRenderNode {
public:
    // `channels` labels the output (opacity or fill alone); a radius below
    // 0, or not a number, counts as 0. Null, with a log line, without an
    // input or when the input or `channels` is not exactly one channel.
    static std::shared_ptr<const BNTentBlurNode> create(BNRenderNodePtr input, double radius,
                                                        BNChannelMask channels,
                                                        bool forceFloat = false);
    // The output takes the input's channel.
    static std::shared_ptr<const BNTentBlurNode> create(BNRenderNodePtr input, double radius);
    BNTentBlurNode(CreationKey, BNRenderNodePtr input, double radius, BNChannelMask channels,
                   bool shouldRender8Bit);

    double radius() const { return radius_; }
    bool shouldRender8Bit() const { return shouldRender8Bit_; }

    const char* className() const override { return "BNTentBlurNode"; }
    BNChannelMask channels() const override { return blurChannels_; }
    // The input's bounds grown by ceil(radius); infinite when the input's are.
    VKRect calculateBounds() const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    // Blurs `input` into all of `output`, which lies within it.
    bool renderWithInputSurface(const BNSurface& input, BNSurface& output,
                                BNRenderingContext& context) const;
    bool renderFloat(const BNSurface& input, BNSurface& output, uint32_t r, uint32_t offsetX,
                     uint32_t offsetY, BNRenderingContext& context) const;
    bool render8Bit(const BNSurface& input, BNSurface& output, uint32_t r, uint32_t offsetX,
                    uint32_t offsetY, BNRenderingContext& context) const;
    float backgroundValue() const;

    double radius_;
    BNChannelMask blurChannels_;
    bool shouldRender8Bit_;
};
