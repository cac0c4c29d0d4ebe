#include "ReferenceRenderer.h"
#include "TestNodes.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/blend/BNConvertToOpaqueNode.h"
#include "rendergraph/core/BNRenderRequest.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/core/BNSimpleScaleNode.h"
#include "rendergraph/core/BNSurfaceVerification.h"
#include "rendergraph/geometry/BNTranslateNode.h"
#include "rendergraph/masks/BNCrossfadeNode.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"
#include "support/TestSupport.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>

using namespace rendergraph_test;

TEST(BNRenderer, RendersEachNodeOnceOverTheUnionOfItsRequests) {
    auto log = std::make_shared<RenderLog>();
    auto shared = PatternNode::create(VKRectMake(0, 0, 100, 100), BNChannelMaskRGBA, true, log);
    std::vector<BNRenderNodePtr> consumers;
    for (int i = 0; i < 5; ++i)
        consumers.push_back(BNTranslateNode::create(shared, {i * 3.0, i * 2.0}));
    auto root = AverageNode::create(consumers);

    BNRenderer renderer;
    auto surface = renderer.renderNode(root, VKRectMake(10, 10, 20, 20), 1.0);
    ASSERT_TRUE(surface);
    EXPECT_EQ(log->renders, 1);
    ASSERT_EQ(log->rects.size(), 1u);
    EXPECT_EQ(log->rects[0], VKRectMake(10, 10, 32, 28));

    // The pixels agree with rendering each consumer on its own.
    std::vector<float> expected(20 * 20 * 4, 0.0f);
    for (const auto& consumer : consumers) {
        auto alone = BNRenderer().renderNode(consumer, VKRectMake(10, 10, 20, 20), 1.0);
        auto samples = samplesOf(*alone);
        for (size_t i = 0; i < samples.size(); ++i)
            expected[i] += samples[i];
    }
    auto actual = samplesOf(*surface);
    for (size_t i = 0; i < actual.size(); ++i)
        ASSERT_NEAR(actual[i], expected[i] / 5, 1e-6) << i;
}

TEST(BNRenderer, RequestsInsideKnownBoundsDoNotDescendAgain) {
    auto log = std::make_shared<RenderLog>();
    auto leaf = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, log);
    auto middle = AverageNode::create({leaf}, VKRectInfinite, log);
    // Asked first for the larger rectangle, then for one inside it.
    auto root = AverageNode::create({middle, BNTranslateNode::create(middle, {2, 2})});
    BNRenderer renderer;
    ASSERT_TRUE(renderer.renderNode(root, VKRectMake(0, 0, 10, 10), 1.0));
    EXPECT_EQ(log->renders, 2);  // leaf once, middle once
}

TEST(BNRenderer, AnInputNeededOnlyByTheMergedRectangleIsStillRendered) {
    // The consumer needs its input only within x 40..60. Asked for 0..20 and
    // 80..100 separately it needs nothing; asked for the merged 0..100 it
    // needs 40..60, which must have been requested too.
    auto log = std::make_shared<RenderLog>();
    auto leaf = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, log);
    auto clipped = AverageNode::create({leaf}, VKRectMake(40, 0, 20, 10));
    auto root = AverageNode::create({clipped, BNTranslateNode::create(clipped, {80, 0})});
    lf::LogCapture capture;
    auto surface = BNRenderer().renderNode(root, VKRectMake(0, 0, 20, 10), 1.0);
    ASSERT_TRUE(surface) << (capture.lines().empty() ? "" : capture.lines()[0]);
    EXPECT_FALSE(capture.contains("Unresolved dependency"));
    EXPECT_EQ(log->renders, 1);
    ASSERT_EQ(log->rects.size(), 1u);
    EXPECT_EQ(log->rects[0], VKRectMake(40, 0, 20, 10));
}

