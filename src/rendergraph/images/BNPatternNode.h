#pragma once
// BNPatternNode: repeats a provider's pixels endlessly as a tile, at a
// pattern scale and with a phase, resampled bilinearly; renders at any scale
// factor. The provider delivers straight values; RGBA and RGBF outputs are
// premultiplied at the end.
//
// Positions. Output pixel (c, r) of a render at scale factor s over a
// rectangle with origin (X, Y) in points stands at the global pixel
// (gx, gy) = (X s + c, Y s + r). It samples the tile at
//   tx = (gx + phase.x s) * step,   ty = (gy + phase.y s) * step,
// step being tile pixels per output pixel, wrapped by whole tile periods.
// The position depends only on the global pixel, so neighbouring tiles of a
// render continue one pattern. At pattern scales of 1, 1/2 and 1/8 the
// phase is rounded to whole output pixels (halves up), so an unscaled
// pattern is not blurred by a fractional phase.
//
// Minification. Where one tile pixel is smaller than an output pixel the
// tile is first halved (2 by 2 averages, wrapping) up to three times, each
// pass leaving the tile its size with the pattern repeated two by two, so
// that a minified pattern does not alias.

#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/images/BNImageProvider.h"

class BNPatternNode final : public BNRenderNode {
public:
    // `scale` is points per tile pixel (2 draws every tile pixel 2 points
    // wide); `phase` is added to every position in points before sampling.
    // Null, with a log line, without a provider, or when the scale or its
    // reciprocal is not a positive finite number, or the phase not finite.
    static std::shared_ptr<const BNPatternNode> create(
        std::shared_ptr<const BNImageProvider> provider, double scale, VKPoint phase);
    BNPatternNode(CreationKey, std::shared_ptr<const BNImageProvider> provider, double scale,
                  VKPoint phase);

    // Tile pixels per point: the reciprocal of the scale given.
    double scale() const { return scale_; }
    // Points per tile pixel: the scale given.
    double inverseScale() const { return inverseScale_; }
    VKPoint phase() const { return phase_; }

    const char* className() const override { return "BNPatternNode"; }
    BNChannelMask channels() const override { return provider_->channels(); }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

    // The minification pre-filter on a tile of `width` by `height` floats,
    // with `step` (tile pixels per output pixel) and `tileScale` (output
    // pixels per tile pixel) updated for the filtered tile. Returns false,
    // leaving everything as it was, when no scratch memory can be had.
    static bool adjustPatternValues(float* tile, uint64_t width, uint64_t height,
                                    BNRenderingContext& context, double* step, double* tileScale);

private:
    std::shared_ptr<const BNImageProvider> provider_;
    double scale_;
    double inverseScale_;
    VKPoint phase_;
};
