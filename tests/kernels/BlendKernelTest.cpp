// The reference blend kernels against the blend formulas, evaluated here in
// double precision straight from their definitions (branchy SetSat and
// ClipColor included), over colours and alphas at 0, 1, the alpha floor and
// the mode's switch points, for all 27 modes of both tables.
#include "PlaneFixture.h"
#include "kernels/TarrowKernelSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

using kernels_test::TestPlane;

namespace {

struct Colour {
    double r, g, b;
};
struct Pixel {
    double r, g, b, a;
};

double clamp(double v) {
    return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
}
double lum(Colour c) {
    return 0.299987793 * c.r + 0.5900268555 * c.g + 0.1099853516 * c.b;
}

Colour clipColor(Colour c) {
    const double l = lum(c), n = std::min({c.r, c.g, c.b}), x = std::max({c.r, c.g, c.b});
    auto each = [&](auto f) { return Colour{f(c.r), f(c.g), f(c.b)}; };
    if (n < 0) c = each([&](double v) { return l + (v - l) * l / (l - n); });
    if (x > 1) c = each([&](double v) { return l + (v - l) * (1 - l) / (x - l); });
    return c;
}
Colour setLum(Colour c, double l) {
    const double d = l - lum(c);
    return clipColor({c.r + d, c.g + d, c.b + d});
}
double sat(Colour c) {
    return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b});
}
Colour setSat(Colour c, double s) {
    std::array<double*, 3> order{&c.r, &c.g, &c.b};
    std::sort(order.begin(), order.end(), [](double* a, double* b) { return *a < *b; });
    double &mn = *order[0], &mid = *order[1], &mx = *order[2];
    if (mx > mn) {
        mid = (mid - mn) * s / (mx - mn);
        mx = s;
    } else {
        mid = mx = 0;
    }
    mn = 0;
    return c;
}

double separable(int mode, double b, double s) {
    switch (mode) {
        case 2:
            return std::min(b, s);
        case 3:
            return b * s;
        case 4:
            return clamp(1 - (1 - b) / s);
        case 5:
            return clamp(b + s - 1);
        case 7:
            return std::max(b, s);
        case 8:
            return 1 - (1 - b) * (1 - s);
        case 9:
            return clamp(b / (1 - s));
        case 10:
            return clamp(b + s);
        case 12:
            return b <= 0.5 ? 2 * b * s : 1 - 2 * (1 - b) * (1 - s);
        case 13: {
            const double d = b < 0.25 ? ((16 * b - 12) * b + 4) * b : std::sqrt(b);
            return s < 0.5 ? b - (1 - 2 * s) * b * (1 - b) : b + (2 * s - 1) * (d - b);
        }
        case 14:
            return s < 0.5 ? b * 2 * s : 1 - (1 - b) * (2 - 2 * s);
        case 15:
            if (s <= 0 || s >= 1) return s;  // whatever b, 0/0 included
            return s < 0.5 ? clamp(1 - (1 - b) / (2 * s)) : clamp(b / (2 - 2 * s));
        case 16:
            return clamp(b + 2 * s - 1);
        case 17:
            return s < 0.5 ? std::min(b, 2 * s) : std::max(b, 2 * s - 1);
        case 18: {
            const double h = 0.996 * (1 - s);
            return b <= h ? 0 : clamp((b - h) / 0.004);
        }
        case 19:
            return std::fabs(b - s);
        case 20:
            return clamp(b + s - 2 * b * s);
        case 21:
            return clamp(b - s);
        case 22:
            return clamp(b / std::max(s, 1e-5));
    }
    ADD_FAILURE() << "not separable: " << mode;
    return 0;
}

Colour modeResult(int mode, Colour b, Colour s) {
    switch (mode) {
        case 6:
            return lum(s) < lum(b) ? s : b;
        case 11:
            return lum(s) > lum(b) ? s : b;
        case 23:
            return setLum(setSat(s, sat(b)), lum(b));
        case 24:
            return setLum(setSat(b, sat(s)), lum(b));
        case 25:
            return setLum(s, lum(b));
        case 26:
            return setLum(b, lum(s));
    }
    return {separable(mode, b.r, s.r), separable(mode, b.g, s.g), separable(mode, b.b, s.b)};
}

Colour unpremultiplied(Pixel p) {
    if (p.a < 0.0001) return {0, 0, 0};
    return {p.r / p.a, p.g / p.a, p.b / p.a};
}

