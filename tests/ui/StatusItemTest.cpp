// The tray item's detection behind its semaphore of count 1, with an
// editor that takes 500 ms to answer, and its menu lines: the editor's
// document, and the application's own.

#include "AppTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TestSupport.h"
#include "ui/shell/QFStatusItemView.h"
#include "ui/window/QFResources.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

QString text(const char* key) {
    return QString::fromStdString(QFResources::shared()->localizedString(key));
}

class StatusItem : public ::testing::Test {
protected:
    void useBridge(std::optional<std::string> url, std::chrono::milliseconds delay = 500ms) {
        bridge = std::make_shared<lf::test::SlowBridge>(std::move(url), delay);
        QFPhotoshopBridge::setShared(bridge);
    }
    // Waits for the running detection's answer to reach the menu.
    void finishDetection() {
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] {
                return view.menuItemForPSD()->text() !=
                           text("ps-menu.looking-for-active-psd.title") &&
                       view.detectionIsIdleForTests();
            },
            lf::test::kPatience));
    }

    lf::test::ScopedApplication app;
    std::shared_ptr<lf::test::SlowBridge> bridge;
    QFStatusItemView view;
};

TEST_F(StatusItem, OneDetectionAtATimeAndTheMenuWaitsForItAtMost200ms) {
    useBridge("/work/Icons.psd");
    EXPECT_TRUE(view.startDetection());
    // A second start waits 50 ms for the running query and gives up.
    EXPECT_FALSE(view.startDetection());

    // The menu opens while the query still runs: it says it is looking.
    view.menuWillOpen();
    EXPECT_EQ(view.menuItemForPSD()->text(), text("ps-menu.looking-for-active-psd.title"));
    EXPECT_FALSE(view.menuItemForOpening()->isVisible());
    EXPECT_FALSE(view.menuItemForPSD()->isEnabled());

    // The answer updates the open menu through the main queue.
    finishDetection();
    EXPECT_EQ(view.menuItemForPSD()->text(), "Icons.psd");
    EXPECT_TRUE(view.menuItemForOpening()->isVisible());
    EXPECT_EQ(bridge->queries, 1);
}

TEST_F(StatusItem, OpeningWaitsAtMost200msAndSoundsTheAlertWithoutAnAnswer) {
    useBridge("/work/Icons.psd");
    view.startDetection();
    view.openActivePSD();  // the answer is not there yet
    EXPECT_EQ(app.workspace->beeps, 1);
    EXPECT_TRUE(app.documents->untitled.empty());

    finishDetection();
    view.openActivePSD();
    EXPECT_EQ(app.workspace->beeps, 1);
    ASSERT_EQ(app.documents->untitled.size(), 1u);
    EXPECT_EQ(app.documents->untitled[0]->controller().startedURLs.front(),
              std::vector<std::string>{"/work/Icons.psd"});
}

TEST_F(StatusItem, ADirectOpenRunsItsOwnDetection) {
    useBridge("/work/Icons.psd", 0ms);
    view.activated(QSystemTrayIcon::MiddleClick, Qt::NoModifier);
    ASSERT_EQ(app.documents->untitled.size(), 1u);
    view.activated(QSystemTrayIcon::Trigger, Qt::ControlModifier);
    // The second goes to the window the first made, which takes it.
    EXPECT_EQ(app.documents->untitled.size(), 1u);
    EXPECT_EQ(app.documents->untitled[0]->controller().startedURLs.size(), 2u);
    EXPECT_EQ(bridge->queries, 2);

    useBridge(std::nullopt, 0ms);  // nothing to open
    view.activated(QSystemTrayIcon::MiddleClick, Qt::NoModifier);
    EXPECT_EQ(app.workspace->beeps, 1);
}

TEST_F(StatusItem, MenuLinesTellWhatWasFound) {
    useBridge(std::nullopt, 0ms);
    view.updateMenuItemsWithActiveDocumentURL("/work/Big.psb");
    EXPECT_EQ(view.menuItemForPSD()->text(), text("ps-menu.no-active-psd.title"));
    view.updateMenuItemsWithActiveDocumentURL("/work/Upper.PSD");  // the extension exactly
    EXPECT_EQ(view.menuItemForPSD()->text(), text("ps-menu.no-active-psd.title"));
    EXPECT_FALSE(view.menuItemForOpening()->isVisible());

    QFPhotoshopBridge::setShared(nullptr);  // this system's: no editor runs
    view.updateMenuItemsWithActiveDocumentURL(std::nullopt);
    EXPECT_EQ(view.menuItemForPSD()->text(), text("ps-menu.ps-not-running.title"));
    view.menuWillOpen();
    EXPECT_EQ(view.menuItemForPSD()->text(), text("ps-menu.ps-not-running.title"));
}

// With every window closed the application runs on; the item's menu opens
// a new window and ends the application, whatever the editor does.
TEST_F(StatusItem, TheMenuOpensANewWindowAndQuits) {
    QFPhotoshopBridge::setShared(nullptr);
    view.menuWillOpen();
    for (QAction* item : {view.menuItemForNewWindow(), view.menuItemForQuitting()})
        EXPECT_TRUE(item->isVisible() && item->isEnabled()) << item->text().toStdString();

    view.menuItemForNewWindow()->trigger();
    ASSERT_EQ(app.documents->untitled.size(), 1u);
    EXPECT_TRUE(app.documents->untitled[0]->windowControllers().front()->window()->isVisible());

    // Quit ends the application's event loop (the timer only keeps a
    // failure from hanging the tests).
    QTimer::singleShot(0, view.menuItemForQuitting(), &QAction::trigger);
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stuck.start(10'000);
    EXPECT_EQ(QApplication::exec(), 0);
}

}  // namespace
