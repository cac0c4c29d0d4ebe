// The application's windows and tray item on a real X server, with a tray
// host (trayer) running so that the tray is really there: an idle flow
// window, two windows side by side, and the tray item. Checked by sizes
// and probed pixels; each screenshot is also saved for a person to look at.

#include "../AppTestSupport.h"
#include "ScreenTestSupport.h"
#include "flows/QFExportFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/inputs/QFFlowInput.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFExportFlowController.h"
#include "ui/iconview/QFIconView.h"
#include "ui/recents/QFRecentsPopover.h"
#include "ui/shell/QFApplicationFlowHooks.h"
#include "ui/shell/QFApplicationMenu.h"
#include "ui/shell/QFFlowStartController.h"
#include "ui/shell/QFStatusItem.h"
#include "ui/shell/QFStatusItemView.h"
#include "ui/widgets/QFPlaceholderButton.h"
#include "ui/widgets/QFPlaceholderView.h"
#include "ui/widgets/QFSaveCancelButton.h"
#include "ui/widgets/QFSimpleImageView.h"
#include "ui/window/QFWindowStyle.h"

#include <QApplication>
#include <QCursor>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using lf::test::settle;

// How far the pixel is from grey: the spread of its channels.
int colourfulness(QRgb pixel) {
    return std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) -
           std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)});
}

// The darkest grey level within `radius` of `centre`.
int darkest(const QImage& shot, QPoint centre, int radius) {
    int least = 255;
    for (int y = centre.y() - radius; y <= centre.y() + radius; ++y)
        for (int x = centre.x() - radius; x <= centre.x() + radius; ++x)
            least = std::min(least, qGray(shot.pixel(x, y)));
    return least;
}

class AppOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        LF_REQUIRE_SCREEN();
        QFDocumentController::setShared(std::make_shared<QFDocumentController>());
    }
    void TearDown() override {
        for (const auto& document : std::vector(QFDocumentController::shared().orderedDocuments()))
            document->close();
        settle(5);
    }

    // A new idle flow window at `frame`, shown and drawn.
    QFFlowWindowController& openWindow(const QRect& frame) {
        auto document =
            QFDocumentController::shared().openUntitledDocumentAndDisplay(false, nullptr);
        document->makeWindowControllers();
        QFFlowWindowController& controller = *document->windowControllers().front();
        controller.window()->setGeometry(frame);
        controller.showWindow();
        EXPECT_TRUE(lf::test::showAndWaitForExposure(*controller.window()));
        return controller;
    }

    lf::test::ScopedApplication app;
};

TEST_F(AppOnScreen, AnIdleWindowCentresItsPlaceholderBelowTheTitleBar) {
    const QRect frame(100, 80, 600, 420);
    QFFlowWindowController& controller = openWindow(frame);
    ASSERT_EQ(controller.window()->geometry(), frame) << "a window manager moved it";
    QFPlaceholderView& placeholder = *controller.startViewController()->placeholderView();
    placeholder.primaryButton()->setFocus();
    settle(5);
    ASSERT_TRUE(placeholder.primaryButton()->hasFocus());
    const QImage shot = lf::test::takeScreenshot();
    ASSERT_EQ(shot.size(), QSize(800, 600));
    shot.save("app-idle-window.png");

    // The placeholder fills the window below the title bar, and its stack
    // sits in the middle of that.
    const int titlebar = static_cast<int>(QFWindowStyle::windowTitleHeight());
    const QRect placed(placeholder.mapTo(controller.window(), QPoint(0, 0)), placeholder.size());
    EXPECT_EQ(placed, QRect(0, titlebar, frame.width(), frame.height() - titlebar));
    const QFPlaceholderButton& button = *placeholder.primaryButton();
    const QPoint buttonCentre =
        button.mapTo(controller.window(), button.rect().center()) + frame.topLeft();
    EXPECT_NEAR(buttonCentre.x(), frame.center().x(), 1);
    // The button's body is light and grey over the grey-blue texture, with
    // the focus as without it; the focus shows as a blue ring along its
    // edge, not as a fill.
    const QPoint buttonLeft =
        button.mapTo(controller.window(), QPoint(0, button.height() / 2)) + frame.topLeft();
    const QRgb body = shot.pixel(buttonLeft + QPoint(6, 0));
    const QRgb beside = shot.pixel(buttonLeft - QPoint(10, 0));
    EXPECT_LT(colourfulness(body), 20);
    EXPECT_GT(qGray(body), qGray(beside));
    int ring = 0;
    for (int dx = 0; dx < 5; ++dx) {
        const QRgb pixel = shot.pixel(buttonLeft + QPoint(dx, 0));
        ring = std::max(ring, qBlue(pixel) - qRed(pixel));
    }
    EXPECT_GT(ring, 50);
    const QRgb textureLeft = shot.pixel(frame.left() + 40, frame.center().y());
    const QRgb textureRight = shot.pixel(frame.right() - 40, frame.center().y());
    EXPECT_LT(colourfulness(textureLeft), 40);
    EXPECT_NEAR(qGray(textureLeft), qGray(textureRight), 12);
    // The title bar is as high as the style says: the drop placeholder's
    // image starts well below it.
    EXPECT_GT(placeholder.imageView()->mapTo(controller.window(), QPoint(0, 0)).y(), titlebar);
}

