#include "NodeTestSupport.h"
#include "TestNodes.h"
#include "kernels/KernelRuntime.h"
#include "platform/core/Log.h"
#include "rendergraph/gradients/BNAngularGradientNode.h"
#include "rendergraph/gradients/BNDiamondGradientNode.h"
#include "rendergraph/gradients/BNGradientMappingNode.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"
#include "rendergraph/gradients/BNRadialGradientNode.h"
#include "rendergraph/gradients/BNReflectedGradientNode.h"
#include "rendergraph/gradients/BNShapeBurstGradientNode.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rendergraph_test;

namespace {

std::shared_ptr<const BNGradientProvider> indexProvider(float opacity = 1.0f) {
    return std::make_shared<IndexGradientProvider>(opacity);
}

// The gradient entry shown at pixel (x, y) of a render without dither.
int indexAt(const BNSurface& surface, uint64_t x, uint64_t y) {
    return gradientIndexOf(surface.sample(x, y, 0));
}

}  // namespace

TEST(BNGradientGenerators, PositionsFollowTheGeometry) {
    // Radius 10 at scale 2: the pixel 20 columns right of the centre has t = 1.
    auto radial = renderOnce(BNRadialGradientNode::create({0, 0}, 10, indexProvider(), false),
                             VKRectMake(0, 0, 12, 2), 2.0);
    ASSERT_TRUE(radial);
    EXPECT_EQ(indexAt(*radial, 20, 0), 4095);
    EXPECT_EQ(indexAt(*radial, 0, 0), 0);
    EXPECT_EQ(indexAt(*radial, 10, 0), 2047);

    // Angle 0: straight right is t = 1, entry 4095 shown as entry 0; left
    // is t = 0.5.
    auto angular = renderOnce(BNAngularGradientNode::create({10, 10}, 0, indexProvider(), false),
                              VKRectMake(0, 0, 20, 20), 1.0);
    ASSERT_TRUE(angular);
    EXPECT_EQ(indexAt(*angular, 15, 10), 0);
    EXPECT_EQ(indexAt(*angular, 5, 10), 2047);

    // Angle 45, radius 10: along the horizontal t = 1.414 dx / 10.
    auto diamond =
        renderOnce(BNDiamondGradientNode::create({10, 10}, 45, 10, indexProvider(), false),
                   VKRectMake(0, 0, 20, 20), 1.0);
    ASSERT_TRUE(diamond);
    EXPECT_EQ(indexAt(*diamond, 18, 10), 4095);
    EXPECT_EQ(indexAt(*diamond, 17, 10), int(std::sqrt(2.0f) * 7.0f / 10.0f * 4095.0f));

    auto reflected =
        renderOnce(BNReflectedGradientNode::create({0, 0}, {100, 0}, indexProvider(), false),
                   VKRectMake(0, 0, 101, 1), 1.0);
    ASSERT_TRUE(reflected);
    EXPECT_EQ(indexAt(*reflected, 50, 0), 0);
    EXPECT_EQ(indexAt(*reflected, 0, 0), 4095);
    EXPECT_EQ(indexAt(*reflected, 100, 0), 4095);

    auto linear = renderOnce(BNLinearGradientNode::create({0, 10}, {0, 0}, indexProvider(), false),
                             VKRectMake(0, 0, 2, 12), 1.0);
    ASSERT_TRUE(linear);
    EXPECT_EQ(indexAt(*linear, 0, 10), 0);
    EXPECT_EQ(indexAt(*linear, 0, 5), 2047);
    EXPECT_EQ(indexAt(*linear, 0, 0), 4095);
    EXPECT_EQ(indexAt(*linear, 0, 11), 0);  // clamped before the start

    // Coinciding points: the position is NaN, which shows entry 0.
    auto degenerate =
        renderOnce(BNLinearGradientNode::create({5, 5}, {5, 5}, indexProvider(), false),
                   VKRectMake(5, 5, 1, 1), 1.0);
    ASSERT_TRUE(degenerate);
    EXPECT_EQ(indexAt(*degenerate, 0, 0), 0);
}

