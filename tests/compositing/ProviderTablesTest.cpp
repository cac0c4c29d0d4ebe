// The tables of the contour and gradient providers, against values worked
// out by hand. Every table is read from a buffer that starts as
// not-a-number with a guard entry, so unwritten entries and writes past the
// table show.
#include "compositing/providers/QFBrightnessContrastContourProvider.h"
#include "compositing/providers/QFContourProviders.h"
#include "compositing/providers/QFGradientProvider.h"
#include "compositing/providers/QFPSDContourProvider.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNColorProfile.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace {

// `count` entries of `width` floats as `write` leaves them in a buffer of
// not-a-number with a guard entry, which must stay.
std::vector<float> written(uint64_t count, size_t width, const std::function<void(float*)>& write) {
    std::vector<float> values((count + 1) * width, NAN);
    write(values.data());
    EXPECT_TRUE(std::isnan(values[count * width])) << "wrote past the table";
    values.resize(count * width);
    EXPECT_TRUE(
        std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); }));
    return values;
}

std::vector<float> curve(const BNContourProvider& provider, uint64_t count = 4096) {
    return written(count, 1, [&](float* values) {
        provider.generateContourValues(values, count, *BNRenderingContext::create());
    });
}

using Entry = std::array<float, 4>;

std::vector<Entry> gradientTable(const BNGradientProvider& provider, uint64_t count = 4096,
                                 bool premultiply = false) {
    std::vector<float> values = written(count, 4, [&](float* values) {
        provider.generateRGBAGradientValues(values, count, premultiply);
    });
    EXPECT_TRUE(
        std::all_of(values.begin(), values.end(), [](float v) { return v >= 0 && v <= 1; }));
    std::vector<Entry> entries(count);
    std::copy(values.begin(), values.end(), entries[0].data());
    return entries;
}

// The entry standing for level x.
template <typename T>
T at(const std::vector<T>& values, double x) {
    return values[static_cast<size_t>(std::lround(x * double(values.size() - 1)))];
}

void expectIdentity(const std::vector<float>& values) {
    for (size_t k = 0; k < values.size(); ++k)
        ASSERT_NEAR(values[k], double(k) / double(values.size() - 1), 1e-6) << k;
}

std::shared_ptr<OMPSDGradient> grayGradient(std::vector<std::array<double, 3>> colors,
                                            std::vector<std::array<double, 3>> opacities,
                                            double smoothness) {
    auto g = std::make_shared<OMPSDGradient>();
    std::vector<OMPSDGradientColorStop> colorStops;
    for (auto [location, midpoint, v] : colors)
        colorStops.emplace_back(location, midpoint, OMPSDColor(v, v, v));
    std::vector<OMPSDGradientOpacityStop> opacityStops;
    for (auto [location, midpoint, v] : opacities)
        opacityStops.emplace_back(location, midpoint, v);
    g->setColorStops(colorStops);
    g->setOpacityStops(opacityStops);
    g->setSmoothness(smoothness);
    return g;
}

const std::vector<std::array<double, 3>> kOpaque{{0, 0.5, 1}, {1, 0.5, 1}};

}  // namespace