// A tagged document handed to an idle window: within 10 s its outputs show
// as tiles, the title bar says how many are ready and offers Save / Cancel.
TEST_F(AppOnScreen, AStartedFlowShowsItsTilesAndSaveCancel) {
    QFFlowInterfaceHooks::install(QFApplicationFlowHooks());
    app.delegate.applicationWillFinishLaunching();
    const QRect frame(60, 40, 680, 480);
    QFFlowWindowController& controller = openWindow(frame);
    ASSERT_TRUE(controller.startFlowWithURLs(
        {std::filesystem::canonical(lf::test::sharedFile("psd-tagged/05-folders.psd")).string()}));
    QFExportFlowController* view = nullptr;
    ASSERT_TRUE(lf::test::settleUntil(
        [&] {
            view = dynamic_cast<QFExportFlowController*>(
                controller.window()->contentViewController().get());
            return view && view->offersSave();
        },
        5))
        << "no outputs";
    settle();
    const QImage shot = lf::test::takeScreenshot();
    ASSERT_FALSE(shot.isNull());
    shot.save("app-started-flow.png");

    EXPECT_EQ(view->iconView()->items().size(), 7u);
    EXPECT_EQ(view->flowTitleLabel()->text(), "7 items ready");
    // Save / Cancel sits in the title bar, and its body is drawn there.
    const QFSaveCancelButton& saveCancel = *view->saveCancelButton();
    ASSERT_TRUE(saveCancel.isVisible());
    const QRect control(saveCancel.mapToGlobal(QPoint(0, 0)), saveCancel.size());
    const int titlebar = static_cast<int>(QFWindowStyle::windowTitleHeight());
    EXPECT_GE(control.top(), frame.top());
    EXPECT_LE(control.bottom(), frame.top() + titlebar);
    int spread = 0;
    for (int x = control.left() + 2; x < control.right() - 2; ++x)
        spread = std::max(spread, 255 - qGray(shot.pixel(x, control.center().y())));
    EXPECT_GT(spread, 60);
    // The tiles' pictures break up the plain background of the icon view:
    // many shades along a row through the first row of tiles.
    const QWidget& icons = *view->iconView();
    const QPoint origin = icons.mapToGlobal(QPoint(0, 0));
    std::set<int> shades;
    for (int y = origin.y() + 20; y < origin.y() + 120; y += 4)
        for (int x = origin.x(); x < origin.x() + std::min(icons.width(), 600); ++x)
            shades.insert(qGray(shot.pixel(x, y)));
    EXPECT_GT(shades.size(), 40u);
    QFFlowInterfaceHooks::install({});
}

TEST_F(AppOnScreen, TheInactiveWindowsButtonsStayGrey) {
    QFFlowWindowController& back = openWindow(QRect(20, 60, 370, 300));
    QFFlowWindowController& front = openWindow(QRect(410, 60, 370, 300));
    front.showWindow();
    settle();
    // The pointer rests on the front window's buttons, which then show
    // their dark glyphs; the back window's stay a light etched grey.
    const QWidget& frontClose =
        *front.window()->standardWindowButton(QFStandardWindowButton::Close);
    QCursor::setPos(frontClose.mapToGlobal(frontClose.rect().center()));
    settle();
    ASSERT_TRUE(front.window()->isActiveWindow());
    ASSERT_FALSE(back.window()->isActiveWindow());
    const QImage shot = lf::test::takeScreenshot();
    ASSERT_FALSE(shot.isNull());
    shot.save("app-two-windows.png");
    for (auto kind : {QFStandardWindowButton::Close, QFStandardWindowButton::Miniaturize,
                      QFStandardWindowButton::Zoom}) {
        SCOPED_TRACE(kind);
        const QWidget& backButton = *back.window()->standardWindowButton(kind);
        const QWidget& frontButton = *front.window()->standardWindowButton(kind);
        const QRgb backCentre = shot.pixel(backButton.mapToGlobal(backButton.rect().center()));
        EXPECT_LT(colourfulness(backCentre), 20);
        EXPECT_LT(darkest(shot, frontButton.mapToGlobal(frontButton.rect().center()), 3),
                  darkest(shot, backButton.mapToGlobal(backButton.rect().center()), 3) - 60);
    }
    // Both carry the menu button right of their zoom buttons.
    for (QFFlowWindowController* controller : {&back, &front}) {
        const QWidget& zoom =
            *controller->window()->standardWindowButton(QFStandardWindowButton::Zoom);
        const QWidget& menu = *controller->menuButton();
        EXPECT_GE(menu.mapToGlobal(QPoint(0, 0)).x(),
                  zoom.mapToGlobal(QPoint(zoom.width(), 0)).x());
        EXPECT_TRUE(menu.isVisible());
    }
}

