#include "KitGuiTestSupport.h"
#include "kit/gui/OMTemplateEffect.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using lf::test::alphaAt;
using lf::test::paintCanvas;

const QColor kRed(255, 0, 0), kBlack(0, 0, 0), kWhite(255, 255, 255);

OMImage opaqueImage(int width, int height, double scale) {
    QImage bitmap(static_cast<int>(width * scale), static_cast<int>(height * scale),
                  QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::white);
    return OMImage::fromBitmap(bitmap, scale);
}

OMTemplateEffect effectWithShadow(QPointF offset, double blur) {
    OMTemplateEffect effect;
    effect.setFillColor(kRed);
    effect.setShadows({{offset, blur, kBlack}});
    return effect;
}

TEST(OMTemplateEffect, ShadowsFallOnTheSideTheirYUpOffsetPointsTo) {
    // A 20-point square at (20, 20); the shadow, unblurred, shows as a band
    // of the offset's width on one side.
    struct Case {
        QPointF offset;
        QPoint inShadow, beyondShadow, oppositeSide;
    };
    const Case cases[] = {
        {{0, -6}, {30, 45}, {30, 46}, {30, 18}},  // down on screen
        {{0, 6}, {30, 14}, {30, 13}, {30, 42}},   // up
        {{6, 0}, {45, 30}, {46, 30}, {18, 30}},   // right
        {{-6, 0}, {14, 30}, {13, 30}, {42, 30}},  // left
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "offset " << c.offset.x() << ", " << c.offset.y());
        const OMTemplateEffect effect = effectWithShadow(c.offset, 0);
        QPainterPath square;
        square.addRect(20, 20, 20, 20);
        const QImage canvas = paintCanvas(
            60, 60, 1, [&](QPainter& painter) { effect.drawBezierPath(painter, square); });
        EXPECT_EQ(canvas.pixel(c.inShadow), kBlack.rgba());
        EXPECT_EQ(alphaAt(canvas, c.beyondShadow.x(), c.beyondShadow.y()), 0);
        EXPECT_EQ(alphaAt(canvas, c.oppositeSide.x(), c.oppositeSide.y()), 0);
        EXPECT_EQ(canvas.pixel(30, 30), kRed.rgba());
    }
}

TEST(OMTemplateEffect, ShadowOffsetsOfImagesFollowTheDeviceScaleAndThoseOfPathsDoNot) {
    // Offset 4 points down: an image's shadow keeps 4 points at 2x, a
    // path's (its offset is in device pixels) shrinks to 2.
    struct Case {
        bool image;
        double scale;
        double shadowPoints;
    };
    for (const Case& c :
         {Case{true, 1, 4}, Case{true, 2, 4}, Case{false, 1, 4}, Case{false, 2, 2}}) {
        SCOPED_TRACE(::testing::Message()
                     << (c.image ? "image" : "path") << " at " << c.scale << "x");
        const OMTemplateEffect effect = effectWithShadow({0, -4}, 0);
        const OMImage image = opaqueImage(10, 10, c.scale);
        QPainterPath square;
        square.addRect(10, 10, 10, 10);
        const QImage canvas = paintCanvas(30, 30, c.scale, [&](QPainter& painter) {
            if (c.image)
                effect.drawImage(painter, image, QRectF(10, 10, 10, 10));
            else
                effect.drawBezierPath(painter, square);
        });
        const int x = static_cast<int>(15 * c.scale);
        const int lastShadowRow = static_cast<int>((20 + c.shadowPoints) * c.scale) - 1;
        EXPECT_EQ(canvas.pixel(x, lastShadowRow), kBlack.rgba());
        EXPECT_EQ(alphaAt(canvas, x, lastShadowRow + 1), 0);
    }
}

TEST(OMTemplateEffect, ABlurRadiusSpreadsTheShadowAsAGaussianOfHalfTheRadius) {
    const double blur = 8, sigma = blur / 2;
    const OMTemplateEffect effect = effectWithShadow({0, 0}, blur);
    QPainterPath square;
    square.addRect(30, 30, 40, 40);
    const QImage canvas = paintCanvas(
        100, 100, 1, [&](QPainter& painter) { effect.drawBezierPath(painter, square); });
    // Beside the middle of the right edge, the shadow of a half-plane: the
    // Gaussian's tail at each pixel centre. One unit of rounding in the
    // blur and one in the colouring.
    for (int k = 0; k < 8; ++k) {
        const double tail = 0.5 * std::erfc((k + 0.5) / (sigma * std::sqrt(2.0)));
        EXPECT_NEAR(alphaAt(canvas, 70 + k, 50), 255 * tail, 2.0)
            << "pixel " << k << " beyond the edge";
    }
    // Cut at the shadow's reach of blur + offset, 8 points.
    EXPECT_EQ(alphaAt(canvas, 78, 50), 0);
}

TEST(OMTemplateEffect, InnerShadowsAreCastIntoTheShapeByItsSurroundings) {
    OMTemplateEffect effect;
    effect.setFillColor(kWhite);
    effect.setInnerShadows({{{0, -3}, 0, kBlack}});
    const QImage canvas = paintCanvas(40, 40, 1, [&](QPainter& painter) {
        effect.drawImage(painter, opaqueImage(20, 20, 1), QRectF(10, 10, 20, 20));
    });
    EXPECT_EQ(canvas.pixel(20, 12), kBlack.rgba());  // the top three rows
    EXPECT_EQ(canvas.pixel(20, 13), kWhite.rgba());
    EXPECT_EQ(canvas.pixel(20, 29), kWhite.rgba());
    EXPECT_EQ(alphaAt(canvas, 20, 8), 0);  // nothing outside
}

