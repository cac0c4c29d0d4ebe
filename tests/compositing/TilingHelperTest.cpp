#include "TestNodes.h"
#include "compositing/QFRGBAConversion.h"
#include "compositing/QFTileDispatcher.h"
#include "compositing/QFTilingHelper.h"
#include "platform/DispatchSemaphore.h"
#include "platform/SystemInfo.h"
#include "rendergraph/BNTranslateNode.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace rendergraph_test;

namespace {

struct TileCall {
    bool finished;
    double progress;
    bool succeeded;
};

struct TiledResult {
    std::vector<uint8_t> bytes;
    uint64_t width = 0, height = 0;
    std::vector<TileCall> calls;
};

// Renders through a tiling helper and waits for the final call.
TiledResult renderTiled(const BNRenderNodePtr& node, VKRect rect, double scale, VKSize tileSize) {
    TiledResult result;
    lf::DispatchSemaphore done(0);
    auto helper = QFTilingHelper::create(tileSize, nullptr);
    helper->renderNode(node, rect, scale,
                       [&, done](const uint8_t* bytes, uint64_t w, uint64_t h, uint64_t bytesPerRow,
                                 bool finished, double progress, bool succeeded) mutable {
                           result.calls.push_back({finished, progress, succeeded});
                           if (!finished) return;
                           result.bytes.assign(bytes, bytes + bytesPerRow * h);
                           result.width = w;
                           result.height = h;
                           done.signal();
                       });
    EXPECT_TRUE(done.waitFor(std::chrono::seconds(60)));
    return result;
}

std::vector<uint8_t> renderWhole(const BNRenderNodePtr& node, VKRect rect, double scale) {
    std::vector<uint8_t> out;
    auto surface =
        QFRenderNodeWithColorProfile(node, BNColorProfile::mainDisplayProfile(), rect, scale);
    QFCopyUnpremultipliedRGBA(
        *surface, true, [&](const uint8_t* bytes, uint64_t, uint64_t h, uint64_t bytesPerRow) {
            out.assign(bytes, bytes + bytesPerRow * h);
        });
    return out;
}

// A node of opaque white that records the rectangles it renders (from
// any thread) and fails (no surface) wherever it meets `hole`.
class RecordingNode final : public BNRenderNode {
public:
    static std::shared_ptr<const RecordingNode> create(VKRect hole = VKRectNull) {
        return make<RecordingNode>(hole);
    }
    RecordingNode(CreationKey, VKRect hole) : BNRenderNode({}), hole_(hole) {}
    const char* className() const override { return "RecordingNode"; }
    bool supportsScaleFactor() const override { return true; }
    BNSurfacePtr preparedOutputSurface(VKRect rect, double scale, const BNSurfaceList&,
                                       BNRenderingContext& context) const override {
        {
            std::lock_guard lock(mutex_);
            rects_.push_back(rect);
        }
        if (VKRectIntersectsRect(rect, hole_)) return nullptr;
        auto surface = context.surfaceWithRect(rect, scale, channels());
        for (uint64_t y = 0; y < surface->heightInPixels(); ++y)
            for (uint64_t x = 0; x < surface->widthInPixels() * 4; ++x)
                surface->row(y)[x] = 1.0f;
        return surface;
    }
    std::vector<VKRect> rects() const {
        std::lock_guard lock(mutex_);
        return rects_;
    }

private:
    VKRect hole_;
    mutable std::mutex mutex_;
    mutable std::vector<VKRect> rects_;
};

}  // namespace

TEST(QFTilingHelper, CutsTheImageIntoTilesAndReportsEachOnce) {
    auto node = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    VKRect rect = VKRectMake(0, 0, 1000, 600);
    auto tiled = renderTiled(node, rect, 1.0, {512, 512});
    ASSERT_EQ(tiled.calls.size(), 4u);
    EXPECT_FLOAT_EQ(tiled.calls[0].progress, 0.25);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(tiled.calls[i].finished, i == 3);
        EXPECT_TRUE(tiled.calls[i].succeeded);
    }
    EXPECT_EQ(tiled.calls.back().progress, 1.0);
    EXPECT_EQ(tiled.width, 1000u);
    EXPECT_EQ(tiled.height, 600u);
    EXPECT_EQ(tiled.bytes, renderWhole(node, rect, 1.0));
}

TEST(QFTilingHelper, ASmallRectangleIsOneTile) {
    auto node = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    auto tiled = renderTiled(node, VKRectMake(3, 4, 30, 20), 2.0, {512, 512});
    ASSERT_EQ(tiled.calls.size(), 1u);
    EXPECT_TRUE(tiled.calls[0].finished);
    EXPECT_EQ(tiled.calls[0].progress, 1.0);
    EXPECT_EQ(tiled.width, 60u);
}

