#include "updater/OMAUUpdater.h"

#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "updater/OMAUApplication.h"
#include "updater/OMAUExceptions.h"
#include "updater/OMAUFormatByteCount.h"
#include "updater/OMAUPanelPresenter.h"
#include "updater/OMAUStatusController.h"
#include "updater/OMAUVerification.h"
#include "updater/OMAUVersionComparison.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::optional<std::string> defaultsString(const lf::UserDefaults& defaults,
                                          const std::string& key) {
    auto value = defaults.objectForKey(key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::optional<bool> defaultsBool(const lf::UserDefaults& defaults, const std::string& key) {
    if (!defaults.objectForKey(key)) return std::nullopt;
    return defaults.boolForKey(key);
}

double secondsSinceEpoch(std::chrono::system_clock::time_point time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

OMAUUpdater::Environment completed(OMAUUpdater::Environment environment) {
    if (!environment.host) environment.host = OMAUHost::main();
    if (!environment.defaults) environment.defaults = lf::UserDefaults::standard();
    if (!environment.scheduler) environment.scheduler = OMAUScheduler::mainQueue();
    if (!environment.presenter)
        environment.presenter = std::make_shared<OMAUPanelPresenter>(environment.host);
    if (!environment.privilegedMove) environment.privilegedMove = OMAUDefaultPrivilegedMove();
    if (!environment.relaunch) environment.relaunch = OMAUStartRelaunchWaiter;
    if (!environment.terminate) environment.terminate = OMAUTerminateApplication;
    return environment;
}

// A name for the downloaded archive that stays inside its folder: the last
// component of what the server suggests, without a ".txt" that some
// servers add.
std::string safeFileName(const std::string& suggested) {
    std::string name = suggested.substr(suggested.find_last_of('/') + 1);
    name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
    if (fs::path(name).extension() == ".txt") name = fs::path(name).stem().string();
    if (name.empty() || name == "." || name == "..") name = "update";
    return name;
}

}  // namespace

std::shared_ptr<OMAUUpdater> OMAUUpdater::create(Environment environment) {
    return std::shared_ptr<OMAUUpdater>(new OMAUUpdater(completed(std::move(environment))));
}

OMAUUpdater::OMAUUpdater(Environment environment) : environment_(std::move(environment)) {}

OMAUUpdater::~OMAUUpdater() {
    if (downloader_) downloader_->cancel();
    removeDownloadFolder();
}

std::string OMAUUpdater::text(std::string_view key, std::vector<std::string> values) const {
    return OMAUFormat(environment_.host->localizedString(key), std::move(values));
}

std::string OMAUUpdater::mainTableText(std::string_view key) const {
    return environment_.host->mainTableString(key);
}

void OMAUUpdater::atEdge(const std::function<void()>& work, const char* report) {
    try {
        work();
    } catch (const std::exception& exception) {
        if (const auto* named = dynamic_cast<const OMAUException*>(&exception))
            lf::log("{}: {}", named->name(), named->reason());
        else
            lf::log("*** {}", exception.what());
        const bool tell = verbose_;
        abandonUpdate();
        if (tell) showUpdateErrorAlertWithInfo(text(report));
    }
}

// Launch policy

void OMAUUpdater::applicationDidFinishLaunching() {
    if (appliedLaunchPolicy_) return;
    appliedLaunchPolicy_ = true;
    lf::UserDefaults& defaults = *environment_.defaults;
    std::optional<bool> checkAtStartup = defaultsBool(defaults, "AUCheckAtStartup");
    if (checkAtStartup && !*checkAtStartup) return;

    const double interval = storedCheckInterval();
    if (interval == 0) {
        if (!checkAtStartup) checkAtStartup = environment_.host->infoBool("AUCheckAtStartup");
        if (!checkAtStartup) {
            const std::string name = environment_.host->displayName();
            checkAtStartup =
                environment_.presenter->runAlertPanel(
                    text("Check for updates on startup?"),
                    text("Would you like %@ to check for updates on startup? If not, "
                         "you can initiate the check manually from the application menu.",
                         {name}),
                    text("Yes"), text("No"), {}) == OMAUPresenter::kAlertDefaultReturn;
            defaults.setObject("AUCheckAtStartup", *checkAtStartup);
        }
        if (*checkAtStartup) checkForUpdatesInBackground();
        return;
    }

    const auto now = environment_.scheduler->now();
    const double lastCheck =
        defaults.numberForKey("AULastCheckTime").value_or(secondsSinceEpoch(now));
    // A last check in the future (the clock was set back) counts as now.
    const double elapsed = std::max(0.0, secondsSinceEpoch(now) - lastCheck);
    if (elapsed >= interval) {
        scheduleCheckWithInterval(interval);
        checkForUpdatesInBackground();
        return;
    }
    std::weak_ptr<OMAUUpdater> weakSelf = weak_from_this();
    launchCheckTimer_ = environment_.scheduler->schedule(
        OMAUScheduler::Seconds(interval - elapsed), false, [weakSelf, interval] {
            auto self = weakSelf.lock();
            if (!self) return;
            self->scheduleCheckWithIntervalObject(static_cast<long>(interval));
            self->checkInBackgroundFromTimer();
        });
}

double OMAUUpdater::storedCheckInterval() const {
    if (auto stored = environment_.defaults->numberForKey("AUScheduledCheckInterval");
        stored && static_cast<long>(*stored) > 0)
        return static_cast<double>(static_cast<long>(*stored));
    if (auto info = environment_.host->infoValueForKey("AUScheduledCheckInterval");
        info && info->is_number())
        return static_cast<double>(info->get<long>());
    return 0;
}

void OMAUUpdater::scheduleCheckWithInterval(double seconds) {
    checkTimer_.reset();
    checkInterval_ = seconds;
    if (seconds <= 0) return;
    std::weak_ptr<OMAUUpdater> weakSelf = weak_from_this();
    checkTimer_ =
        environment_.scheduler->schedule(OMAUScheduler::Seconds(seconds), true, [weakSelf] {
            if (auto self = weakSelf.lock()) self->checkInBackgroundFromTimer();
        });
}

void OMAUUpdater::checkInBackgroundFromTimer() {
    atEdge([this] { checkForUpdatesInBackground(); }, kRetrievingFailed);
}

// Checking

void OMAUUpdater::checkForUpdatesAndNotify(bool verbose) {
    if (updateInProgress_) {
        if (!verbose) return;
        environment_.presenter->beep();
        if (statusController_ && statusController_->isWindowVisible())
            statusController_->showWindow();
        else
            showUpdateErrorAlertWithInfo(text("An update is already in progress!"));
        return;
    }
    verbose_ = verbose;
    updateInProgress_ = true;
    std::optional<std::string> feedURL = defaultsString(*environment_.defaults, "AUFeedURL");
    if (!feedURL) feedURL = environment_.host->infoString("AUFeedURL");
    if (!feedURL)
        throw OMAUNoFeedURL("No feed URL is specified in the Info.plist or the user defaults!");
    auto appcast = OMAUAppcast::create(environment_.host);
    appcast->setDelegate(weak_from_this());
    appcast->fetchAppcastFromURL(*feedURL);
}

void OMAUUpdater::appcastDidFailToLoad(std::shared_ptr<OMAUAppcast>) {
    updateInProgress_ = false;
    if (verbose_)
        showUpdateErrorAlertWithInfo(
            text("An error occurred in retrieving update information; are you connected to the "
                 "internet? Please try again later."));
}

void OMAUUpdater::appcastDidFinishLoading(std::shared_ptr<OMAUAppcast> appcast) {
    if (appcast->items().empty()) {
        appcastDidFailToLoad(std::move(appcast));
        return;
    }
    try {
        updateItem_ = *appcast->newestItem();
        appcast.reset();
        environment_.defaults->setObject("AULastCheckTime",
                                         secondsSinceEpoch(environment_.scheduler->now()));
        if (!updateItem_->fileVersion()) {
            updateInProgress_ = false;
            if (verbose_) showUpdateErrorAlertWithInfo(text(kRetrievingFailed));
            return;
        }
        if (!verbose_ && updateItem_->fileVersion() ==
                             defaultsString(*environment_.defaults, "AUSkippedVersion")) {
            updateInProgress_ = false;
            return;
        }
        if (newVersionAvailable()) {
            checkTimer_.reset();
            if (isAutomaticallyUpdating())
                beginDownload();
            else
                showUpdatePanel();
            return;
        }
        if (verbose_) {
            const std::string name = environment_.host->displayName();
            environment_.presenter->runAlertPanel(
                text("This is the newest version of %@.", {name}),
                text("Your copy of %@ (version %@) is completely up to date! You can check for "
                     "updates again later.",
                     {name, environment_.host->versionString()}),
                mainTableText("OK"), {}, {});
        }
        updateInProgress_ = false;
    } catch (const std::exception& exception) {
        lf::log("{}", exception.what());
        updateInProgress_ = false;
        if (verbose_) showUpdateErrorAlertWithInfo(text(kRetrievingFailed));
    }
}

bool OMAUUpdater::newVersionAvailable() const {
    if (!updateItem_ || !updateItem_->fileVersion()) return false;
    const std::string minimumSystem = updateItem_->minimumSystemVersionString().value_or("");
    if (OMAUStandardVersionComparison(minimumSystem, environment_.host->systemVersion()) == -1)
        return false;
    // The feed's versions are build versions, so the running build is what
    // they are compared with.
    return OMAUStandardVersionComparison(*updateItem_->fileVersion(),
                                         environment_.host->version()) == -1;
}

bool OMAUUpdater::automaticallyUpdates() const {
    if (environment_.host->infoBool("AUAllowsAutomaticUpdates") == false) return false;
    return environment_.defaults->boolForKey("AUAutomaticallyUpdate");
}

// Offering

void OMAUUpdater::showUpdatePanel() {
    const int answer = environment_.presenter->runAlertPanel(
        text("An updated version of %@ is available.", {environment_.host->displayName()}),
        updateItem_->description() + "\n\nWould you like to update to the new version?",
        "Install...", "Skip This Version", "Remind Later");
    const int choice = answer == OMAUPresenter::kAlertDefaultReturn     ? 0
                       : answer == OMAUPresenter::kAlertAlternateReturn ? 2
                                                                        : 1;
    updateAlertFinishedWithChoice(nullptr, choice);
}

void OMAUUpdater::updateAlertFinishedWithChoice(OMAUUpdateAlert*, int choice) {
    switch (choice) {
        case 0:
            environment_.defaults->removeObject("AUSkippedVersion");
            beginDownload();
            break;
        case 1:
            updateInProgress_ = false;
            remindMeLater();
            break;
        default:
            updateInProgress_ = false;
            if (updateItem_ && updateItem_->fileVersion())
                environment_.defaults->setObject("AUSkippedVersion", *updateItem_->fileVersion());
    }
}

void OMAUUpdater::remindMeLater() {
    environment_.defaults->removeObject("AUSkippedVersion");
    if (checkInterval_ != 0) scheduleCheckWithInterval(checkInterval_);
}

// Downloading

void OMAUUpdater::beginDownload() {
    if (!isAutomaticallyUpdating()) {
        statusController_ = std::make_unique<OMAUStatusController>(environment_.host);
        statusController_->beginAction(
            text("Downloading %@ update.", {environment_.host->displayName()}), 0, "");
        statusController_->setButtonTitle(mainTableText("Cancel"), weak_from_this(),
                                          &OMAUUpdater::cancelDownload, false);
        statusController_->setShowsCancelButton(false);
        statusController_->showWindow();
    }
    lf::URLRequest request;
    request.url = updateItem_->fileURL();
    downloader_ = lf::URLDownload::start(
        request, std::static_pointer_cast<lf::URLDownloadDelegate>(shared_from_this()));
}

void OMAUUpdater::downloadDidReceiveResponse(lf::URLDownload&, const lf::URLResponse& response) {
    // An unknown or empty length leaves the bar indeterminate.
    if (statusController_)
        statusController_->setMaxProgressValue(
            static_cast<double>(response.expectedContentLength.value_or(0)));
}

std::string OMAUUpdater::downloadDecideDestination(lf::URLDownload&, const std::string& suggested) {
    std::string destination;
    atEdge(
        [&] {
            std::string folder = (fs::temp_directory_path() / "layerflow-update-XXXXXX").string();
            // mkdtemp makes a folder only this user may enter.
            if (!::mkdtemp(folder.data()))
                throw OMAUFailTmpWrite("Couldn't create temporary directory in /tmp");
            downloadFolder_ = folder;
            downloadPath_ = downloadFolder_ / safeFileName(suggested);
            destination = downloadPath_.string();
        },
        "An error occurred while trying to download the file. Please try again later.");
    return destination;
}

void OMAUUpdater::downloadDidReceiveData(lf::URLDownload&, uint64_t length) {
    if (!statusController_) return;
    const double progress = statusController_->progressValue() + static_cast<double>(length);
    statusController_->setProgressValue(progress);
    const double maximum = statusController_->maxProgressValue();
    if (maximum > 0) {
        statusController_->setStatusText(
            text("%i%% - %@ of %@", {std::to_string(static_cast<int>(progress * 100 / maximum)),
                                     OMAUFormatByteCount(progress), OMAUFormatByteCount(maximum)}));
    } else {
        statusController_->setStatusText(OMAUFormatByteCount(progress));
    }
}

void OMAUUpdater::downloadDidFail(lf::URLDownload& download, const lf::Error& error) {
    abandonUpdate();
    lf::log("Download error for URL {}: {}", download.request().url, error.localizedDescription());
    showUpdateErrorAlertWithInfo(
        text("An error occurred while trying to download the file. Please try again later."));
}

void OMAUUpdater::downloadDidFinish(lf::URLDownload&) {
    downloader_.reset();
    extractUpdate();
}

void OMAUUpdater::cancelDownload() {
    if (downloader_) downloader_->cancel();
    downloader_.reset();
    abandonUpdate();
}

// Verifying and unpacking

void OMAUUpdater::extractUpdate() {
    const std::string name = environment_.host->displayName();
    if (statusController_ && !isAutomaticallyUpdating()) {
        statusController_->beginAction(text("Preparing %@ update.", {name}), 0,
                                       text("%@ is currently extracting the update.", {name}));
        statusController_->setShowsCancelButton(false);
    }
    try {
        bool verified = false;
        if (!updateItem_->MD5Sum().empty()) {
            if (!OMAUValidatePathWithMD5Hash(downloadPath_, updateItem_->MD5Sum()))
                throw OMAUUnarchiveException("MD5 verification of the update archive failed.");
            verified = true;
        }
        if (environment_.host->infoBool("AUExpectsDSASignature").value_or(false)) {
            if (!OMAUValidatePathWithEncodedDSASignature(
                    downloadPath_, updateItem_->DSASignature(),
                    environment_.host->infoString("AUPublicDSAKey").value_or("")))
                throw OMAUUnarchiveException("DSA verification of the update archive failed.");
            verified = true;
        }
        if (!verified)
            throw OMAUUnarchiveException(
                "The update has neither an MD5 checksum nor an expected DSA signature to verify "
                "its archive with.");
        unarchiver_ = OMAUUnarchiver::create();
        unarchiver_->setDelegate(weak_from_this());
        unarchiver_->unarchivePath(downloadPath_);
    } catch (const OMAUException& exception) {
        lf::log("{}", exception.reason());
        showUpdateErrorAlertWithInfo(
            text("An error occurred while extracting the Update archive. Please try again later."));
        abandonUpdate();
    }
}

void OMAUUpdater::unarchiverExtractedLength(OMAUUnarchiver& unarchiver, uint64_t length) {
    if (&unarchiver != unarchiver_.get() || !statusController_ || isAutomaticallyUpdating()) return;
    if (statusController_->maxProgressValue() == 0) {
        std::error_code error;
        const auto size = fs::file_size(downloadPath_, error);
        statusController_->setMaxProgressValue(error ? 0 : static_cast<double>(size));
    }
    statusController_->setProgressValue(statusController_->progressValue() +
                                        static_cast<double>(length));
}

void OMAUUpdater::unarchiverDidFail(std::shared_ptr<OMAUUnarchiver> unarchiver) {
    // An update abandoned meanwhile has nothing to report.
    if (unarchiver != unarchiver_) return;
    unarchiver_.reset();
    showUpdateErrorAlertWithInfo(
        text("An error occurred while extracting the archive. Please try again later."));
    abandonUpdate();
}

void OMAUUpdater::unarchiverDidFinish(std::shared_ptr<OMAUUnarchiver> unarchiver) {
    if (unarchiver != unarchiver_) return;
    unarchiver_.reset();
    if (isAutomaticallyUpdating()) {
        installAndRestart();
        return;
    }
    if (!statusController_) return;
    statusController_->beginAction(
        text("Do you want to install the update?"), 1.0,
        fmt::format("{} {} is ready to be installed.", environment_.host->displayName(),
                    updateItem_->versionString().value_or("")));
    statusController_->setProgressValue(1.0);
    statusController_->setButtonTitle(text("Install and Relaunch"), weak_from_this(),
                                      &OMAUUpdater::installAndRestart, true);
    statusController_->setShowsCancelButton(true);
    environment_.presenter->requestUserAttention();
}

// Installing

fs::path OMAUUpdater::unpackedApplication() const {
    const std::optional<std::string> name = environment_.host->infoString("CFBundleName");
    if (!name)
        throw OMAUInstallException(
            "This application has no CFBundleName! This key must be set to the application's "
            "name.");
    const std::string expected = *name + ".app";
    // The shallowest entry of that name is the application; the same name
    // deeper down belongs to its contents, and two at the same depth leave
    // no way to tell which one is meant.
    std::vector<fs::path> shallowest;
    int shallowestDepth = 0;
    std::error_code error;
    fs::recursive_directory_iterator walk(downloadFolder_, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        if (walk->path().filename() != expected) continue;
        if (!shallowest.empty() && walk.depth() > shallowestDepth) continue;
        if (!shallowest.empty() && walk.depth() < shallowestDepth) shallowest.clear();
        shallowestDepth = walk.depth();
        shallowest.push_back(walk->path());
    }
    if (shallowest.size() > 1)
        throw OMAUInstallException(
            fmt::format("The update archive holds more than one {} at the same depth.", expected));
    const fs::path application =
        shallowest.empty() ? downloadFolder_ / expected : shallowest.front();
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
        lf::log("{}", exception.reason());
        showUpdateErrorAlertWithInfo(
            text("An error occurred during installation. Please try again later."));
        abandonUpdate();
        return;
    }
    const fs::path& bundle = environment_.host->bundlePath();
    if (automatic) {
        if (lf::Status moved = OMAUMovePathAsUser(application, bundle); !moved) {
            lf::log("Installing {}: {}", bundle.string(), lf::describe(moved.error()));
            abandonUpdate();
            return;
        }
    } else if (lf::Status moved = OMAUMovePathWithAuthentication(application, bundle,
                                                                 *environment_.privilegedMove);
               !moved) {
        lf::log("Installing {}: {}", bundle.string(), lf::describe(moved.error()));
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

// Ending

void OMAUUpdater::abandonUpdate() {
    updateItem_.reset();
    if (statusController_) statusController_->close();
    statusController_.reset();
    if (downloader_) downloader_->cancel();
    downloader_.reset();
    unarchiver_.reset();
    removeDownloadFolder();
    updateInProgress_ = false;
}

void OMAUUpdater::removeDownloadFolder() {
    if (downloadFolder_.empty()) return;
    std::error_code ignored;
    fs::remove_all(downloadFolder_, ignored);
    downloadFolder_.clear();
    downloadPath_.clear();
}

void OMAUUpdater::showUpdateErrorAlertWithInfo(const std::string& message) {
    if (isAutomaticallyUpdating()) return;
    environment_.presenter->runAlertPanel(text("Update Error!"), message, mainTableText("Cancel"),
                                          {}, {});
}
