#include "NodeTestSupport.h"
#include "TestNodes.h"
#include "platform/core/Log.h"
#include "rendergraph/adjustments/BNColorizeNode.h"
#include "rendergraph/adjustments/BNContourMappingNode.h"
#include "rendergraph/adjustments/BNHueSaturationAdjustmentNode.h"
#include "rendergraph/adjustments/BNSelectiveColorNode.h"
#include "rendergraph/adjustments/BNShadeNode.h"
#include "rendergraph/adjustments/BNVibranceAdjustmentNode.h"
#include "rendergraph/core/BNColorProfile.h"
#include "rendergraph/core/BNRenderer.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <array>
#include <cmath>

using namespace rendergraph_test;

namespace {

using Color = std::array<float, 4>;  // premultiplied RGBA

// The first pixel of `node` rendered over a 2 by 2 rectangle.
Color firstPixel(const BNRenderNodePtr& node, BNRenderer renderer = BNRenderer()) {
    BNSurfacePtr surface = renderer.renderNode(node, VKRectMake(0, 0, 2, 2), 1.0);
    if (!surface) return {-1, -1, -1, -1};
    return {surface->sample(0, 0, 0), surface->sample(0, 0, 1), surface->sample(0, 0, 2),
            surface->sample(0, 0, 3)};
}

void expectColor(const Color& actual, const Color& expected, float tolerance) {
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(actual[k], expected[k], tolerance) << "channel " << k;
}

BNRenderNodePtr color(float r, float g, float b, float a = 1.0f) {
    return colorNode(VKRectInfinite, r, g, b, a);
}

float chroma(const Color& c) {
    return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]});
}

// A matrix-shaper profile with one gamma curve on all three channels.
std::shared_ptr<const BNColorProfile> gammaProfile(double gamma) {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsCIExyY white{0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return BNColorProfile::createWithICCData(lf::Data(std::move(bytes)));
}

}  // namespace

TEST(BNColorizeNode, GivesEveryPixelOneHueAtItsOwnLightness) {
    // Hue 0, full saturation: a mid grey (lightness 0.5) turns red.
    expectColor(firstPixel(BNColorizeNode::create(color(0.5f, 0.5f, 0.5f, 0.8f), 0, 1, 0)),
                {0.998039f * 0.8f, 0.001961f * 0.8f, 0.001961f * 0.8f, 0.8f}, 1e-5f);
    // No saturation: the grey of the pixel's own lightness, (0.8 + 0.2) / 2.
    expectColor(firstPixel(BNColorizeNode::create(color(0.8f, 0.4f, 0.2f), 200, 0, 0)),
                {0.5f, 0.5f, 0.5f, 1.0f}, 1e-5f);
    // Lightness 1 is white, -1 black; hues wrap round the circle.
    expectColor(firstPixel(BNColorizeNode::create(color(0.3f, 0.6f, 0.2f), 30, 1, 1)), {1, 1, 1, 1},
                1e-5f);
    expectColor(firstPixel(BNColorizeNode::create(color(0.3f, 0.6f, 0.2f), 30, 1, -1)),
                {0, 0, 0, 1}, 1e-5f);
    expectColor(firstPixel(BNColorizeNode::create(color(0.3f, 0.6f, 0.2f), 480, 0.5, 0.2)),
                firstPixel(BNColorizeNode::create(color(0.3f, 0.6f, 0.2f), 120, 0.5, 0.2)), 0);

    lf::LogCapture capture;
    EXPECT_FALSE(BNColorizeNode::create(squareNode(0, 0, 1), 0, 1, 0));
    EXPECT_TRUE(capture.contains("BNColorizeNode input does not contain RGB channels: 0x8"));
}

