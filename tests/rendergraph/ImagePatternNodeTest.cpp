#include "FakeProviders.h"
#include "TestNodes.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/images/BNImageNode.h"
#include "rendergraph/images/BNPatternNode.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace rendergraph_test;

namespace {

BNSurfacePtr renderDirectly(const BNRenderNode& node, VKRect rect, double scale = 1.0) {
    auto context = BNRenderingContext::create();
    auto output = context->surfaceWithRect(rect, scale, node.channels());
    node.renderWithOutputSurface(*output, {}, *context);
    return output;
}

}  // namespace

TEST(BNImageNode, BoundsAreInfiniteWhenAnyBackgroundIsNot0) {
    auto provider = std::make_shared<FakeImageProvider>(BNChannelMaskRGBA, VKRectMake(0, 0, 4, 4));
    provider->setBounds(BNChannelOpacity, VKRectMake(10, 10, 2, 2));
    EXPECT_EQ(BNImageNode::create(provider)->bounds(), VKRectMake(0, 0, 12, 12));

    provider->setBackground(BNChannelGreen, std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(VKRectIsInfinite(BNImageNode::create(provider)->bounds()));
    provider->setBackground(BNChannelGreen, 0.5f);
    EXPECT_TRUE(VKRectIsInfinite(BNImageNode::create(provider)->bounds()));

    auto empty = std::make_shared<FakeImageProvider>(0, VKRectMake(0, 0, 4, 4));
    EXPECT_TRUE(VKRectIsNull(BNImageNode::create(empty)->bounds()));

    lf::LogCapture log;
    EXPECT_EQ(BNImageNode::create(nullptr), nullptr);
    EXPECT_TRUE(log.contains("BNImageNode"));
}

TEST(BNImageNode, IdentityFollowsTheProviderObject) {
    auto a = std::make_shared<FakeImageProvider>(BNChannelMaskOpacity, VKRectMake(0, 0, 4, 4));
    auto b = std::make_shared<FakeImageProvider>(BNChannelMaskOpacity, VKRectMake(0, 0, 4, 4));
    EXPECT_EQ(BNImageNode::create(a)->hashIdentifier(), BNImageNode::create(a)->hashIdentifier());
    EXPECT_NE(BNImageNode::create(a)->hashIdentifier(), BNImageNode::create(b)->hashIdentifier());
}

TEST(BNImageNode, FillsOutsideEachChannelsBoundsAndReadsOnlyInside) {
    auto provider =
        std::make_shared<FakeImageProvider>(BNChannelMaskOpacity, VKRectMake(2, 1, 3, 2));
    provider->setBackground(BNChannelOpacity, 0.25f);
    auto node = BNImageNode::create(provider);

    auto output = renderDirectly(*node, VKRectMake(0, 0, 6, 4));
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 0; x < 6; ++x) {
            bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
            float expected = inside ? fakeChannelValue(x, y, BNChannelOpacity) : 0.25f;
            EXPECT_EQ(output->sample(x, y, 0), expected) << x << "," << y;
        }
    EXPECT_EQ(provider->reads(BNChannelOpacity), 1);

    // Far from the channel's pixels: no read at all, only the background.
    auto far = renderDirectly(*node, VKRectMake(100, 100, 3, 3));
    EXPECT_EQ(provider->reads(BNChannelOpacity), 1);
    EXPECT_EQ(samplesOf(*far), std::vector<float>(9, 0.25f));
    EXPECT_FALSE(provider->readOutsideBounds());
}

