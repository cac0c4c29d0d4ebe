#include "KitGuiTestSupport.h"
#include "kit/Bundle.h"
#include "kit/gui/OMImageContext.h"
#include "kit/gui/OMSlicedImageRep.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <thread>
#include <utility>

namespace {

using lf::test::alphaAt;
using lf::test::paintCanvas;

// A source of `points` square at `scale` whose every pixel has a colour of
// its own, so a misplaced or resampled cap pixel shows.
OMImage patternImage(int points, double scale) {
    const int pixels = static_cast<int>(points * scale);
    QImage bitmap(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < pixels; ++y)
        for (int x = 0; x < pixels; ++x)
            bitmap.setPixel(x, y, qRgb(x * 10, y * 10, 100 + x + y));
    return OMImage::fromBitmap(bitmap, scale);
}

TEST(OMSlicedImageRep, TilesFollowTheirRule) {
    struct Case {
        int rule;
        double cell, natural;
        OMSliceTiling expected;
    };
    const Case cases[] = {
        {OMSlicedImageRuleTileCentered, 35, 10, {-8, 5, 10}},  // odd count, centred
        {OMSlicedImageRuleTileCentered, 20, 10, {-5, 3, 10}},
        {OMSlicedImageRuleTileCentered, 30, 10, {0, 3, 10}},
        {OMSlicedImageRuleTileFit, 35, 10, {0, 4, 8.75}},
        {OMSlicedImageRuleStretch, 35, 10, {0, 1, 35}},
        {7, 35, 10, {0, 1, 10}},  // any other rule: one tile at the start
    };
    for (const Case& c : cases) {
        const OMSliceTiling tiling = OMSliceTilingForRule(c.rule, c.cell, c.natural);
        EXPECT_EQ(tiling.start, c.expected.start) << "rule " << c.rule << ", cell " << c.cell;
        EXPECT_EQ(tiling.count, c.expected.count) << "rule " << c.rule << ", cell " << c.cell;
        EXPECT_DOUBLE_EQ(tiling.length, c.expected.length)
            << "rule " << c.rule << ", cell " << c.cell;
    }
}

TEST(OMSlicedImageRep, CornersKeepTheSourcePixelsAtEverySize) {
    // 12-point source, insets of 4: every corner is a 4-point square.
    for (double scale : {1.0, 2.0}) {
        const OMImage source = patternImage(12, scale);
        const QImage sourcePixels =
            static_cast<const OMBitmapImageRep&>(*source.representations().front()).bitmap();
        for (int rule :
             {OMSlicedImageRuleStretch, OMSlicedImageRuleTileCentered, OMSlicedImageRuleTileFit}) {
            const auto sliced = OMSlicedImageWithInsets(source, {4, 4, 4, 4}, rule);
            for (QSize size : {QSize(12, 12), QSize(30, 20), QSize(41, 33)}) {
                SCOPED_TRACE(::testing::Message() << scale << "x, rule " << rule << ", "
                                                  << size.width() << " by " << size.height());
                const QImage canvas = paintCanvas(
                    size.width(), size.height(), scale,
                    [&](QPainter& painter) { sliced->draw(painter, QRectF(QPointF(), size)); });
                const int corner = static_cast<int>(4 * scale),
                          source12 = static_cast<int>(12 * scale);
                const int right = canvas.width() - corner, bottom = canvas.height() - corner;
                for (int y = 0; y < corner; ++y) {
                    for (int x = 0; x < corner; ++x) {
                        ASSERT_EQ(canvas.pixel(x, y), sourcePixels.pixel(x, y));
                        ASSERT_EQ(canvas.pixel(right + x, y),
                                  sourcePixels.pixel(source12 - corner + x, y));
                        ASSERT_EQ(canvas.pixel(x, bottom + y),
                                  sourcePixels.pixel(x, source12 - corner + y));
                        ASSERT_EQ(canvas.pixel(right + x, bottom + y),
                                  sourcePixels.pixel(source12 - corner + x, source12 - corner + y));
                    }
                }
            }
        }
    }
}

TEST(OMSlicedImageRep, CentredTilesRepeatTheMiddleAtItsNaturalSize) {
    // Middle slices of 4 points in a 24-point middle cell: 7 tiles starting
    // at -2, so the cell begins with the last two columns of the slice.
    const OMImage source = patternImage(12, 1);
    const auto sliced = OMSlicedImageWithInsets(source, {4, 4, 4, 4});
    const QImage canvas = paintCanvas(
        32, 12, 1, [&](QPainter& painter) { sliced->draw(painter, QRectF(0, 0, 32, 12)); });
    const QImage& pixels =
        static_cast<const OMBitmapImageRep&>(*source.representations().front()).bitmap();
    for (int x = 0; x < 24; ++x)
        EXPECT_EQ(canvas.pixel(4 + x, 1), pixels.pixel(4 + (x + 2) % 4, 1)) << "column " << x;
}

// Where the point `at` of an axis `length` long shows the source, whose
// axis is `sourceLength` long with the insets `start` and `end`: the
// source point, or none where no tile lies. The vertical axis is counted
// from the bottom edge, where its tiling starts.
std::optional<int> sourcePointAlong(int at, int length, int sourceLength, int start, int end,
                                    int rule) {
    if (at < start) return at;
    if (at >= length - end) return sourceLength - end + (at - (length - end));
    const int natural = sourceLength - start - end;
    const OMSliceTiling tiling = OMSliceTilingForRule(rule, length - start - end, natural);
    const double offset = at - start - tiling.start;
    const int tile = static_cast<int>(std::floor(offset / tiling.length));
    if (tile >= tiling.count) return std::nullopt;
    return start + static_cast<int>(offset - tile * tiling.length);
}

// Insets that differ on every side, and a middle whose centred tiles
// overflow by an odd amount vertically: each slice comes from its own side
// of the source, and the vertical tiling starts at the bottom edge.
TEST(OMSlicedImageRep, EachSideKeepsItsOwnInsetAndTilesFromTheBottom) {
    const OMEdgeInsets insets{2, 3, 4, 5};  // top, left, bottom, right
    const int side = 12, width = 32, height = 27;
    for (double scale : {1.0, 2.0}) {
        const OMImage source = patternImage(side, scale);
        const QImage pixels =
            static_cast<const OMBitmapImageRep&>(*source.representations().front()).bitmap();
        for (int rule : {int(OMSlicedImageRuleTileCentered), 3}) {
            SCOPED_TRACE(::testing::Message() << scale << "x, rule " << rule);
            const auto sliced = OMSlicedImageWithInsets(source, insets, rule);
            const QImage canvas = paintCanvas(width, height, scale, [&](QPainter& painter) {
                sliced->draw(painter, QRectF(0, 0, width, height));
            });
            const int s = static_cast<int>(scale);
            for (int y = 0; y < canvas.height(); ++y) {
                for (int x = 0; x < canvas.width(); ++x) {
                    const auto column = sourcePointAlong(x / s, width, side, 3, 5, rule);
                    const auto rowFromBottom =
                        sourcePointAlong(height - 1 - y / s, height, side, 4, 2, rule);
                    const QRgb expected =
                        column && rowFromBottom
                            ? pixels.pixel(*column * s + x % s,
                                           (side - 1 - *rowFromBottom) * s + y % s)
                            : 0u;
                    ASSERT_EQ(canvas.pixel(x, y), expected) << "pixel " << x << ", " << y;
                }
            }
        }
    }
}

// Drawn with an operation, the image acts as a whole: destination-out cuts
// its shape out of what lies below, at its full width and with its
// fraction.
TEST(OMSlicedImageRep, DrawsWithTheOperationAndFractionItIsGiven) {
    QImage opaque(12, 12, QImage::Format_ARGB32_Premultiplied);
    opaque.fill(Qt::black);
    const auto sliced = OMSlicedImageWithInsets(OMImage::fromBitmap(opaque), {4, 4, 4, 4});
    for (double fraction : {1.0, 0.5}) {
        SCOPED_TRACE(fraction);
        const QImage canvas = paintCanvas(40, 20, 1, [&](QPainter& painter) {
            painter.fillRect(QRectF(0, 0, 40, 20), Qt::red);
            sliced->draw(painter, QRectF(5, 2, 30, 16), QRectF(),
                         QPainter::CompositionMode_DestinationOut, fraction);
        });
        const int cut = fraction == 1.0 ? 0 : 128;
        for (QPoint inside : {QPoint(5, 2), QPoint(20, 10), QPoint(34, 17)})
            EXPECT_NEAR(alphaAt(canvas, inside.x(), inside.y()), cut, 1)
                << inside.x() << ", " << inside.y();
        for (QPoint outside : {QPoint(4, 10), QPoint(35, 10), QPoint(20, 1), QPoint(20, 18)})
            EXPECT_EQ(canvas.pixel(outside), qRgb(255, 0, 0)) << outside.x() << ", " << outside.y();
    }
}

TEST(OMSlicedImageRep, EmptyInsetsLeaveEmptyEdges) {
    // No left and right insets: no side slices, and the middle column takes
    // the whole width.
    const OMImage source = patternImage(12, 1);
    const OMSlicedImageRep rep(source, {4, 0, 4, 0}, OMSlicedImageRuleStretch,
                               OMSlicedImageRuleStretch);
    EXPECT_EQ(rep.slice(OMSlicedImageRep::TopLeft), nullptr);
    EXPECT_EQ(rep.slice(OMSlicedImageRep::MiddleRight), nullptr);
    ASSERT_NE(rep.slice(OMSlicedImageRep::Center), nullptr);
    EXPECT_EQ(rep.slice(OMSlicedImageRep::Center)->size(), QSizeF(12, 4));
}

TEST(OMImageContext, BeginReportsFailureAndContextsNestPerThread) {
    EXPECT_EQ(OMBeginImageContext(0, 10), nullptr);
    EXPECT_EQ(OMCurrentImageContext(), nullptr);
    EXPECT_TRUE(OMCreateImageFromImageContext().isNull());

    QPainter* outer = OMBeginImageContextWithOptions(false, true, 100, 50, 2);
    ASSERT_NE(outer, nullptr);
    // Unflipped: y grows upwards from the bottom edge.
    QPainter* inner = OMBeginImageContextWithOptions(false, false, 3, 2, 1);
    ASSERT_NE(inner, nullptr);
    inner->fillRect(QRectF(0, 0, 1, 1), Qt::red);
    const QImage innerPixels = OMCreateImageFromImageContext();
    EXPECT_EQ(innerPixels.size(), QSize(3, 2));
    EXPECT_EQ(innerPixels.pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(innerPixels.pixel(0, 0)), 0);

    std::thread([] { EXPECT_EQ(OMCurrentImageContext(), nullptr); }).join();

    OMEndImageContext();
    EXPECT_EQ(OMCurrentImageContext(), outer);
    const auto image = OMImageFromImageContext();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSizeF(100, 50));
    EXPECT_EQ(image->representations().front()->pixelScale(), 2.0);
    OMEndImageContext();
    EXPECT_EQ(OMCurrentImageContext(), nullptr);
}

}  // namespace

namespace {

TEST(OMImage, NamedImagesGatherTheirDensitiesAndDrawTheOneThatSuits) {
    // The main bundle is chosen on its first use, which is this one.
    lf::test::TemporaryDirectory resources;
    ASSERT_EQ(setenv(lf::Bundle::kResourceDirectoryVariable, resources.path().c_str(), 1), 0);
    for (auto [file, pixels] : {std::pair{"Logo.png", 10}, std::pair{"Logo@2x.png", 20}}) {
        QImage bitmap(pixels, pixels, QImage::Format_ARGB32);
        bitmap.fill(Qt::red);
        ASSERT_TRUE(bitmap.save(QString::fromStdString((resources / file).string())));
    }
    const auto logo = OMImage::named("Logo");
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(OMImage::named("Logo"), logo);
    EXPECT_EQ(OMImage::named("Missing"), nullptr);
    EXPECT_EQ(logo->size(), QSizeF(10, 10));
    struct Case {
        double deviceScale, density;
    };
    for (Case c : {Case{1, 1}, Case{1.5, 2}, Case{2, 2}, Case{3, 2}})
        EXPECT_EQ(logo->bestRepresentation(c.deviceScale)->pixelScale(), c.density)
            << c.deviceScale;
}

}  // namespace
