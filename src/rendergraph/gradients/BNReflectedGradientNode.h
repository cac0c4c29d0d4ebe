#pragma once
// BNReflectedGradientNode: a linear gradient mirrored about the midpoint
// of its two points: the first entry lies midway between them, the last at
// both points and beyond.
// (BNGradientGeneratorNode.h tells what every generator does.)

#include "rendergraph/gradients/BNGradientGeneratorNode.h"

class BNReflectedGradientNode final : public BNTwoPointGradientNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNReflectedGradientNode> create(
        VKPoint start, VKPoint end, std::shared_ptr<const BNGradientProvider> provider,
        bool dither) {
        if (!hasProvider("BNReflectedGradientNode", provider.get())) return nullptr;
        return make<BNReflectedGradientNode>(start, end, std::move(provider), dither);
    }
    BNReflectedGradientNode(CreationKey, VKPoint start, VKPoint end,
                            std::shared_ptr<const BNGradientProvider> provider, bool dither)
        : BNTwoPointGradientNode(start, end, std::move(provider), dither, TarrowReflectedGradient) {
    }

    const char* className() const override { return "BNReflectedGradientNode"; }
};