// Channels that cover the same pixels are filled whole pixel by whole
// pixel, others sample by sample: each sample is its channel's background
// outside that channel's own bounds either way.
TEST(BNImageNode, FillsEachChannelsBackgroundOutsideItsOwnBounds) {
    for (bool sameBounds : {true, false}) {
        auto provider =
            std::make_shared<FakeImageProvider>(BNChannelMaskRGBA, VKRectMake(2, 1, 3, 2));
        const std::array<float, 4> backgrounds = {0.2f, 0.4f, 0.6f, 0.5f};
        for (int k = 0; k < 4; ++k)
            provider->setBackground(BNChannel(k), backgrounds[size_t(k)]);
        VKRect redBounds = sameBounds ? VKRectMake(2, 1, 3, 2) : VKRectMake(0, 0, 2, 4);
        provider->setBounds(BNChannelRed, redBounds);

        auto output = renderDirectly(*BNImageNode::create(provider), VKRectMake(0, 0, 6, 4));
        auto straight = [&](uint64_t x, uint64_t y, int k) {
            VKRect bounds = k == 0 ? redBounds : VKRectMake(2, 1, 3, 2);
            bool inside = VKRectContainsPoint(bounds, {x + 0.5, y + 0.5});
            return inside ? fakeChannelValue(x, y, BNChannel(k)) : backgrounds[size_t(k)];
        };
        for (uint64_t y = 0; y < 4; ++y)
            for (uint64_t x = 0; x < 6; ++x) {
                float coverage = straight(x, y, 3);
                EXPECT_EQ(output->sample(x, y, 3), coverage) << x << "," << y;
                for (int k = 0; k < 3; ++k)
                    EXPECT_EQ(output->sample(x, y, k), straight(x, y, k) * coverage)
                        << x << "," << y << " sample " << k << (sameBounds ? "" : " (own bounds)");
            }
        EXPECT_FALSE(provider->readOutsideBounds());
    }
}

TEST(BNImageNode, PremultipliesRGBAAndRGBFButNotASingleChannel) {
    for (BNChannelMask mask : {BNChannelMaskRGBA, BNChannelMaskRGBF}) {
        auto provider = std::make_shared<FakeImageProvider>(mask, VKRectMake(0, 0, 3, 3));
        auto output = renderDirectly(*BNImageNode::create(provider), VKRectMake(0, 0, 3, 3));
        BNChannel fourth = mask == BNChannelMaskRGBA ? BNChannelOpacity : BNChannelFill;
        for (uint64_t y = 0; y < 3; ++y)
            for (uint64_t x = 0; x < 3; ++x) {
                float coverage = fakeChannelValue(x, y, fourth);
                EXPECT_EQ(output->sample(x, y, 3), coverage);
                for (int k = 0; k < 3; ++k)
                    EXPECT_FLOAT_EQ(output->sample(x, y, k),
                                    fakeChannelValue(x, y, BNChannel(k)) * coverage);
            }
    }
    auto fill = std::make_shared<FakeImageProvider>(BNChannelMaskFill, VKRectMake(0, 0, 2, 1));
    auto plane = renderDirectly(*BNImageNode::create(fill), VKRectMake(0, 0, 2, 1));
    EXPECT_EQ(plane->sample(1, 0, 0), fakeChannelValue(1, 0, BNChannelFill));
}

TEST(BNImageNode, RendersAtScale2ThroughTheRenderer) {
    auto provider =
        std::make_shared<FakeImageProvider>(BNChannelMaskOpacity, VKRectMake(0, 0, 4, 4));
    lf::LogCapture log;
    auto output =
        BNRenderer().renderNode(BNImageNode::create(provider), VKRectMake(0, 0, 4, 4), 2.0);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->sample(5, 3, 0), fakeChannelValue(2, 1, BNChannelOpacity));
    EXPECT_FALSE(log.contains("Pixel-double"));
}

TEST(BNPatternNode, RefusesScalesThatAreNotPositiveAndFinite) {
    auto provider =
        std::make_shared<FakeImageProvider>(BNChannelMaskOpacity, VKRectMake(0, 0, 4, 4));
    lf::LogCapture log;
    for (double scale : {0.0, -1.0, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN(), 1e-320})
        EXPECT_EQ(BNPatternNode::create(provider, scale, {0, 0}), nullptr) << scale;
    EXPECT_EQ(BNPatternNode::create(provider, 1.0, {std::nan(""), 0}), nullptr);
    EXPECT_EQ(BNPatternNode::create(nullptr, 1.0, {0, 0}), nullptr);
    EXPECT_EQ(log.lines().size(), 7u);
    auto node = BNPatternNode::create(provider, 4.0, {1, 2});
    ASSERT_TRUE(node);
    EXPECT_EQ(node->scale(), 0.25);
    EXPECT_EQ(node->inverseScale(), 4.0);
}

TEST(BNPatternNode, AtScale1RepeatsTheTileExactly) {
    auto provider =
        std::make_shared<FakeImageProvider>(BNChannelMaskOpacity, VKRectMake(5, 5, 3, 2));
    auto node = BNPatternNode::create(provider, 1.0, {1, 0});
    // Negative positions wrap by whole periods: the pattern runs on across
    // the origin.
    auto output = renderDirectly(*node, VKRectMake(-4, -3, 9, 7));
    for (int64_t y = 0; y < 7; ++y)
        for (int64_t x = 0; x < 9; ++x) {
            int64_t tx = ((x - 4 + 1) % 3 + 3) % 3, ty = ((y - 3) % 2 + 2) % 2;
            EXPECT_EQ(output->sample(x, y, 0), fakeChannelValue(5 + tx, 5 + ty, BNChannelOpacity))
                << x << "," << y;
        }
}

