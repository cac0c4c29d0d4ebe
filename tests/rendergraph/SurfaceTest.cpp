#include "kernels/KernelRuntime.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNColorProfile.h"
#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/core/BNSurface.h"
#include "rendergraph/core/BNSurfaceVerification.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <vector>

namespace {

uint64_t stride(double width, BNChannelMask mask, double scale = 1.0) {
    return BNSurface::bytesPerRowForRect(VKRectMake(0, 0, width, 1), scale, mask);
}

}  // namespace

TEST(BNSurface, RowStrideIsWholeCacheLinesAndNeverAPowerOfTwo) {
    uint64_t line = TarrowCacheLineSize();
    if (line != 64) GTEST_SKIP() << "expected values are for 64-byte cache lines";
    EXPECT_EQ(stride(16, BNChannelMaskRGBA), 320u);  // 256 is a power of two: one line more
    EXPECT_EQ(stride(15, BNChannelMaskRGBA), 320u);  // 240 rounds to 256, then one line more
    EXPECT_EQ(stride(0, BNChannelMaskOpacity), 192u);
    EXPECT_EQ(stride(16, BNChannelMaskOpacity), 192u);  // 64, 128 are powers of two
    EXPECT_EQ(stride(256, BNChannelMaskOpacity), 1088u);
    EXPECT_EQ(stride(10, BNChannelMaskRGBF, 2.0), 320u);
    for (double width = 1; width < 600; width += 7) {
        uint64_t s = stride(width, BNChannelMaskRGBA);
        EXPECT_EQ(s % line, 0u);
        EXPECT_NE(s & (s - 1), 0u);
        EXPECT_GE(s, static_cast<uint64_t>(width * 16));
    }
}

TEST(BNSurface, PixelSizesTruncate) {
    auto surface = BNSurface::create(VKRectMake(0, 0, 10.75, 3.3), 2.0, BNChannelMaskRGBA);
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->widthInPixels(), 21u);
    EXPECT_EQ(surface->heightInPixels(), 6u);
    EXPECT_TRUE(surface->ownsMemory());

    auto empty = BNSurface::emptySurface();
    EXPECT_EQ(empty->widthInPixels(), 0u);
    EXPECT_EQ(empty->heightInPixels(), 0u);
    EXPECT_EQ(empty->data(), nullptr);
    EXPECT_TRUE(VKRectIsNull(empty->rect()));
}

TEST(BNSurface, SubsurfacesAreViewsIntoTheParent) {
    auto parent = BNSurface::create(VKRectMake(0, 0, 40, 20), 2.0, BNChannelMaskRGBA);
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->subsurfaceWithRect(parent->rect()), parent);
    EXPECT_EQ(parent->subsurfaceCount(), 0);

    auto view = parent->subsurfaceWithRect(VKRectMake(10, 5, 4, 3));
    ASSERT_TRUE(view);
    EXPECT_EQ(parent->subsurfaceCount(), 1);
    EXPECT_FALSE(view->ownsMemory());
    EXPECT_EQ(view->bytesPerRow(), parent->bytesPerRow());
    EXPECT_EQ(view->data(), parent->row(10) + 20 * 4);
    EXPECT_EQ(view->widthInPixels(), 8u);
    view->sample(0, 0, 2) = 0.25f;
    EXPECT_EQ(parent->sample(20, 10, 2), 0.25f);

    // A view keeps its parent alive, and the count falls when it goes.
    BNSurface* raw = parent.get();
    parent.reset();
    EXPECT_EQ(raw->subsurfaceCount(), 1);
    view.reset();

    auto other = BNSurface::create(VKRectMake(0, 0, 10, 10), 1.0, BNChannelMaskOpacity);
    lf::LogCapture capture;
    EXPECT_EQ(other->subsurfaceWithRect(VKRectMake(0, 0, 10, 10.5)), nullptr);
    EXPECT_EQ(other->subsurfaceWithRect(VKRectMake(-0.5, 0, 2, 2)), nullptr);
    EXPECT_TRUE(capture.contains("is not within bounds"));
    EXPECT_EQ(other->subsurfaceCount(), 0);
}

TEST(BNSurface, DescriptionNamesTheChannels) {
    auto surface = BNSurface::create(VKRectMake(1, 2, 3, 4), 2.0, BNChannelMaskRGBF);
    std::string text = surface->description();
    EXPECT_NE(text.find("rect: { { 1, 2 }, { 3, 4 } }"), std::string::npos) << text;
    EXPECT_NE(text.find("scale: 2, channels: RGBF"), std::string::npos) << text;
}