TEST(BNContourMappingNode, MapsEachChannelThroughItsCurve) {
    auto inverse = std::make_shared<FunctionContourProvider>([](float x) { return 1.0f - x; });
    auto pixel = color(0.2f, 0.4f, 0.6f, 0.5f);
    // Every channel inverted: opacity 0.5 stays, colours become 1 - c at it.
    expectColor(firstPixel(BNContourMappingNode::create(pixel, inverse)), {0.4f, 0.3f, 0.2f, 0.5f},
                1e-4f);
    // Only the opacity curve: colours keep their straight values.
    BNContourProviders opacityOnly;
    opacityOnly[BNChannelOpacity] =
        std::make_shared<FunctionContourProvider>([](float x) { return x * 0.5f; });
    expectColor(firstPixel(BNContourMappingNode::create(pixel, opacityOnly, 0.0, 1.0)),
                {0.05f, 0.1f, 0.15f, 0.25f}, 1e-4f);
    // An opacity-only input maps its one channel.
    auto coverage =
        FunctionNode::create(VKRectInfinite, 8, [](double, double, int) { return 0.25f; });
    auto mapped =
        renderOnce(BNContourMappingNode::create(coverage, inverse), VKRectMake(0, 0, 2, 2), 2.0);
    ASSERT_TRUE(mapped);
    EXPECT_NEAR(mapped->sample(3, 3, 0), 0.75f, 1e-4f);

    // Identity is by provider per channel and range.
    auto a = BNContourMappingNode::create(pixel, inverse);
    EXPECT_EQ(a->hashIdentifier(), BNContourMappingNode::create(pixel, inverse)->hashIdentifier());
    EXPECT_NE(a->hashIdentifier(),
              BNContourMappingNode::create(pixel, inverse, 0.0, 0.5)->hashIdentifier());
    EXPECT_NE(a->hashIdentifier(),
              BNContourMappingNode::create(pixel, opacityOnly, 0.0, 1.0)->hashIdentifier());

    // Layouts without a kernel leave a transparent result.
    lf::LogCapture capture;
    auto fill = PatternNode::create(VKRectInfinite, BNChannelMaskFill, true);
    auto blank = renderOnce(BNContourMappingNode::create(fill, inverse), VKRectMake(0, 0, 2, 2), 1);
    ASSERT_TRUE(blank);
    for (float sample : samplesOf(*blank))
        EXPECT_EQ(sample, 0.0f);
    EXPECT_TRUE(capture.contains("BNContourMappingNode: cannot map an input of channels 0x10"));
}

TEST(BNContourMappingNode, SqueezesCurvesOntoARange) {
    const uint32_t n = BNContourMappingNode::kTableCount;
    std::vector<float> curve(n);
    for (uint32_t i = 0; i < n; ++i)
        curve[i] = float(i) / float(n - 1);
    std::vector<float> squeezed = curve;
    BNContourMappingNode::adjustValues(squeezed.data(), n, 0.5, 1.0);
    EXPECT_EQ(squeezed[0], 0.0f);
    // Within the range the whole curve: (x - 0.5) * 2.
    EXPECT_NEAR(squeezed[3071], (3071.0f / 4095.0f - 0.5f) * 2.0f, 1e-5f);
    EXPECT_NEAR(squeezed[4095], 1.0f, 1e-6f);
    // Below it the first slope, n (T[1] - T[0]) / (max - min), continues.
    const float slope = 4096.0f * (1.0f / 4095.0f) * 2.0f;
    EXPECT_NEAR(squeezed[1365], -(1.0f - 0.5f - 1365.0f / 4095.0f) * slope, 1e-5f);

    squeezed = curve;
    BNContourMappingNode::adjustValues(squeezed.data(), n, 0.25, 0.75);
    EXPECT_EQ(squeezed[4000], 1.0f);  // above the range: the last value
    // An empty range stays on the table instead of reading past it.
    squeezed = curve;
    BNContourMappingNode::adjustValues(squeezed.data(), n, 0.5, 0.5);
    EXPECT_EQ(squeezed[2048], 1.0f);
}

