#include "TestNodes.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/core/BNSimpleScaleNode.h"
#include "rendergraph/geometry/BNTranslateNode.h"

#include <gtest/gtest.h>

using namespace rendergraph_test;

TEST(BNTranslateNode, RoundsItsOffsetAndMovesItsBounds) {
    auto input = PatternNode::create(VKRectMake(10, 10, 5, 5), BNChannelMaskRGBA, true);
    auto moved = BNTranslateNode::create(input, {3.4, -2.5});
    EXPECT_EQ(moved->offset(), (VKPoint{3, -3}));
    EXPECT_EQ(moved->bounds(), VKRectMake(7, 13, 5, 5));
    EXPECT_EQ(moved->regionOfInterestForInputNodeAtIndex(0, VKRectMake(0, 0, 4, 4), 1.0),
              VKRectMake(3, -3, 4, 4));

    auto everywhere = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    EXPECT_TRUE(VKRectIsInfinite(BNTranslateNode::create(everywhere, {5, 5})->bounds()));
    EXPECT_EQ(BNTranslateNode::create(nullptr, {1, 2})->bounds(), VKRectMake(-1, -2, 0, 0));
}

TEST(BNTranslateNode, RelabelsItsInputWithoutCopying) {
    auto input = PatternNode::create(VKRectMake(0, 0, 20, 20), BNChannelMaskRGBA, true);
    auto moved = BNTranslateNode::create(input, {4, 2});
    BNRenderer renderer;
    for (double scale : {1.0, 2.0}) {
        auto direct = renderer.renderNode(input, VKRectMake(4, 2, 8, 8), scale);
        auto relabelled = renderer.renderNode(moved, VKRectMake(0, 0, 8, 8), scale);
        ASSERT_TRUE(direct && relabelled);
        EXPECT_EQ(relabelled->rect(), VKRectMake(0, 0, 8, 8));
        EXPECT_FALSE(relabelled->ownsMemory());
        EXPECT_EQ(samplesOf(*relabelled), samplesOf(*direct));
    }
}

TEST(BNSimpleScaleNode, DoublesHalvesAndReplicates) {
    BNRenderer renderer;
    auto context = BNRenderingContext::create();
    auto source = BNSurface::create(VKRectMake(0, 0, 3, 2), 1.0, BNChannelMaskRGBA);
    for (uint64_t y = 0; y < 2; ++y)
        for (uint64_t x = 0; x < 3; ++x)
            for (int k = 0; k < 4; ++k)
                source->sample(x, y, k) = patternValue(x, y, k, BNChannelMaskRGBA);

    auto doubler = BNSimpleScaleNode::create(nullptr, 2.0);
    auto doubled = BNSurface::create(VKRectMake(0, 0, 3, 2), 2.0, BNChannelMaskRGBA);
    doubler->renderWithOutputSurface(*doubled, {source}, *context);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 0; x < 6; ++x)
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(doubled->sample(x, y, k), source->sample(x / 2, y / 2, k));

    auto halver = BNSimpleScaleNode::create(nullptr, 0.5);
    auto halved = BNSurface::create(VKRectMake(0, 0, 4, 2), 0.5, BNChannelMaskRGBA);
    halver->renderWithOutputSurface(*halved, {source}, *context);
    // Odd widths wrap: output column 1 reads input columns 2 and 0.
    for (int k = 0; k < 4; ++k) {
        float expect =
            0.25f *
            (((source->sample(2, 0, k) + source->sample(0, 0, k)) + source->sample(2, 1, k)) +
             source->sample(0, 1, k));
        EXPECT_FLOAT_EQ(halved->sample(1, 0, k), expect);
    }

    auto mask = BNSurface::create(VKRectMake(0, 0, 2, 1), 1.0, BNChannelMaskOpacity);
    mask->sample(0, 0, 0) = 0.25f;
    mask->sample(1, 0, 0) = 0.75f;
    auto tripled = BNSurface::create(VKRectMake(0, 0, 2, 1), 3.0, BNChannelMaskOpacity);
    BNSimpleScaleNode::create(nullptr, 3.0)->renderWithOutputSurface(*tripled, {mask}, *context);
    for (uint64_t y = 0; y < 3; ++y)
        for (uint64_t x = 0; x < 6; ++x)
            EXPECT_EQ(tripled->sample(x, y, 0), x < 3 ? 0.25f : 0.75f);
}

TEST(BNSimpleScaleNode, UnsupportedFactorsLeaveATransparentResult) {
    auto context = BNRenderingContext::create();
    auto source = BNSurface::create(VKRectMake(0, 0, 2, 2), 1.0, BNChannelMaskRGBA);
    for (uint64_t y = 0; y < 2; ++y)
        for (uint64_t x = 0; x < 2; ++x)
            for (int k = 0; k < 4; ++k)
                source->sample(x, y, k) = 0.5f;
    auto output = context->surfaceWithRect(VKRectMake(0, 0, 2, 2), 3.0, BNChannelMaskRGBA);
    for (uint64_t y = 0; y < 6; ++y)
        for (uint64_t x = 0; x < 24; ++x)
            output->row(y)[x] = 7.0f;  // stale pool memory
    lf::LogCapture capture;
    BNSimpleScaleNode::create(nullptr, 3.0)->renderWithOutputSurface(*output, {source}, *context);
    EXPECT_TRUE(capture.contains("Unable to handle scale: 3"));
    for (float value : samplesOf(*output))
        EXPECT_EQ(value, 0.0f);
}

TEST(BNSimpleScaleNode, HalvingStartsOnTheBlockGrid) {
    auto halver = BNSimpleScaleNode::create(
        PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true), 0.5);
    lf::LogCapture capture;
    EXPECT_EQ(halver->regionOfInterestForInputNodeAtIndex(0, VKRectMake(3, 5, 4, 4), 0.5),
              VKRectMake(2, 4, 4, 4));
    EXPECT_TRUE(capture.contains("Returning { { 2, 4 }, { 4, 4 } }"));
    EXPECT_EQ(halver->scaleFactorMultiplierForInputNodeAtIndex(0), 2.0);
    EXPECT_EQ(BNSimpleScaleNode::create(nullptr, 2)->bounds(), VKRectZero);
}
