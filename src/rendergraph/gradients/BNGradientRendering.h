#pragma once
// The lookup table of a gradient as the gradient nodes hand it to their
// kernels: 4096 RGBA entries from the gradient provider, entry 0 the
// gradient's start, then one guard entry of zeros, borrowed from the
// rendering context for one render, and the dither the generators add.
//
// Used on the render call's thread only.

#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/core/BNScratchBuffer.h"
#include "rendergraph/gradients/BNGradientProvider.h"

#include <cstdint>

class BNGradientTable {
public:
    static constexpr uint32_t kEntryCount = 4096;

    // Fills the table (isValid() false when the pool has no memory).
    BNGradientTable(BNRenderingContext& context, const BNGradientProvider& provider,
                    bool premultiply);

    bool isValid() const { return buffer_.isValid(); }
    // 4097 entries of four floats.
    float* data() const { return buffer_.data(); }
    float* entry(uint32_t index) const { return buffer_.data() + 4 * size_t(index); }
    // Turns the 4096 entries end for end (the guard stays last).
    void reverse();

private:
    BNScratchBuffer<float> buffer_;
};

// Dither strengths per noise step: about 1 / 65280 for most generators; the
// diamond gradient's is 2^-15, twice as strong.
inline constexpr float kBNGradientDitherStep = 1.5318628e-05f;
inline constexpr float kBNDiamondGradientDitherStep = 3.0517578125e-05f;

// Adds dither to a four-channel surface whose pixel (i, j) stands at image
// pixel (x0 + i, y0 + j): each channel c gains noise byte * step and is taken
// down to a whole 8-bit level (TarrowDitherPixel), the bytes read unsigned
// from the shared noise table at the counter k + c (mod 16,384). The counter is anchored to the
// image, not to the surface: k = 4x + 1103515245 y + 12345 for image pixel (x, y) in unsigned
// 32-bit arithmetic, so every tile of a rendering continues one pattern.
// (The gradient kernels start each run at x0 instead of 4 x0, which shifts
// the pattern with the tile's left edge; the generators therefore call them
// without dither and dither here.)
void BNAddGradientDither(BNSurface& surface, int32_t x0, int32_t y0, float step);