TEST(BNGradientGenerators, DitherAddsTheNoiseTableAnchoredToTheImage) {
    auto provider = std::make_shared<IndexGradientProvider>(1.0f);
    auto plain = BNLinearGradientNode::create({0, 0}, {64, 0}, provider, false);
    auto dithered = BNLinearGradientNode::create({0, 0}, {64, 0}, provider, true);
    const VKRect rect = VKRectMake(-8, 3, 40, 6);
    auto clean = renderOnce(plain, rect, 1.0), noisy = renderOnce(dithered, rect, 1.0);
    ASSERT_TRUE(clean && noisy);
    EXPECT_EQ(samplesOf(*noisy), samplesOf(*renderOnce(dithered, rect, 1.0)));

    // Pixel (x, y) of the image takes noise bytes 4x + 1103515245 y + 12345
    // onward, each up to one level (byte / 256), and is taken down to a
    // whole 8-bit level; opacity 1 stays 1.
    const uint8_t* noise = TarrowGetNoiseTable();
    for (uint64_t j = 0; j < 6; ++j)
        for (uint64_t i = 0; i < 40; ++i) {
            const auto x = int32_t(i) - 8, y = int32_t(j) + 3;
            const uint32_t counter = 4u * uint32_t(x) + uint32_t(y) * 1103515245u + 12345u;
            for (int c = 0; c < 3; ++c) {
                const double lifted =
                    clean->sample(i, j, c) * 255.0 + noise[(counter + c) % 16384] / 256.0;
                if (std::abs(lifted - std::round(lifted)) < 0.01) continue;  // at a level's edge
                ASSERT_EQ(noisy->sample(i, j, c) * 255, std::floor(lifted))
                    << i << "," << j << "," << c;
            }
            ASSERT_EQ(noisy->sample(i, j, 3), 1.0f);
        }

    // Every generator's dither continues across tiles, at both scales.
    const std::vector<BNRenderNodePtr> generators = {
        dithered, BNAngularGradientNode::create({7, 9}, 30, provider, true),
        BNDiamondGradientNode::create({7, 9}, 30, 12, provider, true),
        BNRadialGradientNode::create({7, 9}, 15, provider, true),
        BNReflectedGradientNode::create({3, 3}, {20, 30}, provider, true)};
    for (const auto& node : generators)
        for (double scale : {1.0, 2.0}) {
            const VKRect area = VKRectMake(-5, -3, 30, 20);
            EXPECT_EQ(renderInTiles(node, area, scale, 7),
                      samplesOf(*renderOnce(node, area, scale)))
                << node->className() << " at scale " << scale;
        }
}

TEST(BNGradientGenerators, IdentityCoversGeometryProviderAndDither) {
    auto provider = indexProvider(), other = indexProvider();
    auto id = [](const BNRenderNodePtr& node) { return node->hashIdentifier(); };
    EXPECT_EQ(id(BNRadialGradientNode::create({1, 2}, 3, provider, false)),
              id(BNRadialGradientNode::create({1, 2}, 3, provider, false)));
    EXPECT_NE(id(BNRadialGradientNode::create({1, 2}, 3, provider, false)),
              id(BNRadialGradientNode::create({1, 2}, 3, other, false)));
    EXPECT_NE(id(BNRadialGradientNode::create({1, 2}, 3, provider, false)),
              id(BNRadialGradientNode::create({1, 2}, 4, provider, false)));
    // Dither changes the pixels, so it changes the identity.
    EXPECT_NE(id(BNRadialGradientNode::create({1, 2}, 3, provider, false)),
              id(BNRadialGradientNode::create({1, 2}, 3, provider, true)));
    EXPECT_NE(id(BNLinearGradientNode::create({1, 2}, {3, 4}, provider, false)),
              id(BNReflectedGradientNode::create({1, 2}, {3, 4}, provider, false)));

    lf::LogCapture capture;
    EXPECT_FALSE(BNAngularGradientNode::create({0, 0}, 0, nullptr, false));
    EXPECT_TRUE(capture.contains("BNAngularGradientNode: no gradient provider"));
}

