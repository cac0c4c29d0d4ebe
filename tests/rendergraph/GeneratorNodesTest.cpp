#include "BruteForceCoverage.h"
#include "ReferenceRenderer.h"
#include "TestNodes.h"
#include "TestPaths.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/geometry/BNCompoundPathNode.h"
#include "rendergraph/geometry/BNCompoundPathStrokeNode.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/images/BNTransparentNode.h"

#include <gtest/gtest.h>

using namespace rendergraph_test;

namespace {

// A surface whose pixels and padding hold `garbage`, as pool memory may.
BNSurfacePtr dirtySurface(VKRect rect, BNChannelMask mask, float garbage = 5.0f) {
    BNSurfacePtr surface = zeroSurface(rect, 1.0, mask);
    std::fill(surface->data(),
              surface->data() + surface->bytesPerRow() / 4 * surface->heightInPixels(), garbage);
    return surface;
}

}  // namespace

TEST(BNConstantColorNode, ValuesMasksAndDescription) {
    auto node = BNConstantColorNode::create({0.2, 0.4, 0.6, 0.5, 0.9}, BNChannelMaskRGBA);
    EXPECT_EQ(node->values(), (BNChannelValues{0.2, 0.4, 0.6, 0.5, 0}));
    EXPECT_EQ(node->description(), "<BNConstantColorNode 0xf: 0.2 0.4 0.6 0.5>");
    EXPECT_TRUE(VKRectIsInfinite(node->bounds()));
    EXPECT_EQ(node->backgroundValueForChannel(BNChannelOpacity), 0.0f);
    auto pixels = samplesOf(*BNRenderer().renderNode(node, VKRectMake(3, 4, 2, 1), 2.0));
    for (size_t i = 0; i < pixels.size(); i += 4)
        EXPECT_EQ((std::vector<float>(pixels.begin() + i, pixels.begin() + i + 4)),
                  (std::vector<float>{0.2f * 0.5f, 0.4f * 0.5f, 0.6f * 0.5f, 0.5f}));

    // The values outside the mask do not count.
    EXPECT_EQ(node->hashIdentifier(),
              BNConstantColorNode::create({0.2, 0.4, 0.6, 0.5, 0.1}, 15)->hashIdentifier());
    EXPECT_NE(node->hashIdentifier(),
              BNConstantColorNode::create({0.2, 0.4, 0.6, 0.5, 0.9}, 8)->hashIdentifier());

    auto opacity = BNConstantColorNode::create({0.2, 0.4, 0.6, 0.5, 0.9}, BNChannelMaskOpacity);
    EXPECT_EQ(samplesOf(*BNRenderer().renderNode(opacity, VKRectMake(0, 0, 3, 1), 1.0)),
              (std::vector<float>{0.5f, 0.5f, 0.5f}));

    // A mask without a fill of its own renders transparent.
    lf::LogCapture capture;
    auto rgbf = BNConstantColorNode::create({1, 1, 1, 1, 1}, BNChannelMaskRGBF);
    auto output = dirtySurface(VKRectMake(0, 0, 2, 2), BNChannelMaskRGBF);
    rgbf->renderWithOutputSurface(*output, {}, *BNRenderingContext::create());
    EXPECT_EQ(samplesOf(*output), std::vector<float>(16, 0.0f));
    EXPECT_TRUE(capture.contains("BNConstantColorNode: no fill for channels 17"));
}

TEST(BNTransparentNode, IdentityIgnoresBoundsAndPaddingIsLeftAlone) {
    auto a = BNTransparentNode::create(VKRectMake(0, 0, 5, 5), BNChannelMaskRGBA);
    auto b = BNTransparentNode::create(VKRectMake(9, 9, 1, 1), BNChannelMaskRGBA);
    EXPECT_EQ(a->hashIdentifier(), b->hashIdentifier());
    EXPECT_NE(a->bounds(), b->bounds());
    EXPECT_NE(
        a->hashIdentifier(),
        BNTransparentNode::create(VKRectMake(0, 0, 5, 5), BNChannelMaskOpacity)->hashIdentifier());

    for (BNChannelMask mask : {BNChannelMaskRGBA, BNChannelMaskOpacity, BNChannelMaskRGBF}) {
        auto output = dirtySurface(VKRectMake(0, 0, 3, 2), mask);
        BNTransparentNode::create(VKRectInfinite, mask)
            ->renderWithOutputSurface(*output, {}, *BNRenderingContext::create());
        uint64_t pixelFloats = 3 * static_cast<uint64_t>(output->samplesPerPixel());
        for (uint64_t y = 0; y < 2; ++y)
            for (uint64_t x = 0; x < output->bytesPerRow() / 4; ++x)
                EXPECT_EQ(output->row(y)[x], x < pixelFloats ? 0.0f : 5.0f) << mask;
    }
}

