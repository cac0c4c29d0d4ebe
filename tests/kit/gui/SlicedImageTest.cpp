#include "KitGuiTestSupport.h"
#include "kit/Bundle.h"
#include "kit/gui/OMImageContext.h"
#include "kit/gui/OMSlicedImageRep.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <utility>

namespace {

using lf::test::paintCanvas;

// A source of `points` square at `scale` whose every pixel has a colour of
// its own, so a misplaced or resampled cap pixel shows.
OMImage patternImage(int points, double scale) {
    const int pixels = static_cast<int>(points * scale);
    QImage bitmap(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < pixels; ++y)
        for (int x = 0; x < pixels; ++x)
            bitmap.setPixel(x, y, qRgb(x * 20, y * 20, 100 + x + y));
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
