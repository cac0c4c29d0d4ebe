// The recents button of a flow window and the popover it toggles, as the
// window system brings windows forward around them: after the question
// that follows a first save, after Done in the flow editor, and when a
// document handed to the application brings its window forward; and
// Escape while the popover is open.

#include "AppTestSupport.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFExportFlowController.h"
#include "ui/iconview/QFIconView.h"
#include "ui/recents/QFRecentsPopover.h"
#include "ui/shell/QFApplicationFlowHooks.h"
#include "ui/widgets/QFSaveCancelButton.h"
#include "ui/window/QFWindowButton.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class RecentsButton : public ::testing::Test {
protected:
    RecentsButton() {
        QFDocumentController::setShared(std::make_shared<QFDocumentController>());
        QFFlowInterfaceHooks hooks = QFApplicationFlowHooks();
        hooks.chooseOutputDirectory =
            [this](QFFlowRunController&, const std::optional<std::string>&,
                   std::function<void(std::optional<std::string>)> done) { done(out.string()); };
        QFFlowInterfaceHooks::install(hooks);
        app.delegate.applicationWillFinishLaunching();
        removeRecentFlows();
    }
    ~RecentsButton() override {
        recents.performClose();
        for (const auto& document : std::vector(QFDocumentController::shared().orderedDocuments()))
            document->close();
        QFFlowInterfaceHooks::install({});
        removeRecentFlows();
    }

    static void removeRecentFlows() {
        auto manager = QFFlowManager::defaultManager();
        for (const auto& flow : std::vector(manager->recentFlows()))
            manager->removeFlow(flow);
    }
    QFFlowWindowController& window() {
        return *QFDocumentController::shared()
                    .orderedDocuments()
                    .front()
                    ->windowControllers()
                    .front();
    }
    // The window's export flow view once it offers Save.
    QFExportFlowController& readyView() {
        QFExportFlowController* view = nullptr;
        EXPECT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] {
                QCoreApplication::processEvents();
                view = dynamic_cast<QFExportFlowController*>(
                    window().window()->contentViewController().get());
                return view && view->offersSave();
            },
            lf::test::kPatience));
        return *view;
    }
    // Hands a copy of a tagged document to the application, saves its
    // outputs and answers the question after the first save.
    void exportAndAnswer(const std::string& copyName, bool repeat) {
        const fs::path copy = scratch / copyName;
        fs::copy_file(lf::test::sharedFile("psd-tagged/01-plain.psd"), copy);
        app.delegate.openFiles({copy.string()});
        readyView().saveCancelButton()->click();
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] { return window().repeatAutomaticallyAlert() != nullptr; }, lf::test::kPatience));
        QMessageBox& question = *window().repeatAutomaticallyAlert();
        for (QAbstractButton* button : question.buttons())
            if ((question.buttonRole(button) == QMessageBox::AcceptRole) == repeat) button->click();
    }
    // A user's click on the recents button: the window system brings its
    // window forward as the pointer rests on the button, then the press
    // and the release arrive.
    void clickRecentsButton() {
        QWidget& button = *window().recentRepeatWindowButton();
        QCursor::setPos(button.mapToGlobal(button.rect().center()));
        QApplication::setActiveWindow(window().window());
        QTest::mouseClick(&button, Qt::LeftButton);
        // The popover's activation, asked for as it shows.
        QCoreApplication::processEvents();
    }

    lf::test::TemporaryDirectory scratch;
    const fs::path out = scratch / "out";
    lf::test::ScopedApplication app;
    QFRecentsPopover& recents = QFRecentsPopover::sharedPopover();
};

// Answered with Repeat Automatically, the question opens the popover; the
// window that the closing sheet hands the focus back to comes forward
// before the popover's own activation and leaves it open. Each click then
// toggles it, the first one included, after Done in the flow editor too,
// and after a question answered with Not Now.
TEST_F(RecentsButton, TheFirstClickAfterTheQuestionOrDoneTogglesThePopover) {
    exportAndAnswer("first.psd", true);
    ASSERT_TRUE(recents.isShown());
    // The focus goes from the sheet to the window as a window manager
    // hands it back.
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(window().window());
    QCoreApplication::processEvents();
    ASSERT_TRUE(recents.isShown());
    ASSERT_EQ(QApplication::activeWindow(), &recents);
    clickRecentsButton();
    EXPECT_FALSE(recents.isShown());
    clickRecentsButton();
    EXPECT_TRUE(recents.isShown());

    recents.editFlow(QFFlowManager::defaultManager()->recentFlows().front());
    auto* done = qobject_cast<QAbstractButton*>(
        recents.viewControllers().back()->navigationPopoverTitleButtonView());
    ASSERT_NE(done, nullptr);
    QTest::mouseClick(done, Qt::LeftButton);
    EXPECT_EQ(recents.viewControllers().size(), 1u);
    clickRecentsButton();
    EXPECT_FALSE(recents.isShown());

    exportAndAnswer("second.psd", false);
    clickRecentsButton();
    EXPECT_TRUE(recents.isShown());
}

// A document handed to the application (from the command line) brings
// its window forward: the popover closes, so Escape and the keys that
// follow visibly go to that window.
TEST_F(RecentsButton, AWindowBroughtForwardForADocumentClosesThePopover) {
    QFDocumentController::shared().openUntitledDocumentAndDisplay(true, nullptr);
    clickRecentsButton();
    ASSERT_EQ(QApplication::activeWindow(), &recents);
    QCursor::setPos(QPoint(0, 0));
    app.delegate.openFiles({lf::test::sharedFile("psd-tagged/01-plain.psd").string()});
    readyView();
    EXPECT_EQ(QApplication::activeWindow(), window().window());
    EXPECT_FALSE(recents.isShown());
}

// The moment of the hand-over that left the popover open: the pointer
// still rests on the recents button after the click that opened it, where
// a window coming forward would leave the popover be (as for a click on
// the button, whose action decides). The hand-over closes it all the same.
TEST_F(RecentsButton, AHandOverClosesThePopoverWhileThePointerRestsOnItsButton) {
    QFDocumentController::shared().openUntitledDocumentAndDisplay(true, nullptr);
    clickRecentsButton();
    ASSERT_EQ(QApplication::activeWindow(), &recents);
    app.delegate.openFiles({lf::test::sharedFile("psd-tagged/01-plain.psd").string()});
    readyView();
    EXPECT_EQ(QApplication::activeWindow(), window().window());
    EXPECT_FALSE(recents.isShown());
}

// While the popover is open over a window that shows an export (the window
// came forward with the pointer on the button), Escape typed in the window
// goes to the popover: it closes, and the export stays until the next
// Escape cancels it.
TEST_F(RecentsButton, EscapeGoesToThePopoverBeforeTheWindowBeneathIt) {
    QFDocumentController::shared().openUntitledDocumentAndDisplay(true, nullptr);
    app.delegate.openFiles({lf::test::sharedFile("psd-tagged/01-plain.psd").string()});
    QFExportFlowController& view = readyView();
    clickRecentsButton();
    QApplication::setActiveWindow(window().window());
    QCoreApplication::processEvents();
    ASSERT_TRUE(recents.isShown());
    QWidget& keys = *view.iconView();

    QTest::keyClick(&keys, Qt::Key_Escape);
    EXPECT_FALSE(recents.isShown());
    lf::MainQueue::shared()->drain();
    EXPECT_TRUE(view.offersSave());

    QTest::keyClick(&keys, Qt::Key_Escape);
    EXPECT_TRUE(lf::MainQueue::shared()->runUntil([&] { return window().canStartAnything(); },
                                                  lf::test::kPatience));
}

}  // namespace