TEST(ContourProviders, CurvesAtLevelsWorkedOutByHand) {
    const double k = std::pow(2.0, 5.0 / 11.0), c = 20 * 0.00095, pivot = 127.0 / 255;
    auto bc = [](double brightness, double contrast) {
        return std::make_shared<QFBrightnessContrastContourProvider>(brightness, contrast);
    };
    auto legacy = [](double brightness, double contrast) {
        return std::make_shared<QFLegacyBrightnessContrastContourProvider>(brightness, contrast);
    };
    auto levels = [](double floor, double ceiling, double outFloor, double outCeiling,
                     double gamma) {
        return std::make_shared<QFLevelsContourProvider>(floor, ceiling, outFloor, outCeiling,
                                                         gamma);
    };
    auto exposure = [](double exposure, double offset, double gamma) {
        return std::make_shared<QFExposureProvider>(exposure, offset, gamma);
    };
    struct {
        const char* what;
        std::shared_ptr<const BNContourProvider> provider;
        double x, expected;
    } cases[] = {
        {"brightness 50 below the knee: slope k", bc(50, 0), 0.25, 0.25 * k},
        {"brightness 50 at the knee", bc(50, 0), 0.5 / k, 0.5},
        {"brightness 150 keeps white", bc(150, 0), 1, 1},
        {"contrast lowers the quarter", bc(0, 20), 0.25, 0.25 - c},
        {"contrast raises three quarters", bc(0, 20), 0.75, 0.75 + c},
        {"legacy brightness adds b / 255", legacy(51, 0), 0.5, 0.7},
        {"legacy contrast 50 doubles the slope", legacy(0, 50), pivot + 0.1, pivot + 0.2},
        {"negative contrast moves the pivot up", legacy(25.5, -50), pivot + 0.2, pivot + 0.2},
        {"legacy contrast 100 is a step", legacy(0, 100), pivot - 0.01, 0},
        {"the step moves down by b", legacy(51, 100), pivot - 0.19, 1},
        {"levels floor", levels(0.2, 0.8, 0, 1, 1), 0.2, 0},
        {"levels gamma 2", levels(0, 1, 0, 1, 2), 0.25, 0.5},
        {"levels output floor", levels(0, 1, 0.1, 0.9, 1), 0, 0.1},
        {"output floor above the ceiling", levels(0, 1, 0.8, 0.2, 1), 0.1, 0.2},
        {"no input range: identity", levels(0.5, 0.5, 0, 1, 1), 0.3, 0.3},
        {"no gamma: identity", levels(0, 1, 0, 1, 0), 0.3, 0.3},
        // Linear light of gamma 2.2 (no profile).
        {"exposure 1 doubles", exposure(1, 0, 1), 0.5, 0.5 * std::pow(2, 1 / 2.2)},
        {"below black is black", exposure(0, -0.1, 1), 0.1, 0},
        {"exposure gamma 2", exposure(0, 0, 2), 0.25, 0.5},
        {"exposure gamma 0: black, not not-a-number", exposure(0, 0, 0), 0.5, 0},
    };
    for (const auto& t : cases)
        EXPECT_NEAR(at(curve(*t.provider), t.x), t.expected, 1e-3) << t.what;
    // In a profile of gamma 1.8 exposure works in that profile's linear
    // light: 0.5 becomes 0.5 * 2^(1 / 1.8) one stop up and 0.5 * 2^(-1 / 1.8)
    // one stop down.
    auto context = BNRenderingContext::create();
    context->setColorProfile(BNColorProfile::genericRGBProfile());
    ASSERT_NEAR(context->colorProfile()->estimatedGamma(), 1.8, 1e-3);
    for (auto [stops, expected] : {std::pair{1.0, 0.7348672}, std::pair{-1.0, 0.3401975}}) {
        std::vector<float> values(4096);
        exposure(stops, 0, 1)->generateContourValues(values.data(), values.size(), *context);
        EXPECT_NEAR(at(values, 0.5), expected, 1e-3) << stops << " stops at gamma 1.8";
    }
    // Lowering is the exact inverse of raising, through both stages.
    for (double b : {50.0, 150.0})
        for (double x = 0; x <= 1; x += 0.0625)
            EXPECT_NEAR(bc(-b, 0)->valueAt(bc(b, 0)->valueAt(x)), x, 1e-5);
    expectIdentity(curve(*bc(0, 0)));
}

