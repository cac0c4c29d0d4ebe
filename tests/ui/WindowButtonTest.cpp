#include "UiTestSupport.h"
#include "kit/gui/OMFrameLoop.h"
#include "ui/window/QFWindowButton.h"
#include "ui/window/QFWindowLabel.h"
#include "ui/window/QFWindowStyle.h"

#include <QDialog>
#include <gtest/gtest.h>

namespace {

struct LoopingButton {
    lf::test::FakeClock clock;
    QFWindowButton button;

    LoopingButton() {
        button.setAnimationClock(clock.function());
        button.setImageWithSize(QSizeF(16, 16), [](QPainter&, double, const QRectF&) {});
    }
    double at(double seconds) {
        clock.advance(seconds);
        OMRunAnimationFrame();
        return button.animationProgress();
    }
};

// The loop's phase follows the clock over a 3.5-second period; suspended
// time does not count, and nested suspensions need as many resumptions.
TEST(QFWindowButton, LoopAnimationSuspendsAndResumes) {
    LoopingButton loop;
    loop.button.startAnimation();
    EXPECT_TRUE(loop.button.isAnimationRunning());
    EXPECT_NEAR(loop.at(0.7), 0.2, 1e-9);

    loop.button.suspendAnimation();
    loop.button.suspendAnimation();
    EXPECT_NEAR(loop.at(1.0), 0.2, 1e-9);
    loop.button.resumeAnimation();
    EXPECT_NEAR(loop.at(1.0), 0.2, 1e-9);  // still suspended once
    loop.button.resumeAnimation();
    EXPECT_NEAR(loop.at(0.35), 0.3, 1e-9);
    EXPECT_NEAR(loop.at(3.5), 0.3, 1e-9);  // one whole period later
    loop.button.resumeAnimation();         // unbalanced: no effect
    EXPECT_NEAR(loop.at(0.35), 0.4, 1e-9);
}

// Stopping runs the rest of the loop faster and rests at 0; starting while
// it ends goes on from where it stands, without a jump.
TEST(QFWindowButton, StoppingHurriesToRestAndRestartingContinues) {
    LoopingButton loop;
    loop.button.startAnimation();
    EXPECT_NEAR(loop.at(1.75), 0.5, 1e-9);
    loop.button.stopAnimation();
    EXPECT_TRUE(loop.button.isAnimationEnding());
    const double hurried = loop.at(0.1);  // t + 3.5 x 0.1 more
    EXPECT_NEAR(hurried, (1.85 + 0.35) / 3.5, 1e-9);

    loop.button.startAnimation();  // continues from the current phase
    EXPECT_FALSE(loop.button.isAnimationEnding());
    EXPECT_NEAR(loop.at(0.35), hurried + 0.1, 1e-9);

    loop.button.stopAnimation();
    loop.at(0.2);
    loop.at(0.2);
    EXPECT_EQ(loop.button.animationProgress(), 0.0);
    EXPECT_FALSE(loop.button.isAnimationRunning());
    EXPECT_EQ(loop.at(1.0), 0.0);  // the old frame callback has ended
}

// Image and title side by side with a gap of 3, plus the padding.
TEST(QFWindowButton, IntrinsicSizeIsImageBesideTitlePlusPadding) {
    QFWindowButton button;
    auto image = std::make_shared<OMImage>(QSizeF(16, 12));
    button.setImage(image);
    button.setPadding({1, 2, 3, 4});
    EXPECT_EQ(button.intrinsicContentSize(), QSizeF(22, 16));
    button.setTitle("Recents");
    const QSizeF withTitle = button.intrinsicContentSize();
    const QFontMetricsF metrics(QFWindowStyle::buttonTitleAttributes());
    EXPECT_EQ(withTitle.width(), 22 + std::ceil(metrics.horizontalAdvance("Recents")) + 3);
    button.setTitle("");
    EXPECT_EQ(button.intrinsicContentSize(), QSizeF(22, 16));
    // The glyph's shadow room never counts towards alignment; a bordered
    // body has 2 points all round.
    EXPECT_EQ(button.alignmentRectInsets().top, 7);
    EXPECT_EQ(button.alignmentRectInsets().right, 7);
    button.setBordered(true);
    EXPECT_EQ(button.alignmentRectInsets().left, 2);
}

// Hovering reports through the handler, but not while the window shows a
// sheet.
TEST(QFWindowButton, HoverIsIgnoredWhileASheetShows) {
    QWidget window;
    auto* button = new QFWindowButton(&window);
    std::vector<bool> reports;
    button->setMouseInsideHandler([&](bool inside) { reports.push_back(inside); });
    window.show();
    button->mouseEntered();
    button->mouseEntered();
    button->mouseExited();
    EXPECT_EQ(reports, (std::vector<bool>{true, false}));

    QDialog sheet(&window);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.show();
    button->mouseEntered();
    EXPECT_FALSE(button->isMouseInside());
    EXPECT_EQ(reports.size(), 2u);
    sheet.hide();
}

// The product's name in any case, an empty text or none show the logotype.
TEST(QFWindowLabel, TheProductsNameShowsTheLogotype) {
    lf::test::ScopedResources resources;
    resources.logotype(40).file("Info.json", R"({"CFBundleName": "layerflow"})");
    resources.install();
    QFWindowLabel label;
    for (const std::optional<QString>& text :
         {std::optional<QString>("LayerFlow"), std::optional<QString>(""),
          std::optional<QString>()}) {
        label.setText(QString("Other"));
        label.setText(text);
        EXPECT_TRUE(label.textRepresentsLogotype());
        EXPECT_EQ(label.intrinsicContentSize(), QSizeF(62, 40));
    }
    label.setText(QString("Holiday icons"));
    EXPECT_FALSE(label.textRepresentsLogotype());
    EXPECT_EQ(label.text(), "Holiday icons");
    EXPECT_EQ(label.intrinsicContentSize().height(), 40);
}

}  // namespace
