// The application shell: the open-files rules, the menu's validation along
// the responder chain, the launch steps and the actions that open pages.

#include "AppTestSupport.h"
#include "flows/QFFlow.h"
#include "flows/QFFlowManager.h"
#include "flows/inputs/QFFlowInput.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"
#include "ui/shell/QFApplicationMenu.h"
#include "ui/shell/QFPreferencesPanel.h"
#include "ui/shell/QFStatusItem.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindowLabel.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using lf::test::RecordingDocument;
using lf::test::RecordingWindowController;

class ApplicationShell : public ::testing::Test {
protected:
    // An open flow document of the fake controller, its window shown
    // unless `visible` is false.
    std::shared_ptr<RecordingDocument> openWindow(bool visible = true, bool accepts = true) {
        std::string name = "w";
        name += std::to_string(++windows) + ".tsflow";
        const fs::path path = scratch / name;
        fs::create_directory(path);
        std::optional<lf::Error> error;
        auto document = std::static_pointer_cast<RecordingDocument>(
            app.documents->openDocumentWithContentsOfURL(path.string(), visible, &error));
        document->controller().acceptsURLs = accepts;
        app.documents->opened.clear();
        return document;
    }

    lf::test::TemporaryDirectory scratch;
    lf::test::ScopedApplication app;
    int windows = 0;
};

TEST_F(ApplicationShell, FlowDocumentsOpenOneByOneAndOtherFilesGoTogetherToTheFrontWindow) {
    auto back = openWindow();
    auto front = openWindow();
    const fs::path flow = scratch / "saved.TSFLOW";  // the extension in any case
    fs::create_directory(flow);
    app.delegate.openFiles({"/docs/a.psd", flow.string(), "/docs/b.psb"});

    // The flow document opened in a window of its own; it came forward, so
    // it is the frontmost idle window and takes both documents together.
    EXPECT_EQ(app.documents->opened, std::vector<std::string>{flow.string()});
    auto opened =
        std::static_pointer_cast<RecordingDocument>(app.documents->orderedDocuments().front());
    ASSERT_EQ(opened->fileURL(), flow.string());
    EXPECT_EQ(opened->controller().startedURLs,
              (std::vector<std::vector<std::string>>{{"/docs/a.psd", "/docs/b.psb"}}));
    EXPECT_TRUE(front->controller().startedURLs.empty());
    EXPECT_TRUE(back->controller().startedURLs.empty());
    EXPECT_TRUE(app.documents->untitledTypes.empty());
}

TEST_F(ApplicationShell, HiddenAndRefusingWindowsAreSkipped) {
    auto accepting = openWindow();
    auto refusing = openWindow(true, false);
    auto hidden = openWindow(false);
    app.delegate.openFiles({"/docs/a.psd"});
    EXPECT_TRUE(hidden->controller().startedURLs.empty());
    EXPECT_TRUE(refusing->controller().startedURLs.empty());
    EXPECT_EQ(accepting->controller().startedURLs.size(), 1u);

    // Only flow documents: no untitled window.
    const fs::path flow = scratch / "only.tsflow";
    fs::create_directory(flow);
    app.delegate.openFiles({flow.string()});
    EXPECT_TRUE(app.documents->untitledTypes.empty());
}

TEST_F(ApplicationShell, WithoutAWindowThatTakesThemFilesGoToANewUntitledWindow) {
    openWindow(true, false);
    app.delegate.openFiles({"/docs/a.psd", "/docs/b.psd"});
    ASSERT_EQ(app.documents->untitled.size(), 1u);
    EXPECT_EQ(app.documents->untitledTypes.front(), QFFlowDocument::kTypeName);
    const auto& document = app.documents->untitled.front();
    EXPECT_EQ(app.documents->orderedDocuments().front(), document);  // added
    EXPECT_TRUE(document->controller().window()->isVisible());
    EXPECT_EQ(document->controller().startedURLs,
              (std::vector<std::vector<std::string>>{{"/docs/a.psd", "/docs/b.psd"}}));
}

TEST_F(ApplicationShell, AFlowDocumentThatFailsToOpenShowsAnErrorAndTheRestGoesOn) {
    const std::string missing = (scratch / "missing.tsflow").string();
    app.delegate.openFiles({missing, "/docs/a.psd"});
    ASSERT_EQ(app.documents->presented.size(), 1u);
    EXPECT_TRUE(app.documents->presented[0].is("NSCocoaErrorDomain", 260));
    EXPECT_EQ(app.documents->untitled.size(), 1u);  // the document still started a flow

    // A failure that names no error is shown as the unknown read error of
    // that file.
    app.documents->failOpeningWithoutError = true;
    app.delegate.openFiles({missing});
    ASSERT_EQ(app.documents->presented.size(), 2u);
    const lf::Error& unknown = app.documents->presented[1];
    EXPECT_TRUE(unknown.is("NSCocoaErrorDomain", 256));
    EXPECT_EQ(unknown.stringForKey(lf::kURLErrorKey), missing);
}

