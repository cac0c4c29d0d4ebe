#pragma once
// OMAUUpdater, the update engine: runs one update at a time from the check
// to the relaunch. It decides when to check (a launch policy and a repeating
// timer), fetches the feed (OMAUAppcast), compares the newest release with
// the running build, offers it or goes on by itself (automatic updating),
// downloads the archive into a private temporary folder with progress,
// verifies it, has it unpacked (OMAUUnarchiver), puts it in the place of the
// installed application folder and relaunches the application.
//
// Failures are named exceptions (OMAUExceptions.h), caught at the engine's
// edge: the callbacks from timers, from the feed, download and unpacking
// threads, and from the facade run through atEdge, which logs the failure,
// abandons the update (so a later check is not refused as "in progress")
// and tells the user when the check was asked for.
//
// The feed, the release notes and the archive load over https only (plain
// http only from this computer itself, for tests), every redirect over
// https; the archive download stops past the length the feed states (a
// little more), else past 2 GiB. The archive must be verified before
// anything of it is unpacked: by its DSA signature when the property list
// expects one ("AUExpectsDSASignature", key "AUPublicDSAKey"), and by its
// MD5 checksum when the feed gives one. As the checksum comes with the
// feed, an archive verified by it alone is unpacked only when the feed and
// the archive both came over https; an update that offers neither check is
// refused. The unpacked application folder must hold no link that leads
// out of it.
//
// Threads: main thread only; the feed, download and unpacking threads
// report here through the main queue.

#include "platform/core/Observation.h"
#include "platform/settings/UserDefaults.h"
#include "platform/transfers/URLDownload.h"
#include "updater/engine/OMAUScheduler.h"
#include "updater/feed/OMAUAppcast.h"
#include "updater/installation/OMAUInstallation.h"
#include "updater/interface/OMAUPresenter.h"
#include "updater/interface/OMAUUpdateAlert.h"
#include "updater/shared/OMAUHost.h"
#include "updater/unpacking/OMAULaunchSweep.h"
#include "updater/unpacking/OMAUUnarchiver.h"
#include "updater/walks/OMAUHeldFolder.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class OMAUStatusController;

// Posted (to the observers of observeWillRestart) just before the relaunch.
inline constexpr const char* OMAUUpdaterWillRestartNotificationName =
    "OMAUUpdaterWillRestartNotificationName";

// What the relaunch waiter is given.
struct OMAURelaunchRequest {
    int processID = 0;
    std::filesystem::path executable;
    std::filesystem::path downloadFolder;
};

