#pragma once
// OMSoftwareUpdater: the application's one way to the updater. It owns the
// update engine and passes on the application's two requests: the silent
// check one second after launch and the check the user asks for from the
// menu. Failures end at the engine's edge and never reach the caller.
//
// Threads: main thread only.

#include <QWidget>

#include <memory>

class OMAUUpdater;

class OMSoftwareUpdater {
public:
    // The shared instance, made on first use and kept for the process's life.
    static OMSoftwareUpdater& sharedUpdater();

    // An updater around `engine`; tests make their own.
    explicit OMSoftwareUpdater(std::shared_ptr<OMAUUpdater> engine);

    // A check that reports every outcome.
    void checkForUpdates();
    // The check at launch: the first request applies the engine's launch
    // policy (so "AUCheckAtStartup" and the scheduled checks take effect),
    // later ones check quietly, reporting only a newer version.
    void checkForUpdatesInBackground();
    // The menu command's action.
    void checkNow() { checkForUpdates(); }

    // The preferences pane is not built; no road shows it.
    QWidget* preferencePaneView() const { return nullptr; }
    const std::shared_ptr<OMAUUpdater>& updater() const { return updater_; }

private:
    std::shared_ptr<OMAUUpdater> updater_;
};
