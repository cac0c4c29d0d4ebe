#include "UiTestSupport.h"
#include "kit/OMAnimationTimingFunction.h"
#include "kit/gui/OMFrameLoop.h"
#include "ui/widgets/QFSaveCancelButton.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace {

struct Control {
    lf::test::FakeClock clock;
    QWidget window;
    QFSaveCancelButton* button;
    std::vector<std::string> actions;

    Control() : button(new QFSaveCancelButton(&window, clock.function())) {
        button->setPrimaryTitle("Save");
        button->setSecondaryTitle("Cancel");
        button->setGeometry(0, 0, 120, 27);
        button->setPrimaryAction([this] { actions.push_back("save"); });
        button->setSecondaryAction([this] { actions.push_back("cancel"); });
        window.resize(200, 40);
        window.show();
    }
    void send(QEvent::Type type, QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const bool press = type == QEvent::MouseButtonPress;
        QMouseEvent event(type, at, button->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          press ? Qt::LeftButton : Qt::NoButton, modifiers);
        QApplication::sendEvent(button, &event);
    }
    double after(double seconds) {
        clock.advance(seconds);
        OMRunAnimationFrame();
        return button->animationProgress();
    }
};

// Save fills all but a square of the control's height at the right end; as
// it slides out the Cancel part widens to the whole control.
TEST(QFSaveCancelButton, FramesFollowTheSlide) {
    Control c;
    EXPECT_EQ(c.button->primaryButtonFrame(), QRectF(0, 0, 95, 27));
    EXPECT_EQ(c.button->secondaryButtonFrame(), QRectF(95, 0, 25, 27));
    EXPECT_EQ(c.button->secondaryButtonFrameForTrackingArea(), QRectF(93, 0, 27, 27));
    c.button->actuallyHidePrimaryButton();
    c.after(0.35);
    EXPECT_EQ(c.button->primaryButtonFrame(), QRectF(-95, 0, 95, 27));
    EXPECT_EQ(c.button->secondaryButtonFrame(), QRectF(0, 0, 120, 27));

    // The title stays inside the Cancel part, mid-slide as at the end.
    for (double progress : {1.0, 0.9, 0.6}) {
        c.button->setAnimationProgress(progress);
        const QRectF frame = c.button->secondaryButtonFrame();
        const QRectF title = c.button->secondaryTitleRect(frame);
        EXPECT_GE(title.left(), frame.left() + std::floor(27 / 2.0) - 3 - 1) << progress;
        EXPECT_LE(title.right(), frame.right()) << progress;
    }
    const QSizeF size = c.button->intrinsicContentSize();
    EXPECT_EQ(size.height(), 27);
    EXPECT_EQ(size.width(), 54 + 27 + 10);
}

// Resting on the Cancel square hides Save after the delay: 0.35 s, or 2 s
// when the event being handled holds Shift.
TEST(QFSaveCancelButton, SlideTakesLongerWithShift) {
    for (bool shift : {false, true}) {
        SCOPED_TRACE(shift);
        Control c;
        c.send(QEvent::MouseMove, QPointF(110, 10), shift ? Qt::ShiftModifier : Qt::NoModifier);
        EXPECT_TRUE(c.button->isHidePending());
        c.button->actuallyHidePrimaryButton();  // the delay has passed
        EXPECT_TRUE(c.button->isHiding());
        EXPECT_NEAR(c.after(0.35), shift ? 0.35 / 2.0 : 1.0, 1e-9);
        EXPECT_DOUBLE_EQ(c.button->animationDuration(), shift ? 2.0 : 0.35);
    }
}

// Save starts to slide 0.15 s after the pointer came to rest on the Cancel
// square, by the control's own clock; coming back to the square waits the
// whole delay again.
TEST(QFSaveCancelButton, HidesAfterTheDelayByItsClock) {
    Control c;
    c.send(QEvent::MouseMove, QPointF(110, 10));
    c.after(0.149);
    EXPECT_TRUE(c.button->isHidePending());
    EXPECT_FALSE(c.button->isHiding());
    c.after(0.001);
    EXPECT_FALSE(c.button->isHidePending());
    EXPECT_TRUE(c.button->isHiding());

    Control again;
    again.send(QEvent::MouseMove, QPointF(110, 10));
    again.after(0.1);
    again.send(QEvent::MouseMove, QPointF(40, 10));
    again.send(QEvent::MouseMove, QPointF(110, 10));
    again.after(0.1);  // 0.2 s since the first rest, 0.1 s since this one
    EXPECT_FALSE(again.button->isHiding());
    again.after(0.05);
    EXPECT_TRUE(again.button->isHiding());
}

// Passing over the square for less than the delay leaves Save in place;
// leaving the control slides it back.
TEST(QFSaveCancelButton, PassingOverTheSquareDoesNotHide) {
    Control c;
    c.send(QEvent::MouseMove, QPointF(110, 10));
    c.send(QEvent::MouseMove, QPointF(40, 10));
    EXPECT_FALSE(c.button->isHidePending());
    c.button->actuallyHidePrimaryButton();  // a late timer changes nothing
    EXPECT_EQ(c.after(0.5), 0.0);

    c.send(QEvent::MouseMove, QPointF(110, 10));
    c.button->actuallyHidePrimaryButton();
    EXPECT_EQ(c.after(0.35), 1.0);
    c.button->visibleAreaExited(QPointF(300, 10));
    EXPECT_FALSE(c.button->isHiding());
    EXPECT_EQ(c.after(0.35), 0.0);
}

// A press that begins on Save saves, anywhere else cancels; a click from a
// menu always saves.
TEST(QFSaveCancelButton, PressesChooseTheirAction) {
    Control c;
    c.send(QEvent::MouseButtonPress, QPointF(110, 10));
    c.send(QEvent::MouseButtonRelease, QPointF(110, 10));
    c.send(QEvent::MouseButtonPress, QPointF(20, 10));
    c.send(QEvent::MouseButtonRelease, QPointF(20, 10));
    c.button->click();
    EXPECT_EQ(c.actions, (std::vector<std::string>{"cancel", "save", "save"}));
}

// The slide eases in its own direction and reaches its ends exactly.
TEST(QFSaveCancelButton, SmoothedProgressEasesTowardsTheTarget) {
    const auto& ease = *OMAnimationTimingFunction::defaultTimingFunction();
    EXPECT_EQ(QFSaveCancelButton::smoothedProgress(0.0, true), 0.0);
    EXPECT_EQ(QFSaveCancelButton::smoothedProgress(0.9995, true), 1.0);
    EXPECT_EQ(QFSaveCancelButton::smoothedProgress(0.0005, false), 0.0);
    EXPECT_DOUBLE_EQ(QFSaveCancelButton::smoothedProgress(0.3, true),
                     ease.evaluateWithTime(0.3 * 1.2, 1.2));
    EXPECT_DOUBLE_EQ(QFSaveCancelButton::smoothedProgress(0.3, false),
                     1 - ease.evaluateWithTime(0.7 * 1.2, 1.2));
}

}  // namespace
