#pragma once
// The blend tables: one kernel per blend mode, compositing a premultiplied
// RGBA foreground over a premultiplied RGBA background.
// Conventions: KernelConventions.h.
//
// Every kernel takes (background, foreground, output, x, y, width, height,
// background stride, foreground stride, output stride, fill k). x and y (the
// output's origin) are read by no kernel. The output may be the background
// plane itself (in-place blending).
//
// Terms, per pixel: ab and as the fourth samples of background and
// foreground; cb and cs their unpremultiplied colours (colour / alpha, 0
// where that alpha is below 0.0001); k the fill. The luminance of a colour is
//   lum(c) = 0.299987793 r + 0.5900268555 g + 0.1099853516 b
// (weights that are 9830, 19334 and 3604 / 32768 and sum to exactly 1).
//
// The plain table (TarrowPlainBlendKernels), for foregrounds with both or
// neither of the opacity and fill channels. Source-over of the mode's blend
// result B(cb, cs), with the foreground's alpha scaled by the fill:
//   as' = as * k
//   ar  = ab + as' - ab * as'
//   t   = as' / ar, or 1 where ar < 0.0001
//   out colour = ar * (t * ((1 - ab) * cs + ab * B) + (1 - t) * cb)
//   out fourth = ar
// with these exceptions:
//   normal, dissolve: out = k * fg + bg * (1 - k * as) on all four samples;
//   overlay: the same frame multiplied out on premultiplied samples
//     (Sc = k * fg colour, Sa = as', Dc = bg colour, Da = ab):
//     out colour = Sc (1 - Da) + Dc (1 - Sa) + (2 Dc <= Da ? 2 Sc Dc
//                                               : Sa Da - 2 (Da - Dc)(Sa - Sc))
// B per mode, per channel unless stated; clamp(v) limits to [0, 1] and turns
// NaN into 0:
//    2 darken        min(cb, cs)
//    3 multiply      cb * cs
//    4 color burn    clamp(1 - (1 - cb) / cs)
//    5 linear burn   clamp(cb + cs - 1)
//    6 darker color  the whole colour cs where lum(cs) < lum(cb), else cb
//    7 lighten       max(cb, cs)
//    8 screen        1 - (1 - cb)(1 - cs)
//    9 color dodge   clamp(cb / (1 - cs))
//   10 linear dodge  clamp(cb + cs)
//   11 lighter color the whole colour cs where lum(cs) > lum(cb), else cb
//   13 soft light    cs < 0.5: cb - (1 - 2 cs) cb (1 - cb)
//                    else:     cb + (2 cs - 1)(D(cb) - cb),
//                    D(cb) = ((16 cb - 12) cb + 4) cb for cb < 0.25, else sqrt(cb)
//   14 hard light    cs < 0.5: cb * 2 cs; else 1 - (1 - cb)(1 - (2 cs - 1))
//   15 vivid light   cs <= 0: 0; cs >= 1: 1 (whatever cb);
//                    cs < 0.5: clamp(1 - (1 - cb) / (2 cs));
//                    else:     clamp(cb / (1 - (2 cs - 1)))
//   16 linear light  clamp(cb + 2 cs - 1)
//   17 pin light     cs < 0.5: min(cb, 2 cs); else max(cb, 2 cs - 1)
//   18 hard mix      h = 0.996 (1 - cs): 0 where cb <= h, else clamp((cb - h) / 0.004)
//   19 difference    |cb - cs|
//   20 exclusion     clamp(cb + cs - 2 cb cs)
//   21 subtract      clamp(cb - cs)
//   22 divide        clamp(cb / max(cs, 0.00001))
//   23 hue           SetLum(SetSat(cs, Sat(cb)), lum(cb))
//   24 saturation    SetLum(SetSat(cb, Sat(cs)), lum(cb))
//   25 color         SetLum(cs, lum(cb))
//   26 luminosity    SetLum(cb, lum(cs))
// where Sat(c) = max - min of the channels; SetSat(c, s) maps each channel
// to (c - min) * s / (max - min), or 0 when max = min; SetLum(c, l) adds
// l - lum(c) to every channel and then clips: with n and x the smallest and
// largest channel, channels are pulled toward l by l / (l - n) where n < 0
// and by (1 - l) / (x - l) where x > 1 (each only when the divisor is above 0).
//
// The fill-aware table (TarrowFillAwareBlendKernels), for foregrounds with
// exactly one of the opacity and fill channels: the plain table, except that
// modes 4, 5, 9, 10, 15, 16, 18 and 19 apply the fill inside the mode. With
//   w = as * k * 0.996
// the foreground colour is faded toward the mode's neutral colour, B is
// clamped, and the frame weighs the blend by the background alone:
//   out colour = ar * (ab * clamp(B) + (1 - ab) * (t * cs + (1 - t) * cb))
// ar and t as in the plain table; the linear-burn kernel uses w (0.996
// included) in place of as' for ar and t as well. B per mode:
//    4 color burn    1 - (1 - cb) / f,        f = w cs + (1 - w)
//    5 linear burn   cb + f - 1,              f = w cs + (1 - w)
//    9 color dodge   cb / (1 - f),            f = w cs
//   10 linear dodge  cb + cs w
//   15 vivid light   vivid light of f,        f = w cs + (1 - w) 0.5; at full
//                    strength (w >= 0.996) a cs of 0 or 1 gives cs itself
//   16 linear light  cb + 2 f - 1,            f = w cs + (1 - w) 0.5
//   18 hard mix      (cb - w (1 - cs)) / (1 - w): the plain hard mix widened
//                    as the fill falls (w = 0.996 gives the plain ramp)
//   19 difference    |cb - w cs|
//
// Every product and sum is evaluated left to right as written.

