#pragma once
// BNScaleBiasNode: scales and biases a one-channel plane, clamped to [0, 1]:
// clamp(x * scale + bias), or with biasFirst clamp((x + bias) * scale).
//
// Outside its input's rectangle the output is the same function of the
// input node's background value, so the output stays a valid plane
// whatever the bias. The clamped flag is part of the identity only: the
// result is always clamped.

#include "rendergraph/core/BNRenderNode.h"

class BNScaleBiasNode final : public BNRenderNode {
public:
    // Null, with a log line, when the input is missing.
    static std::shared_ptr<const BNScaleBiasNode> create(BNRenderNodePtr input, double scale,
                                                         double bias, bool clamped,
                                                         bool biasFirst = false);
    BNScaleBiasNode(CreationKey, BNRenderNodePtr input, double scale, double bias, bool clamped,
                    bool biasFirst);

    double scale() const { return scale_; }
    double bias() const { return bias_; }
    bool isClamped() const { return clamped_; }
    bool biasFirst() const { return biasFirst_; }

    const char* className() const override { return "BNScaleBiasNode"; }
    BNChannelMask channels() const override;
    // The input's bounds when the scale is exactly 0, else infinite.
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    bool supportsScaleFactor() const override { return true; }
    // An input that is not a one-channel plane gives a transparent output.
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    // Runs the kernel of the node's order over one plane into another.
    void apply(const BNSurface& input, BNSurface& output) const;

    double scale_;
    double bias_;
    bool clamped_;
    bool biasFirst_;
};
