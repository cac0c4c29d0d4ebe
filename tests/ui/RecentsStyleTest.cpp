// The recents style and row buttons: the recent-repeat glyph as it turns,
// the dashed circle, the flow button's looks, the group row's height, and
// the badge.

#include "UiTestSupport.h"
#include "ui/recents/QFRecentFlowButton.h"
#include "ui/recents/QFRecentGroupRowView.h"
#include "ui/recents/QFRecentIndicatorButton.h"
#include "ui/recents/QFRecentsStyle.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kGlyphSize = 88;

QImage glyphAt(double progress) {
    QImage image(kGlyphSize, kGlyphSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    QFRecentsStyle::drawingBlockForRecentRepeatTemplate()(
        painter, QRectF(0, 0, kGlyphSize, kGlyphSize), progress);
    return image;
}

// The alpha at `degrees` (counter-clockwise from 3 o'clock, as on a clock
// face seen on screen) and `radius` from the centre.
int alphaAt(const QImage& image, double degrees, double radius) {
    const double angle = degrees * std::numbers::pi / 180;
    const double centre = kGlyphSize / 2;
    return qAlpha(image.pixel(static_cast<int>(centre + radius * std::cos(angle)),
                              static_cast<int>(centre - radius * std::sin(angle))));
}

}  // namespace

// At progress 0 the ring is open between 30 and 90 degrees (upper right),
// the arrowhead sits at the top pointing right and the long hand points to
// 3 o'clock; half a turn later the gap is at the lower left and the long
// hand has gone round once.
TEST(QFRecentsStyle, RecentRepeatGlyphTurnsClockwise) {
    const double ring = std::round(kGlyphSize / 3) - 0.5;  // 28.5
    const QImage start = glyphAt(0);
    EXPECT_EQ(alphaAt(start, 45, ring), 0);     // the gap
    EXPECT_EQ(alphaAt(start, 180, ring), 255);  // the ring
    EXPECT_EQ(alphaAt(start, 270, ring), 255);
    EXPECT_GT(alphaAt(start, 0, ring * 0.5), 200);     // long hand at 3 o'clock
    EXPECT_GT(alphaAt(start, 240, ring * 0.35), 200);  // short hand, lower left
    EXPECT_EQ(alphaAt(start, 135, ring * 0.5), 0);
    // The arrowhead's tip lies right of the top of the ring.
    EXPECT_GT(qAlpha(start.pixel(kGlyphSize / 2 + 12, kGlyphSize / 2 - ring)), 200);

    const QImage half = glyphAt(0.5);
    EXPECT_EQ(alphaAt(half, 225, ring), 0);  // the gap, turned half round
    EXPECT_EQ(alphaAt(half, 60, ring), 255);
    EXPECT_GT(alphaAt(half, 0, ring * 0.5), 200);    // the long hand, once round
    EXPECT_GT(alphaAt(half, 60, ring * 0.35), 200);  // the short hand, half round
    EXPECT_GT(qAlpha(half.pixel(kGlyphSize / 2 - 12, kGlyphSize / 2 + ring)), 200);
}

// Seven dashes and seven gaps round a circle of diameter 11: about 2.47
// points each.
TEST(QFRecentIndicatorButton, DashedCircleHasSevenDashes) {
    EXPECT_NEAR(QFRecentIndicatorButton::dashLengthForWidth(11), 2.468, 1e-3);
    QFRecentIndicatorButton button;
    EXPECT_EQ(button.indicatorType(), QFRecentIndicatorTypeRepeat);
    button.setIndicatorType(QFRecentIndicatorTypeDashedCircle);
    EXPECT_EQ(button.intrinsicContentSize(), QSizeF(19, 19));
    button.setIndicatorType(QFRecentIndicatorTypeHasChanges);
    EXPECT_EQ(button.intrinsicContentSize(), QSizeF(11, 11));
    button.setIndicatorType(QFRecentIndicatorTypeRecentRepeat);
    EXPECT_EQ(button.intrinsicContentSize(), QSizeF(20, 20));

    // Without its image the repeat indicator shows nothing.
    lf::test::ScopedResources bare;
    bare.install();
    button.setIndicatorType(QFRecentIndicatorTypeRepeat);
    EXPECT_EQ(button.intrinsicContentSize(), QSizeF(0, 0));
    EXPECT_FALSE(button.image());
}

// A plain flow button is a grey ring around an empty middle; a smart one,
// or one under the pointer, is filled purple.
TEST(QFRecentFlowButton, SmartStyleFillsTheBody) {
    lf::test::ScopedResources resources;
    resources.install();
    QFRecentFlowButton button;
    auto render = [&](unsigned mask) {
        QImage image(28, 28, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        button.drawInBounds(painter, QRectF(0, 0, 28, 28), mask);
        return image;
    };
    QImage plain = render(3);
    EXPECT_EQ(qAlpha(plain.pixel(14, 14)), 0);
    EXPECT_GT(qAlpha(plain.pixel(1, 14)), 20);  // the ring
    button.setHasSmartFlowStyle(true);
    QImage smart = render(3);
    const QColor middle = smart.pixelColor(14, 14);
    EXPECT_EQ(middle.alpha(), 255);
    EXPECT_GT(middle.blue(), middle.green() + 40);  // purple
    button.setHasSmartFlowStyle(false);
    EXPECT_EQ(render(3 | 4).pixelColor(14, 14).alpha(), 255);
    // Too narrow to draw.
    QImage narrow(4, 28, QImage::Format_ARGB32_Premultiplied);
    narrow.fill(Qt::transparent);
    QPainter painter(&narrow);
    button.drawInBounds(painter, QRectF(0, 0, 4, 28), 3);
    EXPECT_EQ(qAlpha(narrow.pixel(2, 14)), 0);
}

// The group row is as high as its glyph, and takes no room without it.
TEST(QFRecentGroupRowView, HeightIsTheGlyphsOrZero) {
    {
        lf::test::ScopedResources resources;
        resources.install();
        EXPECT_EQ(QFRecentGroupRowView::preferredHeight(), 0);
    }
    lf::test::ScopedResources resources;
    QImage glyph(40, 14, QImage::Format_ARGB32);
    glyph.fill(Qt::black);
    resources.image("RecentsHeaderTemplate", glyph).install();
    EXPECT_EQ(QFRecentGroupRowView::preferredHeight(), 14);
    EXPECT_EQ(QFRecentGroupRowView::glyphRectInBounds(QRectF(0, 0, 240, 15), QSizeF(40, 14)),
              QRectF(100, 0, 40, 14));
}

// The badge's tile is white; the glyph sits purple in it, and its shadow
// falls below the tile.
TEST(QFRecentsStyle, BadgeShowsThePurpleGlyphOnAWhiteTile) {
    auto badge = QFRecentsStyle::badgeIconForRecentRepeatAlert();
    ASSERT_TRUE(badge);
    EXPECT_EQ(badge->size(), QSizeF(128, 128));
    EXPECT_EQ(QFRecentsStyle::badgeIconForRecentRepeatAlert(), badge);  // made once
    QImage image(128, 128, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        badge->draw(painter, QRectF(0, 0, 128, 128));
    }
    EXPECT_GE(image.pixelColor(64, 14).lightness(), 240);  // tile, above the glyph
    const QColor ring = image.pixelColor(64 - 28, 66);     // left of the ring
    EXPECT_GT(ring.blue(), ring.green() + 30);
    EXPECT_GT(qAlpha(image.pixel(64, 122)), 0);  // the shadow under the tile
    EXPECT_EQ(qAlpha(image.pixel(2, 2)), 0);
}
