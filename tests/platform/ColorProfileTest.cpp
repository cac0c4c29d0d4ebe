#include "platform/images/ColorProfile.h"

#include <gtest/gtest.h>
#include <lcms2.h>

using namespace lf;

namespace {

Data savedProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return Data(std::move(bytes));
}

std::vector<uint8_t> convertOne(const std::vector<uint8_t>& pixel, RGBAAlpha alpha,
                                const ColorProfile& from, const ColorProfile& to) {
    RGBABuffer buffer{pixel.data(), 1, pixel.size() / 4, pixel.size(), alpha};
    auto converted = convertRGBA(buffer, from, to);
    EXPECT_TRUE(converted);
    return converted ? *converted : std::vector<uint8_t>{};
}

}  // namespace

TEST(ColorProfile, SharedProfilesAreMadeOnceAndRoundTripTheirBytes) {
    auto generic = ColorProfile::genericRGBProfile();
    ASSERT_NE(generic, nullptr);
    EXPECT_EQ(generic, ColorProfile::genericRGBProfile());
    EXPECT_NEAR(generic->estimatedGamma(), 1.8, 0.01);
    EXPECT_TRUE(generic->isUsableForRGB());
    auto reopened = ColorProfile::createWithICCData(generic->iccData());
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->iccData(), generic->iccData());

    auto display = ColorProfile::mainDisplayProfile();
    EXPECT_EQ(display, ColorProfile::mainDisplayProfile());
    EXPECT_NEAR(display->estimatedGamma(), 2.2, 0.1);
}

TEST(ColorProfile, OnlyReadableRGBProfilesAreUsableForRGBPixels) {
    EXPECT_EQ(ColorProfile::createWithICCData(Data()), nullptr);
    EXPECT_EQ(ColorProfile::createWithICCData(Data::fromString("not an ICC profile")), nullptr);
    // A truncated profile: the header survives, the tags do not.
    const Data generic = ColorProfile::genericRGBProfile()->iccData();
    auto truncated = ColorProfile::createWithICCData(generic.subdata(0, 200));
    EXPECT_TRUE(truncated == nullptr || !truncated->isUsableForRGB());

    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    auto gray =
        ColorProfile::createWithICCData(savedProfile(cmsCreateGrayProfile(cmsD50_xyY(), gamma)));
    cmsFreeToneCurve(gamma);
    ASSERT_NE(gray, nullptr);
    EXPECT_FALSE(gray->isUsableForRGB());
    EXPECT_NEAR(gray->estimatedGamma(), 2.2, 0.01);
    std::vector<uint8_t> pixel{10, 20, 30, 255};
    RGBABuffer buffer{pixel.data(), 1, 1, 4};
    EXPECT_FALSE(convertRGBA(buffer, *gray, *ColorProfile::mainDisplayProfile()));
}

TEST(ColorProfile, ConvertsBetweenProfilesKeepingAlphaAndPremultiplication) {
    const auto& srgb = *ColorProfile::mainDisplayProfile();
    const auto& generic = *ColorProfile::genericRGBProfile();
    // sRGB 128 is linear 0.216; with gamma 1.8 that is 0.427, level 109.
    auto gray = convertOne({128, 128, 128, 255}, RGBAAlpha::Last, srgb, generic);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(gray[k], 109, 2);
    EXPECT_EQ(gray[3], 255);
    // The same colour at half coverage, premultiplied: the colour converts as
    // straight colour and is multiplied again.
    auto half = convertOne({64, 64, 64, 128}, RGBAAlpha::PremultipliedLast, srgb, generic);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(half[k], 55, 2);
    EXPECT_EQ(half[3], 128);
    auto clear = convertOne({0, 0, 0, 0}, RGBAAlpha::PremultipliedLast, srgb, generic);
    EXPECT_EQ(clear, (std::vector<uint8_t>{0, 0, 0, 0}));
    // To the same profile nothing moves.
    auto same = convertOne({200, 100, 50, 255, 1, 2, 3, 255}, RGBAAlpha::Last, srgb, srgb);
    EXPECT_EQ(same, (std::vector<uint8_t>{200, 100, 50, 255, 1, 2, 3, 255}));
}
