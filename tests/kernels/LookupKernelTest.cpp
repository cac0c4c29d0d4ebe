// The reference lookup and adjustment kernels on chosen values.
#include "PlaneFixture.h"
#include "kernels/TarrowKernelSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using kernels_test::k;
using kernels_test::TestPlane;

namespace {

// A ramp table i / (count - 1), with a NaN guard entry that must never be read.
std::vector<float> ramp(uint32_t count, uint32_t channels = 1) {
    std::vector<float> table;
    for (uint32_t i = 0; i < count; ++i)
        for (uint32_t c = 0; c < channels; ++c)
            table.push_back(float(i) / float(count - 1));
    for (uint32_t c = 0; c < channels; ++c)
        table.push_back(std::numeric_limits<float>::quiet_NaN());
    return table;
}

TestPlane rgbaRow(std::vector<std::array<float, 4>> pixels) {
    TestPlane plane(uint32_t(pixels.size()), 1, 4);
    for (uint32_t x = 0; x < pixels.size(); ++x)
        for (uint32_t c = 0; c < 4; ++c)
            plane.at(x, 0, c) = pixels[x][c];
    return plane;
}

}  // namespace

TEST(LookupKernels, BlendIfGrayInterpolatesTheUnpremultipliedLuminance) {
    const auto table = ramp(256);
    // Grey 0.5 at half opacity; white at opacity 0.5 claiming colour 1 (over 1
    // unpremultiplied, clamped); a pixel without opacity.
    TestPlane in = rgbaRow({{0.25f, 0.25f, 0.25f, 0.5f}, {1, 1, 1, 0.5f}, {0.5f, 0, 0, 0}}),
              out(3, 1, 1);
    k().blendIfGray(in.data(), out.data(), table.data(), 3, 1, in.stride(), out.stride(), 256);
    EXPECT_NEAR(out.at(0, 0), 0.5f, 1e-6);
    EXPECT_EQ(out.at(1, 0), 1.0f);
    EXPECT_EQ(out.at(2, 0), 1.0f);  // 0.5 / 0.00001 clamps to the last entry
}

TEST(LookupKernels, BlendIfColorMultipliesTheThreeLookups) {
    std::vector<float> half(256, 0.5f), full(256, 1.0f);
    const auto table = ramp(256);
    TestPlane in = rgbaRow({{0.5f, 0.5f, 0.5f, 1.0f}}), out(1, 1, 1);
    k().blendIfColor(in.data(), out.data(), table.data(), half.data(), full.data(), 1, 1,
                     in.stride(), out.stride(), 256);
    EXPECT_NEAR(out.at(0, 0), 0.25f, 1e-6);
    k().blendIfColorMultiply(in.data(), out.data(), half.data(), half.data(), half.data(), 1, 1,
                             in.stride(), out.stride(), 256);
    EXPECT_NEAR(out.at(0, 0), 0.25f * 0.125f, 1e-7);
}

TEST(LookupKernels, LookupAndContourNeverReadPastTheLastEntry) {
    const auto table = ramp(4096, 4), curve = ramp(4096);
    TestPlane in(4, 1, 1);
    in.at(0, 0) = 0.0f;
    in.at(1, 0) = 0.5f;
    in.at(2, 0) = 1.0f;
    in.at(3, 0) = std::numeric_limits<float>::quiet_NaN();
    TestPlane out(4, 1, 4), contour(4, 1, 1);
    k().lookupPlanar(in.data(), out.data(), table.data(), 4, 1, in.stride(), out.stride(), 4096);
    k().contourPlanar(in.data(), contour.data(), curve.data(), 4, 1, in.stride(), contour.stride(),
                      4096);
    const float expected[] = {0.0f, 0.5f, 1.0f, 0.0f};
    for (uint32_t x = 0; x < 4; ++x) {
        EXPECT_NEAR(contour.at(x, 0), expected[x], 1e-6);
        for (uint32_t c = 0; c < 4; ++c)
            EXPECT_NEAR(out.at(x, 0, c), expected[x], 1e-6);
    }
}

TEST(LookupKernels, GradientMapTakesTheTablesAlpha) {
    std::vector<float> table;
    for (int i = 0; i < 2; ++i)
        table.insert(table.end(), {float(i), 0.0f, 0.0f, 0.5f});
    TestPlane in = rgbaRow({{0.5f, 0.5f, 0.5f, 0.5f}, {2, 2, 2, 0.5f}}), out(2, 1, 4);
    k().gradientMap(in.data(), out.data(), table.data(), 2, 1, in.stride(), out.stride(), 2);
    EXPECT_FLOAT_EQ(out.at(0, 0, 0), 1.0f);  // white maps to the last entry
    EXPECT_EQ(out.at(0, 0, 3), 0.5f);
    EXPECT_FLOAT_EQ(out.at(1, 0, 0), 1.0f);  // luminance above 1 is clamped
}

