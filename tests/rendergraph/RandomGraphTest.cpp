#include "RandomGraph.h"
#include "ReferenceRenderer.h"
#include "TestNodes.h"
#include "TestPaths.h"
#include "geometry/VKGeometryStrings.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "rendergraph/core/BNRenderer.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

using namespace rendergraph_test;

namespace {

constexpr VKRect kGraphArea = VKRectMake(-10, -8, 70, 56);
constexpr VKRect kRender = VKRectMake(-6, -4, 60, 44);

// How to see a failing case again: the graph, then the call.
std::string reproduction(const RandomGraph& graph, VKRect rect, double scale) {
    return fmt::format("{}expectSameAsReference(root, {}, {});\n", graph.code,
                       fmt::format("VKRectMake({}, {}, {}, {})", rect.origin.x, rect.origin.y,
                                   rect.size.width, rect.size.height),
                       scale);
}

class RandomGraphs : public testing::TestWithParam<int> {};

}  // namespace

// A few hundred graphs of every node family, at scales 1 and 2: the real
// renderer (shared requests, merged rectangles, pool memory, in-place
// blending, subsurfaces, pixel doubling) gives the reference's bytes.
TEST_P(RandomGraphs, RenderLikeTheReferenceRenderer) {
    lf::LogCapture quiet;  // unsupported layouts log on purpose
    constexpr int kGraphsPerShard = 60;
    for (int i = 0; i < kGraphsPerShard; ++i) {
        auto seed = static_cast<uint32_t>(GetParam() * kGraphsPerShard + i);
        RandomGraph graph = makeRandomGraph(seed, 3 + static_cast<int>(seed % 12), kGraphArea);
        for (double scale : {1.0, 2.0}) {
            BNSurfacePtr actual = BNRenderer().renderNode(graph.root, kRender, scale);
            BNSurfacePtr expected = ReferenceRenderer().render(graph.root, kRender, scale);
            ASSERT_TRUE(actual && expected) << reproduction(graph, kRender, scale);
            std::string difference;
            ASSERT_TRUE(sameSurfaces(*actual, *expected, &difference))
                << "seed " << seed << ": " << difference << "\n"
                << reproduction(graph, kRender, scale);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomGraphs, testing::Range(0, 5));

// A render in one piece equals the same render cut into tiles of 100 and of
// 512 points, byte for byte.
TEST(RandomGraphTiles, TilesEqualOnePiece) {
    lf::LogCapture quiet;
    struct Setting {
        VKRect rect;
        double scale;
    };
    for (Setting setting : {Setting{VKRectMake(-20, -10, 1100, 600), 1.0},
                            Setting{VKRectMake(-20, -10, 600, 340), 2.0}}) {
        for (uint32_t seed : {7u, 1000u}) {
            RandomGraph graph = makeRandomGraph(seed, 10, setting.rect);
            BNSurfacePtr whole = BNRenderer().renderNode(graph.root, setting.rect, setting.scale);
            ASSERT_TRUE(whole);
            for (double tile : {100.0, 512.0}) {
                for (double y = 0; y < setting.rect.size.height; y += tile)
                    for (double x = 0; x < setting.rect.size.width; x += tile) {
                        VKRect piece = VKRectIntersection(
                            setting.rect, VKRectMake(setting.rect.origin.x + x,
                                                     setting.rect.origin.y + y, tile, tile));
                        BNSurfacePtr rendered =
                            BNRenderer().renderNode(graph.root, piece, setting.scale);
                        BNSurfacePtr cut = whole->subsurfaceWithRect(piece);
                        ASSERT_TRUE(rendered && cut);
                        std::string difference;
                        ASSERT_TRUE(sameSurfaces(*rendered, *cut, &difference))
                            << "tile " << NSStringFromVKRect(piece) << ": " << difference << "\n"
                            << reproduction(graph, piece, setting.scale);
                    }
            }
        }
    }
}

// Tiles of one graph rendered on several threads at once, the graph fresh
// so that the first computations of bounds and identities race too.
TEST(RandomGraphTiles, ConcurrentTilesAgreeWithOnePiece) {
    lf::LogCapture quiet;
    VKRect rect = VKRectMake(0, 0, 120, 80);
    for (uint32_t seed : {3u, 4u}) {
        BNSurfacePtr whole =
            BNRenderer().renderNode(makeRandomGraph(seed, 12, rect).root, rect, 2.0);
        RandomGraph graph = makeRandomGraph(seed, 12, rect);
        std::vector<BNSurfacePtr> tiles(6);
        lf::DispatchGroup group;
        for (size_t t = 0; t < tiles.size(); ++t)
            group.async(lf::DispatchQueue::global(), [&, t] {
                VKRect piece = VKRectMake(40.0 * (t % 3), 40.0 * (t / 3), 40, 40);
                tiles[t] = BNRenderer().renderNode(graph.root, piece, 2.0);
            });
        group.wait();
        for (const BNSurfacePtr& tile : tiles) {
            ASSERT_TRUE(whole && tile);
            std::string difference;
            EXPECT_TRUE(sameSurfaces(*tile, *whole->subsurfaceWithRect(tile->rect()), &difference))
                << difference << "\n"
                << reproduction(graph, tile->rect(), 2.0);
        }
    }
}