TEST(BNHueSaturationAdjustmentNode, MasterAndRangeAdjustments) {
    auto pixel = color(0.8f, 0.4f, 0.2f, 0.5f);
    BNHueSaturationAdjustment master;
    // Nothing set: the input, up to the hue's 1080 steps.
    expectColor(firstPixel(BNHueSaturationAdjustmentNode::create(pixel, master, {})),
                {0.4f, 0.2f, 0.1f, 0.5f}, 2e-3f);

    master.setSaturation(-1);  // factor 0: the grey (max + min) / 2
    expectColor(firstPixel(BNHueSaturationAdjustmentNode::create(pixel, master, {})),
                {0.25f, 0.25f, 0.25f, 0.5f}, 1e-5f);
    master.setSaturation(1);  // factor 255: chroma up to the fold
    Color vivid = firstPixel(BNHueSaturationAdjustmentNode::create(pixel, master, {}));
    EXPECT_NEAR(vivid[0], 0.5f, 1e-5f);
    EXPECT_NEAR(vivid[2], 0.0f, 1e-5f);

    master = BNHueSaturationAdjustment();
    master.setHue(120);  // red turns green
    expectColor(firstPixel(BNHueSaturationAdjustmentNode::create(color(1, 0, 0), master, {})),
                {0, 1, 0, 1}, 1e-5f);

    // A range of 0, 0, 360, 360 covers the circle, steps 0 and 1 twice.
    BNHueSaturationAdjustment everywhere;
    everywhere.setHue(10);
    everywhere.setLightness(0.25);
    auto node =
        BNHueSaturationAdjustmentNode::create(pixel, BNHueSaturationAdjustment(), {everywhere});
    const auto tables = node->makeTables();
    const float step = 360.0f / 1079.0f;
    EXPECT_FLOAT_EQ(tables.hue[0], 20.0f);
    EXPECT_FLOAT_EQ(tables.hue[1], 20.0f + step);
    EXPECT_FLOAT_EQ(tables.hue[2], 10.0f + 2 * step);
    EXPECT_FLOAT_EQ(tables.lightness[1], 0.5f);
    EXPECT_FLOAT_EQ(tables.lightness[500], 0.25f);
    EXPECT_FLOAT_EQ(tables.saturation[500], 1.0f);

    // The node keeps copies: identity follows the values, not the objects.
    BNHueSaturationAdjustment copy = everywhere;
    auto twin = BNHueSaturationAdjustmentNode::create(pixel, BNHueSaturationAdjustment(), {copy});
    EXPECT_EQ(node->hashIdentifier(), twin->hashIdentifier());
    copy.setHue(11);
    EXPECT_EQ(twin->adjustments()[0].hue(), 10.0);
    EXPECT_NE(node->hashIdentifier(),
              BNHueSaturationAdjustmentNode::create(pixel, BNHueSaturationAdjustment(), {copy})
                  ->hashIdentifier());

    lf::LogCapture capture;
    EXPECT_FALSE(BNHueSaturationAdjustmentNode::create(
        PatternNode::create(VKRectInfinite, BNChannelMaskRGBF, true), master, {}));
    EXPECT_TRUE(capture.contains("BNHueSaturationAdjustmentNode: unsupported input"));
}

TEST(BNShadeNode, ShadesAFlatMapAndCentresItsWindow) {
    auto flat = FunctionNode::create(VKRectInfinite, 8, [](double, double, int) { return 0.5f; });
    auto lit = renderOnce(BNShadeNode::create(flat, 0, 90, 4, 1), VKRectMake(0, 0, 4, 4), 1.0);
    ASSERT_TRUE(lit);
    // The whole part of 255.9 * 256 over 65280: slightly above 1.
    for (float sample : samplesOf(*lit))
        EXPECT_FLOAT_EQ(sample, 65510.0f / 65280.0f);

    // A step at x = 10 points: only the two pixels whose 3 by 3 window
    // straddles it are shaded differently, at both scales.
    auto step = FunctionNode::create(VKRectInfinite, 8,
                                     [](double x, double, int) { return x < 10 ? 1.0f : 0.0f; });
    auto shade = BNShadeNode::create(step, 0, 30, 2, 1);
    for (double scale : {1.0, 2.0}) {
        auto out = renderOnce(shade, VKRectMake(0, 0, 20, 2), scale);
        ASSERT_TRUE(out);
        const auto edge = uint64_t(10 * scale);
        const float plain = out->sample(0, 0, 0);
        EXPECT_EQ(out->sample(edge - 2, 0, 0), plain) << scale;
        EXPECT_NE(out->sample(edge - 1, 0, 0), plain) << scale;
        EXPECT_NE(out->sample(edge, 0, 0), plain) << scale;
        EXPECT_EQ(out->sample(edge + 1, 0, 0), plain) << scale;
    }

    lf::LogCapture capture;
    auto blank = renderOnce(BNShadeNode::create(nullptr, 0, 30, 2, 1), VKRectMake(0, 0, 2, 2), 1);
    ASSERT_TRUE(blank);
    for (float sample : samplesOf(*blank))
        EXPECT_EQ(sample, 0.0f);
    EXPECT_TRUE(capture.contains("BNShadeNode: cannot shade"));
}