// The recents popover, opened by the test as the title-bar button opens
// it: below the button, pointing at it, with a row for a recent flow.
TEST_F(AppOnScreen, TheRecentsPopoverOpensBelowItsButton) {
    auto manager = QFFlowManager::defaultManager();
    lf::test::TemporaryDirectory scratch;
    auto flow = std::make_shared<QFExportFlow>();
    auto input = std::make_shared<QFFlowInput>(std::vector<std::string>{"public.folder"});
    input->addInputWithURLs({scratch.path().string()});
    flow->setInitialInput(input);
    flow->setOutputDirectoryURL(scratch.path().string());
    flow->setName("Icons for the shop");
    manager->noteNewRecentFlow(flow);

    const QRect frame(120, 40, 560, 400);
    QFFlowWindowController& controller = openWindow(frame);
    controller.showRecentRepeat();
    QFRecentsPopover& recents = QFRecentsPopover::sharedPopover();
    ASSERT_TRUE(lf::test::showAndWaitForExposure(recents));
    settle();
    const QImage shot = lf::test::takeScreenshot();
    ASSERT_FALSE(shot.isNull());
    shot.save("app-recents-popover.png");

    const QWidget& button = *controller.recentRepeatWindowButton();
    const QRect buttonFrame(button.mapToGlobal(QPoint(0, 0)), button.size());
    const QRect popover = recents.frameGeometry();
    EXPECT_GE(popover.width(), 200);
    EXPECT_GE(popover.height(), 80);
    // It hangs from the button, 6 points inside its bottom edge, its arrow
    // under the button's centre.
    EXPECT_EQ(popover.top(), buttonFrame.bottom() + 1 - 6);
    EXPECT_NEAR(popover.left() + recents.arrowPosition(), buttonFrame.center().x(), 2);
    // Its body is light, over the darker window; the row's text is dark.
    const QPoint body = popover.topLeft() + QPoint(popover.width() / 2, popover.height() / 2);
    EXPECT_GT(qGray(shot.pixel(body.x(), popover.bottom() - 6)), 200);
    int darkest = 255;
    for (int y = popover.top() + 30; y < popover.bottom() - 4; ++y)
        for (int x = popover.left() + 10; x < popover.right() - 10; ++x)
            darkest = std::min(darkest, qGray(shot.pixel(x, y)));
    EXPECT_LT(darkest, 100);
    // Outside its outline the window behind shows: beside the arrow above
    // the body, and at the body's rounded bottom corner (probed only where
    // the flow window lies behind; the bare screen is black).
    const int arrowX = popover.left() + recents.arrowPosition();
    int probed = 0;
    for (const QPoint outside :
         {QPoint(popover.left() + 3, popover.top() + 2), QPoint(arrowX - 24, popover.top() + 2),
          QPoint(arrowX + 24, popover.top() + 2), popover.bottomLeft()}) {
        if (!frame.contains(outside)) continue;
        ++probed;
        EXPECT_GT(qGray(shot.pixel(outside)), 150) << outside.x() << ", " << outside.y();
    }
    EXPECT_GE(probed, 2) << "the popover has moved off the window behind it";
    controller.closeRecentRepeat();
    manager->removeFlow(flow);
}

// The tray host docks the item: the tray is there, and the item shows its
// picture in the place the host gave it.
TEST_F(AppOnScreen, TheTrayItemDocksInARunningTrayHost) {
    const QString trayer = QStandardPaths::findExecutable("trayer");
    LF_REQUIRE_INSTALLED(!trayer.isEmpty(), "trayer");
    QProcess host;
    host.start(trayer, {"--edge", "bottom", "--align", "right", "--widthtype", "request",
                        "--height", "32", "--tint", "0xffffff", "--transparent", "false"});
    ASSERT_TRUE(host.waitForStarted(-1));
    ASSERT_TRUE(lf::test::settleUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5));

    QFStatusItem::setShowsStatusItem(true);
    QRect placed;
    lf::test::settleUntil(
        [&] {
            placed = QFStatusItem::statusItem()->geometry();
            return placed.isValid() && !placed.isEmpty();
        },
        5);
    settle();
    const QImage shot = lf::test::takeScreenshot();
    shot.save("app-tray.png");
    EXPECT_FALSE(placed.isEmpty());
    EXPECT_TRUE(QRect(0, 0, 800, 600).contains(placed));
    // The item's picture is dark on the host's white: some pixel inside it
    // is dark.
    int darkest = 255;
    for (int y = placed.top(); y <= placed.bottom(); ++y)
        for (int x = placed.left(); x <= placed.right(); ++x)
            darkest = std::min(darkest, qGray(shot.pixel(x, y)));
    EXPECT_LT(darkest, 128);
    QFStatusItem::setShowsStatusItem(false);
    host.kill();
    host.waitForFinished(-1);
}

}  // namespace