#include "kernels/KernelConventions.h"

#include <array>
#include <cstdint>

// Blend modes by number, the index into the blend tables.
enum TarrowBlendMode : int {
    kTarrowBlendNormal = 0,
    kTarrowBlendDissolve = 1,
    kTarrowBlendDarken = 2,
    kTarrowBlendMultiply = 3,
    kTarrowBlendColorBurn = 4,
    kTarrowBlendLinearBurn = 5,
    kTarrowBlendDarkerColor = 6,
    kTarrowBlendLighten = 7,
    kTarrowBlendScreen = 8,
    kTarrowBlendColorDodge = 9,
    kTarrowBlendLinearDodge = 10,
    kTarrowBlendLighterColor = 11,
    kTarrowBlendOverlay = 12,
    kTarrowBlendSoftLight = 13,
    kTarrowBlendHardLight = 14,
    kTarrowBlendVividLight = 15,
    kTarrowBlendLinearLight = 16,
    kTarrowBlendPinLight = 17,
    kTarrowBlendHardMix = 18,
    kTarrowBlendDifference = 19,
    kTarrowBlendExclusion = 20,
    kTarrowBlendSubtract = 21,
    kTarrowBlendDivide = 22,
    kTarrowBlendHue = 23,
    kTarrowBlendSaturation = 24,
    kTarrowBlendColor = 25,
    kTarrowBlendLuminosity = 26,
};
inline constexpr int kTarrowBlendModeCount = 27;

using TarrowBlendFn = void (*)(const float* background, const float* foreground, float* output,
                               int32_t x, int32_t y, uint32_t width, int32_t height,
                               uint32_t backgroundStride, uint32_t foregroundStride,
                               uint32_t outputStride, float fill);

// Indexed by TarrowBlendMode; every entry is filled.
using TarrowBlendTable = std::array<TarrowBlendFn, kTarrowBlendModeCount>;

// The tables of the kernel set chosen for this processor.
const TarrowBlendTable& TarrowPlainBlendKernels();
const TarrowBlendTable& TarrowFillAwareBlendKernels();
