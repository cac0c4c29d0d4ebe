#pragma once
// QFApplicationDelegate: the application's launch, its open-files road and
// the menu actions of the application as a whole.
//
// Launch, in this order: the "check for updates" item shows; the export
// plug-in is registered, before any document can open, so every flow
// window finds it; the application is set to outlive its windows (flows
// that repeat keep watching their documents, the tray item stays; Quit
// ends it); the recent flows that notify or repeat start watching
// their inputs; one second later a silent update check runs; the tray item
// is bound to the inverse of the user default QFDisableMenuBarPSHelper
// (registered as false), so it shows unless the user turned it off, and
// follows every later change of the default at once.
//
// Opening files: flow documents ("tsflow" in any case) open one by one in
// their own windows, as their turn comes; an error opening one shows an
// alert and the others are still handled. All other files of one call go
// together into one flow: a window that shows a flow of exactly those
// files already comes forward, and nothing else opens; else they go to the
// frontmost visible flow window that can start it, else to a new untitled
// flow window. Which files a flow takes is the window's to decide.
//
// Threads: main thread only.

#include "platform/core/Observation.h"
#include "ui/window/QFActionResponder.h"

#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class QFPreferencesPanel;

class QFApplicationDelegate : public QFActionResponder {
public:
    static constexpr const char* kDisableMenuBarPSHelperKey = "QFDisableMenuBarPSHelper";

    QFApplicationDelegate();
    ~QFApplicationDelegate() override;

    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();

    void openFiles(const std::vector<std::string>& paths);
    // The files of a launch, or of a later launch that handed them over:
    // openFiles with them, or a new untitled flow window when there are
    // none.
    void openFilesOrUntitledDocument(const std::vector<std::string>& paths);
    // The open panel, then openFiles with the files chosen.
    void openFilesForFlow();
    void showPreferences();
    void clearRecentFlows();

    // The inverse of QFStatusItem's shown state.
    bool hidesMenuBarItem() const;
    void setHidesMenuBarItem(bool hides);

    bool isCheckForUpdatesMenuItemVisible() const { return checkForUpdatesMenuItemVisible_; }
    // Made on first use; owned by the delegate.
    QFPreferencesPanel* preferencesWindow();

    // The silent check one second after launch; the updater's by default.
    void setBackgroundUpdateCheck(std::function<void()> check) {
        backgroundUpdateCheck_ = std::move(check);
    }

    bool respondsToAction(std::string_view action) const override;
    void performAction(std::string_view action) override;
    bool validateMenuItem(QAction& item) override;

private:
    bool checkForUpdatesMenuItemVisible_ = false;
    std::function<void()> backgroundUpdateCheck_;
    lf::Observation menuBarItemBinding_;
    std::unique_ptr<QFPreferencesPanel> preferencesWindow_;
};