TEST(BNRenderer, NodesWithoutScaleSupportArePixelDoubled) {
    auto log = std::make_shared<RenderLog>();
    auto fixed = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, false, log);
    lf::LogCapture capture;
    auto surface = BNRenderer().renderNode(fixed, VKRectMake(1, 1, 4, 3), 2.0);
    ASSERT_TRUE(surface);
    EXPECT_TRUE(capture.contains("Pixel-double: PatternNode"));
    ASSERT_EQ(log->scales.size(), 1u);
    EXPECT_EQ(log->scales[0], 1.0);
    ASSERT_EQ(surface->widthInPixels(), 8u);
    ASSERT_EQ(surface->heightInPixels(), 6u);
    for (uint64_t y = 0; y < 6; ++y)
        for (uint64_t x = 0; x < 8; ++x)
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(surface->sample(x, y, k),
                          patternValue(1 + static_cast<int64_t>(x / 2),
                                       1 + static_cast<int64_t>(y / 2), k, BNChannelMaskRGBA));
    // A node with scale support renders at the asked scale itself.
    auto scalable = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, log);
    ASSERT_TRUE(BNRenderer().renderNode(scalable, VKRectMake(0, 0, 2, 2), 2.0));
    EXPECT_EQ(log->scales.back(), 2.0);
}

TEST(BNRenderer, PixelDoublingKeepsTheInputGridForHalfPointRectangles) {
    // At scale 2 a rectangle may start half a point into a whole point: the
    // doubled pixels must still fall on the input's own grid.
    auto fixed = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, false);
    lf::LogCapture capture;
    auto surface = BNRenderer().renderNode(fixed, VKRectMake(0.5, 1.5, 3.5, 2), 2.0);
    ASSERT_TRUE(surface);
    ASSERT_EQ(surface->widthInPixels(), 7u);
    ASSERT_EQ(surface->heightInPixels(), 4u);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 0; x < 7; ++x)
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(surface->sample(x, y, k),
                          patternValue(static_cast<int64_t>((x + 1) / 2),
                                       static_cast<int64_t>((y + 3) / 2), k, BNChannelMaskRGBA))
                    << x << "," << y;
}

TEST(BNRenderer, InputsWithAnEmptyRegionGetTheEmptySurface) {
    auto log = std::make_shared<RenderLog>();
    auto leaf = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, log);
    auto root = AverageNode::create({leaf}, VKRectMake(100, 100, 5, 5));
    auto surface = BNRenderer().renderNode(root, VKRectMake(0, 0, 4, 4), 1.0);
    ASSERT_TRUE(surface);
    EXPECT_EQ(log->renders, 0);
    for (float value : samplesOf(*surface))
        EXPECT_EQ(value, 0.0f);
}

TEST(BNRenderer, BlendsInPlaceOnlyOverABackgroundNobodyElseReads) {
    auto background =
        AverageNode::create({PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true)});
    auto foreground = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, nullptr, 1);
    VKRect rect = VKRectMake(0, 0, 16, 16);

    // Only consumer: the result is the background's own surface.
    auto over = OverNode::create(background, foreground);
    auto backgroundAlone = BNRenderer().renderNode(background, rect, 1.0);
    auto inPlace = BNRenderer().renderNode(over, rect, 1.0);
    ASSERT_TRUE(inPlace);
    EXPECT_TRUE(inPlace->ownsMemory());

    // A second consumer of the background: it must still see its own pixels.
    auto root = AverageNode::create({over, background});
    auto both = BNRenderer().renderNode(root, rect, 1.0);
    auto overSamples = samplesOf(*inPlace), backgroundSamples = samplesOf(*backgroundAlone);
    auto bothSamples = samplesOf(*both);
    for (size_t i = 0; i < bothSamples.size(); ++i)
        ASSERT_NEAR(bothSamples[i], (overSamples[i] + backgroundSamples[i]) / 2, 1e-6) << i;

    // A background that is a view of another surface is never drawn over.
    auto moved = BNTranslateNode::create(background, {0, 0});
    auto overView = AverageNode::create({OverNode::create(moved, foreground), background});
    auto viewResult = BNRenderer().renderNode(overView, rect, 1.0);
    auto viewSamples = samplesOf(*viewResult);
    for (size_t i = 0; i < viewSamples.size(); ++i)
        ASSERT_NEAR(viewSamples[i], bothSamples[i], 1e-6) << i;

    // Drawing over a background that is also the foreground reads it twice.
    auto twice = OverNode::create(background, background);
    auto twiceSamples = samplesOf(*BNRenderer().renderNode(twice, rect, 1.0));
    for (size_t i = 0; i < twiceSamples.size(); ++i)
        ASSERT_NEAR(twiceSamples[i], std::min(1.0f, backgroundSamples[i] * 1.5f), 1e-6);
}

