#pragma once
// BNLinearGradientNode: a gradient along the line from a start point
// (first entry) to an end point (last entry), constant across it and
// clamped beyond both points.
// (BNGradientGeneratorNode.h tells what every generator does.)

#include "rendergraph/gradients/BNGradientGeneratorNode.h"

class BNLinearGradientNode final : public BNTwoPointGradientNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNLinearGradientNode> create(
        VKPoint start, VKPoint end, std::shared_ptr<const BNGradientProvider> provider,
        bool dither) {
        if (!hasProvider("BNLinearGradientNode", provider.get())) return nullptr;
        return make<BNLinearGradientNode>(start, end, std::move(provider), dither);
    }
    BNLinearGradientNode(CreationKey, VKPoint start, VKPoint end,
                         std::shared_ptr<const BNGradientProvider> provider, bool dither)
        : BNTwoPointGradientNode(start, end, std::move(provider), dither, TarrowLinearGradient) {}

    const char* className() const override { return "BNLinearGradientNode"; }
};