TEST(BNCompoundPathNode, CreationBoundsAndIdentity) {
    auto triangle = polygon({{1.5, 2.25}, {6.5, 2}, {3, 7.75}});
    auto curve = compoundPathOf({std::make_shared<VKPath>(
        std::vector<VKKnot>{{{0, 0}, {2, 2}, {-1.5, 9.5}}, {{4, 4}, {5, 5}, {5, 5}}}, false)});
    EXPECT_FALSE(BNCompoundPathNode::create({}, {}, false));
    EXPECT_FALSE(BNCompoundPathNode::create(
        {triangle}, {VKBooleanOperationAdd, VKBooleanOperationSubtract}, false));

    // Knots and control points, made integral, whatever the operations.
    EXPECT_EQ(BNCompoundPathNode::create({triangle, curve},
                                         {VKBooleanOperationAdd, VKBooleanOperationSubtract}, false)
                  ->bounds(),
              VKRectMake(-2, 0, 9, 10));
    EXPECT_EQ(
        BNCompoundPathNode::create({triangle}, {VKBooleanOperationIntersect}, false)->bounds(),
        VKRectMake(1, 2, 6, 6));
    EXPECT_EQ(BNCompoundPathNode::create({triangle}, {VKBooleanOperationExclude}, false)->bounds(),
              VKRectMake(1, 2, 6, 6));
    // A coverage that starts full reaches everywhere.
    EXPECT_TRUE(VKRectIsInfinite(
        BNCompoundPathNode::create({triangle}, {VKBooleanOperationSubtract}, false)->bounds()));
    EXPECT_TRUE(VKRectIsInfinite(
        BNCompoundPathNode::create({triangle}, {VKBooleanOperationAdd}, true)->bounds()));
    // No knots at all: nothing, rather than a rectangle from DBL_MAX.
    EXPECT_TRUE(VKRectIsNull(BNCompoundPathNode::create({compoundPathOf({polygonPath({})})},
                                                        {VKBooleanOperationAdd}, false)
                                 ->bounds()));

    // Paths take part by their contents: equal paths made apart share an
    // identity; a moved knot, another fill rule, an operation, another
    // closedness or the initial fill each make another.
    auto first = BNCompoundPathNode::create({triangle}, {VKBooleanOperationAdd}, false);
    auto same = BNCompoundPathNode::create({polygon({{1.5, 2.25}, {6.5, 2}, {3, 7.75}})},
                                           {VKBooleanOperationAdd}, false);
    EXPECT_EQ(first->hashIdentifier(), same->hashIdentifier());
    for (const auto& other : {
             BNCompoundPathNode::create({polygon({{1.5, 2.25}, {6.5, 2}, {3, 7.5}})},
                                        {VKBooleanOperationAdd}, false),
             BNCompoundPathNode::create(
                 {polygon({{1.5, 2.25}, {6.5, 2}, {3, 7.75}}, VKFillRuleEvenOdd)},
                 {VKBooleanOperationAdd}, false),
             BNCompoundPathNode::create(
                 {compoundPathOf({polygonPath({{1.5, 2.25}, {6.5, 2}, {3, 7.75}}, false)})},
                 {VKBooleanOperationAdd}, false),
             BNCompoundPathNode::create({triangle}, {VKBooleanOperationExclude}, false),
             BNCompoundPathNode::create({triangle}, {VKBooleanOperationAdd}, true),
             BNCompoundPathNode::create({triangle, triangle},
                                        {VKBooleanOperationAdd, VKBooleanOperationAdd}, false),
         })
        EXPECT_NE(first->hashIdentifier(), other->hashIdentifier());
    EXPECT_EQ(first->channels(), BNChannelMaskOpacity);
}

