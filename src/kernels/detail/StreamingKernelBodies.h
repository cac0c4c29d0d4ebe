#pragma once
// The streaming kernels, written once over the lane types: fills, scaling,
// both blend tables, crossfades, masks and channel kernels. Each instruction
// set's translation unit includes this with its own lane type and installs
// the result with installStreamingKernels; the reference unit does the same
// with ScalarLanes. What each kernel computes is stated in the public
// headers.

#include "kernels/KernelRuntime.h"
#include "kernels/TarrowKernelSet.h"
#include "kernels/detail/BlendMath.h"

#include <type_traits>

namespace tarrow_detail {
namespace {

template <class L>
using LaneOf = typename L::V;

// --- Fill and scale ---------------------------------------------------------

template <class Wide>
void fillPlanar(float* data, uint32_t width, int32_t height, uint32_t stride, float value) {
    perPixel<Wide>(Out<Plane>{data, stride}, width, height,
                   [value](auto lanes) { return LaneOf<decltype(lanes)>(value); });
}

template <class Wide>
void fillRGBA(float* data, uint32_t width, int32_t height, uint32_t stride, float r, float g,
              float b, float a) {
    const float pr = r * a, pg = g * a, pb = b * a;
    perPixel<Wide>(Out<Rgba>{data, stride}, width, height, [=](auto lanes) {
        using V = LaneOf<decltype(lanes)>;
        return Px<V>{V(pr), V(pg), V(pb), V(a)};
    });
}

// C floats per pixel.
template <class Wide, uint32_t C>
void scaleUp2x(const float* source, float* destination, uint32_t srcWidth, int32_t srcHeight,
               uint32_t srcStride, uint32_t dstStride) {
    for (int32_t y = 0; y < srcHeight; ++y) {
        const float* s = rowAt(source, size_t(y), srcStride);
        float* d0 = rowAt(destination, 2 * size_t(y), dstStride);
        float* d1 = rowAt(destination, 2 * size_t(y) + 1, dstStride);
        float* const rows[] = {d0, d1};
        uint32_t x = 0;
        if constexpr (Wide::lanes > 1) {
            constexpr uint32_t pixels = Wide::lanes / C;
            for (; srcWidth - x >= pixels; x += pixels) {
                typename Wide::V lo, hi, v = Wide::loadRaw(s + C * x);
                if constexpr (C == 1)
                    Wide::zip(v, v, lo, hi);
                else
                    Wide::zip4(v, v, lo, hi);
                for (float* d : rows) {
                    Wide::storeRaw(d + 2 * C * x, lo);
                    Wide::storeRaw(d + 2 * C * x + Wide::lanes, hi);
                }
            }
        }
        for (; x < srcWidth; ++x)
            for (uint32_t c = 0; c < C; ++c) {
                const float v = s[C * x + c];
                d0[2 * C * x + c] = d0[2 * C * x + C + c] = v;
                d1[2 * C * x + c] = d1[2 * C * x + C + c] = v;
            }
    }
}

template <class Wide, uint32_t C>
void scaleDown2x(const float* source, float* destination, uint32_t srcWidth, uint32_t srcHeight,
                 uint32_t dstWidth, uint32_t dstHeight, uint32_t srcStride, uint32_t dstStride) {
    if (dstWidth == 0 || dstHeight == 0) return;
    if (srcWidth == 0 || srcHeight == 0) {
        TarrowError("scale down from an empty plane (%u by %u)", srcWidth, srcHeight);
        return;
    }
    for (uint32_t y = 0; y < dstHeight; ++y) {
        const float* a = rowAt(source, (2 * uint64_t(y)) % srcHeight, srcStride);
        const float* b = rowAt(source, (2 * uint64_t(y) + 1) % srcHeight, srcStride);
        float* o = rowAt(destination, y, dstStride);
        uint64_t x = 0;
        if constexpr (Wide::lanes > 1) {
            // Whole batches while no source column wraps.
            constexpr uint32_t pixels = Wide::lanes / C;
            for (; x + pixels <= dstWidth && 2 * (x + pixels) <= srcWidth; x += pixels) {
                typename Wide::V ea, oa, eb, ob;
                const float *pa = a + 2 * C * x, *pb = b + 2 * C * x;
                if constexpr (C == 1) {
                    Wide::unzip(Wide::loadRaw(pa), Wide::loadRaw(pa + Wide::lanes), ea, oa);
                    Wide::unzip(Wide::loadRaw(pb), Wide::loadRaw(pb + Wide::lanes), eb, ob);
                } else {
                    Wide::unzip4(Wide::loadRaw(pa), Wide::loadRaw(pa + Wide::lanes), ea, oa);
                    Wide::unzip4(Wide::loadRaw(pb), Wide::loadRaw(pb + Wide::lanes), eb, ob);
                }
                Wide::storeRaw(o + C * x, 0.25f * (ea + oa + eb + ob));
            }
        }
        for (; x < dstWidth; ++x) {
            const uint64_t p = (2 * x) % srcWidth, q = (2 * x + 1) % srcWidth;
            for (uint32_t c = 0; c < C; ++c)
                o[C * x + c] = 0.25f * (a[C * p + c] + a[C * q + c] + b[C * p + c] + b[C * q + c]);
        }
    }
}

// --- Blend tables -----------------------------------------------------------

template <class Wide, class Frame>
void blend(const float* background, const float* foreground, float* output, int32_t, int32_t,
           uint32_t width, int32_t height, uint32_t backgroundStride, uint32_t foregroundStride,
           uint32_t outputStride, float fill) {
    perPixel<Wide>(
        Out<Rgba>{output, outputStride}, width, height,
        [fill](auto, const auto& bg, const auto& fg) { return Frame::apply(bg, fg, fill); },
        In<Rgba>{background, backgroundStride}, In<Rgba>{foreground, foregroundStride});
}

// The plain table's kernel for a mode, or the fill-aware one where that
// table has its own.
template <bool kFillAware, class Plain, class FillAware>
using Pick = std::conditional_t<kFillAware, FillAware, Plain>;

template <class Wide, bool kFillAware>
constexpr TarrowBlendTable blendTable() {
    constexpr bool f = kFillAware;
    return {
        &blend<Wide, NormalFrame>,
        &blend<Wide, NormalFrame>,  // dissolve
        &blend<Wide, PlainFrame<Separable<Darken>>>,
        &blend<Wide, PlainFrame<Separable<Multiply>>>,
        &blend<Wide, Pick<f, PlainFrame<Separable<ColorBurn>>, FillAwareFrame<FadedColorBurn>>>,
        &blend<Wide,
               Pick<f, PlainFrame<Separable<LinearBurn>>, FillAwareFrame<FadedLinearBurn, true>>>,
        &blend<Wide, PlainFrame<DarkerColor>>,
        &blend<Wide, PlainFrame<Separable<Lighten>>>,
        &blend<Wide, PlainFrame<Separable<Screen>>>,
        &blend<Wide, Pick<f, PlainFrame<Separable<ColorDodge>>, FillAwareFrame<FadedColorDodge>>>,
        &blend<Wide, Pick<f, PlainFrame<Separable<LinearDodge>>, FillAwareFrame<FadedLinearDodge>>>,
        &blend<Wide, PlainFrame<LighterColor>>,
        &blend<Wide, OverlayFrame>,
        &blend<Wide, PlainFrame<Separable<SoftLight>>>,
        &blend<Wide, PlainFrame<Separable<HardLight>>>,
        &blend<Wide, Pick<f, PlainFrame<Separable<VividLight>>, FillAwareFrame<FadedVividLight>>>,
        &blend<Wide, Pick<f, PlainFrame<Separable<LinearLight>>, FillAwareFrame<FadedLinearLight>>>,
        &blend<Wide, PlainFrame<Separable<PinLight>>>,
        &blend<Wide, Pick<f, PlainFrame<Separable<HardMix>>, FillAwareFrame<FadedHardMix>>>,
        &blend<Wide, Pick<f, PlainFrame<Separable<Difference>>, FillAwareFrame<FadedDifference>>>,
        &blend<Wide, PlainFrame<Separable<Exclusion>>>,
        &blend<Wide, PlainFrame<Separable<Subtract>>>,
        &blend<Wide, PlainFrame<Separable<Divide>>>,
        &blend<Wide, PlainFrame<Hue>>,
        &blend<Wide, PlainFrame<Saturation>>,
        &blend<Wide, PlainFrame<Color>>,
        &blend<Wide, PlainFrame<Luminosity>>,
    };
}

// --- Mask and channel kernels -----------------------------------------------

template <class Wide, class Layout>
void crossfade(const float* background, const float* foreground, float* output, uint32_t width,
               int32_t height, uint32_t backgroundStride, uint32_t foregroundStride,
               uint32_t outputStride, float t) {
    const float u = 1.0f - t;
    auto mix = [=](auto b, auto f) { return f * t + b * u; };
    perPixel<Wide>(
        Out<Layout>{output, outputStride}, width, height,
        [=](auto, const auto& b, const auto& f) {
            if constexpr (Layout::floats == 1)
                return mix(b, f);
            else
                return makePx(mix(b.r, f.r), mix(b.g, f.g), mix(b.b, f.b), mix(b.a, f.a));
        },
        In<Layout>{background, backgroundStride}, In<Layout>{foreground, foregroundStride});
}

template <class Wide, class Layout>
void crossfadeWithMask(const float* background, const float* foreground, const float* mask,
                       float* output, uint32_t width, int32_t height, uint32_t backgroundStride,
                       uint32_t foregroundStride, uint32_t maskStride, uint32_t outputStride) {
    perPixel<Wide>(
        Out<Layout>{output, outputStride}, width, height,
        [](auto, const auto& b, const auto& f, auto m) {
            const auto u = 1.0f - m;
            auto mix = [&](auto bv, auto fv) { return m * fv + u * bv; };
            if constexpr (Layout::floats == 1)
                return mix(b, f);
            else
                return makePx(mix(b.r, f.r), mix(b.g, f.g), mix(b.b, f.b), mix(b.a, f.a));
        },
        In<Layout>{background, backgroundStride}, In<Layout>{foreground, foregroundStride},
        In<Plane>{mask, maskStride});
}

template <class Wide>
void invertPlanar(const float* input, float* output, uint32_t width, int32_t height,
                  uint32_t inputStride, uint32_t outputStride) {
    perPixel<Wide>(
        Out<Plane>{output, outputStride}, width, height, [](auto, auto x) { return 1.0f - x; },
        In<Plane>{input, inputStride});
}

template <class Wide>
void differencePlanar(const float* a, const float* b, float* output, uint32_t width, int32_t height,
                      uint32_t aStride, uint32_t bStride, uint32_t outputStride) {
    perPixel<Wide>(
        Out<Plane>{output, outputStride}, width, height,
        [](auto, auto x, auto y) { return abs(x - y); }, In<Plane>{a, aStride},
        In<Plane>{b, bStride});
}

template <class Wide, class Layout>
void applyMask(const float* input, const float* mask, float* output, uint32_t width, int32_t height,
               uint32_t inputStride, uint32_t maskStride, uint32_t outputStride) {
    perPixel<Wide>(
        Out<Layout>{output, outputStride}, width, height,
        [](auto, const auto& x, auto m) {
            if constexpr (Layout::floats == 1)
                return x * m;
            else
                return makePx(x.r * m, x.g * m, x.b * m, x.a * m);
        },
        In<Layout>{input, inputStride}, In<Plane>{mask, maskStride});
}

template <class V>
inline V dividedMask(V b, V f, float k) {
    return select(f < kAlphaFloor, clamp01(b), clamp01(b * k / f));
}

template <class Wide>
void divideMaskPlanar(const float* background, const float* foreground, float* output,
                      uint32_t width, int32_t height, uint32_t backgroundStride,
                      uint32_t foregroundStride, uint32_t outputStride, float k) {
    perPixel<Wide>(
        Out<Plane>{output, outputStride}, width, height,
        [k](auto, auto b, auto f) { return dividedMask(b, f, k); },
        In<Plane>{background, backgroundStride}, In<Plane>{foreground, foregroundStride});
}

template <class Wide>
void divideMaskRGBA(const float* background, const float* foreground, float* output, uint32_t width,
                    int32_t height, uint32_t backgroundStride, uint32_t foregroundStride,
                    uint32_t outputStride, float k) {
    perPixel<Wide>(
        Out<Rgba>{output, outputStride}, width, height,
        [k](auto, const auto& b, auto f) {
            using V = decltype(f);
            const V a = dividedMask(b.a, f, k);
            const V scale = select(b.a < kAlphaFloor, V(0.0f), a / b.a);
            return Px<V>{b.r * scale, b.g * scale, b.b * scale, a};
        },
        In<Rgba>{background, backgroundStride}, In<Plane>{foreground, foregroundStride});
}

template <class Wide>
void makeOpaqueRGBA(const float* input, float* output, uint32_t width, int32_t height,
                    uint32_t inputStride, uint32_t outputStride, float a) {
    perPixel<Wide>(
        Out<Rgba>{output, outputStride}, width, height,
        [a](auto, const auto& p) {
            using V = decltype(p.a);
            const V scale = a / max(p.a, V(0.00001f));
            return Px<V>{p.r * scale, p.g * scale, p.b * scale, V(a)};
        },
        In<Rgba>{input, inputStride});
}

template <class Wide>
void colorWithMaskRGBA(const float* mask, float* output, uint32_t width, int32_t height,
                       uint32_t maskStride, uint32_t outputStride, float r, float g, float b) {
    perPixel<Wide>(
        Out<Rgba>{output, outputStride}, width, height,
        [=](auto, auto m) { return makePx(r * m, g * m, b * m, m); }, In<Plane>{mask, maskStride});
}

template <class Wide>
void overrideAlphaRGBA(const float* input, const float* alpha, float* output, uint32_t width,
                       int32_t height, uint32_t inputStride, uint32_t alphaStride,
                       uint32_t outputStride) {
    perPixel<Wide>(
        Out<Rgba>{output, outputStride}, width, height,
        [](auto, const auto& p, const auto& s) {
            using V = decltype(p.a);
            const V floor = max(p.a, V(0.00001f));
            return Px<V>{p.r * s.a / floor, p.g * s.a / floor, p.b * s.a / floor, s.a};
        },
        In<Rgba>{input, inputStride}, In<Rgba>{alpha, alphaStride});
}

template <class Wide, bool kBiasFirst>
void scaleBias(const float* input, float* output, uint32_t width, int32_t height,
               uint32_t inputStride, uint32_t outputStride, float a, float b) {
    perPixel<Wide>(
        Out<Plane>{output, outputStride}, width, height,
        [=](auto, auto x) {
            if constexpr (kBiasFirst)
                return clamp01((x + a) * b);
            else
                return clamp01(x * a + b);
        },
        In<Plane>{input, inputStride});
}

template <class Wide>
void restrictChannelsRGBA(const float* background, const float* foreground, float* output,
                          uint32_t width, int32_t height, uint32_t backgroundStride,
                          uint32_t foregroundStride, uint32_t outputStride, uint32_t channels) {
    const bool r = channels & 1, g = channels & 2, b = channels & 4, a = channels & 8;
    perPixel<Wide>(
        Out<Rgba>{output, outputStride}, width, height,
        [=](auto, const auto& bg, const auto& fg) {
            return makePx(r ? fg.r : bg.r, g ? fg.g : bg.g, b ? fg.b : bg.b, a ? fg.a : bg.a);
        },
        In<Rgba>{background, backgroundStride}, In<Rgba>{foreground, foregroundStride});
}

template <class Wide>
void isolateOpacity(const float* input, float* output, uint32_t width, int32_t height,
                    uint32_t inputStride, uint32_t outputStride) {
    perPixel<Wide>(
        Out<Plane>{output, outputStride}, width, height, [](auto, const auto& p) { return p.a; },
        In<Rgba>{input, inputStride});
}

template <class Wide>
void applyTextureRGBA(const float* texture, const float* input, float* output, uint32_t width,
                      int32_t height, uint32_t textureStride, uint32_t inputStride,
                      uint32_t outputStride, float amount) {
    perPixel<Wide>(
        Out<Plane>{output, outputStride}, width, height,
        [amount](auto, const auto& t, auto x) {
            using V = decltype(x);
            const Rgb<V> overWhite{t.r + 1.0f - t.a, t.g + 1.0f - t.a, t.b + 1.0f - t.a};
            return x - amount * lum(overWhite);
        },
        In<Rgba>{texture, textureStride}, In<Plane>{input, inputStride});
}

template <class Wide>
void applyTextureGrayAlpha(const float* texture, const float* input, float* output, uint32_t width,
                           int32_t height, uint32_t textureStride, uint32_t inputStride,
                           uint32_t outputStride, float amount) {
    perPixel<Wide>(
        Out<Plane>{output, outputStride}, width, height,
        [amount](auto, const auto& t, auto x) { return x - amount * (t.gray + 1.0f - t.alpha); },
        In<GrayAlphaPlane>{texture, textureStride}, In<Plane>{input, inputStride});
}

template <class Wide>
void effectMaskPlanar(const float* interior, const float* exterior, const float* shape,
                      const float* factorMask, float* output, uint32_t width, int32_t height,
                      uint32_t interiorStride, uint32_t exteriorStride, uint32_t shapeStride,
                      uint32_t factorMaskStride, uint32_t outputStride) {
    perPixel<Wide>(
        Out<Plane>{output, outputStride}, width, height,
        [](auto, auto i, auto e, auto s, auto f) {
            using V = decltype(i);
            const V inside = i * s, denominator = e * (1.0f - s) + inside;
            const V q = inside / denominator;
            return select(denominator == 0.0f, V(0.0f), clamp01((1.0f - f) * q + s * f));
        },
        In<Plane>{interior, interiorStride}, In<Plane>{exterior, exteriorStride},
        In<Plane>{shape, shapeStride}, In<Plane>{factorMask, factorMaskStride});
}

// --- Forms named after their fields -----------------------------------------

// Kernels that share a body above, under the names of their fields.
template <class Wide>
constexpr TarrowScaleUpFn scaleUp2x4 = &scaleUp2x<Wide, 4>;
template <class Wide>
constexpr TarrowScaleUpFn scaleUp2x1 = &scaleUp2x<Wide, 1>;
template <class Wide>
constexpr TarrowScaleDownFn scaleDown2x4 = &scaleDown2x<Wide, 4>;
template <class Wide>
constexpr TarrowScaleDownFn scaleDown2x1 = &scaleDown2x<Wide, 1>;
template <class Wide>
constexpr TarrowBlendTable plainBlend = blendTable<Wide, false>();
template <class Wide>
constexpr TarrowBlendTable fillAwareBlend = blendTable<Wide, true>();
template <class Wide>
constexpr TarrowCrossfadeFn crossfadePlanar = &crossfade<Wide, Plane>;
template <class Wide>
constexpr TarrowCrossfadeFn crossfadeRGBA = &crossfade<Wide, Rgba>;
template <class Wide>
constexpr TarrowCrossfadeWithMaskFn crossfadeWithMaskPlanar = &crossfadeWithMask<Wide, Plane>;
template <class Wide>
constexpr TarrowCrossfadeWithMaskFn crossfadeWithMaskRGBA = &crossfadeWithMask<Wide, Rgba>;
template <class Wide>
constexpr TarrowBinaryFn applyMaskPlanar = &applyMask<Wide, Plane>;
template <class Wide>
constexpr TarrowBinaryFn applyMaskRGBA = &applyMask<Wide, Rgba>;
template <class Wide>
constexpr TarrowScaleBiasFn scaleBiasPlanar = &scaleBias<Wide, false>;
template <class Wide>
constexpr TarrowScaleBiasFn biasScalePlanar = &scaleBias<Wide, true>;

// Installs this lane type's forms of every kernel above.
template <class Wide>
void installStreamingKernels(TarrowKernelSet& set) {
#define TARROW_INSTALL_ON_LANES(field, Type, EntryPoint) set.field = field<Wide>;
    TARROW_VECTOR_KERNELS(TARROW_INSTALL_ON_LANES)
    TARROW_BLEND_TABLES(TARROW_INSTALL_ON_LANES)
#undef TARROW_INSTALL_ON_LANES
}

}  // namespace
}  // namespace tarrow_detail
