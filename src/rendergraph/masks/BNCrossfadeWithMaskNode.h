#pragma once
// BNCrossfadeWithMaskNode: mixes two pictures of the same layout (RGBA or
// opacity alone) by a one-channel mask, m * foreground + (1 - m) *
// background per sample. RGBA may mix its colours as powers of a gamma
// instead (TarrowGammaCrossfadeWithMaskRGBA), as Photoshop mixes a type
// layer's anti-aliased edges with what lies below them.
//
// RGBA is mixed by regions: outside the mask's bounds, where the mask is 0
// and the output is the background, the foreground is not rendered and the
// background is only copied; the foreground is needed over the mask's
// bounds only. Outside its own bounds the foreground still counts with its
// background value, so the result does not depend on how tight the
// foreground's bounds are.

#include "rendergraph/core/BNRenderNode.h"

#include <vector>

class BNCrossfadeWithMaskNode final : public BNRenderNode {
public:
    // Null, with a log line, when an input is missing, the background and
    // foreground layouts differ or are not RGBA or opacity alone, or the
    // mask is not an opacity plane.
    static std::shared_ptr<const BNCrossfadeWithMaskNode> create(BNRenderNodePtr background,
                                                                 BNRenderNodePtr foreground,
                                                                 BNRenderNodePtr mask);
    // The same for RGBA whose colours mix as their powers of `gamma` (1
    // mixes them as they are). Null, with a log line, also when the inputs
    // are not RGBA or the gamma is not positive and finite.
    static std::shared_ptr<const BNCrossfadeWithMaskNode> createWithGamma(
        BNRenderNodePtr background, BNRenderNodePtr foreground, BNRenderNodePtr mask, double gamma);
    BNCrossfadeWithMaskNode(CreationKey, BNRenderNodePtr background, BNRenderNodePtr foreground,
                            BNRenderNodePtr mask, double gamma = 1.0);

    double gamma() const { return gamma_; }

    const char* className() const override { return "BNCrossfadeWithMaskNode"; }
    BNChannelMask channels() const override { return channels_; }
    // The union of the background's and the foreground's bounds.
    VKRect calculateBounds() const override;
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scaleFactor) const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    // The background has the node's channels (create checks it), so the
    // result keeps them in the background's surface.
    bool rendersInPlaceOverFirstInput() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    // Colours raised to the gamma and back, kGammaTableCount entries each.
    struct GammaTables {
        std::vector<float> toGamma, fromGamma;
    };

    // Whether the mask is 0 outside finite bounds, so that RGBA can be mixed
    // by regions.
    bool mixesByRegions() const;
    void renderRGBA(BNSurface& output, const BNSurface& background, const BNSurface& foreground,
                    const BNSurface& mask) const;

    BNChannelMask channels_;
    double gamma_;
    std::shared_ptr<const GammaTables> gammaTables_;
};