TEST(ContourProviders, ContoursAreSplinePiecesBetweenCorners) {
    auto contour = [](std::vector<OMPSDContourPoint> points) {
        return curve(QFPSDContourProvider(OMPSDContour(std::move(points))));
    };
    expectIdentity(contour({{0, 0}, {1, 1}}));
    auto inner = contour({{0.3, 0.2}, {0.7, 0.6}});  // flat outside the points
    EXPECT_FLOAT_EQ(at(inner, 0.1), 0.2f);
    EXPECT_NEAR(at(inner, 1.0), 0.6, 1e-3);

    // The natural spline through (0, 0), (0.5, 0.75), (1, 1) has the
    // tangents 1.75, 1 and 0.25 (its three equations solved by hand), so
    // its Hermite segment gives 0.421875 at 0.25.
    EXPECT_NEAR(at(contour({{0, 0}, {0.5, 0.75}, {1, 1}}), 0.25), 0.421875, 1e-3);
    // Unevenly spaced points weigh each side's slope by the other side's
    // spacing. Through (0, 0), (0.25, 0.5), (1, 1): spacings 1/4 and 3/4,
    // slopes 2 and 2/3; the middle row reads 3/8 D0 + D1 + 1/8 D2 = 5/2,
    // so the tangents are 13/6, 5/3 and 1/6, and the Hermite segments give
    // 0.265625 at 0.125 and 0.890625 at 0.625.
    auto uneven = contour({{0, 0}, {0.25, 0.5}, {1, 1}});
    EXPECT_NEAR(at(uneven, 0.125), 0.265625, 1e-3);
    EXPECT_NEAR(at(uneven, 0.625), 0.890625, 1e-3);
    // A corner makes two straight pieces; overshoots are clamped.
    EXPECT_NEAR(at(contour({{0, 0}, {0.5, 1, false}, {1, 0}}), 0.75), 0.5, 1e-3);
    for (float v : contour({{0, 0}, {0.1, 0.9}, {0.2, 1}, {1, 0.1}}))
        ASSERT_TRUE(v >= 0 && v <= 1) << v;

    // Contours that cannot be evaluated: the identity.
    for (const auto& points : std::vector<std::vector<OMPSDContourPoint>>{
             {}, {{0.5, 0.5}}, {{0.5, 0}, {0.5, 1}}, {{0.8, 0}, {0.2, 1}}, {{0, 0}, {NAN, 1}}})
        expectIdentity(contour(points));
}

TEST(ContourProviders, ColorBalanceStaysWithinItsTable) {
    // All zeros: k / count, one step short of 1.
    EXPECT_FLOAT_EQ(curve(QFColorBalanceContourProvider(nullptr, 0), 256)[255], 255 / 256.0f);

    OMPSDColorBalance balance;
    balance.setPreserveLuminosity(false);
    balance.setMidtones({1, 0, 0});  // red midtones +100: gamma 1/2
    EXPECT_NEAR(curve(QFColorBalanceContourProvider(&balance, 0), 256)[64], 0.5, 1e-5);
    // Red shadows -50, highlights +50: black to 50/255, white from 205/255.
    balance.setMidtones({});
    balance.setShadows({-0.5, 0, 0});
    balance.setHighlights({0.5, 0, 0});
    auto ranged = curve(QFColorBalanceContourProvider(&balance, 0), 255);
    EXPECT_EQ(ranged[50], 0.0f);
    EXPECT_NEAR(ranged[51], 1.0 / 155, 1e-6);
    EXPECT_EQ(ranged[205], 1.0f);

    // Preserving luminosity measures each channel's midtones against the
    // middle of the largest and smallest midtone: with cyan-red +40 and
    // magenta-green -20 (the middle +10), red's gamma is 2^(-30/100),
    // green's 2^(30/100) and blue's 2^(10/100).
    balance.setShadows({});
    balance.setHighlights({});
    balance.setMidtones({0.4, -0.2, 0});
    balance.setPreserveLuminosity(true);
    const double quarter[3] = {0.3243212, 0.1814585, 0.2263227};  // 0.25 to those powers
    for (int channel = 0; channel < 3; ++channel)
        EXPECT_NEAR(curve(QFColorBalanceContourProvider(&balance, channel), 256)[64],
                    quarter[channel], 1e-5)
            << "channel " << channel;
    balance.setMidtones({});

    // Preserving luminosity can put the lower bound (200) above the upper
    // one (55): a step, within the table. Damaged sliders put both bounds
    // outside it.
    balance.setPreserveLuminosity(true);
    balance.setShadows({-1, 1, 0});
    balance.setHighlights({1, -1, 0});
    auto step = curve(QFColorBalanceContourProvider(&balance, 0), 255);
    EXPECT_EQ(step[199], 0.0f);
    EXPECT_EQ(step[200], 1.0f);
    balance.setShadows({-40, 0, 0});
    balance.setHighlights({40, 0, 0});
    curve(QFColorBalanceContourProvider(&balance, 0), 255);
    expectIdentity(curve(QFBlockContourProvider(nullptr), 8));
}

