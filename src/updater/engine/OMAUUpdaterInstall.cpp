// The engine's installation of an unpacked update and the relaunch.

#include "updater/engine/OMAUApplication.h"
#include "updater/engine/OMAUExceptions.h"
#include "updater/engine/OMAUStatusController.h"
#include "updater/engine/OMAUUpdater.h"
#include "updater/shared/OMAULog.h"
#include "updater/unpacking/OMAUUnpackedContents.h"

#include <fmt/format.h>

#include <unistd.h>

namespace fs = std::filesystem;

fs::path OMAUUpdater::unpackedApplication() const {
    const std::optional<std::string> name = environment_.host->infoString("CFBundleName");
    if (!name)
        throw OMAUInstallException(
            "This application has no CFBundleName! This key must be set to the application's "
            "name.");
    const std::string expected = *name + ".app";
    // The shallowest entry of that name is the application; the same name
    // deeper down belongs to its contents, and two at the same depth leave
    // no way to tell which one is meant. The unpacking has held the links
    // inside it within it.
    lf::Result<std::vector<fs::path>> shallowest =
        OMAUShallowestEntriesNamed(downloadFolder_, expected);
    if (!shallowest) throw OMAUInstallException(lf::describe(shallowest.error()));
    if (shallowest->size() > 1)
        throw OMAUInstallException(
            fmt::format("The update archive holds more than one {} at the same depth.", expected));
    const fs::path application =
        shallowest->empty() ? downloadFolder_ / expected : shallowest->front();
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(application, error)))
        throw OMAUInstallException(OMAUFormat(
            "The update archive didn't contain an application with the proper name: %@. "
            "Remember, the updated app's file name must be identical to {CFBundleName}.app",
            {expected}));
    return application;
}

void OMAUUpdater::installAndRestart() {
    const bool automatic = isAutomaticallyUpdating();
    if (statusController_ && !automatic) {
        statusController_->beginAction(text("Installing update..."), 0, "");
        statusController_->setButtonEnabled(false);
        // The window shows the new state before the installation holds the thread.
        OMAUProcessPendingEvents();
    }
    fs::path application;
    try {
        application = unpackedApplication();
    } catch (const OMAUException& exception) {
        OMAULog("{}", exception.reason());
        showUpdateErrorAlertWithInfo(
            text("An error occurred during installation. Please try again later."));
        abandonUpdate();
        return;
    }
    const fs::path& bundle = environment_.host->bundlePath();
    if (automatic) {
        if (lf::Status moved = OMAUMovePathAsUser(application, bundle); !moved) {
            OMAULog("Installing {}: {}", bundle.string(), lf::describe(moved.error()));
            abandonUpdate();
            return;
        }
    } else if (lf::Status moved = OMAUMovePathWithAuthentication(application, bundle,
                                                                 *environment_.privilegedMove);
               !moved) {
        OMAULog("Installing {}: {}", bundle.string(), lf::describe(moved.error()));
        showUpdateErrorAlertWithInfo(
            text("%@ does not have permission to write to the application's directory! Are you "
                 "running off a disk image? If not, ask your system administrator for help.",
                 {environment_.host->displayName()}));
        abandonUpdate();
        return;
    }
    // After an automatic installation the user may keep working; the new
    // version then starts next time (and the update stays in progress).
    if (automatic && !environment_.presenter->runAutomaticUpdateAlert(*updateItem_)) return;
    relaunch();
}

void OMAUUpdater::relaunch() {
    for (const auto& [id, observer] : std::map(willRestartObservers_))
        observer();
    environment_.relaunch({.processID = static_cast<int>(::getpid()),
                           .executable = environment_.host->bundlePath() /
                                         environment_.host->executablePath().filename(),
                           .downloadFolder = downloadFolder_});
    // The waiter removes the folder once this process has gone.
    downloadFolder_.clear();
    environment_.terminate();
}

lf::Observation OMAUUpdater::observeWillRestart(std::function<void()> observer) {
    const int id = nextObserver_++;
    willRestartObservers_.emplace(id, std::move(observer));
    std::weak_ptr<OMAUUpdater> weakSelf = weak_from_this();
    return lf::Observation([weakSelf, id] {
        if (auto self = weakSelf.lock()) self->willRestartObservers_.erase(id);
    });
}