TEST(BNShapeBurstGradientNode, LaysTheGradientAlongTheDistanceToTheEdge) {
    auto square = squareNode(10, 10, 10);
    auto inside =
        BNShapeBurstGradientNode::create(square, VKStrokePositionInside, 3.0, indexProvider());
    auto outside =
        BNShapeBurstGradientNode::create(square, VKStrokePositionOutside, 3.0, indexProvider());
    auto centred =
        BNShapeBurstGradientNode::create(square, VKStrokePositionCentered, 3.0, indexProvider());
    ASSERT_TRUE(inside && outside && centred);
    EXPECT_EQ(inside->bounds(), square->bounds());
    EXPECT_EQ(outside->bounds(), VKRectMake(5, 5, 20, 20));
    EXPECT_EQ(centred->bounds(), VKRectMake(5, 5, 20, 20));

    const VKRect rect = VKRectMake(0, 0, 30, 30);
    auto in = renderOnce(inside, rect, 1.0), out = renderOnce(outside, rect, 1.0),
         across = renderOnce(centred, rect, 1.0);
    ASSERT_TRUE(in && out && across);
    // u = 0.25 per pixel: inward from the edge, the first entry outside.
    EXPECT_EQ(indexAt(*in, 5, 15), 0);
    EXPECT_NEAR(in->sample(10, 15, 0), 0.25f, 1e-6f);
    EXPECT_NEAR(in->sample(11, 15, 0), 0.5f, 1e-6f);
    EXPECT_EQ(indexAt(*in, 15, 15), 4095);
    // Outward, reversed: the last entry on the shape.
    EXPECT_EQ(indexAt(*out, 15, 15), 4095);
    EXPECT_NEAR(out->sample(9, 15, 0), 0.75f, 1e-6f);
    EXPECT_EQ(indexAt(*out, 2, 15), 0);
    // Across: the middle on the outer edge pixels, the ends far away.
    EXPECT_NEAR(across->sample(9, 15, 0), 0.5f, 1e-6f);
    EXPECT_EQ(indexAt(*across, 2, 15), 0);
    EXPECT_EQ(indexAt(*across, 15, 15), 4095);
    EXPECT_NEAR(across->sample(15, 15, 3), 1.0f, 1e-6f);

    // Scale 2 is the scale-1 result with every pixel doubled.
    auto doubled = renderOnce(inside, rect, 2.0);
    ASSERT_TRUE(doubled);
    EXPECT_EQ(doubled->sample(21, 31, 0), in->sample(10, 15, 0));

    lf::LogCapture capture;
    EXPECT_FALSE(
        BNShapeBurstGradientNode::create(PatternNode::create(rect, BNChannelMaskRGBA, true),
                                         VKStrokePositionInside, 3.0, indexProvider()));
    EXPECT_TRUE(capture.contains(
        "BNShapeBurstGradientNode only supports inputs with planar opacity channels."));
}

TEST(BNGradientMappingNode, MapsLuminanceOrOpacity) {
    // A grey of luminance 0.5 (within the weights' rounding) at opacity 0.5.
    auto grey = colorNode(VKRectInfinite, 0.5f, 0.5f, 0.5f, 0.5f);
    auto translucent = indexProvider(0.4f);
    const VKRect rect = VKRectMake(0, 0, 3, 2);

    auto opaque = renderOnce(BNGradientMappingNode::create(grey, translucent), rect, 1.0);
    ASSERT_TRUE(opaque);
    EXPECT_NEAR(opaque->sample(1, 1, 0), 0.5f, 1e-4f);  // straight entry colour
    EXPECT_EQ(opaque->sample(1, 1, 3), 1.0f);

    auto ownOpacity =
        renderOnce(BNGradientMappingNode::create(grey, translucent, false), rect, 1.0);
    ASSERT_TRUE(ownOpacity);
    EXPECT_NEAR(ownOpacity->sample(1, 1, 0), 0.5f * 0.4f, 1e-4f);
    EXPECT_FLOAT_EQ(ownOpacity->sample(1, 1, 3), 0.4f);

    auto coverage = FunctionNode::create(VKRectInfinite, 8, [](double x, double, int) {
        return float(x) / 4.0f;  // 0.125, 0.375, 0.625 at the pixel centres
    });
    auto mapped = renderOnce(BNGradientMappingNode::create(coverage, translucent), rect, 2.0);
    ASSERT_TRUE(mapped);
    // Rendered at scale 1 and doubled: pixel 2 shows the value at x = 1.5.
    EXPECT_NEAR(mapped->sample(2, 0, 0), 0.375f, 1e-4f);
    EXPECT_EQ(mapped->sample(2, 0, 3), 1.0f);

    // Opacity is part of the identity.
    EXPECT_NE(BNGradientMappingNode::create(grey, translucent)->hashIdentifier(),
              BNGradientMappingNode::create(grey, translucent, false)->hashIdentifier());

    // Inputs the kernels cannot read leave a transparent result.
    lf::LogCapture capture;
    auto fill = PatternNode::create(rect, BNChannelMaskRGBF, true);
    for (const BNRenderNodePtr& input : {BNRenderNodePtr(fill), BNRenderNodePtr()}) {
        auto blank = renderOnce(BNGradientMappingNode::create(input, translucent), rect, 1.0);
        ASSERT_TRUE(blank);
        for (float sample : samplesOf(*blank))
            EXPECT_EQ(sample, 0.0f);
    }
    EXPECT_TRUE(capture.contains("BNGradientMappingNode: cannot map"));
}
