#include "ui/shell/QFApplicationDelegate.h"

#include "flows/QFExportFlowPlugIn.h"
#include "flows/QFFlowManager.h"
#include "flows/inputs/QFFlowPlugInManager.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "ui/shell/QFDocumentController.h"
#include "ui/shell/QFFlowDocument.h"
#include "ui/shell/QFFlowWindowController.h"
#include "ui/shell/QFPreferencesPanel.h"
#include "ui/shell/QFStatusItem.h"
#include "ui/window/QFWindow.h"
#include "updater/OMSoftwareUpdater.h"

#include <QGuiApplication>

#include <chrono>

namespace {

constexpr auto kBackgroundUpdateCheckDelay = std::chrono::seconds(1);

// The controller of the frontmost visible flow window that can start a flow
// of `urls`, or null.
QFFlowWindowController* frontmostControllerAccepting(const std::vector<std::string>& urls) {
    for (const auto& document : QFDocumentController::shared().orderedDocuments()) {
        for (const auto& controller : document->windowControllers()) {
            if (!controller->window()->isVisible()) continue;
            QFFlowWindowController* main = document->mainWindowController();
            if (main && main->canStartFlowWithURLs(urls)) return main;
        }
    }
    return nullptr;
}

// Hands `urls` to the frontmost visible flow window that can start their
// flow, else to a new untitled one.
void startFlowOfURLs(const std::vector<std::string>& urls) {
    if (QFFlowWindowController* controller = frontmostControllerAccepting(urls)) {
        controller->startFlowWithURLs(urls);
        return;
    }
    auto& documents = QFDocumentController::shared();
    std::optional<lf::Error> error;
    auto document = documents.makeUntitledDocumentOfType(QFFlowDocument::kTypeName, &error);
    if (!document) {
        if (error) documents.presentError(*error);
        return;
    }
    documents.addDocument(document);
    document->makeWindowControllers();
    document->showWindows();
    if (QFFlowWindowController* controller = document->mainWindowController())
        controller->startFlowWithURLs(urls);
}

}  // namespace

QFApplicationDelegate::QFApplicationDelegate()
    : backgroundUpdateCheck_(
          [] { OMSoftwareUpdater::sharedUpdater().checkForUpdatesInBackground(); }) {}

QFApplicationDelegate::~QFApplicationDelegate() = default;

void QFApplicationDelegate::applicationWillFinishLaunching() {
    checkForUpdatesMenuItemVisible_ = true;
    QFFlowPlugInManager::defaultManager()->registerPlugIn(QFExportFlowPlugIn::sharedPlugIn());
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void QFApplicationDelegate::applicationDidFinishLaunching() {
    QFFlowManager::defaultManager()->activateAutomaticBehaviorIfNeeded();
    lf::MainQueue::shared()->asyncAfter(kBackgroundUpdateCheckDelay,
                                        [check = backgroundUpdateCheck_] { check(); });
    auto defaults = lf::UserDefaults::standard();
    defaults->registerDefaults({{kDisableMenuBarPSHelperKey, false}});
    const auto bind = [this, defaults] {
        setHidesMenuBarItem(defaults->boolForKey(kDisableMenuBarPSHelperKey));
    };
    // Defaults may change on any thread; the item follows on the main one.
    menuBarItemBinding_ = defaults->observe(kDisableMenuBarPSHelperKey, [bind] {
        if (lf::isMainThread())
            bind();
        else
            lf::MainQueue::shared()->async(bind);
    });
    bind();
}

void QFApplicationDelegate::openFiles(const std::vector<std::string>& paths) {
    auto& documents = QFDocumentController::shared();
    std::vector<std::string> urls;
    for (const std::string& path : paths) {
        if (!QFFlowDocument::isFlowDocumentPath(path)) {
            urls.push_back(path);
            continue;
        }
        std::optional<lf::Error> error;
        if (!documents.openDocumentWithContentsOfURL(path, true, &error)) {
            documents.presentError(
                error.value_or(lf::Error("NSCocoaErrorDomain", 256, {{lf::kURLErrorKey, path}})));
        }
    }
    if (urls.empty()) return;
    QFFlowWindowController::showWindowOfFlowWithURLs(urls, [urls] { startFlowOfURLs(urls); });
}

void QFApplicationDelegate::openFilesOrUntitledDocument(const std::vector<std::string>& paths) {
    if (paths.empty())
        QFDocumentController::shared().openUntitledDocumentAndDisplay(true, nullptr);
    else
        openFiles(paths);
}

void QFApplicationDelegate::openFilesForFlow() {
    const std::vector<std::string> paths =
        QFDocumentController::shared().URLsFromRunningOpenPanel();
    if (!paths.empty()) openFiles(paths);
}

void QFApplicationDelegate::showPreferences() {
    QFPreferencesPanel* panel = preferencesWindow();
    if (!panel->isVisible()) panel->center();
    panel->show();
    panel->raise();
    panel->activateWindow();
}

void QFApplicationDelegate::clearRecentFlows() {
    QFFlowManager::defaultManager()->clearRecentFlowsWithoutAutomaticBehavior();
}

bool QFApplicationDelegate::hidesMenuBarItem() const {
    return !QFStatusItem::showsStatusItem();
}

void QFApplicationDelegate::setHidesMenuBarItem(bool hides) {
    QFStatusItem::setShowsStatusItem(!hides);
}

QFPreferencesPanel* QFApplicationDelegate::preferencesWindow() {
    if (!preferencesWindow_) preferencesWindow_ = std::make_unique<QFPreferencesPanel>();
    return preferencesWindow_.get();
}

bool QFApplicationDelegate::respondsToAction(std::string_view action) const {
    return action == QFAction::OpenFilesForFlow || action == QFAction::ShowPreferences ||
           action == QFAction::ClearRecentFlows;
}

void QFApplicationDelegate::performAction(std::string_view action) {
    if (action == QFAction::OpenFilesForFlow)
        openFilesForFlow();
    else if (action == QFAction::ShowPreferences)
        showPreferences();
    else if (action == QFAction::ClearRecentFlows)
        clearRecentFlows();
}

bool QFApplicationDelegate::validateMenuItem(QAction& item) {
    if (QFActionOfMenuItem(item) == QFAction::ClearRecentFlows)
        return QFFlowManager::defaultManager()->canClearRecentFlowsWithoutAutomaticBehavior();
    return true;
}
