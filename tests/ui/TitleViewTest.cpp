#include "UiTestSupport.h"
#include "kit/gui/OMFrameLoop.h"
#include "ui/window/QFWindowTitleView.h"
#include "ui/window/QFWindowTitleWrapperView.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace {

struct TitleBar {
    lf::test::FakeClock clock;
    QWidget window;
    QFWindowTitleView* titleView;

    TitleBar() {
        titleView = new QFWindowTitleView(&window, OMAnimator::create(clock.function()));
        titleView->setGeometry(0, 0, 300, 40);
        window.resize(300, 40);
        window.show();
    }
    // Moves the clock and runs one frame.
    void step(double seconds) {
        clock.advance(seconds);
        OMRunAnimationFrame();
    }
};

// A push brings the new title in from below, fading in, while the old one
// shrinks away; when it ends the old wrapper has gone and its view is
// handed back.
TEST(QFWindowTitleView, PushReplacesTheTitleAndHandsTheOldViewBack) {
    TitleBar bar;
    auto* first = new QWidget;
    bar.titleView->setTitleView(first, QFWindowTitleView::AnimationPush);  // nothing to animate
    EXPECT_EQ(bar.titleView->titleView(), first);
    auto* firstWrapper = bar.titleView->currentWrapper();
    EXPECT_EQ(firstWrapper->geometry(), QRect(0, 0, 300, 40));

    QWidget second;
    bar.titleView->setTitleView(&second, QFWindowTitleView::AnimationPush);
    auto* secondWrapper = bar.titleView->currentWrapper();
    EXPECT_EQ(bar.titleView->titleView(), &second);
    EXPECT_EQ(secondWrapper->alphaValue(), 0.0);
    EXPECT_EQ(secondWrapper->animationPushedInProgress(), 0.0);

    bar.step(0.175);
    EXPECT_GT(secondWrapper->alphaValue(), 0.0);
    EXPECT_GT(firstWrapper->animationPushedOutProgress(), 0.0);
    EXPECT_EQ(firstWrapper->parentWidget(), bar.titleView);

    bar.step(0.2);
    EXPECT_EQ(secondWrapper->alphaValue(), 1.0);
    EXPECT_EQ(secondWrapper->animationPushedInProgress(), 1.0);
    EXPECT_EQ(first->parent(), nullptr);
    EXPECT_FALSE(first->isVisible());
    delete first;
}

// Replacing again during the animation takes back the wrapper that still
// holds the view; a pop brings it back shrunk from above.
TEST(QFWindowTitleView, ASecondReplacementReusesTheWrapperStillShowing) {
    TitleBar bar;
    QWidget first, second;
    bar.titleView->setTitleView(&first, QFWindowTitleView::AnimationNone);
    auto* firstWrapper = bar.titleView->currentWrapper();
    bar.titleView->setTitleView(&second, QFWindowTitleView::AnimationPush);
    bar.step(0.1);
    bar.titleView->setTitleView(&first, QFWindowTitleView::AnimationPop);
    EXPECT_EQ(bar.titleView->currentWrapper(), firstWrapper);
    EXPECT_EQ(bar.titleView->titleView(), &first);

    bar.step(0.4);
    EXPECT_EQ(firstWrapper->animationPushedOutProgress(), 0.0);
    EXPECT_EQ(firstWrapper->alphaValue(), 1.0);
    EXPECT_EQ(second.parent(), nullptr);
    EXPECT_EQ(first.parentWidget(), firstWrapper);
}

// Setting the view that shows does nothing; a hidden window switches at
// once.
TEST(QFWindowTitleView, SwitchesAtOnceWhenHiddenOrForTheSameView) {
    TitleBar bar;
    QWidget first, second;
    bar.titleView->setTitleView(&first, QFWindowTitleView::AnimationNone);
    auto* wrapper = bar.titleView->currentWrapper();
    bar.titleView->setTitleView(&first, QFWindowTitleView::AnimationPush);
    EXPECT_EQ(bar.titleView->currentWrapper(), wrapper);
    bar.window.hide();
    bar.titleView->setTitleView(&second, QFWindowTitleView::AnimationPush);
    EXPECT_EQ(first.parent(), nullptr);
    EXPECT_EQ(bar.titleView->currentWrapper()->alphaValue(), 1.0);
}

// The pushed-in title drops by (1 - p) of the height; the pushed-out one
// shrinks about its centre, lifted by (1 - s) x 0.2 of the height.
TEST(QFWindowTitleWrapperView, TransformsMoveAndShrinkAboutTheCentre) {
    const QSizeF size(200, 40);
    EXPECT_TRUE(QFWindowTitleWrapperView::pushedInTransform(0.9995, size).isIdentity());
    EXPECT_EQ(QFWindowTitleWrapperView::pushedInTransform(0.25, size).map(QPointF(10, 0)),
              QPointF(10, 30));
    EXPECT_TRUE(QFWindowTitleWrapperView::pushedOutTransform(0.0005, size).isIdentity());
    const QTransform half = QFWindowTitleWrapperView::pushedOutTransform(0.5, size);
    EXPECT_EQ(half.map(QPointF(100, 20)), QPointF(100, 16));
    EXPECT_EQ(half.map(QPointF(0, 0)), QPointF(50, 6));
    // Never smaller than 2.5 %.
    EXPECT_DOUBLE_EQ(QFWindowTitleWrapperView::pushedOutTransform(1.0, size).m11(), 0.025);
}

}  // namespace
