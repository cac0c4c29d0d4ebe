#pragma once
// Table lookup and adjustment kernels: Blend If masks, gradient and contour
// mapping, colorize, the crossfade mixed through gamma tables,
// hue/saturation and bevel shading.
// Conventions: KernelConventions.h.
//
// Tables. A table of `count` entries is read at a position v in
// [0, count - 1] by linear interpolation,
//   lerp(T, v) = T[i] * (1 - f) + T[i + 1] * f,  i = whole part of v, f = v - i,
// where the upper neighbour is T[count - 1] itself when i is the last entry,
// so no kernel reads beyond entry count - 1 (tables that carry a guard entry
// after the last one may still pass it; it is never read). Positions come
// from values clamped to [0, 1] first (NaN counts as 0), so colours above 1
// (unpremultiplied values of damaged pixels) never index past the table.
// Tables of RGBA entries hold four floats per entry. A count of 0 is reported
// through TarrowError and nothing is written.
//
// Unpremultiplying divides by max(A, floor) where a kernel says "divided" and
// multiplies by 1 / max(A, floor) where it says "times the reciprocal"; the
// floors are those stated per kernel. The luminance weights are
// 0.299987793 R + 0.5900268555 G + 0.1099853516 B.

#include "kernels/KernelConventions.h"

#include <cstdint>

// Blend If gray: RGBA input, planar output. Colour divided by max(A,
// 0.00001); luminance clamped to [0, 1]; output = lerp(table, L * (count - 1)).
using TarrowBlendIfGrayFn = void (*)(const float* input, float* output, const float* table,
                                     uint32_t width, int32_t height, uint32_t inputStride,
                                     uint32_t outputStride, uint32_t count);

// Blend If colour: RGBA input, planar output. Each colour channel divided by
// max(A, 0.00001) and clamped to [0, 1] is looked up in its table at
// c * (count - 1); the product (red * green) * blue is written (plain form)
// or multiplied into the value the output already holds (multiply form).
using TarrowBlendIfColorFn = void (*)(const float* input, float* output, const float* redTable,
                                      const float* greenTable, const float* blueTable,
                                      uint32_t width, int32_t height, uint32_t inputStride,
                                      uint32_t outputStride, uint32_t count);

// Planar lookup: planar source, RGBA destination, RGBA table of `count`
// entries: destination = lerp(table, clamp(source) * (count - 1)) per channel.
using TarrowLookupPlanarFn = void (*)(const float* source, float* destination, const float* table,
                                      uint32_t width, int32_t height, uint32_t sourceStride,
                                      uint32_t destinationStride, uint32_t count);

// Gradient map: RGBA source and destination, RGBA table. Colour times the
// reciprocal of max(A, 0.00001); the luminance is computed in double
// precision and clamped to [0, 1]; v = L * (count - 1) in double, i its whole
// part, f = (float)(v - i); the four channels of the destination are the
// table's, interpolated (the source's A is not kept).
using TarrowGradientMapFn = TarrowLookupPlanarFn;

// Colorize: RGBA source and destination, three tables. Colour times the
// reciprocal of max(A, 0.00001); l = (max(r, g, b) + min(r, g, b)) / 2,
// clamped; each colour channel = lerp(its table, l * (count - 1)) * A; A kept.
using TarrowColorizeFn = void (*)(const float* source, float* destination, const float* redTable,
                                  const float* greenTable, const float* blueTable, uint32_t width,
                                  int32_t height, uint32_t sourceStride, uint32_t destinationStride,
                                  uint32_t count);

// Contour, planar: out = lerp(table, clamp(in) * (count - 1)).
using TarrowContourPlanarFn = TarrowLookupPlanarFn;

// Contour, RGBA: A' = lerp(alphaTable, clamp(A) * (count - 1)); each colour =
// lerp(its table, clamp(c / max(A, 0.00001)) * (count - 1)) * A'; out A'.
using TarrowContourRGBAFn = void (*)(const float* source, float* destination, const float* redTable,
                                     const float* greenTable, const float* blueTable,
                                     const float* alphaTable, uint32_t width, int32_t height,
                                     uint32_t sourceStride, uint32_t destinationStride,
                                     uint32_t count);

// Crossfade with a mask mixing the colours as powers of a gamma (the
// anti-aliased edges of type): RGBA background and foreground, a planar mask
// m, RGBA output (which may be the background), and the tables toGamma
// (c^gamma) and fromGamma (c^(1 / gamma)) of `count` entries over [0, 1].
// Per pixel, with ab and af the fourth samples and cb, cf the
// unpremultiplied colours (0 where that alpha is below 0.0001):
//   ws = m * af; ar = ws + (1 - m) * ab; t = ws / ar, or 1 where ar < 0.0001;
//   per colour channel, where 0 < t < 1:
//     g = t * lerp(toGamma, clamp(cf) * (count - 1))
//         + (1 - t) * lerp(toGamma, clamp(cb) * (count - 1))
//     out = ar * lerp(fromGamma, g * (count - 1));
//   where t is 1 the colour is cf, where it is 0 cb; out fourth = ar. With a
//   gamma of 1 this is the plain crossfade m * foreground + (1 - m) *
//   background.
using TarrowGammaCrossfadeWithMaskFn = void (*)(const float* background, const float* foreground,
                                                const float* mask, float* output, uint32_t width,
                                                int32_t height, uint32_t backgroundStride,
                                                uint32_t foregroundStride, uint32_t maskStride,
                                                uint32_t outputStride, const float* toGamma,
                                                const float* fromGamma, uint32_t count);

