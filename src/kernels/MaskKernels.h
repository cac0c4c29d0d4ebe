#pragma once
// Mask, crossfade and channel kernels: one fixed rule per pixel over one- and
// four-channel planes. Conventions: KernelConventions.h. "RGBA" planes are
// four-channel premultiplied planes (the fourth channel may be opacity or
// fill); "planar" ones hold one float per pixel. Strides follow the planes in
// the order of the arguments.

#include "kernels/KernelConventions.h"

#include <cstdint>

// fg * t + bg * (1 - t) per sample (planar, or all four channels of RGBA).
using TarrowCrossfadeFn = void (*)(const float* background, const float* foreground, float* output,
                                   uint32_t width, int32_t height, uint32_t backgroundStride,
                                   uint32_t foregroundStride, uint32_t outputStride, float t);

// m * fg + (1 - m) * bg per sample, m from the one-channel mask (for RGBA the
// same m for all four channels).
using TarrowCrossfadeWithMaskFn = void (*)(const float* background, const float* foreground,
                                           const float* mask, float* output, uint32_t width,
                                           int32_t height, uint32_t backgroundStride,
                                           uint32_t foregroundStride, uint32_t maskStride,
                                           uint32_t outputStride);

// One plane in, one plane out: invert (1 - x) and isolate opacity (the
// fourth channel of an RGBA input into a planar output).
using TarrowUnaryFn = void (*)(const float* input, float* output, uint32_t width, int32_t height,
                               uint32_t inputStride, uint32_t outputStride);

// Two planes in, one out: difference |a - b| of two planes; apply mask x * m
// (planar, or all four channels of RGBA times the planar mask); override
// alpha (see below).
using TarrowBinaryFn = void (*)(const float* a, const float* b, float* output, uint32_t width,
                                int32_t height, uint32_t aStride, uint32_t bStride,
                                uint32_t outputStride);

// Divide mask, with b the background sample (planar) or the background's
// fourth channel (RGBA) and f the planar foreground:
//   b' = clamp(b * k / f, 0, 1), or clamp(b, 0, 1) where f < 0.0001.
// The RGBA form writes b' as the fourth channel and multiplies the colour by
// b' / b (0 where b < 0.0001).
using TarrowDivideMaskFn = void (*)(const float* background, const float* foreground, float* output,
                                    uint32_t width, int32_t height, uint32_t backgroundStride,
                                    uint32_t foregroundStride, uint32_t outputStride, float k);

// Limit to mask (planar input, planar mask). The threshold is quantised to
// whole percent, in double precision:
//   P = (int)(threshold * 100.0 * 256.0 / 255.0 * 65280.0) >> 16 (0 when
//       negative or NaN), T = (int)floor(P * 255.0 * 2.56),
//   level = T / 65280.0, factor = (0xFF000000 / T, unsigned) / 65280.0.
// Per sample: min(x, m * factor) where m < level, else x (compared and
// multiplied in double, stored as float). When T is 0 the output is the input.
using TarrowLimitToMaskFn = void (*)(const float* input, const float* mask, float* output,
                                     uint32_t width, int32_t height, uint32_t inputStride,
                                     uint32_t maskStride, uint32_t outputStride, float threshold);

// Make opaque (RGBA): colour * (a / max(A, 0.00001)), fourth channel := a.
using TarrowMakeOpaqueFn = void (*)(const float* input, float* output, uint32_t width,
                                    int32_t height, uint32_t inputStride, uint32_t outputStride,
                                    float a);

// Colour with mask: planar mask m in, RGBA out: (r * m, g * m, b * m, m).
using TarrowColorWithMaskFn = void (*)(const float* mask, float* output, uint32_t width,
                                       int32_t height, uint32_t maskStride, uint32_t outputStride,
                                       float r, float g, float b);

// Scale and bias (planar): clamp(x * a + b, 0, 1); bias and scale:
// clamp((x + a) * b, 0, 1).
using TarrowScaleBiasFn = void (*)(const float* input, float* output, uint32_t width,
                                   int32_t height, uint32_t inputStride, uint32_t outputStride,
                                   float a, float b);

// Restrict channels (RGBA): channel c (0 R, 1 G, 2 B, 3 the fourth) of the
// output comes from the foreground where bit 1 << c of `channels` is set and
// from the background otherwise.
using TarrowRestrictChannelsFn = void (*)(const float* background, const float* foreground,
                                          float* output, uint32_t width, int32_t height,
                                          uint32_t backgroundStride, uint32_t foregroundStride,
                                          uint32_t outputStride, uint32_t channels);

// Apply texture: planar input x, planar output:
//   x - amount * L, not clamped, where L is
//   RGBA texture:       0.299987793 r' + 0.5900268555 g' + 0.1099853516 b',
//                       c' = (c + 1) - A (the texture over white);
//   gray-alpha texture: (gray + 1) - alpha.
using TarrowApplyTextureFn = void (*)(const float* texture, const float* input, float* output,
                                      uint32_t width, int32_t height, uint32_t textureStride,
                                      uint32_t inputStride, uint32_t outputStride, float amount);

// Effect mask (all planar): with i, e, s, f the interior, exterior, shape
// and factor-mask samples,
//   q = i * s / (e * (1 - s) + i * s);  out = clamp((1 - f) * q + s * f, 0, 1),
// and 0 where the denominator is 0.
using TarrowEffectMaskFn = void (*)(const float* interior, const float* exterior,
                                    const float* shape, const float* factorMask, float* output,
                                    uint32_t width, int32_t height, uint32_t interiorStride,
                                    uint32_t exteriorStride, uint32_t shapeStride,
                                    uint32_t factorMaskStride, uint32_t outputStride);

// Entry points through the kernel set chosen for this processor.
extern const TarrowCrossfadeFn TarrowCrossfadePlanar;
extern const TarrowCrossfadeFn TarrowCrossfadeRGBA;
extern const TarrowCrossfadeWithMaskFn TarrowCrossfadeWithMaskPlanar;
extern const TarrowCrossfadeWithMaskFn TarrowCrossfadeWithMaskRGBA;
extern const TarrowUnaryFn TarrowInvertPlanar;
extern const TarrowBinaryFn TarrowDifferencePlanar;
extern const TarrowBinaryFn TarrowApplyMaskPlanar;
extern const TarrowBinaryFn TarrowApplyMaskRGBA;
extern const TarrowDivideMaskFn TarrowDivideMaskPlanar;
extern const TarrowDivideMaskFn TarrowDivideMaskRGBA;
extern const TarrowLimitToMaskFn TarrowLimitToMaskPlanar;
extern const TarrowMakeOpaqueFn TarrowMakeOpaqueRGBA;
extern const TarrowColorWithMaskFn TarrowColorWithMaskRGBA;
// RGBA input and RGBA alpha source: with a the alpha source's fourth channel,
// (colour * a / max(A, 0.00001), a): the input's colour rescaled to a.
extern const TarrowBinaryFn TarrowOverrideAlphaRGBA;
extern const TarrowScaleBiasFn TarrowScaleBiasPlanar;
extern const TarrowScaleBiasFn TarrowBiasScalePlanar;
extern const TarrowRestrictChannelsFn TarrowRestrictChannelsRGBA;
extern const TarrowUnaryFn TarrowIsolateOpacity;
extern const TarrowApplyTextureFn TarrowApplyTextureRGBA;
extern const TarrowApplyTextureFn TarrowApplyTextureGrayAlpha;
extern const TarrowEffectMaskFn TarrowEffectMaskPlanar;