TEST(QFTilingHelper, TilesStartAtWholeTileOffsetsFromTheOriginAndStopAtTheEdge) {
    auto node = RecordingNode::create();
    auto tiled = renderTiled(node, VKRectMake(10, 20, 600, 100.5), 2.0, {512, 100});
    ASSERT_EQ(tiled.calls.size(), 4u);
    std::vector<VKRect> rects = node->rects();
    std::sort(rects.begin(), rects.end(), [](VKRect a, VKRect b) {
        return std::pair(a.origin.y, a.origin.x) < std::pair(b.origin.y, b.origin.x);
    });
    // The last column holds 176 pixels, the last row one: whole points.
    EXPECT_EQ(rects,
              (std::vector<VKRect>{VKRectMake(10, 20, 512, 100), VKRectMake(522, 20, 88, 100),
                                   VKRectMake(10, 120, 512, 1), VKRectMake(522, 120, 88, 1)}));
    ASSERT_EQ(tiled.bytes.size(), 1200u * 201u * 4u);
    EXPECT_TRUE(std::all_of(tiled.bytes.begin(), tiled.bytes.end(), [](uint8_t byte) {
        return byte == 255;
    })) << "every pixel drawn";
}

TEST(QFTilingHelper, ConcurrentTiledRendersEqualOneWholeRender) {
    // Tiles of 64, 100 and 512 points at scales 1 and 2, several renders at
    // once on every core: byte for byte the untiled render.
    BNRenderNodePtr node =
        PatternNode::create(VKRectMake(-50, -30, 700, 500), BNChannelMaskRGBA, true);
    for (int i = 0; i < 4; ++i)
        node = AverageNode::create({node, BNTranslateNode::create(node, {7.0 - i, 3})});
    VKRect rect = VKRectMake(-20, -10, 233, 157);
    for (double scale : {1.0, 2.0}) {
        auto whole = renderWhole(node, rect, scale);
        for (double tile : {64.0, 100.0, 512.0}) {
            auto tiled = renderTiled(node, rect, scale, {tile, tile});
            ASSERT_TRUE(tiled.calls.back().succeeded);
            EXPECT_EQ(tiled.bytes, whole) << "scale " << scale << " tile " << tile;
        }
    }
}

TEST(QFTilingHelper, AFailedTileMakesTheFinalCallReportFailure) {
    auto node = RecordingNode::create(VKRectMake(150, 150, 10, 10));
    auto tiled = renderTiled(node, VKRectMake(0, 0, 300, 300), 1.0, {100, 100});
    ASSERT_EQ(tiled.calls.size(), 9u);
    EXPECT_TRUE(tiled.calls.back().finished);
    EXPECT_FALSE(tiled.calls.back().succeeded);
    // The failed tile's part stays zero; the others are written.
    EXPECT_EQ(tiled.bytes[(150 * 300 + 150) * 4 + 3], 0);
    EXPECT_EQ(tiled.bytes[(50 * 300 + 50) * 4 + 3], 255);

    // No pixels, or more than memory can address: one final call, failed.
    for (VKRect rect : {VKRectMake(0, 0, 0, 10), VKRectMake(0, 0, 1e10, 1e10)}) {
        auto empty = renderTiled(node, rect, 1.0, {100, 100});
        ASSERT_EQ(empty.calls.size(), 1u);
        EXPECT_TRUE(empty.calls[0].finished);
        EXPECT_FALSE(empty.calls[0].succeeded);
        EXPECT_TRUE(empty.bytes.empty());
    }
}

TEST(QFTileDispatcher, OnceAllProcessorsAreBusyTheNewestTileStartsNext) {
    int processors = lf::activeProcessorCount();
    lf::DispatchSemaphore release(0), started(0), finished(0);
    for (int i = 0; i < processors; ++i)
        QFAddTilingBlock([release, started]() mutable {
            started.signal();
            release.wait();
        });
    for (int i = 0; i < processors; ++i)
        ASSERT_TRUE(started.waitFor(std::chrono::seconds(10)));
    std::mutex mutex;
    std::vector<int> order;
    for (int i = 0; i < 3; ++i)
        QFAddTilingBlock([&, i, finished]() mutable {
            {
                std::lock_guard lock(mutex);
                order.push_back(i);
            }
            finished.signal();
        });
    // One worker frees up: the pending tiles run on it newest first.
    release.signal();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(finished.waitFor(std::chrono::seconds(10)));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));
    }
    for (int i = 1; i < processors; ++i)
        release.signal();
}