TEST(BNSurfaceVerification, FindsOutOfRangeAndUnpremultipliedSamples) {
    auto surface = BNSurface::create(VKRectMake(0, 0, 2, 1), 1.0, BNChannelMaskRGBA);
    float good[] = {0.2f, 0.1f, 0.0f, 0.5f, 1, 1, 1, 1};
    std::copy(good, good + 8, surface->row(0));
    lf::LogCapture capture;
    EXPECT_TRUE(BNVerifySurface(*surface));
    surface->sample(1, 0, 0) = 1.5f;
    EXPECT_FALSE(BNVerifySurface(*surface));
    surface->sample(1, 0, 0) = 1.0f;
    surface->sample(0, 0, 1) = 0.6f;  // above its coverage
    EXPECT_FALSE(BNVerifySurface(*surface));
    surface->sample(0, 0, 1) = std::nanf("");
    EXPECT_FALSE(BNVerifySurface(*surface));
    EXPECT_FALSE(
        BNVerifySurface(*BNSurface::create(VKRectMake(0, 0, 1, 1), 1.0, BNChannelMaskFill)));
}

TEST(BNRenderingContext, PoolReusesTheSmallestFreeBuffer) {
    auto context = BNRenderingContext::create();
    void* first = context->allocateMemoryWithSize(5000);
    ASSERT_TRUE(first);
    context->releaseMemory(first);
    EXPECT_EQ(context->allocateMemoryWithSize(5000), first);
    context->releaseMemory(first);
    EXPECT_EQ(context->allocateMemoryWithSize(100), first)
        << "8192-byte buffer reused for 100 bytes";
    void* bigger = context->allocateMemoryWithSize(9000);
    EXPECT_NE(bigger, first);
    context->releaseMemory(first);
    context->releaseMemory(bigger);
    EXPECT_EQ(context->allocateMemoryWithSize(8000), first) << "best fit, not the larger buffer";
    EXPECT_EQ(context->systemAllocationCount(), 2u);
    context->releaseMemory(first);
}

TEST(BNRenderingContext, BuffersBeyondThePoolAreFreedOnRelease) {
    auto context = BNRenderingContext::create();
    std::vector<void*> held;
    for (int i = 0; i < 100; ++i)
        held.push_back(context->allocateMemoryWithSize(64));
    lf::LogCapture capture;
    void* extra = context->allocateMemoryWithSize(64);
    ASSERT_TRUE(extra);
    EXPECT_TRUE(capture.contains("No more room in the pool"));
    context->releaseMemory(extra);  // freed (the sanitizer build checks it is not leaked)
    for (void* memory : held)
        EXPECT_EQ(reinterpret_cast<uintptr_t>(memory) % TarrowCacheLineSize(), 0u);

    // Reclaiming keeps what is lent out; those buffers still go back.
    context->releaseMemory(held[0]);
    context->reclaimUnusedMemory();
    for (size_t i = 1; i < held.size(); ++i)
        context->releaseMemory(held[i]);
    void* again = context->allocateMemoryWithSize(64);
    EXPECT_NE(again, nullptr);
    context->releaseMemory(again);
}

TEST(BNRenderingContext, ImpossibleSizesGiveNoSurface) {
    auto context = BNRenderingContext::create();
    lf::LogCapture capture;
    EXPECT_EQ(context->allocateMemoryWithSize(UINT64_MAX - 10), nullptr);
    EXPECT_EQ(context->surfaceWithRect(VKRectMake(0, 0, 1e12, 1e12), 1.0, BNChannelMaskRGBA),
              nullptr);
    EXPECT_EQ(context->surfaceWithRect(VKRectInfinite, 1.0, BNChannelMaskRGBA), nullptr);
    auto surface = context->surfaceWithRect(VKRectMake(0, 0, 8, 8), 1.0, BNChannelMaskRGBA);
    ASSERT_TRUE(surface);
    EXPECT_GE(surface->bytesPerRow(), 8u * 16u);
}

TEST(BNRenderingContext, SurfacesKeepTheirContextAlive) {
    BNSurfacePtr surface;
    {
        auto context = BNRenderingContext::create();
        surface = context->surfaceWithRect(VKRectMake(0, 0, 4, 4), 1.0, BNChannelMaskOpacity);
    }
    ASSERT_TRUE(surface);
    surface->sample(3, 3, 0) = 1.0f;  // the pool memory is still there
    surface.reset();
}

TEST(BNColorProfile, EstimatesGammaAndRejectsNonProfiles) {
    EXPECT_EQ(BNColorProfile::createWithICCData(lf::Data::fromString("not an ICC profile")),
              nullptr);
    EXPECT_EQ(BNColorProfile::createWithICCData(lf::Data()), nullptr);

    auto display = BNColorProfile::mainDisplayProfile();
    ASSERT_TRUE(display);
    EXPECT_NEAR(display->estimatedGamma(), 2.2, 0.05);
    EXPECT_FALSE(display->iccData().empty());

    // A profile with a pure 1.8 tone curve, saved and read back.
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsCIExyY white = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    cmsHPROFILE made = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(made, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(made, bytes.data(), &size);
    cmsCloseProfile(made);
    cmsFreeToneCurve(curve);
    auto profile = BNColorProfile::createWithICCData(lf::Data(std::move(bytes)));
    ASSERT_TRUE(profile);
    EXPECT_NEAR(profile->estimatedGamma(), 1.8, 0.01);
}
