#pragma once
// BNGradientMappingNode: maps its input through a gradient: the luminance
// of an RGBA input, or the value of an opacity-only input, picks the
// position along the gradient. Opaque (the default) keeps the gradient's
// colours at full opacity; otherwise the gradient's own opacity is used.
// Gradient-map and threshold adjustments use it. Renders at scale 1 only.

#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/gradients/BNGradientProvider.h"

class BNGradientMappingNode final : public BNRenderNode {
public:
    // Null, with a log line, without a provider. The input may be missing
    // (the output is then transparent).
    static std::shared_ptr<const BNGradientMappingNode> create(
        BNRenderNodePtr input, std::shared_ptr<const BNGradientProvider> provider,
        bool opaque = true);
    BNGradientMappingNode(CreationKey, BNRenderNodePtr input,
                          std::shared_ptr<const BNGradientProvider> provider, bool opaque);

    const std::shared_ptr<const BNGradientProvider>& provider() const { return provider_; }
    bool isOpaque() const { return opaque_; }

    const char* className() const override { return "BNGradientMappingNode"; }
    void updateHashContext(BNHashContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    std::shared_ptr<const BNGradientProvider> provider_;
    bool opaque_;
};
