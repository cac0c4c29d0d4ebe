#include "UiTestSupport.h"
#include "ui/window/QFColorControls.h"
#include "ui/window/QFColorDerivation.h"
#include "ui/window/QFStyleMask.h"
#include "ui/window/QFWindowStyle.h"

#include <gtest/gtest.h>

namespace {

void expectColor(const QColor& actual, int red, int green, int blue, int tolerance = 1) {
    EXPECT_NEAR(actual.red(), red, tolerance);
    EXPECT_NEAR(actual.green(), green, tolerance);
    EXPECT_NEAR(actual.blue(), blue, tolerance);
}

// Every chrome colour follows the average colour of the texture: the
// inactive one is the texture greyed and brightened (saturation 0.5,
// brightness + 0.12), the title bar's middle is the sheen dodged over it.
TEST(QFWindowStyle, ColoursDeriveFromTheBackgroundsAverage) {
    lf::test::ScopedResources resources;
    resources.background(QColor(100, 150, 200));
    resources.install();

    expectColor(QFWindowStyle::windowBackgroundColorWhenActive(true), 100, 150, 200, 0);
    // grey = 0.2125 r + 0.7154 g + 0.0721 b = 0.5607; c = grey + (c - grey) / 2 + 0.12.
    expectColor(QFWindowStyle::windowBackgroundColorWhenActive(false), 152, 177, 202);
    // Colour dodge with the sheen's middle, white 0.07: c / 0.93.
    expectColor(QFWindowStyle::windowTitleSubpixelBackgroundColorWithMask(QFStyleMaskActive), 108,
                161, 215);
    // Inactive: white 0.05 over the inactive colour.
    expectColor(QFWindowStyle::windowTitleSubpixelBackgroundColorWithMask(0), 160, 186, 213);

    QSizeF tile;
    ASSERT_TRUE(QFWindowStyle::windowBackgroundWhenActive(false, &tile));
    EXPECT_EQ(tile, QSizeF(512, 512));
}

// The recipes multiply saturation and brightness and move the hue: the hue
// wraps past red and the products stay within 0...1.
TEST(QFWindowStyle, DerivedColoursWrapTheHueAndClampSaturation) {
    lf::test::ScopedResources resources;
    const QColor base = QColor::fromHsvF(0.99f, 0.4f, 0.8f);
    resources.background(base);
    resources.install();
    const QFHSB measured = QFHSBOfColor(QFWindowStyle::windowBackgroundColorWhenActive(true));

    const QColor drop = QFWindowStyle::windowDropIndicatorColorWhenActive(true);
    EXPECT_NEAR(drop.hsvHueF(), measured.hue + 0.019 - 1, 0.003);
    EXPECT_FLOAT_EQ(drop.hsvSaturationF(), 1.0f);  // 5.5 x 0.4
    EXPECT_NEAR(drop.valueF(), 0.7 * measured.brightness, 0.003);
    EXPECT_NEAR(drop.alphaF(), 0.5, 0.003);

    const auto title = QFWindowStyle::windowTitleEffectWithMask(QFStyleMaskActive);
    ASSERT_TRUE(title.fillColor());
    EXPECT_FLOAT_EQ(title.fillColor()->hsvSaturationF(), 1.0f);
    EXPECT_LT(title.fillColor()->hsvHueF(), 0.05);

    EXPECT_EQ(QFColorWithHSB(2.25, -1, 7, 2), QColor::fromHsvF(0.25f, 0, 1, 1));
}

// The glyph recipe: pressed wins over the pointer inside; the label text of
// an inactive window is grey.
TEST(QFWindowStyle, RecipesFollowTheStyleMask) {
    lf::test::ScopedResources resources;
    resources.background(QColor(120, 130, 140));
    resources.install();
    auto fillAlpha = [](unsigned mask) {
        return QFWindowStyle::windowButtonGlyphEffectWithMask(mask).fillColor()->alphaF();
    };
    EXPECT_NEAR(fillAlpha(QFStyleMaskActive), 0.25, 0.003);
    EXPECT_NEAR(fillAlpha(QFStyleMaskActive | QFStyleMaskMouseInside), 0.3, 0.003);
    EXPECT_NEAR(fillAlpha(QFStyleMaskMouseInside | QFStyleMaskHighlighted), 0.66, 0.003);
    EXPECT_EQ(QFWindowStyle::windowButtonGlyphEffectWithMask(QFStyleMaskHighlighted)
                  .shadows()
                  .front()
                  .blurRadius,
              5);

    const QColor label = *QFWindowStyle::labelTextEffectWithMask(0).fillColor();
    expectColor(label, 78, 78, 78, 0);
    EXPECT_NEAR(label.alphaF(), 0.7, 0.003);
    EXPECT_EQ(QFWindowStyle::buttonEffectWithMask(QFStyleMaskHighlighted).innerShadows().size(),
              3u);
}

// A texture that is not 32-bit RGBA gives no average: the chrome takes the
// fallback colour, as it does without any texture.
TEST(QFWindowStyle, ATextureWithoutFourSamplesFallsBack) {
    {
        lf::test::ScopedResources resources;
        resources.background(QColor(90, 90, 90), QImage::Format_Grayscale8);
        resources.install();
        EXPECT_EQ(QFWindowStyle::windowBackgroundColorWhenActive(true),
                  QFWindowStyle::fallbackBackgroundColor());
    }
    lf::test::ScopedResources empty;
    empty.install();
    EXPECT_EQ(QFWindowStyle::windowBackgroundWhenActive(true), nullptr);
    EXPECT_EQ(QFWindowStyle::windowBackgroundColorWhenActive(false),
              QFWindowStyle::fallbackBackgroundColor());
    EXPECT_EQ(QFWindowStyle::windowTitleHeight(), 40);
}

TEST(QFWindowStyle, AverageSumsEachSamplePositionWithIntegerDivision) {
    QImage bitmap(2, 1, QImage::Format_RGBA8888);
    bitmap.setPixelColor(0, 0, QColor(1, 10, 255, 255));
    bitmap.setPixelColor(1, 0, QColor(2, 11, 0, 255));
    const auto average = QFWindowStyle::averageColorOfBitmap(bitmap);
    ASSERT_TRUE(average);
    EXPECT_EQ(average->red(), 1);     // 3 / 2
    EXPECT_EQ(average->green(), 10);  // 21 / 2
    EXPECT_EQ(average->blue(), 127);  // 255 / 2
    EXPECT_FALSE(QFWindowStyle::averageColorOfBitmap(QImage(2, 2, QImage::Format_RGB888)));
    EXPECT_FALSE(QFWindowStyle::averageColorOfBitmap(QImage()));
}

TEST(QFWindowStyle, TitleHeightIsTheLogotypesClampedTo40Through100) {
    EXPECT_EQ(QFWindowStyle::titleHeightForLogotypeHeight(12), 40);
    EXPECT_EQ(QFWindowStyle::titleHeightForLogotypeHeight(64), 64);
    EXPECT_EQ(QFWindowStyle::titleHeightForLogotypeHeight(180), 100);
}

// Sizes are pixels; a missing family falls through the list.
TEST(QFWindowStyle, FontsFallBackAlongTheirNames) {
    EXPECT_FALSE(QFWindowStyle::fontOfSize(14, {"No Such Family", "Nor This"}));
    const auto dejaVu = QFWindowStyle::fontOfSize(14, {"No Such Family", "DejaVu Sans"});
    ASSERT_TRUE(dejaVu);
    EXPECT_EQ(dejaVu->family(), "DejaVu Sans");
    EXPECT_EQ(dejaVu->pixelSize(), 14);
    EXPECT_EQ(QFWindowStyle::systemFontOfSize(14).pixelSize(), 14);
    EXPECT_EQ(QFWindowStyle::boldSystemFontOfSize(13).weight(), QFont::Bold);
    EXPECT_EQ(QFWindowStyle::windowTitleAttributes().pixelSize(), 13);
}

// Saturation, brightness and contrast on straight colour; alpha is kept.
TEST(QFColorControls, ChangeColourAndKeepAlpha) {
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 0, 128));
    const QImage grey = QFApplyColorControls(image, {0.0, 0.0, 1.0});
    const QColor g = grey.pixelColor(0, 0);
    expectColor(g, 54, 54, 54);  // 0.2125 x 255
    EXPECT_NEAR(g.alpha(), 128, 1);
    const QColor bright = QFApplyColorControls(image, {1.0, 0.12, 1.0}).pixelColor(0, 0);
    expectColor(bright, 255, 31, 31);
    const QColor flat = QFApplyColorControls(image, {1.0, 0.0, 0.0}).pixelColor(0, 0);
    expectColor(flat, 128, 128, 128);
}

}  // namespace
