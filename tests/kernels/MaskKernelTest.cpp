// The reference fill, copy, scale, mask and channel kernels on chosen values:
// 0, 1, the floors and the clamps.
#include "PlaneFixture.h"
#include "kernels/TarrowKernelSet.h"

#include <gtest/gtest.h>

#include <initializer_list>

using kernels_test::k;
using kernels_test::TestPlane;

namespace {

// A one-row plane holding the values.
TestPlane row(std::initializer_list<float> values, uint32_t channels = 1) {
    TestPlane plane(uint32_t(values.size()) / channels, 1, channels);
    uint32_t i = 0;
    for (float v : values)
        plane.at(0, 0, i++) = v;
    return plane;
}

std::vector<float> valuesOf(const TestPlane& plane, uint32_t channels = 1) {
    std::vector<float> values;
    for (uint32_t i = 0; i < plane.width() * channels; ++i)
        values.push_back(plane.at(0, 0, i));
    return values;
}

}  // namespace

TEST(FillCopyScaleKernels, FillPremultipliesAndCopyKeepsRowPadding) {
    TestPlane rgba(3, 2, 4);
    k().fillRGBA(rgba.data(), 3, 2, rgba.stride(), 0.2f, 0.4f, 1.0f, 0.5f);
    EXPECT_EQ(rgba.at(2, 1, 0), 0.2f * 0.5f);
    EXPECT_EQ(rgba.at(2, 1, 2), 0.5f);
    EXPECT_EQ(rgba.at(2, 1, 3), 0.5f);
    TestPlane copy(3, 2, 4);
    k().copyRGBA(rgba.data(), copy.data(), 3, 2, rgba.stride(), copy.stride());
    EXPECT_TRUE(copy.samePixels(rgba) && copy.guardsIntact());

    // Packed rows are copied as one block.
    std::vector<float> source(6, 0.75f), destination(6, 0.0f);
    k().copyPlanar(source.data(), destination.data(), 3, 2, 12, 12);
    EXPECT_EQ(destination, source);
}

TEST(FillCopyScaleKernels, ScaleUpRepeatsAndScaleDownAveragesWithWrap) {
    TestPlane source = row({1, 2, 3});
    TestPlane up(6, 2, 1);
    k().scaleUp2x1(source.data(), up.data(), 3, 1, source.stride(), up.stride());
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 6; ++x)
            EXPECT_EQ(up.at(x, y), float(x / 2 + 1));

    // Three columns and one row: the last output column wraps to column 0,
    // and row 1 wraps to row 0.
    TestPlane down(2, 1, 1);
    k().scaleDown2x1(source.data(), down.data(), 3, 1, 2, 1, source.stride(), down.stride());
    EXPECT_EQ(valuesOf(down), (std::vector<float>{1.5f, 2.0f}));

    TestPlane rgba = row({0, 0, 0, 0, 1, 1, 1, 1}, 4), half(1, 1, 4);
    k().scaleDown2x4(rgba.data(), half.data(), 2, 1, 1, 1, rgba.stride(), half.stride());
    EXPECT_EQ(valuesOf(half, 4), (std::vector<float>(4, 0.5f)));
}

TEST(FillCopyScaleKernels, ScaleDownFromAnEmptyPlaneReportsAndWritesNothing) {
    TestPlane out(2, 2, 1);
    out.fill(0.5f);
    testing::internal::CaptureStderr();
    k().scaleDown2x1(nullptr, out.data(), 0, 4, 2, 2, 0, out.stride());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("*** Tarrow Error: "), std::string::npos);
    EXPECT_EQ(out.at(1, 1), 0.5f);
}

TEST(MaskKernels, CrossfadesWeighTheirInputs) {
    TestPlane bg = row({0.2f, 1.0f}), fg = row({0.6f, 0.0f}), out(2, 1, 1);
    for (float t : {0.0f, 1.0f, 0.25f}) {
        k().crossfadePlanar(bg.data(), fg.data(), out.data(), 2, 1, 4, 4, 4, t);
        EXPECT_FLOAT_EQ(out.at(0, 0), 0.6f * t + 0.2f * (1 - t));
        EXPECT_FLOAT_EQ(out.at(1, 0), 1.0f - t);
    }
    TestPlane bgRGBA = row({0, 0, 0, 0}, 4), fgRGBA = row({1, 1, 1, 1}, 4), mask = row({0.25f}),
              outRGBA(1, 1, 4);
    k().crossfadeWithMaskRGBA(bgRGBA.data(), fgRGBA.data(), mask.data(), outRGBA.data(), 1, 1, 16,
                              16, 4, 16);
    EXPECT_EQ(valuesOf(outRGBA, 4), (std::vector<float>(4, 0.25f)));
}

