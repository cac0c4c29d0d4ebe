// The tone curves of the adjustments, against values worked out by hand.
#include "compositing/QFBrightnessContrastContourProvider.h"
#include "compositing/QFContourProviders.h"
#include "compositing/QFPSDContourProvider.h"
#include "rendergraph/BNRenderingContext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// The provider's table of `count` entries. The buffer starts as not-a-number
// with one guard entry, so unwritten entries and writes past the table show.
std::vector<float> curve(const BNContourProvider& provider, uint64_t count = 4096) {
    std::vector<float> values(count + 1, NAN);
    auto context = BNRenderingContext::create();
    provider.generateContourValues(values.data(), count, *context);
    EXPECT_TRUE(std::isnan(values[count])) << "wrote past the table";
    values.pop_back();
    for (uint64_t k = 0; k < count; ++k)
        if (!std::isfinite(values[k])) {
            ADD_FAILURE() << "entry " << k << " is " << values[k];
            break;
        }
    return values;
}

// The entry standing for level x of a 4096-entry table.
float at(const std::vector<float>& values, double x) {
    return values[static_cast<size_t>(std::lround(x * (values.size() - 1)))];
}

void expectIdentity(const std::vector<float>& values) {
    for (size_t k = 0; k < values.size(); ++k)
        ASSERT_NEAR(values[k], double(k) / (values.size() - 1), 1e-6) << "entry " << k;
}

std::shared_ptr<const OMPSDContour> contour(std::vector<OMPSDContourPoint> points) {
    return std::make_shared<OMPSDContour>(std::move(points));
}

}  // namespace

TEST(QFBrightnessContrastContourProvider, BrightnessStagesAndContrastParabolas) {
    const double k = std::pow(2.0, 5.0 / 11.0), c = 20 * 0.00095;
    struct Case {
        double brightness, contrast, x, expected;
    } cases[] = {
        {0, 0, 0.25, 0.25},      {0, 0, 0.8, 0.8}, {50, 0, 0.25, 0.25 * k},  // below stage A's knee
                                                                             // 0.5 / k: slope k
        {50, 0, 0.5 / k, 0.5},                                               // the knee
        {50, 0, 1, 1},           {150, 0, 0, 0},   {150, 0, 1, 1},          {0, 20, 0.25, 0.25 - c},
        {0, 20, 0.75, 0.75 + c}, {0, 20, 0, 0},    {0, 20, 0.5, 0.5},       {0, 20, 1, 1},
    };
    for (const Case& t : cases) {
        QFBrightnessContrastContourProvider provider(t.brightness, t.contrast);
        EXPECT_NEAR(provider.valueAt(t.x), t.expected, 1e-9)
            << t.brightness << " " << t.contrast << " at " << t.x;
    }
    // Lowering is the exact inverse of raising, through both stages.
    for (double brightness : {50.0, 150.0}) {
        QFBrightnessContrastContourProvider up(brightness, 0), down(-brightness, 0);
        for (double x = 0; x <= 1; x += 0.0625)
            EXPECT_NEAR(down.valueAt(up.valueAt(x)), x, 1e-5) << brightness << " at " << x;
    }
    // The table is the curve at each level.
    QFBrightnessContrastContourProvider provider(50, 20);
    auto values = curve(provider);
    EXPECT_NEAR(values[3071], provider.valueAt(3071 / 4095.0), 1e-6);
    expectIdentity(curve(QFBrightnessContrastContourProvider(0, 0)));
}

TEST(QFLegacyBrightnessContrastContourProvider, LinesAboutTheMovedPivot) {
    const double pivot = 127.0 / 255;
    struct Case {
        double brightness, contrast, x, expected;
    } cases[] = {
        {51, 0, 0.5, 0.7},                            // brightness alone adds b / 255
        {51, 0, 0.9, 1.0},                            // clamped
        {0, 50, pivot + 0.1, pivot + 0.2},            // twice as steep about the pivot
        {0, -50, pivot + 0.2, pivot + 0.1},           // half as steep
        {25.5, -50, pivot + 0.2, pivot + 0.1 + 0.1},  // the pivot moved up by b
        {0, 100, pivot - 0.01, 0},                    // a hard step at the pivot
        {0, 100, pivot + 0.01, 1},
        {51, 100, pivot - 0.2 + 0.01, 1},  // the step moved down by b
    };
    for (const Case& t : cases)
        EXPECT_NEAR(
            at(curve(QFLegacyBrightnessContrastContourProvider(t.brightness, t.contrast)), t.x),
            t.expected, 1e-3)
            << t.brightness << " " << t.contrast << " at " << t.x;
}