TEST_F(ApplicationShell, TheOpenPanelFeedsTheOpenFilesRoad) {
    app.delegate.openFilesForFlow();  // cancelled: nothing
    EXPECT_TRUE(app.documents->untitled.empty());
    app.documents->panelAnswer = {"/docs/a.psd"};
    app.delegate.openFilesForFlow();
    ASSERT_EQ(app.documents->untitled.size(), 1u);
    EXPECT_EQ(app.documents->untitled[0]->controller().startedURLs.front(),
              std::vector<std::string>{"/docs/a.psd"});
}

// The files of a launch, or of one handed over from a later launch, take
// the open-files road; none ask for a new untitled window.
TEST_F(ApplicationShell, ALaunchOpensItsFilesOrElseAnUntitledWindow) {
    app.delegate.openFilesOrUntitledDocument({});
    ASSERT_EQ(app.documents->untitled.size(), 1u);
    const auto& untitled = app.documents->untitled.front();
    EXPECT_TRUE(untitled->controller().window()->isVisible());
    EXPECT_TRUE(untitled->controller().startedURLs.empty());

    app.delegate.openFilesOrUntitledDocument({"/docs/a.psd"});
    EXPECT_EQ(app.documents->untitled.size(), 1u);  // the idle window took them
    EXPECT_EQ(untitled->controller().startedURLs,
              (std::vector<std::vector<std::string>>{{"/docs/a.psd"}}));
}

// Once launched, the application outlives its windows: closing the last
// one leaves the event loop running. Quit closes the windows and ends it.
TEST_F(ApplicationShell, TheApplicationOutlivesItsWindowsUntilQuit) {
    app.delegate.applicationWillFinishLaunching();
    // Only this test's window shows, so that it is the last one.
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    auto document = openWindow();
    struct QuitRecorder : QObject {
        int quits = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Quit) ++quits;
            return false;
        }
    } recorder;
    qApp->installEventFilter(&recorder);
    QTimer::singleShot(0, [&] {
        document->controller().window()->close();
        // Comes after whatever closing the last window posted.
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(7); }, Qt::QueuedConnection);
    });
    EXPECT_EQ(QApplication::exec(), 7);
    EXPECT_EQ(recorder.quits, 0);

    auto another = openWindow();
    QTimer::singleShot(0, [] { QFApplication::shared().performAction(QFAction::Terminate); });
    // Should Quit not end the loop, this does, with another status.
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    fallback.start(10'000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(recorder.quits, 1);
    EXPECT_FALSE(another->controller().window()->isVisible());
    qApp->removeEventFilter(&recorder);
}

// The menu of a real flow window: items travel the content controller, the
// window controller, the application and its delegate.
// The preferences panel wears the windows' chrome: a title bar with its
// title and a close button, which closes it as Escape does; it neither
// miniaturises nor zooms. Its check box lies whole below the title bar.
TEST_F(ApplicationShell, ThePreferencesPanelHasAFrameAndClosesOnEscape) {
    app.delegate.showPreferences();
    QFPreferencesPanel& panel = *app.delegate.preferencesWindow();
    ASSERT_TRUE(panel.isVisible());
    const QString product = QString::fromStdString(QFResources::shared()->productName());
    EXPECT_EQ(panel.titleView(), panel.titleLabel());
    EXPECT_EQ(panel.titleLabel()->text(), product + " Preferences");
    QAbstractButton& close = *panel.standardWindowButton(QFStandardWindowButton::Close);
    EXPECT_TRUE(close.isVisible() && close.isEnabled());
    EXPECT_FALSE(panel.standardWindowButton(QFStandardWindowButton::Miniaturize)->isEnabled());
    EXPECT_FALSE(panel.standardWindowButton(QFStandardWindowButton::Zoom)->isEnabled());
    const QCheckBox& box = *panel.showPhotoshopIntegrationCheckbox();
    const QRect boxFrame(box.mapTo(&panel, QPoint(0, 0)), box.size());
    EXPECT_GE(boxFrame.top(), panel.titlebarHeight());
    EXPECT_TRUE(panel.rect().contains(boxFrame));
    EXPECT_GE(box.width(), box.sizeHint().width());

    close.click();
    EXPECT_FALSE(panel.isVisible());
    app.delegate.showPreferences();
    ASSERT_TRUE(panel.isVisible());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(panel.showPhotoshopIntegrationCheckbox(), &escape);
    EXPECT_FALSE(panel.isVisible());
}