TEST(GradientProvider, TablesAtPositionsWorkedOutByHand) {
    using Stops = std::vector<std::array<double, 3>>;  // location, midpoint, value
    const Stops ramp{{0, 0.5, 0}, {1, 0.5, 1}}, inner{{0.2, 0.5, 0.4}, {0.8, 0.5, 0.6}},
        edge{{0, 0.5, 0}, {0.5, 0.5, 0}, {0.5, 0.5, 1}, {1, 0.5, 1}};
    struct {
        const char* what;
        Stops colors, opacities;
        double smoothness, x, gray, opacity;
    } cases[] = {
        {"a ramp without smoothing", ramp, kOpaque, 0, 0.3, 0.3, 1},
        {"its end", ramp, kOpaque, 0, 1, 1, 1},
        {"midpoint 0.25: half way at 0.25", {{0, 0.5, 0}, {1, 0.25, 1}}, kOpaque, 0, 0.25, 0.5, 1},
        {"and 3/4 at 0.625", {{0, 0.5, 0}, {1, 0.25, 1}}, kOpaque, 0, 0.625, 0.75, 1},
        {"flat before the first stop", inner, kOpaque, 0, 0.1, 0.4, 1},
        {"flat after the last", inner, kOpaque, 0, 0.9, 0.6, 1},
        {"Catmull-Rom: 0.5 u + 1.5 u^2 - u^3", ramp, kOpaque, 1, 0.25, 0.203125, 1},
        {"smooth through a stop",
         {{0, 0.5, 0}, {0.5, 0.5, 1}, {1, 0.5, 0.2}},
         kOpaque,
         1,
         0.5,
         1,
         1},
        // Catmull-Rom would overshoot to 1.0625 between the two white stops.
        {"smooth within its stops",
         {{0, 0.5, 0}, {0.5, 0.5, 1}, {1, 0.5, 1}},
         kOpaque,
         1,
         0.75,
         1,
         1},
        {"one stop of each: flat", {{0.3, 0.5, 0.6}}, {{0.7, 0.5, 0.5}}, 1, 0.9, 0.6, 0.5},
        {"two stops at one place: before the edge", edge, kOpaque, 1, 0.49, 0, 1},
        {"and after it", edge, kOpaque, 1, 0.51, 1, 1},
        {"an opacity ramp", ramp, ramp, 0, 0.25, 0.25, 0.25},
    };
    for (const auto& t : cases) {
        Entry e = at(gradientTable(QFGradientProvider(
                         grayGradient(t.colors, t.opacities, t.smoothness), false)),
                     t.x);
        EXPECT_NEAR(e[0], t.gray, 1e-3) << t.what;
        EXPECT_NEAR(e[3], t.opacity, 1e-3) << t.what;
    }
}