// The fill-aware modes' B, of the foreground colour faded by w.
double fadedMode(int mode, double b, double s, double w) {
    const double toWhite = w * s + (1 - w), toGrey = w * s + (1 - w) * 0.5;
    switch (mode) {
        case 4:
            return 1 - (1 - b) / toWhite;
        case 5:
            return b + toWhite - 1;
        case 9:
            return b / (1 - w * s);
        case 10:
            return b + s * w;
        case 15:
            // At full strength a source at an extreme is not faded.
            return w >= 0.996 && (s <= 0 || s >= 1) ? s : separable(15, b, toGrey);
        case 16:
            return b + 2 * toGrey - 1;
        case 18:
            return (b - w * (1 - s)) / (1 - w);
        case 19:
            return std::fabs(b - w * s);
    }
    return -1;
}
bool isFillAwareMode(int mode) {
    return fadedMode(mode, 0.5, 0.5, 0.5) != -1;
}

Pixel expected(int mode, bool fillAware, Pixel bg, Pixel fg, double k) {
    if (mode <= 1) {
        const double keep = 1 - k * fg.a;
        return {k * fg.r + bg.r * keep, k * fg.g + bg.g * keep, k * fg.b + bg.b * keep,
                k * fg.a + bg.a * keep};
    }
    const bool faded = fillAware && isFillAwareMode(mode);
    const double w = fg.a * k * 0.996;
    const double ab = bg.a, as = faded && mode == 5 ? w : fg.a * k;
    const double ar = ab + as - ab * as, t = ar < 0.0001 ? 1 : as / ar;
    const Colour cb = unpremultiplied(bg), cs = unpremultiplied(fg);
    auto mix = [&](double b, double s, double blended) {
        if (faded) return ar * (ab * clamp(blended) + (1 - ab) * (t * s + (1 - t) * b));
        return ar * (t * ((1 - ab) * s + ab * blended) + (1 - t) * b);
    };
    const Colour m = faded ? Colour{fadedMode(mode, cb.r, cs.r, w), fadedMode(mode, cb.g, cs.g, w),
                                    fadedMode(mode, cb.b, cs.b, w)}
                           : modeResult(mode, cb, cs);
    return {mix(cb.r, cs.r, m.r), mix(cb.g, cs.g, m.g), mix(cb.b, cs.b, m.b), ar};
}

// Every pairing of these premultiplied pixels, at three fills. The modes'
// pieces meet continuously at their switch points (soft light's at 0.25 and
// 0.5, for one), so the colours also fall on both sides of each, between
// the points: a switch point moved elsewhere changes some result.
std::vector<Pixel> samplePixels() {
    const double alphas[] = {0.0, 0.00005, 0.25, 1.0};
    const Colour colours[] = {{0, 0, 0},         {1, 1, 1},        {0.25, 0.5, 1},  {1, 0.5, 0},
                              {0.75, 0.25, 0.5}, {0.3, 0.2, 0.45}, {0.55, 0.4, 0.1}};
    std::vector<Pixel> pixels;
    for (double a : alphas)
        for (Colour c : colours)
            pixels.push_back({c.r * a, c.g * a, c.b * a, a});
    return pixels;
}

TestPlane planeOf(const std::vector<Pixel>& pixels) {
    TestPlane plane(uint32_t(pixels.size()), 1, 4);
    for (uint32_t x = 0; x < pixels.size(); ++x) {
        const Pixel& p = pixels[x];
        for (uint32_t c = 0; c < 4; ++c)
            plane.at(x, 0, c) = float((&p.r)[c]);
    }
    return plane;
}

void checkTable(const TarrowBlendTable& table, bool fillAware) {
    const std::vector<Pixel> samples = samplePixels();
    std::vector<Pixel> backgrounds, foregrounds;
    for (const Pixel& b : samples)
        for (const Pixel& f : samples) {
            backgrounds.push_back(b);
            foregrounds.push_back(f);
        }
    const TestPlane bg = planeOf(backgrounds), fg = planeOf(foregrounds);
    const uint32_t width = bg.width();
    for (int mode = 0; mode < kTarrowBlendModeCount; ++mode)
        for (float k : {1.0f, 0.5f, 0.0f}) {
            TestPlane out(width, 1, 4);
            table[mode](bg.data(), fg.data(), out.data(), 0, 0, width, 1, bg.stride(), fg.stride(),
                        out.stride(), k);
            TestPlane inPlace = bg;
            table[mode](inPlace.data(), fg.data(), inPlace.data(), 0, 0, width, 1, inPlace.stride(),
                        fg.stride(), inPlace.stride(), k);
            EXPECT_TRUE(inPlace.samePixels(out)) << "mode " << mode << " in place";
            int failures = 0;
            for (uint32_t x = 0; x < width && failures < 3; ++x) {
                const Pixel e = expected(mode, fillAware, backgrounds[x], foregrounds[x], k);
                for (uint32_t c = 0; c < 4; ++c)
                    if (!(std::fabs(out.at(x, 0, c) - (&e.r)[c]) <= 1e-4)) {
                        ++failures;
                        const Pixel &b = backgrounds[x], &f = foregrounds[x];
                        ADD_FAILURE()
                            << (fillAware ? "fill-aware" : "plain") << " mode " << mode << " fill "
                            << k << " channel " << c << ": bg (" << b.r << ", " << b.g << ", "
                            << b.b << ", " << b.a << ") fg (" << f.r << ", " << f.g << ", " << f.b
                            << ", " << f.a << ") gives " << out.at(x, 0, c) << ", expected "
                            << (&e.r)[c];
                        break;
                    }
            }
        }
}