// The crossfades and the conversion to opaque may draw over their first
// input's surface. They do so when nothing else still reads it (also once
// an earlier consumer, like the blend of a masked layer, has rendered), and
// give the reference renderer's bytes either way; a later reader of the
// background sees it untouched.
TEST(BNRenderer, PerPixelNodesDrawInPlaceOnlyOverABackgroundNobodyElseReads) {
    auto log = std::make_shared<RenderLog>();
    auto background = [&](BNChannelMask channels) -> BNRenderNodePtr {
        return PatternNode::create(VKRectInfinite, channels, true, log);
    };
    auto pattern = [](BNChannelMask channels, int tag) -> BNRenderNodePtr {
        return PatternNode::create(VKRectInfinite, channels, true, nullptr, tag);
    };
    auto bounded = [](VKRect bounds, BNChannelMask channels, int tag) -> BNRenderNodePtr {
        return BoundedPatternNode::create(bounds, channels, tag);
    };
    constexpr BNChannelMask A = BNChannelMaskOpacity, RGBA = BNChannelMaskRGBA;
    struct Case {
        const char* name;
        BNChannelMask channels;
        std::function<BNRenderNodePtr(const BNRenderNodePtr&)> make;
        bool inPlace;
    };
    const std::vector<Case> cases = {
        {"crossfade with mask", RGBA,
         [&](const BNRenderNodePtr& b) {
             return BNCrossfadeWithMaskNode::create(b, pattern(RGBA, 1), pattern(A, 2));
         },
         true},
        {"crossfade with a smaller mask", RGBA,
         [&](const BNRenderNodePtr& b) {
             return BNCrossfadeWithMaskNode::create(b, bounded(VKRectMake(4, 3, 6, 5), RGBA, 1),
                                                    bounded(VKRectMake(2, 2, 12, 6), A, 2));
         },
         true},
        {"masked blend", RGBA,
         [&](const BNRenderNodePtr& b) {
             return BNCrossfadeWithMaskNode::create(
                 b, BNBlendNode::create(b, pattern(RGBA, 1), kTarrowBlendMultiply),
                 bounded(VKRectMake(1, 1, 9, 7), A, 2));
         },
         true},
        {"planar crossfade with mask", A,
         [&](const BNRenderNodePtr& b) {
             return BNCrossfadeWithMaskNode::create(b, pattern(A, 1), pattern(A, 2));
         },
         true},
        {"crossfade", RGBA,
         [&](const BNRenderNodePtr& b) {
             return BNCrossfadeNode::create(b, pattern(RGBA, 1), 0.3);
         },
         true},
        {"planar crossfade", A,
         [&](const BNRenderNodePtr& b) { return BNCrossfadeNode::create(b, pattern(A, 1), 0.3); },
         true},
        {"opaque", RGBA, [](const BNRenderNodePtr& b) { return BNConvertToOpaqueNode::create(b); },
         true},
        {"opaque from fill", BNChannelMaskRGBF,
         [](const BNRenderNodePtr& b) { return BNConvertToOpaqueNode::create(b); }, false},
    };
    VKRect rect = VKRectMake(0, 0, 16, 12);
    lf::LogCapture quiet;  // the RGBF result cannot be mixed with its RGBA background
    for (const Case& c : cases) {
        BNRenderNodePtr under = background(c.channels);
        BNRenderNodePtr node = c.make(under);
        ASSERT_TRUE(node) << c.name;
        for (double scale : {1.0, 2.0}) {
            std::string difference;
            auto alone = BNRenderer().renderNode(node, rect, scale);
            ASSERT_TRUE(alone && !log->outputs.empty()) << c.name;
            EXPECT_EQ(alone->data() == log->outputs.back(), c.inPlace) << c.name;
            EXPECT_EQ(alone->channels(), node->channels()) << c.name;
            auto expected = ReferenceRenderer().render(node, rect, scale);
            EXPECT_TRUE(sameSurfaces(*alone, *expected, &difference))
                << c.name << ": " << difference;

            // Read again after the node: mixed with the node's result.
            auto reread = BNCrossfadeNode::create(node, under, 0.5);
            if (!reread) continue;
            auto both = BNRenderer().renderNode(reread, rect, scale);
            auto bothExpected = ReferenceRenderer().render(reread, rect, scale);
            ASSERT_TRUE(both && bothExpected) << c.name;
            EXPECT_TRUE(sameSurfaces(*both, *bothExpected, &difference))
                << c.name << ": " << difference;
        }
    }
}