TEST(GradientProvider, InterpolationMethodsMixInTheirOwnSpaces) {
    // Black to white without smoothing: the middle is half of the light,
    // about 188 of 255 encoded, with "Lnr "; an eighth of it, about 99, in
    // Oklab ("Perc"), whose lightness is the cube root of the light; the
    // stored values' middle, 128, with the classic method, when the
    // document does not say, and (with a log line) for a method that is
    // not drawn.
    const std::vector<std::array<double, 3>> ramp{{0, 0.5, 0}, {1, 0.5, 1}};
    lf::LogCapture log;
    for (const char* method : {"Lnr ", "Perc", "Gcls", "", "Smoo"}) {
        auto gradient = grayGradient(ramp, kOpaque, 0);
        gradient->setInterpolationMethod(method);
        auto table = gradientTable(QFGradientProvider(gradient, false));
        std::string m = method;
        double expected = m == "Lnr " ? 187.5 / 255 : m == "Perc" ? 99.09 / 255 : 0.5;
        EXPECT_NEAR(at(table, 0.5)[0], expected, 1.0 / 255) << method;
        EXPECT_EQ(at(table, 1)[0], 1.0f) << method;
    }
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("'Smoo'"));
}

TEST(GradientProvider, ThreeStopsMixedAtTheirMidpoints) {
    // Orange, blue and white at 0, 0.5 and 1, the white's midpoint at a
    // quarter of its segment; no smoothing. Where each transition is half
    // done (0.25 and 0.625) the colour is the two stops' middle: in linear
    // light for "Lnr ", in Oklab for "Perc" (worked out apart from the
    // provider), in stored values for the classic method.
    auto gradient = std::make_shared<OMPSDGradient>();
    gradient->setColorStops({{0, 0.5, OMPSDColor(1, 128 / 255.0, 0)},
                             {0.5, 0.5, OMPSDColor(0, 64 / 255.0, 1)},
                             {1, 0.25, OMPSDColor(1, 1, 1)}});
    gradient->setOpacityStops({{0, 0.5, 1}, {1, 0.5, 1}});
    gradient->setSmoothness(0);
    struct Case {
        const char* method;
        std::array<double, 3> first, second;  // 0..255 at 0.25 and 0.625
    } cases[] = {
        {"Lnr ", {187.52, 102.25, 187.52}, {187.52, 191.76, 255}},
        {"Perc", {141.61, 122.16, 172.01}, {128.02, 171.79, 255}},
        {"Gcls", {127.5, 96, 127.5}, {127.5, 159.5, 255}},
    };
    for (const Case& c : cases) {
        auto mixed = std::make_shared<OMPSDGradient>(*gradient);
        mixed->setInterpolationMethod(c.method);
        auto table = gradientTable(QFGradientProvider(mixed, false));
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(at(table, 0.25)[k] * 255, c.first[k], 0.6) << c.method << " " << k;
            EXPECT_NEAR(at(table, 0.625)[k] * 255, c.second[k], 0.6) << c.method << " " << k;
        }
    }
}

TEST(GradientProvider, PremultipliedReversedAndNoiseTables) {
    QFGradientProvider fading(grayGradient(kOpaque, {{0, 0.5, 1}, {1, 0.5, 0}}, 0), false);
    Entry premultiplied = at(gradientTable(fading, 4096, true), 0.75);
    EXPECT_NEAR(premultiplied[0], 0.25, 1e-3);
    EXPECT_NEAR(premultiplied[3], 0.25, 1e-3);
    auto forward = gradientTable(fading);
    EXPECT_EQ(gradientTable(QFGradientProvider(fading.gradient(), true))[1000], forward[3095]);
    EXPECT_EQ(gradientTable(fading, 1).front(), (Entry{1, 1, 1, 1}));
    EXPECT_EQ(gradientTable(QFBlockGradientProvider(nullptr), 4).back(), (Entry{0, 0, 0, 0}));

    // A noise gradient has no stops: black to white, opaque, said once.
    lf::LogCapture log;
    auto noise = std::make_shared<OMPSDGradient>();
    noise->setName("Noise");
    QFGradientProvider neutral(noise, false);
    EXPECT_EQ(gradientTable(neutral).front(), (Entry{0, 0, 0, 1}));
    EXPECT_EQ(gradientTable(neutral).back(), (Entry{1, 1, 1, 1}));
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("'Noise'"));
}