TEST(BNVibranceAdjustmentNode, AdjustsInTheRenderingsGamma) {
    const Color input = {0.6f * 0.8f, 0.5f * 0.8f, 0.35f * 0.8f, 0.8f};
    auto pixel = color(0.6f, 0.5f, 0.35f, 0.8f);
    // Nothing changed: the input, up to the round trip through the tables.
    expectColor(firstPixel(BNVibranceAdjustmentNode::create(pixel, 0, 0)), input, 1e-3f);

    // Without a profile the gamma is 2.2, as with a profile of gamma 2.2,
    // and unlike gamma 1.
    auto vibrant = BNVibranceAdjustmentNode::create(pixel, 0.8, 0);
    BNRenderer gamma22, gamma1;
    gamma22.setColorProfile(gammaProfile(2.2));
    gamma1.setColorProfile(gammaProfile(1.0));
    ASSERT_TRUE(gamma22.colorProfile() && gamma1.colorProfile());
    const Color plain = firstPixel(vibrant);
    expectColor(plain, firstPixel(vibrant, gamma22), 1e-4f);
    EXPECT_GT(std::fabs(plain[2] - firstPixel(vibrant, gamma1)[2]), 1e-3f);

    // Vibrance raises the chroma of a dull colour, negative vibrance lowers
    // it; black stays black.
    EXPECT_GT(chroma(plain), chroma(input) + 0.01f);
    EXPECT_LT(chroma(firstPixel(BNVibranceAdjustmentNode::create(pixel, -0.8, 0))),
              chroma(input) - 0.01f);
    EXPECT_NEAR(firstPixel(BNVibranceAdjustmentNode::create(pixel, 0, -1))[0],
                firstPixel(BNVibranceAdjustmentNode::create(pixel, 0, -1))[1], 1e-6f);
    for (double vibrance : {-1.0, 0.5, 1.0})
        expectColor(firstPixel(BNVibranceAdjustmentNode::create(color(0, 0, 0), vibrance, 0.5)),
                    {0, 0, 0, 1}, 0);

    auto clamped = BNVibranceAdjustmentNode::create(pixel, 5, 3);
    EXPECT_EQ(clamped->vibrance(), 1.0);
    EXPECT_EQ(clamped->saturation(), 2.0);
    EXPECT_EQ(BNVibranceAdjustmentNode::create(pixel, -5, -3)->saturation(), 0.0);

    lf::LogCapture capture;
    EXPECT_FALSE(BNVibranceAdjustmentNode::create(squareNode(0, 0, 1), 0, 0));
    EXPECT_TRUE(capture.contains("BNVibranceAdjustmentNode: unsupported input"));
}

TEST(BNSelectiveColorNode, AdjustsUnpremultipliedColourAndIdentifiesByValues) {
    // Neutrals, absolute, black +50: a grey of 0.5 at half coverage loses
    // half its light; its coverage stays.
    BNSelectiveColorAdjustment darker;
    darker.isAbsolute = true;
    darker.groups[7] = {0, 0, 0, 0.5f};
    auto grey = color(0.5f, 0.5f, 0.5f, 0.5f);
    expectColor(firstPixel(BNSelectiveColorNode::create(grey, darker)), {0, 0, 0, 0.5f}, 1e-6f);

    // Settings are kept within -1..1; the identity follows the values.
    BNSelectiveColorAdjustment beyond = darker;
    beyond.groups[7][3] = 7;
    auto node = BNSelectiveColorNode::create(grey, beyond);
    EXPECT_EQ(node->adjustment().groups[7][3], 1.0f);
    EXPECT_EQ(node->hashIdentifier(), BNSelectiveColorNode::create(grey, beyond)->hashIdentifier());
    EXPECT_NE(node->hashIdentifier(), BNSelectiveColorNode::create(grey, darker)->hashIdentifier());
    beyond.isAbsolute = false;
    EXPECT_NE(node->hashIdentifier(), BNSelectiveColorNode::create(grey, beyond)->hashIdentifier());

    lf::LogCapture capture;
    EXPECT_FALSE(BNSelectiveColorNode::create(squareNode(0, 0, 1), darker));
    EXPECT_TRUE(capture.contains("BNSelectiveColorNode: unsupported input"));
}
