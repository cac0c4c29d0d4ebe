#pragma once
// Per-pixel arithmetic of the blend tables, written once over the lane types
// of ScalarLanes.h. BlendKernels.h states what each mode computes; the code
// below evaluates exactly those expressions, left to right.

#include "kernels/detail/ScalarLanes.h"

namespace tarrow_detail {
namespace {

constexpr float kAlphaFloor = 0.0001f;
constexpr float kLumR = 0.299987793f;
constexpr float kLumG = 0.5900268555f;
constexpr float kLumB = 0.1099853516f;

template <class V>
inline V lum(const Rgb<V>& c) {
    return kLumR * c.r + kLumG * c.g + kLumB * c.b;
}
template <class V>
inline V minOf(const Rgb<V>& c) {
    return min(min(c.r, c.g), c.b);
}
template <class V>
inline V maxOf(const Rgb<V>& c) {
    return max(max(c.r, c.g), c.b);
}

// 1 / alpha, or 0 where alpha is below the floor: colour times this is the
// unpremultiplied colour.
template <class V>
inline V unpremultiplier(V alpha) {
    return select(alpha < kAlphaFloor, V(0.0f), V(1.0f) / alpha);
}
template <class V>
inline Rgb<V> unpremultiplied(const Px<V>& p) {
    const V k = unpremultiplier(p.a);
    return {p.r * k, p.g * k, p.b * k};
}

// Separable modes apply one function to each channel.
template <class Mode>
struct Separable {
    template <class V>
    static Rgb<V> blend(const Rgb<V>& b, const Rgb<V>& s) {
        return {Mode::channel(b.r, s.r), Mode::channel(b.g, s.g), Mode::channel(b.b, s.b)};
    }
};

struct Darken {
    template <class V>
    static V channel(V b, V s) {
        return min(b, s);
    }
};
struct Multiply {
    template <class V>
    static V channel(V b, V s) {
        return b * s;
    }
};
struct ColorBurn {
    template <class V>
    static V channel(V b, V s) {
        return clamp01(1.0f - (1.0f - b) / s);
    }
};
struct LinearBurn {
    template <class V>
    static V channel(V b, V s) {
        return clamp01(b + s - 1.0f);
    }
};
struct Lighten {
    template <class V>
    static V channel(V b, V s) {
        return max(b, s);
    }
};
struct Screen {
    template <class V>
    static V channel(V b, V s) {
        return 1.0f - (1.0f - b) * (1.0f - s);
    }
};
struct ColorDodge {
    template <class V>
    static V channel(V b, V s) {
        return clamp01(b / (1.0f - s));
    }
};
struct LinearDodge {
    template <class V>
    static V channel(V b, V s) {
        return clamp01(b + s);
    }
};
struct SoftLight {
    template <class V>
    static V channel(V b, V s) {
        const V d = select(b < 0.25f, ((16.0f * b - 12.0f) * b + 4.0f) * b, sqrt(b));
        return select(s < 0.5f, b - (1.0f - 2.0f * s) * b * (1.0f - b),
                      b + (2.0f * s - 1.0f) * (d - b));
    }
};
struct HardLight {
    template <class V>
    static V channel(V b, V s) {
        return select(s < 0.5f, b * (2.0f * s), 1.0f - (1.0f - b) * (1.0f - (2.0f * s - 1.0f)));
    }
};
struct VividLight {
    // Burn below 0.5, dodge above: one division serves both branches. A
    // source of exactly 0 or 1 gives itself whatever the backdrop, as in
    // Photoshop; the division would give 0/0 there for a backdrop of 1 or 0.
    template <class V>
    static V channel(V b, V s) {
        const auto burn = s < 0.5f;
        const V q = select(burn, 1.0f - b, b) / select(burn, 2.0f * s, 1.0f - (2.0f * s - 1.0f));
        return select(s <= 0.0f, V(0.0f),
                      select(V(1.0f) <= s, V(1.0f), clamp01(select(burn, 1.0f - q, q))));
    }
};
struct LinearLight {
    template <class V>
    static V channel(V b, V s) {
        return clamp01(b + 2.0f * s - 1.0f);
    }
};
struct PinLight {
    template <class V>
    static V channel(V b, V s) {
        return select(s < 0.5f, min(b, 2.0f * s), max(b, 2.0f * s - 1.0f));
    }
};
struct HardMix {
    template <class V>
    static V channel(V b, V s) {
        const V h = 0.996f * (1.0f - s);
        return select(b <= h, V(0.0f), clamp01((b - h) / 0.004f));
    }
};
struct Difference {
    template <class V>
    static V channel(V b, V s) {
        return abs(b - s);
    }
};
struct Exclusion {
    template <class V>
    static V channel(V b, V s) {
        return clamp01(b + s - 2.0f * b * s);
    }
};
struct Subtract {
    template <class V>
    static V channel(V b, V s) {
        return clamp01(b - s);
    }
};
struct Divide {
    template <class V>
    static V channel(V b, V s) {
        return clamp01(b / max(s, V(0.00001f)));
    }
};

// Non-separable modes work on whole colours.
template <class V>
inline Rgb<V> pick(decltype(V(0.0f) < V(0.0f)) m, const Rgb<V>& a, const Rgb<V>& b) {
    return {select(m, a.r, b.r), select(m, a.g, b.g), select(m, a.b, b.b)};
}
struct DarkerColor {
    template <class V>
    static Rgb<V> blend(const Rgb<V>& b, const Rgb<V>& s) {
        return pick<V>(lum(s) < lum(b), s, b);
    }
};
struct LighterColor {
    template <class V>
    static Rgb<V> blend(const Rgb<V>& b, const Rgb<V>& s) {
        return pick<V>(lum(s) > lum(b), s, b);
    }
};

template <class V>
inline Rgb<V> clipColor(const Rgb<V>& c) {
    const V l = lum(c), n = minOf(c), x = maxOf(c);
    const auto low = both(n < 0.0f, n < l);
    const auto high = both(x > 1.0f, l < x);
    auto pullLow = [&](V v) { return select(low, l + (v - l) * l / (l - n), v); };
    const Rgb<V> lifted{pullLow(c.r), pullLow(c.g), pullLow(c.b)};
    auto pullHigh = [&](V v) { return select(high, l + (v - l) * (1.0f - l) / (x - l), v); };
    return {pullHigh(lifted.r), pullHigh(lifted.g), pullHigh(lifted.b)};
}
template <class V>
inline Rgb<V> setLum(const Rgb<V>& c, V l) {
    const V d = l - lum(c);
    return clipColor(Rgb<V>{c.r + d, c.g + d, c.b + d});
}
template <class V>
inline Rgb<V> setSat(const Rgb<V>& c, V s) {
    const V mn = minOf(c), range = maxOf(c) - mn;
    const auto spread = range > 0.0f;
    auto scale = [&](V v) { return select(spread, (v - mn) * s / range, V(0.0f)); };
    return {scale(c.r), scale(c.g), scale(c.b)};
}
template <class V>
inline V sat(const Rgb<V>& c) {
    return maxOf(c) - minOf(c);
}

struct Hue {
    template <class V>
    static Rgb<V> blend(const Rgb<V>& b, const Rgb<V>& s) {
        return setLum(setSat(s, sat(b)), lum(b));
    }
};
struct Saturation {
    template <class V>
    static Rgb<V> blend(const Rgb<V>& b, const Rgb<V>& s) {
        return setLum(setSat(b, sat(s)), lum(b));
    }
};
struct Color {
    template <class V>
    static Rgb<V> blend(const Rgb<V>& b, const Rgb<V>& s) {
        return setLum(s, lum(b));
    }
};
struct Luminosity {
    template <class V>
    static Rgb<V> blend(const Rgb<V>& b, const Rgb<V>& s) {
        return setLum(b, lum(s));
    }
};

// Frames: how a mode's result is composited. Each has
// apply(background, foreground, fill) -> output pixel.

// Normal (and dissolve): k * fg + bg * (1 - k * as) on all four samples.
struct NormalFrame {
    template <class V>
    static Px<V> apply(const Px<V>& bg, const Px<V>& fg, float k) {
        const V keep = 1.0f - k * fg.a;
        return {k * fg.r + bg.r * keep, k * fg.g + bg.g * keep, k * fg.b + bg.b * keep,
                k * fg.a + bg.a * keep};
    }
};

template <class V>
inline V sourceOverAlpha(V ab, V as) {
    return ab + as - ab * as;
}

// Source-over of B(cb, cs), the foreground alpha scaled by the fill.
template <class Mode>
struct PlainFrame {
    template <class V>
    static Px<V> apply(const Px<V>& bg, const Px<V>& fg, float k) {
        const V ab = bg.a, as = fg.a * k;
        const V ar = sourceOverAlpha(ab, as);
        const V t = select(ar < kAlphaFloor, V(1.0f), as / ar);
        const V u = 1.0f - t, ob = 1.0f - ab;
        const Rgb<V> cb = unpremultiplied(bg), cs = unpremultiplied(fg);
        const Rgb<V> m = Mode::blend(cb, cs);
        auto mix = [&](V b, V s, V blended) { return ar * (t * (ob * s + ab * blended) + u * b); };
        return {mix(cb.r, cs.r, m.r), mix(cb.g, cs.g, m.g), mix(cb.b, cs.b, m.b), ar};
    }
};

// Overlay in the same frame, multiplied out on premultiplied samples.
struct OverlayFrame {
    template <class V>
    static Px<V> apply(const Px<V>& bg, const Px<V>& fg, float k) {
        const V da = bg.a, sa = fg.a * k;
        const V keepS = 1.0f - da, keepD = 1.0f - sa, sada = sa * da;
        auto channel = [&](V dc, V sc) {
            const V blended =
                select(2.0f * dc <= da, 2.0f * sc * dc, sada - 2.0f * (da - dc) * (sa - sc));
            return sc * keepS + dc * keepD + blended;
        };
        return {channel(bg.r, k * fg.r), channel(bg.g, k * fg.g), channel(bg.b, k * fg.b),
                sourceOverAlpha(da, sa)};
    }
};

// The fill-aware frame: the mode fades the foreground colour by w inside B.
template <class Mode, bool kCoverageFaded = false>
struct FillAwareFrame {
    template <class V>
    static Px<V> apply(const Px<V>& bg, const Px<V>& fg, float k) {
        const V ab = bg.a, w = fg.a * k * 0.996f;
        const V as = kCoverageFaded ? w : fg.a * k;
        const V ar = sourceOverAlpha(ab, as);
        const V t = select(ar < kAlphaFloor, V(1.0f), as / ar);
        const V u = 1.0f - t, ob = 1.0f - ab;
        const Rgb<V> cb = unpremultiplied(bg), cs = unpremultiplied(fg);
        auto mix = [&](V b, V s) {
            return ar * (ab * clamp01(Mode::channel(b, s, w)) + ob * (t * s + u * b));
        };
        return {mix(cb.r, cs.r), mix(cb.g, cs.g), mix(cb.b, cs.b), ar};
    }
};

// Fades toward white (burns), black (dodges, difference) or mid-grey (lights).
template <class V>
inline V fadeToWhite(V s, V w) {
    return w * s + (1.0f - w);
}
template <class V>
inline V fadeToGrey(V s, V w) {
    return w * s + (1.0f - w) * 0.5f;
}

struct FadedColorBurn {
    template <class V>
    static V channel(V b, V s, V w) {
        return 1.0f - (1.0f - b) / fadeToWhite(s, w);
    }
};
struct FadedLinearBurn {
    template <class V>
    static V channel(V b, V s, V w) {
        return b + fadeToWhite(s, w) - 1.0f;
    }
};
struct FadedColorDodge {
    template <class V>
    static V channel(V b, V s, V w) {
        return b / (1.0f - w * s);
    }
};
struct FadedLinearDodge {
    template <class V>
    static V channel(V b, V s, V w) {
        return b + s * w;
    }
};
struct FadedVividLight {
    // At full strength (w = 0.996) the fade would move a source of 0 or 1
    // off its extreme, where Photoshop keeps it; such a source gives itself.
    template <class V>
    static V channel(V b, V s, V w) {
        const auto full = V(0.996f) <= w;
        const V blended = VividLight::channel(b, fadeToGrey(s, w));
        return select(both(full, s <= 0.0f), V(0.0f),
                      select(both(full, V(1.0f) <= s), V(1.0f), blended));
    }
};
struct FadedLinearLight {
    template <class V>
    static V channel(V b, V s, V w) {
        return b + 2.0f * fadeToGrey(s, w) - 1.0f;
    }
};
struct FadedHardMix {
    template <class V>
    static V channel(V b, V s, V w) {
        return (b - w * (1.0f - s)) / (1.0f - w);
    }
};
struct FadedDifference {
    template <class V>
    static V channel(V b, V s, V w) {
        return abs(b - w * s);
    }
};

}  // namespace
}  // namespace tarrow_detail
