#include "updater/engine/OMAUUpdater.h"

#include "updater/engine/OMAUApplication.h"
#include "updater/engine/OMAUExceptions.h"
#include "updater/engine/OMAUStatusController.h"
#include "updater/feed/OMAUVersionComparison.h"
#include "updater/interface/OMAUPanelPresenter.h"
#include "updater/shared/OMAULog.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <fmt/format.h>

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
            OMAULog("{}: {}", named->name(), named->reason());
        else
            OMAULog("*** {}", exception.what());
        const bool tell = verbose_;
        abandonUpdate();
        if (tell) showUpdateErrorAlertWithInfo(text(report));
    }
}

// Launch policy

void OMAUUpdater::applicationDidFinishLaunching() {
    if (appliedLaunchPolicy_) return;
    appliedLaunchPolicy_ = true;
    startLaunchSweep();
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
        throw OMAUNoFeedURL("No feed URL is specified in the Info.json or the user defaults!");
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
        feedCameOverHTTPS_ = lf::isHTTPSURL(appcast->url());
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
        OMAULog("{}", exception.what());
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
    // An item without a description leaves the question alone, with no
    // empty paragraph above it.
    const std::string question = "Would you like to update to the new version?";
    const std::string& description = updateItem_->description();
    const int answer = environment_.presenter->runAlertPanel(
        text("An updated version of %@ is available.", {environment_.host->displayName()}),
        description.empty() ? question : description + "\n\n" + question, "Install...",
        "Skip This Version", "Remind Later");
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
    OMAURemoveQuietly(downloadFolder_);
    downloadFolderHold_ = OMAUHeldFolder();
    downloadFolder_.clear();
    downloadPath_.clear();
}

void OMAUUpdater::showUpdateErrorAlertWithInfo(const std::string& message) {
    if (isAutomaticallyUpdating()) return;
    environment_.presenter->runAlertPanel(text("Update Error!"), message, mainTableText("Cancel"),
                                          {}, {});
}