TEST(QFLevelsContourProvider, StretchesTheInputRangeThroughTheGamma) {
    struct Case {
        double inputFloor, inputCeiling, outputFloor, outputCeiling, gamma, x, expected;
    } cases[] = {
        {0.2, 0.8, 0, 1, 1, 0.1, 0},   {0.2, 0.8, 0, 1, 1, 0.2, 0},   {0.2, 0.8, 0, 1, 1, 0.5, 0.5},
        {0.2, 0.8, 0, 1, 1, 0.9, 1},   {0, 1, 0, 1, 2, 0.25, 0.5},     // 1 / gamma as the exponent
        {0, 1, 0.1, 0.9, 1, 0.5, 0.5},                                 // the output range
        {0, 1, 0.1, 0.9, 1, 0, 0.1},   {0, 1, 0.8, 0.2, 1, 0.1, 0.2},  // floor above ceiling: the
                                                                       // ceiling
        {0.5, 0.5, 0, 1, 1, 0.3, 0.3},  // no input range: the identity
        {0, 1, 0, 1, 0, 0.3, 0.3},      // no gamma: the identity
        {0, 1, 0, 1, NAN, 0.3, 0.3},
    };
    for (const Case& t : cases) {
        QFLevelsContourProvider provider(t.inputFloor, t.inputCeiling, t.outputFloor,
                                         t.outputCeiling, t.gamma);
        EXPECT_NEAR(at(curve(provider), t.x), t.expected, 1e-3)
            << t.inputFloor << " " << t.inputCeiling << " " << t.outputFloor << " "
            << t.outputCeiling << " " << t.gamma << " at " << t.x;
    }
}

TEST(QFPSDContourProvider, SplinePiecesMeetAtCorners) {
    expectIdentity(curve(QFPSDContourProvider(*contour({{0, 0}, {1, 1}}))));

    // Flat before the first point and after the last.
    auto inner = curve(QFPSDContourProvider(*contour({{0.3, 0.2}, {0.7, 0.6}})));
    EXPECT_FLOAT_EQ(at(inner, 0.0), 0.2f);
    EXPECT_FLOAT_EQ(at(inner, 0.29), 0.2f);
    EXPECT_NEAR(at(inner, 0.5), 0.4, 1e-3);
    EXPECT_NEAR(at(inner, 1.0), 0.6, 1e-3);

    // Three points: the natural spline's tangents for (0, 0), (0.5, 0.75),
    // (1, 1), solved by hand from its three equations, are 1.75, 1, 0.25.
    double x[] = {0, 0.5, 1}, y[] = {0, 0.75, 1}, d[3], scratch[9];
    QFContourSplineTangents(x, y, 3, d, scratch);
    EXPECT_NEAR(d[0], 1.75, 1e-12);
    EXPECT_NEAR(d[1], 1.0, 1e-12);
    EXPECT_NEAR(d[2], 0.25, 1e-12);
    auto smooth = curve(QFPSDContourProvider(*contour({{0, 0}, {0.5, 0.75}, {1, 1}})));
    EXPECT_NEAR(at(smooth, 0.5), 0.75, 1e-3);
    // Hermite at t = 0.5 of the first segment: 0.375 + (1.75 - 1) / 16.
    EXPECT_NEAR(at(smooth, 0.25), 0.375 + 0.75 / 16, 1e-3);

    // A corner: two straight pieces instead of one curve through the point.
    auto corner = curve(QFPSDContourProvider(*contour({{0, 0}, {0.5, 1, false}, {1, 0}})));
    EXPECT_NEAR(at(corner, 0.25), 0.5, 1e-3);
    EXPECT_NEAR(at(corner, 0.75), 0.5, 1e-3);

    // Overshoots are clamped.
    auto steep = curve(QFPSDContourProvider(*contour({{0, 0}, {0.1, 0.9}, {0.2, 1}, {1, 0.1}})));
    for (float v : steep)
        ASSERT_TRUE(v >= 0 && v <= 1) << v;
}

