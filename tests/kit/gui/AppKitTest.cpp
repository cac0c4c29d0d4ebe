#include "kit/gui/OMAnimationDuration.h"
#include "kit/gui/OMAppKitView.h"
#include "kit/gui/OMAppKitWindow.h"
#include "kit/gui/OMCursor.h"
#include "kit/gui/OMDrawing.h"
#include "kit/gui/OMGradient.h"
#include "kit/gui/OMPopover.h"
#include "kit/gui/OMRestorableState.h"
#include "kit/gui/OMSheet.h"
#include "platform/dispatch/MainQueue.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace {

TEST(OMAnimationDuration, ShiftSlowsAnimationsStartedByALeftClick) {
    struct Case {
        QEvent::Type type;
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        double expected;
    };
    const Case cases[] = {
        {QEvent::MouseButtonPress, Qt::LeftButton, Qt::ShiftModifier, 5.0},
        {QEvent::MouseButtonRelease, Qt::LeftButton, Qt::ShiftModifier | Qt::AltModifier, 5.0},
        {QEvent::MouseButtonPress, Qt::LeftButton, Qt::NoModifier, 1.0},
        {QEvent::MouseButtonPress, Qt::RightButton, Qt::ShiftModifier, 1.0},
        {QEvent::MouseMove, Qt::NoButton, Qt::ShiftModifier, 1.0},
    };
    for (const Case& c : cases) {
        const QMouseEvent event(c.type, QPointF(1, 1), QPointF(1, 1), c.button, c.button,
                                c.modifiers);
        EXPECT_EQ(OMAnimationDurationForEvent(&event, 1.0), c.expected) << c.type;
    }
    const QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(OMAnimationDurationForEvent(&key, 1.0), 1.0);
}

TEST(OMAnimationDuration, WithoutAnEventReadsTheEventBeingHandled) {
    QWidget widget;
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                      Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(&widget, &press);
    EXPECT_EQ(OMAnimationDurationForEvent(nullptr, 0.2), 1.0);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
    QApplication::sendEvent(&widget, &key);
    EXPECT_EQ(OMAnimationDurationForEvent(nullptr, 0.2), 0.2);
}

// A widget that counts how often the kit asks it.
class AppearanceView : public QWidget, public OMAppKitView {
public:
    AppearanceView(QWidget* parent, bool answer) : QWidget(parent), answer_(answer) {}
    bool needsDisplayForChangedWindowAppearance() override {
        ++asked;
        return answer_;
    }
    int asked = 0;

private:
    bool answer_;
};

TEST(OMApplicationHooks, ActivationChangesReachTheViewsThatAskForThem) {
    QWidget window;
    auto* plain = new QWidget(&window);
    auto* redrawn = new AppearanceView(plain, true);
    auto* below = new AppearanceView(redrawn, true);  // not visited below a redrawn view
    auto* declining = new AppearanceView(&window, false);
    QEvent change(QEvent::ActivationChange);
    QApplication::sendEvent(&window, &change);
    QApplication::sendEvent(plain, &change);  // not a window: no walk of its own
    EXPECT_EQ(redrawn->asked, 1);
    EXPECT_EQ(below->asked, 0);
    EXPECT_EQ(declining->asked, 1);
}

