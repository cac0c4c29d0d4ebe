#pragma once
// The flow windows of the tests end to end: the application's delegate,
// fresh documents, no recent flows, and a fake save panel that chooses the
// folder "out" of a scratch folder; helpers to wait for a window's flow,
// to choose from its menu and to answer the question after a first save.

#include "AppTestSupport.h"
#include "flows/QFFlowManager.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFExportFlowController.h"
#include "ui/shell/QFApplicationFlowHooks.h"
#include "ui/shell/QFApplicationMenu.h"
#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowSheet.h"

#include <QApplication>
#include <QMessageBox>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

// The paths below `folder`, relative to it, in order.
inline std::vector<std::string> entries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        names.push_back(std::filesystem::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

class FlowWindows : public ::testing::Test {
protected:
    FlowWindows() {
        QFDocumentController::setShared(std::make_shared<QFDocumentController>());
        QFFlowInterfaceHooks hooks = QFApplicationFlowHooks();
        hooks.chooseOutputDirectory = [this](QFFlowRunController&,
                                             const std::optional<std::string>&,
                                             std::function<void(std::optional<std::string>)> done) {
            ++panels;
            done(out.string());
        };
        QFFlowInterfaceHooks::install(hooks);
        app.delegate.applicationWillFinishLaunching();
        auto manager = QFFlowManager::defaultManager();
        for (const auto& flow : std::vector(manager->recentFlows()))
            manager->removeFlow(flow);
    }
    ~FlowWindows() override {
        // A run still extracting would outlive its window, and the test's
        // process at its end.
        EXPECT_TRUE(lf::MainQueue::shared()->runUntil(
            [] {
                QCoreApplication::processEvents();
                for (const auto& document : QFDocumentController::shared().orderedDocuments())
                    for (const auto& controller : document->windowControllers())
                        if (const auto* run = dynamic_cast<const QFFlowRunController*>(
                                controller->window()->contentViewController().get());
                            run && run->isRunning())
                            return false;
                return true;
            },
            lf::test::kPatience));
        for (const auto& document : std::vector(QFDocumentController::shared().orderedDocuments()))
            document->close();
        QFFlowInterfaceHooks::install({});
    }

    static std::string document(const std::string& name) {
        return std::filesystem::canonical(lf::test::sharedFile("psd-tagged/" + name)).string();
    }
    // The export flow view of the only window once it offers Save.
    QFExportFlowController& readyFlowView() {
        QFExportFlowController* view = nullptr;
        EXPECT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] {
                QCoreApplication::processEvents();
                view = dynamic_cast<QFExportFlowController*>(
                    onlyWindow().window()->contentViewController().get());
                return view && view->offersSave();
            },
            lf::test::kPatience));
        return *view;
    }
    // Gives the focus to the tiles of `view`, in the active window, where
    // typed keys go.
    void focusIconsOf(QFExportFlowController& view) {
        QWidget& window = *onlyWindow().window();
        window.activateWindow();
        view.iconView()->setFocus();
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] {
                QCoreApplication::processEvents();
                return QApplication::activeWindow() == &window && view.iconView()->hasFocus();
            },
            lf::test::kPatience));
    }
    // Chooses the item of the window's menu that sends `action`.
    void choose(std::string_view action) {
        QFApplicationMenu& menu = *onlyWindow().menuButton()->menu();
        menu.trigger(*menu.itemWithAction(action));
    }
    // Saves the flow shown, as the user does from the menu.
    void saveWhenReady() {
        readyFlowView();
        choose(QFAction::SaveFlowOutput);
    }
    QFFlowWindowController& onlyWindow() {
        const auto& documents = QFDocumentController::shared().orderedDocuments();
        EXPECT_EQ(documents.size(), 1u);
        return *documents.front()->windowControllers().front();
    }
    // The question after the save, once it shows.
    QMessageBox* waitForQuestion() {
        QFFlowWindowController& window = onlyWindow();
        EXPECT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] { return window.repeatAutomaticallyAlert() != nullptr; }, lf::test::kPatience));
        return window.repeatAutomaticallyAlert();
    }
    // Waits for the question after the save, then answers it.
    void answerQuestion(bool proceed, QString* title = nullptr) {
        QMessageBox* question = waitForQuestion();
        ASSERT_NE(question, nullptr);
        QMessageBox& alert = *question;
        if (title) *title = alert.text();
        for (QAbstractButton* button : alert.buttons()) {
            if ((alert.buttonRole(button) == QMessageBox::AcceptRole) == proceed) {
                button->click();
                break;
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ++questions;
    }
    // The alert on a sheet of the only window, other than the question
    // after a save, once one shows; null when none does.
    QMessageBox* waitForAlertSheet() {
        QMessageBox* shown = nullptr;
        lf::MainQueue::shared()->runUntil(
            [&] {
                QCoreApplication::processEvents();
                QFFlowWindowController& window = onlyWindow();
                for (auto* alert : window.window()->findChildren<QMessageBox*>())
                    if (alert->isVisible() && QFWindowIsSheet(alert) &&
                        alert != window.repeatAutomaticallyAlert())
                        shown = alert;
                return shown != nullptr;
            },
            lf::test::kPatience);
        return shown;
    }
    // Closes `alert` as its OK button does, and lets it go.
    static void dismiss(QMessageBox* alert) {
        alert->accept();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void waitUntilIdle() {
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] {
                return onlyWindow().canStartAnything() &&
                       !QFFlowManager::defaultManager()->recentFlows().empty();
            },
            lf::test::kPatience));
    }

    lf::test::TemporaryDirectory scratch;
    const std::filesystem::path out = scratch / "out";
    lf::test::ScopedApplication app;
    int panels = 0;
    int questions = 0;
};