TEST(LookupKernels, ColorizeAndContourRGBAKeepOrRemapOpacity) {
    std::vector<float> red(256, 1.0f), zero(256, 0.0f);
    const auto table = ramp(256);
    TestPlane in = rgbaRow({{0.2f, 0.1f, 0.0f, 0.5f}}), out(1, 1, 4);
    k().colorize(in.data(), out.data(), red.data(), zero.data(), table.data(), 1, 1, in.stride(),
                 out.stride(), 256);
    EXPECT_EQ(out.at(0, 0, 0), 0.5f);
    EXPECT_EQ(out.at(0, 0, 1), 0.0f);
    EXPECT_NEAR(out.at(0, 0, 2), 0.2f * 0.5f, 1e-6);  // lightness (0.4 + 0) / 2, times A
    EXPECT_EQ(out.at(0, 0, 3), 0.5f);

    std::vector<float> halfAlpha(256, 0.25f);
    k().contourRGBA(in.data(), out.data(), table.data(), table.data(), table.data(),
                    halfAlpha.data(), 1, 1, in.stride(), out.stride(), 256);
    EXPECT_NEAR(out.at(0, 0, 0), 0.4f * 0.25f, 1e-6);
    EXPECT_EQ(out.at(0, 0, 3), 0.25f);
}

TEST(LookupKernels, GammaCrossfadeMixesPartlyCoveredColoursAsPowers) {
    // Tables of c^1.45 and c^(1 / 1.45), and of the identity, 4096 entries.
    std::vector<float> toGamma, fromGamma;
    for (int i = 0; i < 4096; ++i) {
        double c = i / 4095.0;
        toGamma.push_back(float(std::pow(c, 1.45)));
        fromGamma.push_back(float(std::pow(c, 1 / 1.45)));
    }
    const auto identity = ramp(4096);
    // Opaque black over opaque white, by masks 0.4, 1 and 0; half-covered
    // red over transparency; opaque grey over white half covered.
    TestPlane background =
                  rgbaRow({{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}}),
              foreground = rgbaRow({{0, 0, 0, 1},
                                    {0, 0, 0, 1},
                                    {0, 0, 0, 1},
                                    {0.5f, 0, 0, 0.5f},
                                    {0.3f, 0.3f, 0.3f, 1}}),
              mask(5, 1, 1), out(5, 1, 4), plain(5, 1, 4);
    const float masks[] = {0.4f, 1, 0, 0.5f, 0.5f};
    for (uint32_t x = 0; x < 5; ++x)
        mask.at(x, 0) = masks[x];
    auto mix = [&](const std::vector<float>& to, const std::vector<float>& from, TestPlane& into) {
        k().gammaCrossfadeWithMaskRGBA(background.data(), foreground.data(), mask.data(),
                                       into.data(), 5, 1, background.stride(), foreground.stride(),
                                       mask.stride(), into.stride(), to.data(), from.data(), 4096);
    };
    mix(toGamma, fromGamma, out);
    // (0.4 * 0 + 0.6 * 1)^(1 / 1.45): less black than the linear 0.6.
    for (uint32_t c = 0; c < 3; ++c)
        EXPECT_NEAR(out.at(0, 0, c), std::pow(0.6, 1 / 1.45), 2e-4);
    EXPECT_EQ(out.at(0, 0, 3), 1.0f);
    // Wholly covered or uncovered pixels keep their colours exactly; over
    // transparency the colour is the foreground's.
    EXPECT_EQ(out.at(1, 0, 0), 0.0f);
    EXPECT_EQ(out.at(2, 0, 0), 1.0f);
    EXPECT_NEAR(out.at(3, 0, 0), 0.25f, 1e-6);
    EXPECT_NEAR(out.at(3, 0, 3), 0.25f, 1e-6);
    EXPECT_NEAR(out.at(4, 0, 1), std::pow(0.5 * std::pow(0.3, 1.45) + 0.5, 1 / 1.45), 2e-4);

    // Identity tables give the plain crossfade.
    mix(identity, identity, out);
    k().crossfadeWithMaskRGBA(background.data(), foreground.data(), mask.data(), plain.data(), 5, 1,
                              background.stride(), foreground.stride(), mask.stride(),
                              plain.stride());
    for (uint32_t x = 0; x < 5; ++x)
        for (uint32_t c = 0; c < 4; ++c)
            EXPECT_NEAR(out.at(x, 0, c), plain.at(x, 0, c), 1e-6) << x << " " << c;
}