TEST(OMApplicationHooks, TheEventLoopDrainsTheMainQueue) {
    bool ran = false;
    lf::MainQueue::shared()->async([&] { ran = true; });
    for (int i = 0; i < 10 && !ran; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}

class ToolbarWindow : public QWidget {};

class AppKitWindow : public QWidget, public OMAppKitWindow {
public:
    bool hasActiveAppearance() const override {
        return forcedActive || OMAppKitWindow::hasActiveAppearance();
    }
    bool forcedActive = false;
};

TEST(OMAppKitWindow, ActiveAppearanceComesFromTheWindowOrTheRegisteredClass) {
    AppKitWindow window;
    QWidget plain;
    EXPECT_FALSE(OMWindowHasActiveAppearance(&window));
    window.forcedActive = true;
    EXPECT_TRUE(OMWindowHasActiveAppearance(&window));
    EXPECT_FALSE(OMWindowHasActiveAppearance(&plain));
    OMAppKitWindow::setFullScreenToolbarWindowClassWithActiveAppearance(&QWidget::staticMetaObject);
    EXPECT_TRUE(OMWindowHasActiveAppearance(&plain));
    OMAppKitWindow::setFullScreenToolbarWindowClassWithActiveAppearance(nullptr);
    EXPECT_FALSE(OMWindowHasActiveAppearance(&plain));
}

TEST(OMCursor, ALockKeepsTheCursorUntilBalanced) {
    QWidget view;
    OMLockCursor();
    OMSetCursor(view, Qt::IBeamCursor);
    EXPECT_EQ(view.cursor().shape(), Qt::ArrowCursor);
    OMUnlockCursor();
    OMSetCursor(view, Qt::IBeamCursor);
    EXPECT_EQ(view.cursor().shape(), Qt::IBeamCursor);
    // Taking the view's cursor away waits for the lock as well.
    OMLockCursor();
    OMUnsetCursor(view);
    EXPECT_EQ(view.cursor().shape(), Qt::IBeamCursor);
    OMUnlockCursor();
    OMUnsetCursor(view);
    EXPECT_EQ(view.cursor().shape(), Qt::ArrowCursor);
    OMUnlockCursor();  // unbalanced: still unlocked
    EXPECT_FALSE(OMIsCursorLocked());
    OMLockCursor();
    EXPECT_FALSE(OMIsCursorLocked());
    OMLockCursor();
    EXPECT_TRUE(OMIsCursorLocked());
    OMUnlockCursor();
    OMUnlockCursor();
}

TEST(OMCursor, ThePictureMakesRoomForTheShadowAndMovesTheHotSpot) {
    // 16-point image, blur 1.8 and offset (0, -1): 20 by 21 points, the
    // image 1.8 from the left and 2.8 from the bottom.
    const OMCursorGeometry geometry =
        OMCursorGeometryForImage(QSizeF(16, 16), QPointF(3, 4), OMStandardCursorShadow());
    EXPECT_EQ(geometry.size, QSizeF(20, 21));
    EXPECT_DOUBLE_EQ(geometry.imageOrigin.x(), 1.8);
    EXPECT_DOUBLE_EQ(geometry.imageOrigin.y(), 21 - 2.8 - 16);
    EXPECT_EQ(geometry.hotSpot, QPoint(5, 21 - (3 + 16 - 4)));
}

TEST(OMDrawing, OutlinedStrokesKeepCapsAndTurnLongMitersIntoBevels) {
    QPainterPath line;
    line.moveTo(0, 0);
    line.lineTo(10, 0);
    EXPECT_TRUE(OMBezierPathByOutliningStroke(line, 2, Qt::SquareCap).contains(QPointF(-0.9, 0)));
    EXPECT_FALSE(OMBezierPathByOutliningStroke(line, 2, Qt::FlatCap).contains(QPointF(-0.5, 0)));
    EXPECT_FALSE(OMBezierPathByOutliningStroke(line, 2, Qt::FlatCap).contains(QPointF(5, 1.5)));

    // A 10-degree spike: its miter would reach about 11.5 widths out.
    QPainterPath spike;
    spike.moveTo(0, 0);
    spike.lineTo(100, 0);
    spike.lineTo(0, 100 * std::tan(10 * M_PI / 180));
    const QPainterPath outline = OMBezierPathByOutliningStroke(spike, 2);
    EXPECT_LT(outline.boundingRect().right(), 103);
}

TEST(OMGradient, EndsLieOnTheRectanglesOutermostCorners) {
    const QRectF rect(0, 0, 40, 20);
    struct Case {
        double angle;
        QPointF from, to;
    };
    const Case cases[] = {
        {0, {0, 10}, {40, 10}}, {90, {20, 20}, {20, 0}}, {180, {40, 10}, {0, 10}}};
    for (const Case& c : cases) {
        const auto [from, to] = OMGradient::endPointsInRect(rect, c.angle);
        EXPECT_NEAR(from.x(), c.from.x(), 1e-9) << c.angle;
        EXPECT_NEAR(from.y(), c.from.y(), 1e-9) << c.angle;
        EXPECT_NEAR(to.x(), c.to.x(), 1e-9) << c.angle;
        EXPECT_NEAR(to.y(), c.to.y(), 1e-9) << c.angle;
    }
}

TEST(OMSheet, TheHandlerHearsTheResultOnce) {
    QWidget window;
    QDialog sheet;
    std::vector<int> results;
    OMBeginSheetModalForWindow(sheet, &window, [&](int code) { results.push_back(code); });
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.parentWidget(), &window);
    sheet.done(3);
    sheet.open();
    sheet.done(4);
    EXPECT_EQ(results, std::vector<int>{3});
}

TEST(OMPopover, GoesOnThePreferredSideWhenItFitsAndOppositeWhenNot) {
    const QRect screen(0, 0, 1000, 800);
    const QSize size(200, 100);
    EXPECT_EQ(OMPopover::placement(QRect(400, 300, 100, 20), size, Qt::BottomEdge, screen),
              QPoint(350, 320));
    EXPECT_EQ(OMPopover::placement(QRect(400, 750, 100, 20), size, Qt::BottomEdge, screen),
              QPoint(350, 650));
    EXPECT_EQ(OMPopover::placement(QRect(0, 300, 20, 20), size, Qt::TopEdge, screen),
              QPoint(0, 200));
}

TEST(OMPopover, ClosingIsReported) {
    QWidget anchor;
    anchor.resize(100, 100);
    OMPopover popover;
    popover.setContentSize(QSize(50, 40));
    popover.setContentWidget(new QWidget);
    bool closed = false;
    popover.setDidCloseHandler([&] { closed = true; });
    popover.showRelativeToRect(QRectF(10, 10, 20, 20), &anchor, Qt::BottomEdge);
    EXPECT_TRUE(popover.isShown());
    popover.close();
    EXPECT_TRUE(closed);
}

class Restorable : public OMRestorableState {
public:
    void encodeRestorableState(nlohmann::json& coder) const override {
        if (!name.empty()) coder["name"] = name;
    }
    void restoreState(const nlohmann::json& coder) override { name = coder.value("name", ""); }
    std::string name;
};

TEST(OMRestorableState, RoundTripsAndIgnoresWhatItCannotRead) {
    Restorable source, restored;
    EXPECT_FALSE(source.dataByEncodingRestorableState());
    source.name = "flow";
    const auto data = source.dataByEncodingRestorableState();
    ASSERT_TRUE(data);
    restored.restoreStateWithData(*data);
    EXPECT_EQ(restored.name, "flow");
    restored.restoreStateWithData(lf::Data::fromString("{not json"));
    restored.restoreStateWithData(lf::Data());
    EXPECT_EQ(restored.name, "flow");
}

}  // namespace