// Where a rectangle's pixel edges are not whole, a view can claim a column
// past its surface's pixels: a node must not draw over such a view in place.
// The background here was rendered over x from 0.9 (9 pixels from pixel 0);
// the crossfade's view from x = 1 claims pixels 1 to 9.
TEST(BNRenderRequest, NoInPlaceDrawingOverAViewThatReachesPastItsSurface) {
    auto background = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    auto foreground = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, nullptr, 1);
    auto mask = PatternNode::create(VKRectInfinite, BNChannelMaskOpacity, true, nullptr, 2);
    auto node = BNCrossfadeWithMaskNode::create(background, foreground, mask);
    VKRect rect = VKRectMake(1, 0, 9, 8);
    for (VKRect under : {VKRectMake(0.9, 0, 9.1, 8), VKRectMake(0, 0, 10, 8)}) {
        auto context = BNRenderingContext::create();
        auto rendered = [&](const BNRenderNodePtr& input, VKRect inputRect) {
            auto request = std::make_unique<BNRenderRequest>(
                input, inputRect, BNRenderRequestKey{input->hashIdentifier(), 1.0});
            auto surface = context->surfaceWithRect(inputRect, 1.0, input->channels());
            input->renderWithOutputSurface(*surface, {}, *context);
            request->setSurface(surface);
            return request;
        };
        std::unique_ptr<BNRenderRequest> inputs[] = {
            rendered(background, under), rendered(foreground, rect), rendered(mask, rect)};
        BNRenderRequest request(node, rect, {node->hashIdentifier(), 1.0});
        for (auto& input : inputs) {
            request.addInput(input.get());
            input->addOutput(&request);
        }
        request.renderWithContext(*context);
        ASSERT_TRUE(request.surface());
        bool fits = VKRectEqualToRect(under, VKRectMake(0, 0, 10, 8));
        EXPECT_EQ(!request.surface()->ownsMemory(), fits) << "drawn in place over a view";
        if (!fits) continue;
        std::string difference;
        EXPECT_TRUE(sameSurfaces(*request.surface(), *ReferenceRenderer().render(node, rect, 1.0),
                                 &difference))
            << difference;
    }
}

TEST(BNRenderer, NoInPlaceBlendOverABackgroundThatATranslationStillShows) {
    // The translation renders first and returns a view of the background's
    // surface; drawing over that surface would change the foreground while
    // the blend reads it.
    auto background =
        AverageNode::create({PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true)});
    auto over = OverNode::create(background, BNTranslateNode::create(background, {-2, -1}));
    VKRect rect = VKRectMake(0, 0, 12, 10);
    auto actual = BNRenderer().renderNode(over, rect, 1.0);
    auto expected = ReferenceRenderer().render(over, rect, 1.0);
    ASSERT_TRUE(actual && expected);
    std::string difference;
    EXPECT_TRUE(sameSurfaces(*actual, *expected, &difference)) << difference;
}

TEST(BNRenderer, PoolAllocationsFollowDistinctSizesNotNodeCount) {
    // A chain of 40 averages of equal size: each output is freed once its
    // consumer has rendered, so the pool needs a handful of buffers.
    auto log = std::make_shared<RenderLog>();
    BNRenderNodePtr node = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    for (int i = 0; i < 40; ++i)
        node = AverageNode::create({node}, VKRectInfinite, log);
    auto surface = BNRenderer().renderNode(node, VKRectMake(0, 0, 64, 64), 1.0);
    ASSERT_TRUE(surface);
    EXPECT_LE(log->systemAllocationsSeen, 3u);
}

TEST(BNRenderer, RendersGraphsThousandsOfNodesDeepOnAWorkerThread) {
    lf::DispatchGroup group;
    std::vector<float> deep, shallow;
    group.async(lf::DispatchQueue::global(), [&] {
        BNRenderNodePtr leaf = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
        BNRenderNodePtr node = leaf;
        for (int i = 0; i < 20000; ++i) {
            node = BNTranslateNode::create(node, {i % 2 ? 1.0 : -1.0, 0});
            if (i % 1000 == 999) node = AverageNode::create({node});
        }
        auto surface = BNRenderer().renderNode(node, VKRectMake(0, 0, 8, 8), 1.0);
        if (surface) deep = samplesOf(*surface);
        shallow = samplesOf(*BNRenderer().renderNode(leaf, VKRectMake(0, 0, 8, 8), 1.0));
        surface.reset();
        node.reset();
    });
    group.wait();
    ASSERT_EQ(deep.size(), shallow.size());
    EXPECT_EQ(deep, shallow);
}