class OMAUUpdater : public std::enable_shared_from_this<OMAUUpdater>,
                    public OMAUAppcastDelegate,
                    public lf::URLDownloadDelegate,
                    public OMAUUnarchiverDelegate,
                    public OMAUUpdateAlertDelegate {
public:
    // The engine's surroundings; every member left empty takes the
    // application's own.
    struct Environment {
        std::shared_ptr<const OMAUHost> host;
        std::shared_ptr<lf::UserDefaults> defaults;
        std::shared_ptr<OMAUScheduler> scheduler;
        std::shared_ptr<OMAUPresenter> presenter;
        std::optional<OMAUPrivilegedMove> privilegedMove;
        // Starts the relaunch waiter (layerflow-relaunch).
        std::function<void(const OMAURelaunchRequest&)> relaunch;
        // Ends the application (QCoreApplication::quit).
        std::function<void()> terminate;
    };

    // What a user-asked check shows when it fails before the feed is read.
    static constexpr const char* kRetrievingFailed =
        "An error occurred in retrieving update information. Please try again later.";

    static std::shared_ptr<OMAUUpdater> create(Environment environment = {});
    // Engines are made with create(); a bundle never has one of its own.
    static std::shared_ptr<OMAUUpdater> updaterForBundle(const void*) { return nullptr; }
    ~OMAUUpdater() override;

    // Runs `work` at the engine's edge (see above); `report` is what a
    // user-asked update shows when it fails there.
    void atEdge(const std::function<void()>& work, const char* report);

    // The launch policy: checks now, later or on a schedule, or not at all,
    // as "AUCheckAtStartup" and "AUScheduledCheckInterval" say (asking the
    // user when neither the defaults nor the property list do). Applied once.
    void applicationDidFinishLaunching();
    bool hasAppliedLaunchPolicy() const { return appliedLaunchPolicy_; }

    // Raise OMAUNoFeedURL when no feed is configured.
    void checkForUpdatesInBackground() { checkForUpdatesAndNotify(false); }
    void checkForUpdates() { checkForUpdatesAndNotify(true); }

    void scheduleCheckWithInterval(double seconds);
    void scheduleCheckWithIntervalObject(long seconds) { scheduleCheckWithInterval(seconds); }
    double storedCheckInterval() const;
    double checkInterval() const { return checkInterval_; }
    bool hasCheckTimer() const { return checkTimer_ != nullptr; }

    bool automaticallyUpdates() const;
    bool isAutomaticallyUpdating() const { return automaticallyUpdates() && !verbose_; }
    bool isUpdateInProgress() const { return updateInProgress_; }
    bool newVersionAvailable() const;
    const std::optional<OMAUAppcastItem>& updateItem() const { return updateItem_; }
    OMAUStatusController* statusController() const { return statusController_.get(); }
    const std::filesystem::path& downloadPath() const { return downloadPath_; }
    // The sweep the launch policy started (OMAULaunchSweep.h), once applied.
    const std::shared_ptr<OMAULaunchSweep>& launchSweep() const { return launchSweep_; }

    void showUpdatePanel();
    void updateAlertFinishedWithChoice(OMAUUpdateAlert* alert, int choice) override;
    void remindMeLater();
    void beginDownload();
    void cancelDownload();
    void extractUpdate();
    void installAndRestart();
    void abandonUpdate();
    void showUpdateErrorAlertWithInfo(const std::string& message);

    [[nodiscard]] lf::Observation observeWillRestart(std::function<void()> observer);

    // OMAUAppcastDelegate
    void appcastDidFinishLoading(std::shared_ptr<OMAUAppcast> appcast) override;
    void appcastDidFailToLoad(std::shared_ptr<OMAUAppcast> appcast) override;
    // URLDownloadDelegate
    void downloadDidReceiveResponse(lf::URLDownload&, const lf::URLResponse& response) override;
    std::string downloadDecideDestination(lf::URLDownload&, const std::string& suggested) override;
    void downloadDidReceiveData(lf::URLDownload&, uint64_t length) override;
    void downloadDidFinish(lf::URLDownload&) override;
    void downloadDidFail(lf::URLDownload& download, const lf::Error& error) override;
    // OMAUUnarchiverDelegate
    void unarchiverExtractedLength(OMAUUnarchiver&, uint64_t length) override;
    void unarchiverDidFinish(std::shared_ptr<OMAUUnarchiver> unarchiver) override;
    void unarchiverDidFail(std::shared_ptr<OMAUUnarchiver> unarchiver) override;

private:
    explicit OMAUUpdater(Environment environment);
    void checkForUpdatesAndNotify(bool verbose);
    void checkInBackgroundFromTimer();
    // The newly unpacked application: the shallowest entry named
    // "CFBundleName.app" in the download folder (whose links the unpacking
    // has held inside it).
    std::filesystem::path unpackedApplication() const;
    void relaunch();
    std::string text(std::string_view key, std::vector<std::string> values = {}) const;
    std::string mainTableText(std::string_view key) const;
    void removeDownloadFolder();
    // Starts removing, off the main thread, the download folders that
    // applications ended mid-way left, and the unpacking folders in those
    // in use (OMAULaunchSweep.h).
    void startLaunchSweep();

    const Environment environment_;

    std::optional<OMAUAppcastItem> updateItem_;
    std::unique_ptr<OMAUStatusController> statusController_;
    std::shared_ptr<lf::URLDownload> downloader_;
    std::shared_ptr<OMAUUnarchiver> unarchiver_;
    // Whether the feed of the update item came over https.
    bool feedCameOverHTTPS_ = false;
    std::filesystem::path downloadFolder_;
    // Held from its making until it is removed, or, handed to the relaunch
    // waiter, until this process ends: a download folder that no process
    // holds was left by an application that ended, and the next launch
    // removes it.
    OMAUHeldFolder downloadFolderHold_;
    std::filesystem::path downloadPath_;
    std::shared_ptr<OMAULaunchSweep> launchSweep_;
    std::unique_ptr<OMAUTimer> checkTimer_;
    // The launch policy's delayed check and schedule.
    std::unique_ptr<OMAUTimer> launchCheckTimer_;
    double checkInterval_ = 0;
    bool verbose_ = false;
    bool updateInProgress_ = false;
    bool appliedLaunchPolicy_ = false;
    int nextObserver_ = 0;
    std::map<int, std::function<void()>> willRestartObservers_;
};