TEST(MaskKernels, PlanarRulesOnChosenValues) {
    TestPlane a = row({0.0f, 0.25f, 1.0f}), b = row({1.0f, 0.75f, 1.0f}), out(3, 1, 1);
    k().invertPlanar(a.data(), out.data(), 3, 1, 12, 12);
    EXPECT_EQ(valuesOf(out), (std::vector<float>{1.0f, 0.75f, 0.0f}));
    k().differencePlanar(a.data(), b.data(), out.data(), 3, 1, 12, 12, 12);
    EXPECT_EQ(valuesOf(out), (std::vector<float>{1.0f, 0.5f, 0.0f}));
    k().applyMaskPlanar(a.data(), b.data(), out.data(), 3, 1, 12, 12, 12);
    EXPECT_EQ(valuesOf(out), (std::vector<float>{0.0f, 0.1875f, 1.0f}));
    // Scale and bias clamp; bias then scale differs.
    k().scaleBiasPlanar(a.data(), out.data(), 3, 1, 12, 12, 2.0f, -0.25f);
    EXPECT_EQ(valuesOf(out), (std::vector<float>{0.0f, 0.25f, 1.0f}));
    k().biasScalePlanar(a.data(), out.data(), 3, 1, 12, 12, -0.25f, 2.0f);
    EXPECT_EQ(valuesOf(out), (std::vector<float>{0.0f, 0.0f, 1.0f}));
}

TEST(MaskKernels, DivideMaskClampsAndKeepsTheBackgroundWhereTheMaskIsEmpty) {
    TestPlane bg = row({0.5f, 0.5f, 1.5f, 0.4f}), fg = row({1.0f, 0.25f, 0.0f, 0.00005f}),
              out(4, 1, 1);
    k().divideMaskPlanar(bg.data(), fg.data(), out.data(), 4, 1, 16, 16, 16, 0.5f);
    EXPECT_EQ(valuesOf(out), (std::vector<float>{0.25f, 1.0f, 1.0f, 0.4f}));

    TestPlane rgba = row({0.2f, 0.1f, 0.0f, 0.4f, 0.1f, 0.1f, 0.1f, 0.00005f}, 4),
              mask = row({0.5f, 1.0f}), outRGBA(2, 1, 4);
    k().divideMaskRGBA(rgba.data(), mask.data(), outRGBA.data(), 2, 1, 32, 8, 32, 1.0f);
    EXPECT_FLOAT_EQ(outRGBA.at(0, 0, 3), 0.8f);
    EXPECT_FLOAT_EQ(outRGBA.at(0, 0, 0), 0.4f);  // colour rescaled by 0.8 / 0.4
    EXPECT_EQ(outRGBA.at(1, 0, 0), 0.0f);        // alpha below the floor: no colour
}

TEST(MaskKernels, LimitToMaskQuantisesTheThresholdToWholePercent) {
    TestPlane input = row({1.0f, 1.0f, 0.3f, 1.0f}), mask = row({0.1f, 0.49f, 0.2f, 0.5f}),
              out(4, 1, 1);
    k().limitToMaskPlanar(input.data(), mask.data(), out.data(), 4, 1, 16, 16, 16, 0.5f);
    const double factor = 131072.0 / 65280.0;
    EXPECT_EQ(out.at(0, 0), float(0.1f * factor));
    EXPECT_EQ(out.at(1, 0), float(0.49f * factor));
    EXPECT_EQ(out.at(2, 0), 0.3f);  // already below the cap
    EXPECT_EQ(out.at(3, 0), 1.0f);  // the mask is at the level
    k().limitToMaskPlanar(input.data(), mask.data(), out.data(), 4, 1, 16, 16, 16, 0.25f);
    EXPECT_EQ(out.at(0, 0), float(0.1f * (262144.0 / 65280.0)));
    EXPECT_EQ(out.at(1, 0), 1.0f);
    for (float nothing : {0.01f, 0.005f, 0.0f, -3.0f}) {
        k().limitToMaskPlanar(input.data(), mask.data(), out.data(), 4, 1, 16, 16, 16, nothing);
        EXPECT_TRUE(out.samePixels(input)) << nothing;
    }
}