TEST(BNRenderer, ConcurrentRenderersOnOneGraphAgree) {
    BNRenderNodePtr node = PatternNode::create(VKRectMake(0, 0, 64, 64), BNChannelMaskRGBA, false);
    for (int i = 0; i < 12; ++i)
        node = AverageNode::create({node, BNTranslateNode::create(node, {i % 3 - 1.0, 1.0})});
    auto reference = samplesOf(*BNRenderer().renderNode(node, VKRectMake(0, 0, 48, 48), 2.0));
    for (int round = 0; round < 3; ++round) {
        // A fresh graph each round, so the first calls of bounds and
        // identity race as well.
        BNRenderNodePtr fresh =
            PatternNode::create(VKRectMake(0, 0, 64, 64), BNChannelMaskRGBA, false);
        for (int i = 0; i < 12; ++i)
            fresh =
                AverageNode::create({fresh, BNTranslateNode::create(fresh, {i % 3 - 1.0, 1.0})});
        std::vector<std::vector<float>> results(8);
        lf::DispatchGroup group;
        for (int t = 0; t < 8; ++t)
            group.async(lf::DispatchQueue::global(), [&, t] {
                auto surface = BNRenderer().renderNode(fresh, VKRectMake(0, 0, 48, 48), 2.0);
                if (surface) results[t] = samplesOf(*surface);
            });
        group.wait();
        for (const auto& result : results)
            EXPECT_EQ(result, reference);
    }
}

TEST(BNRenderRequestKey, HashesAndPrintsAsSpecified) {
    BNRenderRequestKey key;
    key.hashIdentifier.bytes[19] = 0xAB;
    key.scaleFactor = 2.0;
    // Eight rotations by 8 bits after the last identifier byte bring 0xAB
    // back to the low byte, where the last byte of 2.0 (0x40) meets it.
    EXPECT_EQ(key.hash(), 0xEBull);
    EXPECT_EQ(key.description(), "<" + std::string(38, '0') + "ab@2x>");
    BNRenderRequestKey other = key;
    EXPECT_EQ(key, other);
    other.scaleFactor = 1.0;
    EXPECT_FALSE(key == other);
}

TEST(BNRenderer, DumpsTheSurfacesOfMarkedNodes) {
    lf::test::TemporaryDirectory home;
    std::filesystem::create_directory(home / "BNDebug");
    const char* previous = std::getenv("HOME");
    std::string saved = previous ? previous : "";
    setenv("HOME", home.path().c_str(), 1);
    auto leaf = PatternNode::create(VKRectInfinite, BNChannelMaskOpacity, true);
    leaf->markForDebugWithName("leaf");
    auto surface =
        BNRenderer().renderNode(AverageNode::create({leaf}), VKRectMake(0, 0, 5, 3), 1.0);
    setenv("HOME", saved.c_str(), 1);
    ASSERT_TRUE(surface);

    std::vector<std::filesystem::path> dumps;
    for (const auto& entry : std::filesystem::directory_iterator(home / "BNDebug"))
        dumps.push_back(entry.path());
    ASSERT_EQ(dumps.size(), 1u);
    std::string name = dumps[0].filename().string();
    EXPECT_EQ(name.rfind("leaf_", 0), 0u) << name;
    // Row length in pixels (stride / 4), height and mask close the name.
    uint64_t stride =
        BNSurface::bytesPerRowForRect(VKRectMake(0, 0, 5, 3), 1.0, BNChannelMaskOpacity);
    EXPECT_NE(name.find(fmt::format("_{}_3_8.raw", stride / 4)), std::string::npos) << name;
    EXPECT_EQ(std::filesystem::file_size(dumps[0]), stride * 3);
}

TEST(BNRenderRequestDeathTest, ABadSurfaceEndsTheProcessWithFailure) {
    auto node = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    BNRenderRequest request(node, VKRectMake(0, 0, 1, 1), {node->hashIdentifier(), 1.0});
    auto surface = BNSurface::create(VKRectMake(0, 0, 1, 1), 1.0, BNChannelMaskRGBA);
    float bad[] = {0.9f, 0, 0, 0.5f};
    std::copy(bad, bad + 4, surface->row(0));
    request.setSurface(surface);
    EXPECT_EXIT(BNVerifyRequestSurface(request), testing::ExitedWithCode(EXIT_FAILURE),
                "Bad surface");
}