TEST(AdjustmentKernels, HueSaturationWithNeutralTablesReturnsTheInput) {
    std::vector<float> hue(1080), saturation(1080, 1.0f), lightness(1080, 0.0f);
    for (int i = 0; i < 1080; ++i)
        hue[i] = float(i) * 360.0f / 1079.0f;
    const auto lookup = ramp(256);
    TestPlane in = rgbaRow({{0.4f, 0.2f, 0.1f, 0.5f}, {0.3f, 0.3f, 0.3f, 1.0f}, {0, 0, 0, 0}}),
              out(3, 1, 4);
    k().hueSaturation(in.data(), out.data(), hue.data(), saturation.data(), lightness.data(),
                      lookup.data(), 3, 1, in.stride(), out.stride(), 1080, 256);
    for (uint32_t x = 0; x < 3; ++x)
        for (uint32_t c = 0; c < 4; ++c)
            EXPECT_NEAR(out.at(x, 0, c), in.at(x, 0, c), 0.001f) << x << " " << c;

    // Saturation factor 0 gives grey of the same lightness.
    std::fill(saturation.begin(), saturation.end(), 0.0f);
    k().hueSaturation(in.data(), out.data(), hue.data(), saturation.data(), lightness.data(),
                      lookup.data(), 1, 1, in.stride(), out.stride(), 1080, 256);
    for (uint32_t c = 0; c < 3; ++c)
        EXPECT_NEAR(out.at(0, 0, c), (0.8f + 0.2f) / 2 * 0.5f, 1e-6);
}

TEST(AdjustmentKernels, ShadeLightsSlopesAndFlatMaps) {
    TestPlane flat(5, 5, 1);
    flat.fill(0.5f);
    TestPlane out(3, 3, 1);
    k().shade(flat.data(), out.data(), 3, 3, flat.stride(), out.stride(), 0.0f, 90.0f, 1.0f, 1.0f);
    EXPECT_EQ(out.at(1, 1), float(65510) / 65280.0f);  // (int)(255.9 * 256), slightly above 1

    // A ramp rising to the right, lit from the left (direction 180) and from
    // the right (direction 0) at elevation 30.
    TestPlane slope(5, 5, 1);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 5; ++x)
            slope.at(x, y) = 0.2f * float(x);
    TestPlane left(3, 3, 1), right(3, 3, 1);
    k().shade(slope.data(), left.data(), 3, 3, slope.stride(), left.stride(), 180.0f, 30.0f, 1.0f,
              1.0f);
    k().shade(slope.data(), right.data(), 3, 3, slope.stride(), right.stride(), -180.0f, 30.0f,
              1.0f, 1.0f);
    EXPECT_TRUE(left.samePixels(right));  // -180 is 180
    k().shade(slope.data(), right.data(), 3, 3, slope.stride(), right.stride(), 0.0f, 30.0f, 1.0f,
              1.0f);
    EXPECT_GT(left.at(1, 1), right.at(1, 1));
    EXPECT_GE(right.at(1, 1), 0.0f);
    EXPECT_LE(left.at(1, 1), 1.0f);

    // Samples are rounded to 1/65280, not truncated: a right-hand column at
    // 85.75 / 65280 counts 86 per sample, so Nx = -258 and Nx / 256 = -1
    // (truncated, 3 x 85 = 255 would give 0). Lit from direction 0 at
    // elevation 30 with size and depth 1: Lx = 221, NzLz = 195763 and
    // Nz2 = 2340900, so shade = (int)((195763 - 221) / sqrt(2340901) * 256).
    TestPlane edge(3, 3, 1);
    for (uint32_t y = 0; y < 3; ++y)
        edge.at(2, y) = 85.75f / 65280.0f;
    TestPlane lit(1, 1, 1);
    k().shade(edge.data(), lit.data(), 1, 1, edge.stride(), lit.stride(), 0.0f, 30.0f, 1.0f, 1.0f);
    EXPECT_EQ(lit.at(0, 0), 32718.0f / 65280.0f);
}

TEST(LookupKernels, AnEmptyTableIsReportedAndNothingIsWritten) {
    TestPlane in(1, 1, 1), out(1, 1, 4);
    out.fill(0.5f);
    testing::internal::CaptureStderr();
    k().lookupPlanar(in.data(), out.data(), nullptr, 1, 1, in.stride(), out.stride(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("TarrowLookupPlanar"), std::string::npos);
    EXPECT_EQ(out.at(0, 0, 0), 0.5f);
}