TEST(QFPSDContourProvider, ContoursThatCannotBeEvaluatedAreTheIdentity) {
    for (const auto& points : std::vector<std::vector<OMPSDContourPoint>>{
             {},
             {{0.5, 0.5}},                  // no piece of two points
             {{0.5, 0}, {0.5, 1}},          // no width
             {{0.8, 0}, {0.2, 1}},          // backwards
             {{0, 0}, {NAN, 0.5}, {1, 1}},  // not a number
         }) {
        QFPSDContourProvider provider(*contour(points));
        expectIdentity(curve(provider));
    }
}

TEST(QFExposureProvider, WorksInLinearLightOfTheRenderingsGamma) {
    // Without a profile the gamma is 2.2: exposure 1 doubles the linear
    // value, so 0.5 becomes 0.5 * 2^(1 / 2.2).
    auto doubled = curve(QFExposureProvider(1, 0, 1));
    EXPECT_NEAR(at(doubled, 0.5), 0.5 * std::pow(2.0, 1 / 2.2), 1e-3);
    EXPECT_FLOAT_EQ(at(doubled, 0.9), 1.0f);
    // An offset below black is black, never not-a-number.
    auto darker = curve(QFExposureProvider(0, -0.1, 1));
    EXPECT_EQ(at(darker, 0.1), 0.0f);
    EXPECT_NEAR(at(darker, 1), std::pow(0.9, 1 / 2.2), 1e-3);
    // Gamma applies to the linear value: 2 squares its root.
    EXPECT_NEAR(at(curve(QFExposureProvider(0, 0, 2)), 0.25),
                std::pow(std::pow(std::pow(0.25, 2.2), 0.5), 1 / 2.2), 1e-3);
    curve(QFExposureProvider(0, 0, 0));  // checks every entry is finite
}

TEST(QFColorBalanceContourProvider, RangesAndGammaStayWithinTheTable) {
    // All zeros: entry k is k / count, one step short of 1 at the top.
    auto neutral = curve(QFColorBalanceContourProvider(nullptr, 0), 256);
    for (size_t k = 0; k < neutral.size(); ++k)
        ASSERT_NEAR(neutral[k], k / 256.0, 1e-6);

    // Red midtones +100: gamma 2^-1 over the whole table.
    OMPSDColorBalance balance;
    balance.setPreserveLuminosity(false);
    balance.setMidtones({1, 0, 0});
    auto mid = curve(QFColorBalanceContourProvider(&balance, 0), 256);
    EXPECT_NEAR(mid[64], std::sqrt(0.25), 1e-5);
    // Green is untouched by a red slider.
    EXPECT_NEAR(curve(QFColorBalanceContourProvider(&balance, 1), 256)[64], 0.25, 1e-6);

    // Red shadows -50 and highlights +50: black up to 50/255, white from
    // 205/255.
    balance.setMidtones({});
    balance.setShadows({-0.5, 0, 0});
    balance.setHighlights({0.5, 0, 0});
    QFColorBalanceContourProvider ranged(&balance, 0);
    EXPECT_FLOAT_EQ(ranged.minRange(), 50);
    EXPECT_FLOAT_EQ(ranged.maxRange(), 205);
    auto values = curve(ranged, 255);
    EXPECT_EQ(values[49], 0.0f);
    EXPECT_EQ(values[50], 0.0f);
    EXPECT_NEAR(values[51], 1.0 / 155, 1e-6);
    EXPECT_EQ(values[205], 1.0f);

    // Preserving luminosity can put the lower bound (here 200 of 255) above
    // the upper one (55): a step, all of it within the table.
    balance.setPreserveLuminosity(true);
    balance.setShadows({-1, 1, 0});
    balance.setHighlights({1, -1, 0});
    QFColorBalanceContourProvider crossed(&balance, 0);
    EXPECT_GT(crossed.minRange(), crossed.maxRange());
    auto step = curve(crossed, 255);
    EXPECT_EQ(step[199], 0.0f);
    EXPECT_EQ(step[200], 1.0f);
    // Damaged sliders put both bounds outside the table.
    balance.setShadows({-40, 0, 0});
    balance.setHighlights({40, 0, 0});
    curve(QFColorBalanceContourProvider(&balance, 0), 255);
}

TEST(QFBlockContourProvider, CallsItsFunctionOrWritesTheIdentity) {
    QFBlockContourProvider halves([](float* values, uint64_t count, BNRenderingContext&) {
        for (uint64_t k = 0; k < count; ++k)
            values[k] = 0.5f;
    });
    EXPECT_EQ(curve(halves, 8), std::vector<float>(8, 0.5f));
    expectIdentity(curve(QFBlockContourProvider(nullptr), 8));
}