// Hue/saturation, RGBA in and out. Tables over the hue circle of tableCount
// entries (hue H in degrees 0..360, saturation factor S, lightness L in
// -1..1) and a lightness lookup of lookupCount entries. Per pixel:
//   1. a = fourth sample; colour times the reciprocal of max(a, 0.0001);
//   2. each channel c = lerp(lookup, clamp(c) * (lookupCount - 1));
//   3. mx, mn the largest and smallest channel, ch = mx - mn; hexagonal
//      sector h: 0 where ch < 0.001; red largest (ties go to red, then
//      green): (g - b) / ch, or 6 - (b - g) / ch where b > g; green largest:
//      2 + (b - r) / ch; blue largest: 4 + (r - g) / ch;
//   4. k = round(h / 6 * (tableCount - 1)), halves away from zero; the
//      range lightness l = L[k] moves the channels toward the largest where
//      it is above 0 (mn += l ch) and toward the smallest where it is below
//      (mx += l ch), keeping the hue; ch = mx - mn again; sum = mx + mn;
//      fold = sum, or 2 - sum where sum > 1; ch' = min(ch * S[k], fold);
//      m = (sum - ch') / 2;
//   5. hs = H[k] / 60 rebuilds the colour: below 1 (ch' + m, hs ch' + m, m);
//      below 2 (m + ch' (2 - hs), ch' + m, m); below 3 (m, ch' + m,
//      m + ch' (hs - 2)); below 4 (m, m + ch' (4 - hs), ch' + m); below 5
//      (m + ch' (hs - 4), m, ch' + m); else (ch' + m, m, m + ch' (6 - hs));
//   6. output (r a, g a, b a, a).
using TarrowHueSaturationFn = void (*)(const float* source, float* destination,
                                       const float* hueTable, const float* saturationTable,
                                       const float* lightnessTable, const float* lightnessLookup,
                                       uint32_t width, int32_t height, uint32_t sourceStride,
                                       uint32_t destinationStride, uint32_t tableCount,
                                       uint32_t lookupCount);

// Shade: bevel lighting of a planar height map into a planar output. The
// source holds (width + 2) by (height + 2) samples: output pixel (i, j)
// reads source columns i..i + 2 and rows j..j + 2.
//   1. direction and elevation below 0 are brought to 0 or above by adding
//      360 (non-finite angles count as 0); w = max(1, size * depth);
//      Nz = 1530 / w in double;
//   2. with radians = degrees * 0.017453292 (double),
//      ce = (float)(cos(elevation) * 255.9), se = (float)(sin(elevation) * 255.9),
//      Lx = (int)(cos(direction) * ce), Ly = (int)(sin(direction) * ce),
//      NzLz = (int)(se * Nz), Nz2 = (int)(Nz * Nz), flat = (int)(se * 256);
//   3. every sample of the window becomes (int)(clamp(value) * 65280 + 0.5);
//   4. Nx = (sum of column i) - (sum of column i + 2), Ny = (sum of row j + 2)
//      - (sum of row j);
//   5. Nx = Ny = 0: shade = flat. Otherwise nx = Nx / 256, ny = Ny / 256
//      (integer division), d = Ly ny + Lx nx + NzLz, q = nx nx + ny ny + Nz2;
//      shade = (int)(d / sqrt(q) * 256) in double where d > 0 and q > 0,
//      else 0; then clamped to 0..65280;
//   6. output = shade / 65280 (so a flat map may come out slightly above 1).
using TarrowShadeFn = void (*)(const float* source, float* destination, uint32_t width,
                               int32_t height, uint32_t sourceStride, uint32_t destinationStride,
                               float direction, float elevation, float size, float depth);

// Entry points through the kernel set chosen for this processor.
extern const TarrowBlendIfGrayFn TarrowBlendIfGray;
extern const TarrowBlendIfColorFn TarrowBlendIfColor;
extern const TarrowBlendIfColorFn TarrowBlendIfColorMultiply;
extern const TarrowLookupPlanarFn TarrowLookupPlanar;
extern const TarrowGradientMapFn TarrowGradientMap;
extern const TarrowColorizeFn TarrowColorize;
extern const TarrowContourPlanarFn TarrowContourPlanar;
extern const TarrowContourRGBAFn TarrowContourRGBA;
extern const TarrowGammaCrossfadeWithMaskFn TarrowGammaCrossfadeWithMaskRGBA;
extern const TarrowHueSaturationFn TarrowHueSaturation;
extern const TarrowShadeFn TarrowShade;