TEST(ChannelKernels, OpacityAndColourRules) {
    TestPlane rgba = row({0.2f, 0.4f, 0.0f, 0.5f, 0.1f, 0.1f, 0.1f, 0.0f}, 4), out(2, 1, 4);
    k().makeOpaqueRGBA(rgba.data(), out.data(), 2, 1, 32, 32, 1.0f);
    EXPECT_EQ(valuesOf(out, 4),
              (std::vector<float>{0.4f, 0.8f, 0.0f, 1.0f, 10000.0f, 10000.0f, 10000.0f, 1.0f}));

    TestPlane alpha = row({0, 0, 0, 0.25f, 0, 0, 0, 1.0f}, 4);
    k().overrideAlphaRGBA(rgba.data(), alpha.data(), out.data(), 2, 1, 32, 32, 32);
    EXPECT_FLOAT_EQ(out.at(0, 0, 0), 0.1f);
    EXPECT_EQ(out.at(0, 0, 3), 0.25f);

    TestPlane mask = row({0.5f, 0.0f});
    k().colorWithMaskRGBA(mask.data(), out.data(), 2, 1, 8, 32, 1.0f, 0.5f, 0.0f);
    EXPECT_EQ(valuesOf(out, 4), (std::vector<float>{0.5f, 0.25f, 0.0f, 0.5f, 0, 0, 0, 0}));

    TestPlane opacity(2, 1, 1);
    k().isolateOpacity(rgba.data(), opacity.data(), 2, 1, 32, 8);
    EXPECT_EQ(valuesOf(opacity), (std::vector<float>{0.5f, 0.0f}));

    TestPlane masked(2, 1, 4);
    k().applyMaskRGBA(rgba.data(), mask.data(), masked.data(), 2, 1, 32, 8, 32);
    EXPECT_EQ(valuesOf(masked, 4), (std::vector<float>{0.1f, 0.2f, 0, 0.25f, 0, 0, 0, 0}));
}

TEST(ChannelKernels, RestrictChannelsTakesEachChannelFromTheSideItsBitNames) {
    TestPlane bg = row({1, 2, 3, 4}, 4), fg = row({5, 6, 7, 8}, 4), out(1, 1, 4);
    for (uint32_t channels = 0; channels < 16; ++channels) {
        out.fill(-1.0f);
        k().restrictChannelsRGBA(bg.data(), fg.data(), out.data(), 1, 1, 16, 16, 16, channels);
        for (uint32_t c = 0; c < 4; ++c)
            EXPECT_EQ(out.at(0, 0, c), channels & (1u << c) ? fg.at(0, 0, c) : bg.at(0, 0, c));
    }
}

TEST(ChannelKernels, TexturesSubtractTheirLuminanceOverWhite) {
    TestPlane texture = row({0.5f, 0.5f, 0.5f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f}, 4),
              input = row({1.0f, 0.25f}), out(2, 1, 1);
    k().applyTextureRGBA(texture.data(), input.data(), out.data(), 2, 1, 32, 8, 8, 2.0f);
    EXPECT_FLOAT_EQ(out.at(0, 0), 0.0f);    // 1 - 2 * 0.5
    EXPECT_FLOAT_EQ(out.at(1, 0), -1.75f);  // transparent texture reads as white; not clamped
    TestPlane grayAlpha = row({0.5f, 1.0f, 0.2f, 0.6f}, 2);
    k().applyTextureGrayAlpha(grayAlpha.data(), input.data(), out.data(), 2, 1, 16, 8, 8, 1.0f);
    EXPECT_FLOAT_EQ(out.at(0, 0), 0.5f);
    EXPECT_FLOAT_EQ(out.at(1, 0), 0.25f - 0.6f);
}

TEST(ChannelKernels, EffectMaskIsZeroWhereItsDenominatorIs) {
    // i, e, s, f per pixel: inside only; half shape; nothing at all.
    TestPlane i = row({1.0f, 0.5f, 0.0f}), e = row({0.0f, 0.5f, 0.0f}), s = row({1.0f, 0.5f, 1.0f}),
              f = row({0.0f, 0.5f, 0.0f}), out(3, 1, 1);
    k().effectMaskPlanar(i.data(), e.data(), s.data(), f.data(), out.data(), 3, 1, 12, 12, 12, 12,
                         12);
    EXPECT_FLOAT_EQ(out.at(0, 0), 1.0f);
    EXPECT_FLOAT_EQ(out.at(1, 0), 0.5f * 0.5f + 0.5f * 0.5f);
    EXPECT_EQ(out.at(2, 0), 0.0f);
}
