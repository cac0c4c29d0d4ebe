#include "TestNodes.h"
#include "compositing/shared/QFRGBAConversion.h"
#include "compositing/tiling/QFAsyncRendering.h"
#include "compositing/tiling/QFTileDispatcher.h"
#include "compositing/tiling/QFTilingHelper.h"
#include "platform/core/Log.h"
#include "platform/core/SystemInfo.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/images/RGBABuffer.h"
#include "rendergraph/geometry/BNTranslateNode.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <stdexcept>
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
TiledResult renderTiled(const BNRenderNodePtr& node, VKRect rect, double scale, VKSize tileSize,
                        std::shared_ptr<QFTilingHelper> helper = nullptr) {
    TiledResult result;
    lf::DispatchSemaphore done(0);
    if (!helper) helper = QFTilingHelper::create(tileSize, nullptr);
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

// A node whose render runs out of memory the way a container of the render
// graph would: by throwing.
// Throws std::bad_alloc, or what `thrown` makes, for every tile.
class ExhaustedNode final : public BNRenderNode {
public:
    static std::shared_ptr<const ExhaustedNode> create(
        std::function<std::exception_ptr()> thrown = [] {
            return std::make_exception_ptr(std::bad_alloc());
        }) {
        return make<ExhaustedNode>(std::move(thrown));
    }
    ExhaustedNode(CreationKey, std::function<std::exception_ptr()> thrown)
        : BNRenderNode({}), thrown_(std::move(thrown)) {}
    const char* className() const override { return "ExhaustedNode"; }
    bool supportsScaleFactor() const override { return true; }
    BNSurfacePtr preparedOutputSurface(VKRect, double, const BNSurfaceList&,
                                       BNRenderingContext&) const override {
        std::rethrow_exception(thrown_());
    }

private:
    std::function<std::exception_ptr()> thrown_;
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
    // The default tile size among them; the workers' buffer caches are warm
    // from the renders before each one.
    for (double scale : {1.0, 2.0}) {
        auto whole = renderWhole(node, rect, scale);
        for (double tile : {64.0, 100.0, QFTilingHelper::kDefaultTileSize.width, 512.0}) {
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

TEST(QFTilingHelper, StraightColourTilesEqualTheWholeRenderDividedByCoverage) {
    auto node = PatternNode::create(VKRectMake(-5, -5, 300, 200), BNChannelMaskRGBA, true);
    VKRect rect = VKRectMake(0, 0, 333, 222);
    auto whole = renderWhole(node, rect, 1.0);
    lf::unpremultiplyRGBA(whole.data(), whole.data(), whole.size() / 4);
    auto helper = QFTilingHelper::create({100, 100}, nullptr);
    helper->setKeepsPremultiplied(false);
    auto tiled = renderTiled(node, rect, 1.0, {100, 100}, helper);
    ASSERT_TRUE(tiled.calls.back().succeeded);
    EXPECT_EQ(tiled.bytes, whole);
}

TEST(QFTilingHelper, ImagesOverThePixelBudgetAreRefusedBeforeAllocating) {
    EXPECT_TRUE(QFTilingHelper::checkImageSize(200, 100, 20000));
    auto refused = QFTilingHelper::checkImageSize(201, 100, 20000);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().domain, QFTilingErrorDomain);
    EXPECT_EQ(refused.error().code, QFTilingErrorImageTooLarge);
    EXPECT_NE(refused.error().localizedDescription().find("201 x 100"), std::string::npos);
    EXPECT_FALSE(QFTilingHelper::checkImageSize(uint64_t{1} << 33, uint64_t{1} << 33, UINT64_MAX))
        << "overflow";

    // A claimed canvas of 30000 by 30000 pixels at the default budget: one
    // failed final call, and no image.
    lf::LogCapture log;
    auto node = RecordingNode::create();
    auto large = QFTilingHelper::create({512, 512}, nullptr);
    std::shared_ptr<const QFRGBAImage> image;
    auto tiled = [&] {
        lf::DispatchSemaphore done(0);
        TiledResult result;
        image = large->renderNode(node, VKRectMake(0, 0, 30000, 30000), 1.0,
                                  [&, done](const uint8_t* bytes, uint64_t, uint64_t, uint64_t,
                                            bool finished, double, bool succeeded) mutable {
                                      result.calls.push_back({finished, 1.0, succeeded});
                                      EXPECT_EQ(bytes, nullptr);
                                      done.signal();
                                  });
        EXPECT_TRUE(done.waitFor(lf::test::kPatience));
        return result;
    }();
    EXPECT_EQ(image, nullptr);
    ASSERT_EQ(tiled.calls.size(), 1u);
    EXPECT_TRUE(tiled.calls[0].finished);
    EXPECT_FALSE(tiled.calls[0].succeeded);
    EXPECT_TRUE(node->rects().empty()) << "nothing rendered";
    EXPECT_TRUE(log.contains("30000 x 30000"));
}

// Whatever a tile throws fails the render without leaving its worker, and
// is kept for a caller that can throw it on its own thread.
TEST(QFTilingHelper, ATileThatRunsOutOfMemoryFailsTheRenderWithoutThrowing) {
    lf::LogCapture log;
    auto helper = QFTilingHelper::create({64, 64}, nullptr);
    auto tiled =
        renderTiled(ExhaustedNode::create(), VKRectMake(0, 0, 200, 100), 1.0, {64, 64}, helper);
    ASSERT_EQ(tiled.calls.size(), 8u);
    EXPECT_FALSE(tiled.calls.back().succeeded);
    EXPECT_TRUE(log.contains("ran out of memory"));
    EXPECT_THROW(std::rethrow_exception(helper->failure()), std::bad_alloc);

    helper = QFTilingHelper::create({64, 64}, nullptr);
    tiled = renderTiled(
        ExhaustedNode::create([] { return std::make_exception_ptr(std::length_error("vector")); }),
        VKRectMake(0, 0, 100, 100), 1.0, {64, 64}, helper);
    EXPECT_FALSE(tiled.calls.back().succeeded);
    EXPECT_TRUE(log.contains("threw: vector"));
    EXPECT_THROW(std::rethrow_exception(helper->failure()), std::length_error);

    // A render that succeeds keeps none.
    helper = QFTilingHelper::create({64, 64}, nullptr);
    EXPECT_FALSE(helper->failure());
    renderTiled(PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true),
                VKRectMake(0, 0, 100, 100), 1.0, {64, 64}, helper);
    EXPECT_FALSE(helper->failure());
}

TEST(QFTilingHelper, TheImageEntryLogsEveryTileAndHandsOverItsImage) {
    auto node = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    VKRect rect = VKRectMake(0, 0, 300, 130);
    auto helper = QFTilingHelper::create({128, 128}, nullptr);
    lf::LogCapture log;
    lf::DispatchSemaphore done(0);
    std::shared_ptr<const QFRGBAImage> delivered;
    int calls = 0;
    auto returned = helper->renderNode(node, rect, 1.0,
                                       [&, done](const std::shared_ptr<const QFRGBAImage>& image,
                                                 bool finished, double, bool succeeded) mutable {
                                           ++calls;
                                           if (!finished) return;
                                           EXPECT_TRUE(succeeded);
                                           delivered = image;
                                           done.signal();
                                       });
    ASSERT_TRUE(done.waitFor(std::chrono::seconds(60)));
    EXPECT_EQ(calls, 6);
    EXPECT_EQ(delivered, returned) << "the same image, not a copy";
    ASSERT_TRUE(delivered);
    EXPECT_TRUE(delivered->isPremultiplied());
    EXPECT_EQ(delivered->colorProfile(), helper->colorProfile());
    EXPECT_EQ(std::vector<uint8_t>(delivered->span().begin(), delivered->span().end()),
              renderWhole(node, rect, 1.0));
    size_t tileLines = 0;
    for (const auto& line : log.lines())
        tileLines += line.rfind("Render node: PatternNode, tile: ", 0) == 0 &&
                     line.find("scaleFactor: 1") != std::string::npos;
    EXPECT_EQ(tileLines, 6u);
}

TEST(QFAsyncRendering, ConcurrentRendersAndConversionsArriveOnTheCallersQueue) {
    auto node = PatternNode::create(VKRectMake(0, 0, 40, 30), BNChannelMaskRGBA, true);
    VKRect rect = VKRectMake(-3, -2, 50, 40);
    auto queue = lf::DispatchQueue::createSerial("test.async.delivery");
    lf::DispatchSemaphore rendered(0), converted(0);
    BNSurfacePtr surface;
    bool renderedOnQueue = false, convertedOnQueue = false;
    QFRenderNodeAsync(node, rect, 2.0, queue, [&, rendered](BNSurfacePtr result) mutable {
        renderedOnQueue = queue->isCurrent();
        surface = std::move(result);
        rendered.signal();
    });
    ASSERT_TRUE(rendered.waitFor(lf::test::kPatience));
    EXPECT_TRUE(renderedOnQueue);
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->widthInPixels(), 100u);

    std::vector<uint8_t> bytes;
    QFConvertSurfaceToRGBAAsync(surface, false, queue,
                                [&, converted](const uint8_t* data, uint64_t, uint64_t height,
                                               uint64_t bytesPerRow) mutable {
                                    convertedOnQueue = queue->isCurrent();
                                    bytes.assign(data, data + bytesPerRow * height);
                                    converted.signal();
                                });
    ASSERT_TRUE(converted.waitFor(lf::test::kPatience));
    EXPECT_TRUE(convertedOnQueue);
    std::vector<uint8_t> expected = renderWhole(node, rect, 2.0);
    lf::unpremultiplyRGBA(expected.data(), expected.data(), expected.size() / 4);
    EXPECT_EQ(bytes, expected);
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
        ASSERT_TRUE(started.waitFor(lf::test::kPatience));
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
        ASSERT_TRUE(finished.waitFor(lf::test::kPatience));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));
    }
    for (int i = 1; i < processors; ++i)
        release.signal();
}