TEST(OMTemplateEffect, AGradientAtNinetyDegreesRisesFromTheBottom) {
    OMTemplateEffect effect;
    effect.setFillGradient(OMGradient(kRed, QColor(0, 0, 255)));
    effect.setFillGradientAngle(90);
    QPainterPath square;
    square.addRect(0, 0, 20, 20);
    const QImage canvas =
        paintCanvas(20, 20, 1, [&](QPainter& painter) { effect.drawBezierPath(painter, square); });
    EXPECT_GT(qRed(canvas.pixel(10, 19)), 230);
    EXPECT_GT(qBlue(canvas.pixel(10, 0)), 230);
}

TEST(OMTemplateEffect, TextNeedsAFillColour) {
    OMAttributedString text{"Hello", QFont(), Qt::AlignLeft | Qt::AlignTop};
    text.font.setPixelSize(14);
    auto opaquePixels = [&](const OMTemplateEffect& effect) {
        const QImage canvas = paintCanvas(80, 30, 1, [&](QPainter& painter) {
            effect.drawAttributedString(painter, text, QRectF(5, 5, 70, 20));
        });
        int count = 0;
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x)
                count += alphaAt(canvas, x, y) > 0;
        return count;
    };
    OMTemplateEffect effect;
    effect.setFillGradient(OMGradient(kRed, kBlack));
    EXPECT_EQ(opaquePixels(effect), 0);
    effect.setFillColor(kBlack);
    EXPECT_GT(opaquePixels(effect), 20);
}

TEST(OMTemplateEffect, MarginsMakeRoomForOuterShadowsOnly) {
    struct Case {
        std::vector<OMShadow> shadows;
        QRectF expected;
    };
    const Case cases[] = {
        {{}, {10, 10, 20, 20}},
        {{{{0, -1}, 2, kBlack}}, {8, 7, 24, 26}},
        {{{{0, -1}, 2, kBlack}, {{-3.5, 0}, 0.2, kBlack}}, {6, 7, 28, 26}},
    };
    for (const Case& c : cases) {
        OMTemplateEffect effect;
        effect.setShadows(c.shadows);
        effect.setInnerShadows({{{0, 9}, 9, kBlack}});
        EXPECT_EQ(effect.applyEffectToAlignmentRect({10, 10, 20, 20}), c.expected);
    }
}

TEST(OMTemplateEffect, AppliedToAnImageLeavesRoomForTheShadows) {
    const OMTemplateEffect effect = effectWithShadow({0, -2}, 1);
    EXPECT_EQ(effect.applyEffectToImage(nullptr), nullptr);
    const OMImage source = opaqueImage(10, 10, 1);
    const auto image = effect.applyEffectToImage(&source);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSizeF(12, 16));
    EXPECT_EQ(image->alignmentRect(), QRectF(1, 3, 10, 10));
}

}  // namespace

namespace {

TEST(OMShadow, PathShadowsShowWhereTheirVariantAsks) {
    // A 10-point square at (10, 10) casting a black shadow 4 points down.
    QPainterPath square;
    square.addRect(10, 10, 10, 10);
    const OMShadow shadow{{0, -4}, 0, kBlack};
    struct Case {
        const char* name;
        std::function<void(QPainter&)> draw;
        bool insideTop, insideBottom, below;
    };
    const Case cases[] = {
        {"with", [&](QPainter& p) { shadow.drawWithBezierPath(p, square); }, false, true, true},
        {"outside", [&](QPainter& p) { shadow.drawOutsideBezierPath(p, square); }, false, false,
         true},
        // Cast into the square by what lies above it.
        {"inside", [&](QPainter& p) { shadow.drawInsideBezierPath(p, square); }, true, false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage canvas = paintCanvas(30, 30, 1, c.draw);
        EXPECT_EQ(alphaAt(canvas, 15, 11) == 255, c.insideTop);
        EXPECT_EQ(alphaAt(canvas, 15, 18) == 255, c.insideBottom);
        EXPECT_EQ(alphaAt(canvas, 15, 22) == 255, c.below);
        EXPECT_EQ(alphaAt(canvas, 15, 25), 0);
    }
}

TEST(OMImage, AlignmentRectanglesLineUpWithTheTarget) {
    // A 20-point image whose content is its middle 10 points.
    QImage bitmap(20, 20, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::transparent);
    QPainter(&bitmap).fillRect(5, 5, 10, 10, Qt::black);
    OMImage image = OMImage::fromBitmap(bitmap);
    image.setAlignmentRect(QRectF(5, 5, 10, 10));
    const QImage canvas = paintCanvas(40, 40, 1, [&](QPainter& painter) {
        image.drawInAlignmentRect(painter, QRectF(10, 10, 20, 20));
    });
    // Scaled twice with smoothing: one pixel of blur at each edge.
    EXPECT_EQ(alphaAt(canvas, 11, 11), 255);
    EXPECT_EQ(alphaAt(canvas, 28, 28), 255);
    EXPECT_EQ(alphaAt(canvas, 8, 8), 0);
    EXPECT_EQ(alphaAt(canvas, 31, 31), 0);
}

}  // namespace