TEST(BNCompoundPathNode, RendersWithTheContextsGrid) {
    auto triangle = polygon({{1.5, 2.25}, {6.5, 2}, {3, 7.75}});
    auto node = BNCompoundPathNode::create({triangle}, {VKBooleanOperationAdd}, false);
    VKRect rect = VKRectMake(1, 1, 8, 8);
    for (double scale : {1.0, 2.0}) {
        auto surface = BNRenderer().renderNode(node, rect, scale);
        ASSERT_TRUE(surface);
        BruteForceRaster raster{
            surface->widthInPixels(), surface->heightInPixels(), 1, 1, scale, 16};
        auto expected = bruteForceCoverage({triangle}, {VKBooleanOperationAdd}, false, raster);
        EXPECT_EQ(samplesOf(*surface), expected);
    }

    // A 4 by 4 grid gives sixteenths; a grid that does not fit the bitmap
    // gives nothing but a defined, empty plane.
    auto context = BNRenderingContext::create();
    context->setVectorAntialiasingAmount({4, 4});
    auto output = dirtySurface(rect, BNChannelMaskOpacity);
    node->renderWithOutputSurface(*output, {}, *context);
    for (float v : samplesOf(*output))
        EXPECT_EQ(v * 16, std::floor(v * 16));
    context->setVectorAntialiasingAmount({2.5, 2.5});
    auto odd = dirtySurface(VKRectMake(0, 0, 3, 3), BNChannelMaskOpacity);
    lf::LogCapture capture;
    node->renderWithOutputSurface(*odd, {}, *context);
    EXPECT_TRUE(capture.contains("Buffer size mismatch"));
    EXPECT_EQ(samplesOf(*odd), std::vector<float>(9, 0.0f));
}

TEST(BNCompoundPathStrokeNode, IdentityCoversEveryParameterThatDraws) {
    auto path = polygon({{1, 1}, {7, 2}, {4, 6}});
    auto node = [&](VKStrokeStyle style, bool fill = false, bool overprint = false) {
        return BNCompoundPathStrokeNode::create(path, style, fill, overprint);
    };
    VKStrokeStyle base = strokeStyleOf(2, 1, 1, 1, 4, {3, 1, 2}, 0.5);
    auto reference = node(base);
    EXPECT_EQ(reference->hashIdentifier(), node(base)->hashIdentifier());
    EXPECT_TRUE(VKRectIsInfinite(reference->bounds()));
    EXPECT_FALSE(BNCompoundPathStrokeNode::create(nullptr, base, false, false));
    for (const auto& other : {
             node(strokeStyleOf(2, 1, 1, 1, 4, {3, 1, 2.5}, 0.5)),  // the last dash
             node(strokeStyleOf(2, 1, 1, 1, 4, {3, 1}, 0.5)),
             node(strokeStyleOf(2, 1, 1, 1, 4, {3, 1, 2}, 0.25)),
             node(strokeStyleOf(2, 2, 1, 1, 4, {3, 1, 2}, 0.5)),
             node(strokeStyleOf(2, 1, 2, 1, 4, {3, 1, 2}, 0.5)),
             node(strokeStyleOf(2, 1, 1, 0, 4, {3, 1, 2}, 0.5)),
             node(strokeStyleOf(3, 1, 1, 1, 4, {3, 1, 2}, 0.5)),  // width
             node(strokeStyleOf(2, 1, 1, 1, 9, {3, 1, 2}, 0.5)),  // miter limit
             node(base, true),
             node(base, false, true),
             BNCompoundPathStrokeNode::create(polygon({{1, 1}, {7, 2}, {4, 6.5}}), base, false,
                                              false),
         })
        EXPECT_NE(reference->hashIdentifier(), other->hashIdentifier());
    // An equal path made apart strokes the same.
    EXPECT_EQ(
        reference->hashIdentifier(),
        BNCompoundPathStrokeNode::create(polygon({{1, 1}, {7, 2}, {4, 6}}), base, false, false)
            ->hashIdentifier());

    // The node keeps its own copy of the style.
    VKStrokeStyle changing = strokeStyleOf(1, 0, 0, 0, 4);
    auto kept = node(changing);
    changing.setWidth(5);
    EXPECT_EQ(kept->style().width(), 1);
}

TEST(BNCompoundPathStrokeNode, RendersTheRasterisersStroke) {
    auto path = polygon({{1, 1}, {7, 2}, {4, 6}});
    VKStrokeStyle style = strokeStyleOf(1.5, VKStrokePositionOutside, 0, 1, 4);
    auto node = BNCompoundPathStrokeNode::create(path, style, false, false);
    VKRect rect = VKRectMake(-1, -1, 10, 9);
    auto surface = BNRenderer().renderNode(node, rect, 2.0);
    ASSERT_TRUE(surface);
    auto expected = zeroSurface(rect, 2.0, BNChannelMaskOpacity);
    ASSERT_TRUE(BNRasterizeStrokedCompoundPath(
        *path, style, false, false, BNCoverageBitmapOfSurface(*expected), -1, -1, 2, 16, 16));
    std::vector<float> samples = samplesOf(*surface);
    EXPECT_EQ(samples, samplesOf(*expected));
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 0.9f);
}