// Close Window (Ctrl+W), typed into the panel as the user types it (through
// the shortcuts), closes it as Escape does; a W alone or with Shift does not.
TEST_F(ApplicationShell, ThePreferencesPanelClosesOnCloseWindow) {
    app.delegate.showPreferences();
    QFPreferencesPanel& panel = *app.delegate.preferencesWindow();
    ASSERT_TRUE(panel.isVisible());
    QCheckBox& box = *panel.showPhotoshopIntegrationCheckbox();
    panel.activateWindow();
    box.setFocus();
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            return QApplication::activeWindow() == &panel && box.hasFocus();
        },
        lf::test::kPatience));

    QTest::keyClick(&box, Qt::Key_W);
    QTest::keyClick(&box, Qt::Key_W, Qt::ShiftModifier);
    EXPECT_TRUE(panel.isVisible());
    QTest::keyClick(&box, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(ApplicationShell, MenuItemsAreValidatedAlongTheResponderChain) {
    auto controller = QFFlowWindowController::create();
    QFApplicationMenu& menu = *controller->menuButton()->menu();
    menu.validate();
    // Nobody saves or cancels in an idle window.
    EXPECT_FALSE(menu.itemWithAction(QFAction::SaveFlowOutput)->isEnabled());
    EXPECT_FALSE(menu.itemWithAction(QFAction::CancelFlow)->isEnabled());
    for (auto action : {QFAction::ShowHelp, QFAction::OpenFilesForFlow, QFAction::ShowPreferences,
                        QFAction::ToggleRecentRepeat, QFAction::PerformClose})
        EXPECT_TRUE(menu.itemWithAction(action)->isEnabled()) << action;
    EXPECT_EQ(menu.itemWithAction(QFAction::ToggleRecentRepeat)->text(),
              QString::fromStdString(
                  QFResources::shared()->localizedString("recents-repeat.show.title")));

    // Clear Recents is enabled exactly while a recent flow has no automatic
    // behaviour.
    auto manager = QFFlowManager::defaultManager();
    QAction& clear = *menu.itemWithAction(QFAction::ClearRecentFlows);
    menu.validate();
    EXPECT_FALSE(clear.isEnabled());
    auto flow = std::make_shared<QFFlow>();
    auto input = std::make_shared<QFFlowInput>(std::vector<std::string>{"public.folder"});
    input->addInputWithURLs({scratch.path().string()});
    flow->setInitialInput(input);
    flow->setOutputDirectoryURL(scratch.path().string());
    manager->noteNewRecentFlow(flow);
    menu.validate();
    EXPECT_TRUE(clear.isEnabled());
    flow->setBehavior(QFFlowBehaviorNotifyWhenChanged);
    menu.validate();
    EXPECT_FALSE(clear.isEnabled());
    manager->removeFlow(flow);

    // Choosing an item performs it at the first link that responds.
    menu.trigger(*menu.itemWithAction(QFAction::ShowReleaseNotes));
    ASSERT_EQ(app.workspace->openedURLs.size(), 1u);
    EXPECT_EQ(app.workspace->openedURLs[0].toString(), "https://layerflow.invalid/whatsnew/");
}

TEST_F(ApplicationShell, PagesAndFeedbackMailComeFromTheBundlesInfo) {
    QFApplication& application = QFApplication::shared();
    application.showHelp();
    application.showExampleFiles();
    application.rateInAppStore();
    application.followOnTwitter();
    application.sendFeedback();
    std::vector<std::string> opened;
    for (const QUrl& url : app.workspace->openedURLs)
        opened.push_back(url.toString(QUrl::FullyEncoded).toStdString());
    EXPECT_EQ(opened,
              (std::vector<std::string>{
                  "https://layerflow.invalid/help-1/",
                  "https://layerflow.invalid/help-1/",
                  "https://layerflow.invalid/rate/",
                  "https://layerflow.invalid/twitter/",
                  "mailto:feedback@layerflow.invalid?Subject=layerflow%201%20Feedback&Body=",
              }));
}

TEST_F(ApplicationShell, LaunchRegistersThePlugInChecksForUpdatesAndBindsTheTrayItem) {
    auto defaults = lf::UserDefaults::standard();
    defaults->setObject(QFApplicationDelegate::kDisableMenuBarPSHelperKey, true);
    EXPECT_FALSE(app.delegate.isCheckForUpdatesMenuItemVisible());
    app.delegate.applicationWillFinishLaunching();
    EXPECT_TRUE(app.delegate.isCheckForUpdatesMenuItemVisible());
    EXPECT_FALSE(QFFlowPlugInManager::defaultManager()->acceptedInputTypes().empty());

    app.delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(QFStatusItem::showsStatusItem());  // turned off before launch
    EXPECT_TRUE(app.delegate.hidesMenuBarItem());
    EXPECT_TRUE(lf::MainQueue::shared()->runUntil([&] { return app.backgroundUpdateChecks > 0; },
                                                  lf::test::kPatience));
    EXPECT_EQ(app.backgroundUpdateChecks, 1);

    // The item follows the default at once, both ways, as a new item.
    defaults->setObject(QFApplicationDelegate::kDisableMenuBarPSHelperKey, false);
    ASSERT_TRUE(QFStatusItem::showsStatusItem());
    QFStatusItemView* first = QFStatusItem::statusItemView();
    EXPECT_NE(first, nullptr);
    defaults->setObject(QFApplicationDelegate::kDisableMenuBarPSHelperKey, true);
    EXPECT_FALSE(QFStatusItem::showsStatusItem());
    defaults->removeObject(QFApplicationDelegate::kDisableMenuBarPSHelperKey);  // registered: NO
    EXPECT_TRUE(QFStatusItem::showsStatusItem());
    QFStatusItem::setShowsStatusItem(false);
}

}  // namespace
