#pragma once
// BNContourMappingNode: tone curves per channel (levels, curves,
// brightness/contrast, exposure, colour balance, effect contours), each
// supplied by a BNContourProvider. An RGBA input maps its opacity through
// the opacity curve and its unpremultiplied colours through their curves;
// an opacity-only input maps its one channel. A channel without a provider
// keeps its values. The curves can be squeezed onto an input range
// [minRange, maxRange]. Renders at any scale.

#include "rendergraph/adjustments/BNContourProvider.h"
#include "rendergraph/core/BNRenderNode.h"

#include <array>

// One provider (or none) per channel index.
using BNContourProviders = std::array<std::shared_ptr<const BNContourProvider>, BNChannelCount>;

class BNContourMappingNode final : public BNRenderNode {
public:
    static std::shared_ptr<const BNContourMappingNode> create(BNRenderNodePtr input,
                                                              BNContourProviders providers,
                                                              double minRange, double maxRange);
    // The one provider for every channel of the input.
    static std::shared_ptr<const BNContourMappingNode> create(
        BNRenderNodePtr input, std::shared_ptr<const BNContourProvider> provider, double minRange,
        double maxRange);
    // The same over the range 0 to 1.
    static std::shared_ptr<const BNContourMappingNode> create(
        BNRenderNodePtr input, std::shared_ptr<const BNContourProvider> provider);
    BNContourMappingNode(CreationKey, BNRenderNodePtr input, BNContourProviders providers,
                         double minRange, double maxRange);

    const BNContourProviders& providers() const { return providers_; }
    double minRange() const { return minRange_; }
    double maxRange() const { return maxRange_; }

    const char* className() const override { return "BNContourMappingNode"; }
    BNChannelMask channels() const override;
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

    // Table sizes: 4096 values and a guard value of 0.
    static constexpr uint32_t kTableCount = 4096;

    // Writes the channel's curve into `values` (`count` values): its
    // provider's, or the identity i / (count - 1) without one.
    void generateValues(float* values, uint32_t count, BNChannel channel,
                        BNRenderingContext& context) const;
    // Squeezes a curve of `count` values onto the input range [minRange,
    // maxRange]: below the range it follows the curve's first slope (0 at
    // level 0), above it keeps the last value, within it the whole curve.
    static void adjustValues(float* values, uint32_t count, double minRange, double maxRange);

private:
    BNContourProviders providers_;
    double minRange_, maxRange_;
};