TEST(BNPatternNode, ChannelsWithoutPixelsGiveATileOfTheirBackground) {
    auto provider =
        std::make_shared<FakeImageProvider>(BNChannelMaskOpacity, VKRectMake(0, 0, 0, 4));
    provider->setBackground(BNChannelOpacity, 0.75f);
    auto output =
        renderDirectly(*BNPatternNode::create(provider, 0.3, {0.5, 0.5}), VKRectMake(0, 0, 12, 12));
    EXPECT_EQ(samplesOf(*output), std::vector<float>(144, 0.75f));
    EXPECT_EQ(provider->reads(BNChannelOpacity), 0);
}

TEST(BNPatternNode, MinifiedTilesArePrefilteredAtMostThreeTimes) {
    auto context = BNRenderingContext::create();
    std::vector<float> tile(16);
    for (size_t i = 0; i < tile.size(); ++i)
        tile[i] = static_cast<float>(i % 4) / 3.0f;

    struct Case {
        double patternScale, scaleFactor, tileScale, step;
    };
    for (Case c :
         {Case{0.2, 1.0, 1.6, 0.625}, Case{0.05, 1.0, 0.4, 2.5}, Case{1.0, 2.0, 2.0, 0.5}}) {
        std::vector<float> values = tile;
        double step = (1 / c.patternScale) / c.scaleFactor,
               tileScale = c.scaleFactor * c.patternScale;
        ASSERT_TRUE(
            BNPatternNode::adjustPatternValues(values.data(), 4, 4, *context, &step, &tileScale));
        EXPECT_DOUBLE_EQ(tileScale, c.tileScale);
        EXPECT_DOUBLE_EQ(step, c.step);
        if (c.patternScale == 1.0) {
            EXPECT_EQ(values, tile);
        } else {
            // Columns 0..3 hold 0, 1/3, 2/3, 1; one halving averages pairs
            // (1/6, 5/6), a second pairs of those.
            for (float v : values)
                EXPECT_FLOAT_EQ(v, 0.5f);
        }
    }
}

TEST(BNPatternNode, NeighbouringTilesContinueOnePattern) {
    auto provider = std::make_shared<FakeImageProvider>(BNChannelMaskRGBA, VKRectMake(0, 0, 7, 5));
    for (double scale : {1.0, 2.0}) {
        auto node = BNPatternNode::create(provider, 0.7, {-3.3, 12.6});
        auto whole = renderDirectly(*node, VKRectMake(-8, -6, 16, 12), scale);
        for (VKRect part :
             {VKRectMake(-8, -6, 8, 6), VKRectMake(0, 0, 8, 6), VKRectMake(-3, -1, 5, 4)}) {
            auto piece = renderDirectly(*node, part, scale);
            auto dx = static_cast<uint64_t>((part.origin.x + 8) * scale);
            auto dy = static_cast<uint64_t>((part.origin.y + 6) * scale);
            for (uint64_t y = 0; y < piece->heightInPixels(); ++y)
                for (uint64_t x = 0; x < piece->widthInPixels(); ++x)
                    for (int k = 0; k < 4; ++k)
                        ASSERT_EQ(piece->sample(x, y, k), whole->sample(x + dx, y + dy, k));
        }
    }
}

TEST(BNPatternNode, PremultipliesRGBAAndRGBF) {
    for (BNChannelMask mask : {BNChannelMaskRGBA, BNChannelMaskRGBF}) {
        auto provider = std::make_shared<FakeImageProvider>(mask, VKRectMake(0, 0, 2, 2));
        auto output =
            renderDirectly(*BNPatternNode::create(provider, 1.0, {0, 0}), VKRectMake(0, 0, 2, 2));
        BNChannel fourth = mask == BNChannelMaskRGBA ? BNChannelOpacity : BNChannelFill;
        float coverage = fakeChannelValue(1, 1, fourth);
        EXPECT_EQ(output->sample(1, 1, 3), coverage);
        EXPECT_FLOAT_EQ(output->sample(1, 1, 0), fakeChannelValue(1, 1, BNChannelRed) * coverage);
    }
}
