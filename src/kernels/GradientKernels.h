#pragma once
// Gradient generators: fill an RGBA plane from a table of `count` premultiplied
// RGBA entries (four floats each, entry 0 the gradient's start) by a position
// computed from each pixel's place. Conventions: KernelConventions.h.
//
// Pixel (i, j) of the destination stands at (x, y) = (x0 + i, y0 + j), pixel
// corners, no half-pixel offset; geometry is in the same pixel units. All
// arithmetic is single precision; dx = x - cx, dy = y - cy; clamp(t) limits
// to [0, 1] and turns NaN into 0; pi is the float nearest to pi. The index is
// the whole part of clamp(t) * (count - 1) unless stated:
//   angular   t = ((atan2(dy, dx) / pi) + 1) / 2 + 0.5 + angle / 360, less 1
//             while above 1 (whole numbers subtracted at once, which is the
//             same); index count - 1 becomes 0 (the seam shows entry 0)
//   diamond   c = cos(angle pi / 180), s = sin(angle pi / 180):
//             t = (|c dx - s dy| + |s dx + c dy|) / radius
//   linear    D = end - start, L = |D|, theta = atan(|D.y / D.x|), then
//             pi - theta where end.x < start.x, then 2 pi - theta where
//             end.y < start.y; t = ((x - start.x) cos theta + (y - start.y)
//             sin theta) * k with k = 1 / L, or FLT_MAX where L < 1.1920929e-07
//   radial    t = sqrt(dx dx + dy dy) / radius
//   reflected t as linear; index = whole part of |2 clamp(t) - 1| * (count - 1)
//
// Without dither the pixel is the table entry. With dither each channel c of
// the pixel becomes the whole 8-bit level floor((entry[c] + noise[(k + c) mod
// 16384] * a) * 255 + 0.001) / 255, at most 1, and colour at most the
// coverage; the noise bytes read unsigned from TarrowGetNoiseTable. Levels of
// 0 and 1 stay exact, as in gradients stored in 8-bit layers, so colour
// dodge, burn and divide see true extremes. The counter k (unsigned 32-bit,
// wrapping) starts at x0 + y0 * 1103515245 + 12345, grows by 4 per pixel, and
// each row starts 1103515245 after the previous row's start. a is
// 1.5318628e-05 (about 1 / 65280), 3.0517578125e-05 (2^-15) for the diamond.

#include "kernels/KernelConventions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

// Dithers one premultiplied RGBA pixel in place with the noise bytes
// `noise(c)` of its four channels, `step` per noise level, as the
// comment above says. The entry's level is nudged by a thousandth before
// it is taken down, so that an entry that is a whole level in single
// precision (3/255 times 255 is slightly below 3) keeps its level under
// noise 0.
template <class Noise>
inline void TarrowDitherPixel(float* pixel, float step, Noise noise) {
    auto level = [&](uint32_t c) {
        float whole = std::floor((pixel[c] + float(noise(c)) * step) * 255.0f + 0.001f);
        return std::min(1.0f, whole / 255.0f);
    };
    pixel[3] = level(3);
    for (uint32_t c = 0; c < 3; ++c)
        pixel[c] = std::min(pixel[3], level(c));
}

using TarrowAngularGradientFn = void (*)(float* destination, const float* table, int32_t x0,
                                         int32_t y0, int32_t width, int32_t height,
                                         uint32_t destinationStride, uint32_t count, bool dither,
                                         float cx, float cy, float angle);
using TarrowDiamondGradientFn = void (*)(float* destination, const float* table, int32_t x0,
                                         int32_t y0, int32_t width, int32_t height,
                                         uint32_t destinationStride, uint32_t count, bool dither,
                                         float cx, float cy, float angle, float radius);
// Linear and reflected.
using TarrowTwoPointGradientFn = void (*)(float* destination, const float* table, int32_t x0,
                                          int32_t y0, int32_t width, int32_t height,
                                          uint32_t destinationStride, uint32_t count, bool dither,
                                          float startX, float startY, float endX, float endY);
using TarrowRadialGradientFn = void (*)(float* destination, const float* table, int32_t x0,
                                        int32_t y0, int32_t width, int32_t height,
                                        uint32_t destinationStride, uint32_t count, bool dither,
                                        float cx, float cy, float radius);

// Entry points through the kernel set chosen for this processor.
extern const TarrowAngularGradientFn TarrowAngularGradient;
extern const TarrowDiamondGradientFn TarrowDiamondGradient;
extern const TarrowTwoPointGradientFn TarrowLinearGradient;
extern const TarrowRadialGradientFn TarrowRadialGradient;
extern const TarrowTwoPointGradientFn TarrowReflectedGradient;
