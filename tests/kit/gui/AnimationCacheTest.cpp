#include "KitGuiTestSupport.h"
#include "kit/gui/OMAnimationCache.h"

#include <QWidget>
#include <gtest/gtest.h>

namespace {

using lf::test::paintCanvas;

class AnimationCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        control.resize(20, 10);
        cache.implementDraw(
            [this](QPainter& painter, const QRectF& bounds, double progress, unsigned options) {
                ++draws;
                painter.fillRect(bounds, QColor(static_cast<int>(progress * 255), options, 0));
            });
    }

    QImage draw(double scale, double progress, unsigned options) {
        return paintCanvas(20, 10, scale, [&](QPainter& painter) {
            cache.drawRect(painter, QRectF(0, 0, 20, 10), &control, progress, options);
        });
    }

    QWidget control;
    OMAnimationCache cache;
    int draws = 0;
};

TEST_F(AnimationCacheTest, ReusesTheBitmapOfEqualKeys) {
    const QImage first = draw(1, 0.5, 3);
    EXPECT_EQ(first.pixel(5, 5), qRgb(127, 3, 0));
    // 0.504 rounds to the same hundredth.
    EXPECT_EQ(draw(1, 0.504, 3), first);
    EXPECT_EQ(draws, 1);
    draw(1, 0.5, 1);
    draw(1, 0.51, 3);
    draw(1, -0.5, 3);  // below 0: a key of its own
    EXPECT_EQ(draws, 4);
    EXPECT_EQ(cache.cachedBitmapCount(), 4u);
}

TEST_F(AnimationCacheTest, AChangeOfBoundsOrScaleDropsTheBitmaps) {
    draw(1, 0.5, 0);
    const QImage sharp = draw(2, 0.5, 0);
    EXPECT_EQ(sharp.size(), QSize(40, 20));
    EXPECT_EQ(draws, 2);
    EXPECT_EQ(cache.cachedBitmapCount(), 1u);
    control.resize(30, 10);
    draw(2, 0.5, 0);
    EXPECT_EQ(draws, 3);
}

TEST_F(AnimationCacheTest, OtherScalesDrawThroughTheBlockEveryTime) {
    draw(1.5, 0.5, 0);
    draw(1.5, 0.5, 0);
    EXPECT_EQ(draws, 2);
    EXPECT_EQ(cache.cachedBitmapCount(), 0u);
}

TEST_F(AnimationCacheTest, InvalidatingDropsTheBlockAndTheBitmaps) {
    draw(1, 0.5, 0);
    cache.invalidate();
    EXPECT_TRUE(cache.needsDrawImplementation());
    EXPECT_EQ(cache.cachedBitmapCount(), 0u);
    const QImage empty = draw(1, 0.5, 0);
    EXPECT_EQ(qAlpha(empty.pixel(5, 5)), 0);
    EXPECT_EQ(draws, 1);
}

}  // namespace
