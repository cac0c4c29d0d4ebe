// Windows open inside the screen's available area, which the panel along
// the screen's bottom edge makes smaller than the screen: the preview panel
// over the flow window it previews, moved up or aside as far as a window
// low on the screen or at its side needs, and the boolean-operation
// debugger's window in the middle of the area.

#include "IconViewTestSupport.h"
#include "PlacementTestSupport.h"
#include "ScreenTestSupport.h"
#include "WindowManager.h"
#include "debugger/QFBooleanDebuggerWindow.h"
#include "kit/gui/OMWindowPlacement.h"
#include "ui/iconview/QFPreviewPanel.h"

#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

QRect availableArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

TEST(WindowPlacement, TheScreenIsTheOneAskedLessThePanel) {
    LF_REQUIRE_SCREEN();
    EXPECT_EQ(QGuiApplication::primaryScreen()->geometry(), lf::test::kPlacementScreen);
    EXPECT_EQ(availableArea(),
              lf::test::kPlacementScreen.adjusted(0, 0, 0, -lf::test::kPanelHeight));
}

TEST(WindowPlacement, ARectMovesAndShrinksIntoTheArea) {
    const QRect area(0, 30, 1600, 970);
    EXPECT_EQ(OMRectInsideArea(QRect(100, 200, 480, 480), area), QRect(100, 200, 480, 480));
    EXPECT_EQ(OMRectInsideArea(QRect(1400, 800, 480, 480), area), QRect(1120, 520, 480, 480));
    EXPECT_EQ(OMRectInsideArea(QRect(-50, 0, 480, 480), area), QRect(0, 30, 480, 480));
    EXPECT_EQ(OMRectInsideArea(QRect(-50, 900, 2000, 1200), area), area);
    EXPECT_EQ(OMRectInsideArea(QRect(5, 5, 10, 10), QRect()), QRect(5, 5, 10, 10));
}

// Centred over its window while that leaves it inside the area, else moved
// in no further than it must, on every opening.
TEST(WindowPlacement, ThePreviewPanelOpensOverItsWindowInsideTheArea) {
    LF_REQUIRE_SCREEN();
    lf::test::IconViewInScrollView s(QSize(640, 440));
    lf::test::FileDelegate delegate;
    s.view->setDelegate(&delegate);
    s.view->setItems(lf::test::solidItems(2));
    s.view->setSelectedIndexes({0});
    const QRect area = availableArea();
    // Away from the edges; low on the screen, where centred the panel
    // would end below the area (at y 1019), and the screen; at its right
    // side.
    for (const QPoint windowAt : {QPoint(100, 100), QPoint(400, 560), QPoint(1120, 200)}) {
        s.scrollView.move(windowAt);
        s.view->quickLookPreviewItems();
        QFPreviewPanel* panel = s.view->previewPanel();
        ASSERT_TRUE(panel && panel->isVisible());
        const QRect frame = panel->frameGeometry();
        const QPoint over = s.scrollView.frameGeometry().center();
        SCOPED_TRACE(testing::Message()
                     << "over a window at " << windowAt.x() << "," << windowAt.y()
                     << " the panel opens at " << frame.x() << "," << frame.y() << " "
                     << frame.width() << "x" << frame.height());
        EXPECT_TRUE(area.contains(frame));
        EXPECT_EQ(panel->size(), QSize(480, 480));
        // Centred, or at the edge that it would cross.
        if (frame.right() != area.right()) {
            EXPECT_NEAR(frame.center().x(), over.x(), 1);
        }
        if (frame.bottom() != area.bottom()) {
            EXPECT_NEAR(frame.center().y(), over.y(), 1);
        }
        EXPECT_EQ(frame.bottom() == area.bottom(), windowAt.y() == 560);
        EXPECT_EQ(frame.right() == area.right(), windowAt.x() == 1120);
        s.view->quickLookPreviewItems();  // closes it
        EXPECT_FALSE(panel->isVisible());
    }
    s.view->setDelegate(nullptr);
}

TEST(WindowPlacement, TheDebuggerWindowOpensInTheMiddleOfTheArea) {
    LF_REQUIRE_SCREEN();
    QFBooleanDebuggerWindow window;
    // Read from the X server once the manager has framed it: the
    // application may still hold the frame of a moment while it did.
    ASSERT_TRUE(lf::test::showAndWaitForExposure(window));
    ASSERT_TRUE(lf::test::WindowManager::sync());
    lf::test::settle();
    const QRect frame = lf::test::screenRect(window, lf::test::Extent::Framed);
    EXPECT_TRUE(availableArea().contains(frame));
    EXPECT_LE((frame.center() - availableArea().center()).manhattanLength(), 1)
        << "opens at " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
        << frame.height();
    EXPECT_EQ(window.size(), QSize(800, 600));
}

}  // namespace