const TarrowKernelSet& reference() {
    return *TarrowKernelSetFor(TarrowIsa::reference);
}

}  // namespace

TEST(BlendKernels, PlainTableFollowsTheModeFormulas) {
    checkTable(reference().plainBlend, false);
}

TEST(BlendKernels, FillAwareTableFollowsTheModeFormulas) {
    checkTable(reference().fillAwareBlend, true);
}

TEST(BlendKernels, TablesDifferOnlyInTheFillAwareModes) {
    for (int mode = 0; mode < kTarrowBlendModeCount; ++mode)
        EXPECT_EQ(reference().plainBlend[mode] == reference().fillAwareBlend[mode],
                  !isFillAwareMode(mode))
            << "mode " << mode;
}

TEST(BlendKernels, LinearDodgeAtHalfFillFadesTheResultOrTheColour) {
    // Over an opaque background the plain table fades the whole result by
    // the fill; the fill-aware one adds the foreground times 0.498.
    TestPlane bg(1, 1, 4), fg(1, 1, 4), plain(1, 1, 4), fillAware(1, 1, 4);
    bg.fill(0.2f);
    bg.at(0, 0, 3) = 1.0f;
    fg.fill(0.6f);
    fg.at(0, 0, 3) = 1.0f;
    reference().plainBlend[kTarrowBlendLinearDodge](bg.data(), fg.data(), plain.data(), 0, 0, 1, 1,
                                                    16, 16, 16, 0.5f);
    reference().fillAwareBlend[kTarrowBlendLinearDodge](bg.data(), fg.data(), fillAware.data(), 0,
                                                        0, 1, 1, 16, 16, 16, 0.5f);
    EXPECT_NEAR(plain.at(0, 0, 0), 0.5f * 0.8f + 0.5f * 0.2f, 1e-6);
    EXPECT_NEAR(fillAware.at(0, 0, 0), 0.2f + 0.6f * 0.498f, 1e-6);
    EXPECT_EQ(plain.at(0, 0, 3), 1.0f);
    EXPECT_EQ(fillAware.at(0, 0, 3), 1.0f);
}

TEST(BlendKernels, VividLightSourcesAtTheirExtremesWinInEverySet) {
    // A full-strength source channel of exactly 0 gives 0 and of exactly 1
    // gives 1 over any backdrop, in both tables and every instruction set:
    // over an opaque backdrop the output is the source.
    const float backdrops[] = {0.0f, 0.3f, 1.0f}, sources[] = {0.0f, 1.0f};
    for (TarrowIsa isa : {TarrowIsa::reference, TarrowIsa::sse4, TarrowIsa::avx2}) {
        const TarrowKernelSet* set = TarrowKernelSetFor(isa);
        if (!set) continue;
        for (const TarrowBlendTable* table : {&set->plainBlend, &set->fillAwareBlend})
            for (float b : backdrops)
                for (float s : sources) {
                    // Wide enough for every vector form and its remainder.
                    TestPlane bg(11, 1, 4), fg(11, 1, 4), out(11, 1, 4);
                    bg.fill(b);
                    fg.fill(s);
                    for (uint32_t x = 0; x < 11; ++x)
                        bg.at(x, 0, 3) = fg.at(x, 0, 3) = 1.0f;
                    (*table)[kTarrowBlendVividLight](bg.data(), fg.data(), out.data(), 0, 0, 11, 1,
                                                     bg.stride(), fg.stride(), out.stride(), 1.0f);
                    for (uint32_t x = 0; x < 11; ++x)
                        EXPECT_EQ(out.at(x, 0, 0), s)
                            << "set " << int(isa)
                            << (table == &set->plainBlend ? " plain" : " fill-aware")
                            << " backdrop " << b << " source " << s << " at " << x;
                }
    }
}
