// The update engine with a scripted user, a clock moved by hand and a
// local server: when it checks, what it offers, and the whole road from
// the feed to the relaunch, including the roads that must install nothing.

#include "EngineTestSupport.h"
#include "UpdaterTestSupport.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"
#include "updater/OMSoftwareUpdater.h"
#include "updater/engine/OMAUStatusController.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>

namespace fs = std::filesystem;
using lf::test::md5Of;
using lf::test::readText;

namespace {

constexpr double kDay = 24 * 60 * 60;

// Adds `length` bytes that do not compress to the application in `source`,
// so that its archive is about that long.
void addNoise(const fs::path& source, size_t length) {
    std::mt19937 random(7);
    std::string noise(length, '\0');
    for (char& byte : noise)
        byte = static_cast<char>(random());
    lf::test::writeFile(source / "layerflow.app" / "noise", noise);
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        defaults_ = std::make_shared<lf::UserDefaults>((folder_ / "defaults.json").string());
        installed_ = lf::test::makeApplication(folder_ / "Applications", "layerflow", "1.0");
        fs::create_directories(folder_ / "tmp");
    }

    std::shared_ptr<OMAUUpdater> makeEngine(nlohmann::json info = nlohmann::json::object()) {
        if (!info.contains("AUFeedURL")) info["AUFeedURL"] = server_.url("/appcast.xml");
        if (info["AUFeedURL"].is_null()) info.erase("AUFeedURL");
        OMAUUpdater::Environment environment;
        environment.host = lf::test::makeHost(info, installed_);
        environment.defaults = defaults_;
        environment.scheduler = scheduler_;
        environment.presenter = presenter_;
        environment.privilegedMove = OMAUPrivilegedMove{"env", LF_UPDATE_INSTALLER};
        environment.relaunch = [this](const OMAURelaunchRequest& request) {
            relaunches_.push_back(request);
        };
        environment.terminate = [this] { ++terminations_; };
        return OMAUUpdater::create(std::move(environment));
    }

    // A feed of one release: build `version`, its archive at /name (of the
    // https server unless a whole URL is given).
    void serveFeed(const std::string& version, const std::string& enclosure = {},
                   const std::string& archive = "/layerflow.tgz",
                   lf::test::LocalHTTPServer* server = nullptr) {
        const std::string archiveURL = archive.starts_with("/") ? server_.url(archive) : archive;
        (server ? *server : server_)
            .serve("/appcast.xml", lf::test::LocalHTTPServer::Response::with(fmt::format(
                                       R"(<rss version="2.0" xmlns:appcast="a">
            <channel><title>layerflow</title><item><title>Version {0}</title>
            <description>Faster exports.</description><pubDate>Wed, 09 Jan 2013 19:20:11 +0000</pubDate>
            <enclosure url="{1}" appcast:version="{0}" {2}/></item></channel></rss>)",
                                       version, archiveURL, enclosure)));
    }

    // Serves an archive holding the application at version `version` (and
    // whatever `extra` adds to the folder it is made from); its MD5 sum.
    std::string serveArchive(const std::string& path, const std::string& version,
                             lf::test::LocalHTTPServer::Response response = {},
                             const std::function<void(const fs::path&)>& extra = {},
                             lf::test::LocalHTTPServer* server = nullptr) {
        const fs::path source = folder_ / ("source" + std::to_string(archives_++));
        lf::test::makeApplication(source, "layerflow.app", version);
        if (extra) extra(source);
        const fs::path archive = folder_ / "archive.tgz";
        EXPECT_TRUE(lf::test::runIn(source, "tar -czf '" + archive.string() + "' ."));
        response.body = readText(archive);
        (server ? *server : server_).serve(path, response);
        return md5Of(response.body);
    }

    // Drains the main queue until the update has ended or waits for the user.
    void settle(const std::shared_ptr<OMAUUpdater>& engine) {
        const int attention = presenter_->attentionRequests;
        lf::MainQueue::shared()->runUntil(
            [&] {
                return !engine->isUpdateInProgress() || presenter_->attentionRequests > attention ||
                       terminations_ > 0;
            },
            lf::test::kPatience);
    }

    std::string installedVersion() const { return readText(installed_ / "version"); }
    bool temporaryFolderIsEmpty() const { return fs::is_empty(folder_ / "tmp"); }

    lf::test::TemporaryDirectory folder_;
    lf::test::ScopedEnvironment tmpdir_{"TMPDIR", (folder_ / "tmp").string()};
    lf::test::ScopedEnvironment trash_{"XDG_DATA_HOME", (folder_ / "data").string()};
    // Updates come over https, as they do from the real server.
    lf::test::LocalHTTPServer server_{lf::test::LocalHTTPServer::Scheme::https};
    std::shared_ptr<lf::UserDefaults> defaults_;
    std::shared_ptr<lf::test::ManualScheduler> scheduler_ =
        std::make_shared<lf::test::ManualScheduler>();
    std::shared_ptr<lf::test::ScriptedPresenter> presenter_ =
        std::make_shared<lf::test::ScriptedPresenter>();
    std::vector<OMAURelaunchRequest> relaunches_;
    int terminations_ = 0;
    int archives_ = 0;
    fs::path installed_;
};

size_t feedRequests(const lf::test::LocalHTTPServer& server) {
    size_t count = 0;
    for (const auto& request : server.requests())
        count += request.path == "/appcast.xml";
    return count;
}

TEST_F(EngineTest, TheLaunchPolicyChecksAsConfiguredOrAsks) {
    serveFeed("100");
    // Told not to: nothing is checked or scheduled.
    defaults_->setObject("AUCheckAtStartup", false);
    auto engine = makeEngine({{"AUScheduledCheckInterval", 3600}});
    engine->applicationDidFinishLaunching();
    EXPECT_FALSE(engine->isUpdateInProgress());
    EXPECT_TRUE(scheduler_->pendingDelays().empty());

    // Nobody says: the user is asked, and the answer kept.
    defaults_->removeObject("AUCheckAtStartup");
    presenter_->answers = {OMAUPresenter::kAlertAlternateReturn};
    makeEngine()->applicationDidFinishLaunching();
    EXPECT_TRUE(presenter_->showed("Check for updates on startup?"));
    EXPECT_EQ(defaults_->objectForKey("AUCheckAtStartup"), false);
    EXPECT_EQ(feedRequests(server_), 0u);

    defaults_->removeObject("AUCheckAtStartup");
    auto asked = makeEngine();
    asked->applicationDidFinishLaunching();
    settle(asked);
    EXPECT_EQ(defaults_->objectForKey("AUCheckAtStartup"), true);
    EXPECT_EQ(feedRequests(server_), 1u);

    // The property list answers without asking.
    defaults_->removeObject("AUCheckAtStartup");
    const size_t panels = presenter_->panels.size();
    makeEngine({{"AUCheckAtStartup", false}})->applicationDidFinishLaunching();
    EXPECT_EQ(presenter_->panels.size(), panels);
    EXPECT_FALSE(defaults_->objectForKey("AUCheckAtStartup"));
}

TEST_F(EngineTest, ScheduledChecksKeepTheirIntervalAcrossLaunches) {
    serveFeed("100");
    // The last check was 3 days ago and checks come every 7 days: the next
    // is 4 days away, and every 7 days after it.
    defaults_->setObject(
        "AULastCheckTime",
        std::chrono::duration<double>(scheduler_->now().time_since_epoch()).count() - 3 * kDay);
    auto engine = makeEngine({{"AUScheduledCheckInterval", 7 * kDay}});
    engine->applicationDidFinishLaunching();
    ASSERT_EQ(scheduler_->pendingDelays(), std::vector<double>{4 * kDay});
    EXPECT_EQ(feedRequests(server_), 0u);

    scheduler_->advance(OMAUScheduler::Seconds(4 * kDay));
    settle(engine);
    EXPECT_EQ(feedRequests(server_), 1u);
    EXPECT_EQ(scheduler_->pendingDelays(), std::vector<double>{7 * kDay});
    scheduler_->advance(OMAUScheduler::Seconds(7 * kDay));
    settle(engine);
    EXPECT_EQ(feedRequests(server_), 2u);

    // A launch long after the last check checks at once and schedules.
    engine.reset();
    auto late = makeEngine({{"AUScheduledCheckInterval", 7 * kDay}});
    scheduler_->advance(OMAUScheduler::Seconds(30 * kDay));
    late->applicationDidFinishLaunching();
    settle(late);
    EXPECT_EQ(feedRequests(server_), 3u);
    EXPECT_TRUE(late->hasCheckTimer());
}

TEST_F(EngineTest, TheFacadeAppliesTheLaunchPolicyWithItsLaunchCheck) {
    serveFeed("100");
    // The application asks for its silent check once launching is done;
    // "check at startup: no" must hold for it.
    OMSoftwareUpdater updater(
        makeEngine({{"AUCheckAtStartup", false}, {"AUScheduledCheckInterval", 0}}));
    updater.checkForUpdatesInBackground();
    EXPECT_TRUE(updater.updater()->hasAppliedLaunchPolicy());
    EXPECT_FALSE(updater.updater()->isUpdateInProgress());
    updater.checkForUpdatesInBackground();
    settle(updater.updater());
    EXPECT_EQ(feedRequests(server_), 1u) << "later requests check";
}

TEST_F(EngineTest, TheRunningBuildDecidesWhatIsNew) {
    // The host is version 1.0, build 100: a feed of build 100 is not new,
    // although "100" is newer than the short version "1.0".
    serveFeed("100");
    auto engine = makeEngine();
    engine->checkForUpdates();
    settle(engine);
    EXPECT_TRUE(presenter_->showed("This is the newest version of layerflow."));
    EXPECT_FALSE(engine->isUpdateInProgress());

    serveFeed("101");
    presenter_->answers = {OMAUPresenter::kAlertOtherReturn};  // remind me later
    engine->checkForUpdates();
    settle(engine);
    EXPECT_TRUE(presenter_->showed("An updated version of layerflow is available."));
    EXPECT_TRUE(presenter_->showed("Faster exports."));
    EXPECT_FALSE(engine->isUpdateInProgress());
}

TEST_F(EngineTest, SkippedVersionsAndNewerSystemsAreNotOffered) {
    serveFeed("101");
    auto engine = makeEngine();
    presenter_->answers = {OMAUPresenter::kAlertAlternateReturn};  // skip this version
    engine->checkForUpdates();
    settle(engine);
    EXPECT_EQ(defaults_->objectForKey("AUSkippedVersion"), "101");

    const size_t panels = presenter_->panels.size();
    engine->checkForUpdatesInBackground();
    settle(engine);
    EXPECT_EQ(presenter_->panels.size(), panels) << "a background check passes the skipped version";
    presenter_->answers = {OMAUPresenter::kAlertOtherReturn};
    engine->checkForUpdates();
    settle(engine);
    EXPECT_EQ(presenter_->panels.size(), panels + 1) << "a check the user asks for offers it";
    EXPECT_FALSE(defaults_->objectForKey("AUSkippedVersion")) << "cleared by remind later";

    serveFeed("102", R"(appcast:minimumSystemVersion="13")");
    engine->checkForUpdates();
    settle(engine);
    EXPECT_TRUE(presenter_->showed("This is the newest version")) << "needs a newer system";
}

TEST_F(EngineTest, FailuresAtTheEdgeEndTheUpdate) {
    // No feed: the user is told, and the next check is not refused as
    // already in progress.
    auto engine = makeEngine({{"AUFeedURL", nullptr}, {"AUScheduledCheckInterval", 60}});
    OMSoftwareUpdater updater(engine);
    lf::LogCapture log;
    updater.checkForUpdates();
    EXPECT_TRUE(log.contains("OMAUNoFeedURL"));
    EXPECT_TRUE(presenter_->showed("An error occurred in retrieving update information."));
    EXPECT_FALSE(engine->isUpdateInProgress());

    // A scheduled check raising the same ends quietly.
    engine->scheduleCheckWithInterval(60);
    const size_t panels = presenter_->panels.size();
    scheduler_->advance(OMAUScheduler::Seconds(61));
    EXPECT_FALSE(engine->isUpdateInProgress());
    EXPECT_EQ(presenter_->panels.size(), panels);

    // An unreachable feed.
    auto dead = makeEngine({{"AUFeedURL", "http://127.0.0.1:1/appcast.xml"}});
    dead->checkForUpdates();
    settle(dead);
    EXPECT_TRUE(presenter_->showed("are you connected to the internet?"));
}

TEST_F(EngineTest, AVerifiedUpdateIsInstalledAndRelaunched) {
    lf::test::LocalHTTPServer::Response named;
    named.headers = {"Content-Disposition: attachment; filename=\"../../x/layerflow.tgz.txt\""};
    const std::string md5 =
        serveArchive("/layerflow.tgz", "2.0", named, [](const fs::path& source) {
            // The same name deeper down belongs to the application.
            lf::test::makeApplication(source / "layerflow.app" / "plugins", "layerflow.app",
                                      "nested");
        });
    serveFeed("101", R"(appcast:md5Sum=")" + md5 + R"(")");
    auto engine = makeEngine();
    bool willRestart = false;
    lf::Observation observation = engine->observeWillRestart([&] { willRestart = true; });
    engine->checkForUpdates();
    settle(engine);
    ASSERT_EQ(presenter_->attentionRequests, 1) << "ready to install";
    OMAUStatusController* status = engine->statusController();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->title(), "Do you want to install the update?");
    EXPECT_EQ(status->buttonTitle(), "Install and Relaunch");
    EXPECT_TRUE(status->showsCancelButton());

    // The server's name is reduced to its last component, without ".txt",
    // in a folder only this user may enter.
    const fs::path download = engine->downloadPath();
    EXPECT_EQ(download.filename(), "layerflow.tgz");
    EXPECT_EQ(download.parent_path().parent_path(), folder_ / "tmp");
    struct stat folder {};
    ASSERT_EQ(::stat(download.parent_path().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    // A second check the user asks for meanwhile beeps and shows the window.
    engine->checkForUpdates();
    EXPECT_EQ(presenter_->beeps, 1);
    EXPECT_TRUE(status->isWindowVisible());

    status->performAction();
    EXPECT_EQ(installedVersion(), "2.0");
    EXPECT_TRUE(willRestart);
    ASSERT_EQ(relaunches_.size(), 1u);
    EXPECT_EQ(relaunches_[0].executable, installed_ / "layerflow");
    EXPECT_EQ(relaunches_[0].downloadFolder, download.parent_path());
    EXPECT_EQ(relaunches_[0].processID, ::getpid());
    EXPECT_EQ(terminations_, 1);
}

TEST_F(EngineTest, AServersNameIsSavedSafeAndShownEscaped) {
    // A name that would forge a log line, colour a terminal and turn the
    // text around, for a damaged archive: as the last part of the URL,
    // percent-decoded, and as Content-Disposition gives it (where no line
    // can end).
    const std::string junk = "twenty-one bytes, no.";
    lf::test::LocalHTTPServer::Response disposed = lf::test::LocalHTTPServer::Response::with(junk);
    disposed.headers = {
        "Content-Disposition: attachment; filename=\"Upd [fake] install OK "
        "\x1B[32mgreen\u202Epiz.zip\""};
    server_.serve("/Upd%0A%5Bfake%5D%20install%20OK%20%1B%5B32mgreen%E2%80%AEpiz.zip",
                  lf::test::LocalHTTPServer::Response::with(junk));
    server_.serve("/update.zip", disposed);
    const std::pair<std::string, std::string> cases[] = {
        {"/Upd%0A%5Bfake%5D%20install%20OK%20%1B%5B32mgreen%E2%80%AEpiz.zip",
         "/Upd_[fake] install OK _[32mgreen_piz.zip: "},
        {"/update.zip", "/Upd [fake] install OK _[32mgreen_piz.zip: "}};
    for (const auto& [archive, saved] : cases) {
        SCOPED_TRACE(archive);
        serveFeed("101", R"(appcast:md5Sum=")" + md5Of(junk) + R"(")", archive);
        presenter_->panels.clear();
        lf::LogCapture log;
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while extracting the archive."));
        EXPECT_TRUE(log.contains(saved)) << "saved under a safe name";
        EXPECT_TRUE(log.contains("unzip: End-of-central-directory signature not found."));
        for (const std::string& line : log.lines())
            EXPECT_TRUE(lf::test::showsSafely(line)) << line;
        EXPECT_TRUE(temporaryFolderIsEmpty());
    }
}

TEST_F(EngineTest, AnUnverifiedArchiveInstallsNothing) {
    serveArchive("/layerflow.tgz", "2.0");
    const std::pair<std::string, const char*> cases[] = {
        {R"(appcast:md5Sum="00000000000000000000000000000000")", "a wrong checksum"},
        {"", "neither checksum nor signature"},
    };
    for (const auto& [enclosure, what] : cases) {
        SCOPED_TRACE(what);
        serveFeed("101", enclosure);
        presenter_->panels.clear();
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while extracting the Update archive."));
        EXPECT_EQ(installedVersion(), "1.0");
        EXPECT_FALSE(engine->isUpdateInProgress());
        EXPECT_TRUE(temporaryFolderIsEmpty()) << "the download is removed";
    }

    // A signature expected by the property list must be there and right,
    // whatever the checksum says.
    const std::string md5 = serveArchive("/layerflow.tgz", "2.0");
    const std::string key = readText(fs::path(LF_UPDATER_TEST_DATA) / "test-dsa-public.pem");
    for (const char* signature :
         {"",
          "MD0CHQCI4OEOHe+hwj27N2+fffZybwy8FZ56ojp+Jjg7AhxFFmu5sBanX4UAHYz83dcpSSOzw7Zmi/tuLEcU"}) {
        serveFeed("101",
                  fmt::format(R"(appcast:md5Sum="{}" appcast:dsaSignature="{}")", md5, signature));
        presenter_->panels.clear();
        auto engine = makeEngine({{"AUExpectsDSASignature", true}, {"AUPublicDSAKey", key}});
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while extracting the Update archive."))
            << "signature \"" << signature << "\"";
        EXPECT_EQ(installedVersion(), "1.0");
    }
}

TEST_F(EngineTest, AChecksumAloneCountsOnlyWhenFeedAndArchiveCameOverHTTPS) {
    // Plain http, though from this computer, could have been changed on
    // the way: the checksum that comes with it proves nothing.
    lf::test::LocalHTTPServer plain;
    const std::string md5 = serveArchive("/layerflow.tgz", "2.0", {}, {}, &plain);
    server_.serve("/layerflow.tgz",
                  lf::test::LocalHTTPServer::Response::with(readText(folder_ / "archive.tgz")));
    const std::string enclosure = R"(appcast:md5Sum=")" + md5 + R"(")";
    const std::pair<std::string, const char*> feeds[] = {
        {plain.url("/appcast.xml"), "the feed over http"},
        {server_.url("/appcast.xml"), "the archive over http"},
    };
    serveFeed("101", enclosure, server_.url("/layerflow.tgz"), &plain);
    serveFeed("101", enclosure, plain.url("/layerflow.tgz"));
    for (const auto& [feed, what] : feeds) {
        SCOPED_TRACE(what);
        presenter_->panels.clear();
        lf::LogCapture log;
        auto engine = makeEngine({{"AUFeedURL", feed}});
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while extracting the Update archive."));
        EXPECT_TRUE(log.contains("both came over https"));
        EXPECT_EQ(installedVersion(), "1.0");
        EXPECT_TRUE(temporaryFolderIsEmpty());
    }
}

TEST_F(EngineTest, ADownloadPastItsCapStopsAndLeavesNothing) {
    // The feed states 1000 bytes; the archive is some megabytes, announced
    // (stopped before it comes) or not (cut once past the cap).
    lf::test::LocalHTTPServer::Response withoutLength;
    withoutLength.withoutLength = true;
    for (const auto& response : {lf::test::LocalHTTPServer::Response(), withoutLength}) {
        SCOPED_TRACE(response.withoutLength ? "without a length" : "with its length");
        const std::string md5 =
            serveArchive("/layerflow.tgz", "2.0", response,
                         [](const fs::path& source) { addNoise(source, 3 << 20); });
        serveFeed("101", R"(length="1000" appcast:md5Sum=")" + md5 + R"(")");
        presenter_->panels.clear();
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while trying to download the file."));
        EXPECT_EQ(installedVersion(), "1.0");
        EXPECT_TRUE(temporaryFolderIsEmpty());
    }
}

TEST_F(EngineTest, TheDownloadCapsHoldToTheByte) {
    // The feed's length and a mebibyte more: an archive that long is
    // taken, one a byte longer is not.
    const std::string md5 = serveArchive("/layerflow.tgz", "2.0", {},
                                         [](const fs::path& source) { addNoise(source, 3 << 19); });
    const uint64_t length = fs::file_size(folder_ / "archive.tgz");
    for (const uint64_t stated : {length - (1 << 20), length - (1 << 20) - 1}) {
        SCOPED_TRACE(stated);
        serveFeed("101", fmt::format(R"(length="{}" appcast:md5Sum="{}")", stated, md5));
        presenter_->panels.clear();
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        const bool taken = stated + (1 << 20) == length;
        EXPECT_EQ(presenter_->showed("An error occurred while trying to download the file."),
                  !taken);
        EXPECT_EQ(engine->isUpdateInProgress(), taken) << "ready to install";
    }

    // Without a length in the feed, 2 GiB: a server announcing one byte
    // more is stopped before it sends anything; one announcing exactly that
    // is let through (and fails here as it sends less).
    for (const uint64_t announced : {uint64_t{2} << 30, (uint64_t{2} << 30) + 1}) {
        SCOPED_TRACE(announced);
        lf::test::LocalHTTPServer::Response huge = lf::test::LocalHTTPServer::Response::with("x");
        huge.announcedLength = announced;
        server_.serve("/huge.tgz", huge);
        serveFeed("101", R"(appcast:md5Sum="00000000000000000000000000000000")", "/huge.tgz");
        lf::LogCapture log;
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while trying to download the file."));
        EXPECT_EQ(log.contains("Maximum file size exceeded"), announced > (uint64_t{2} << 30));
    }
}

TEST_F(EngineTest, ASignedArchiveIsStillLoadedOverHTTPSOnly) {
    // The signature would vouch for the archive wherever it came from; it
    // is refused all the same when a redirect leads it to plain http.
    lf::test::LocalHTTPServer plain;
    serveArchive("/layerflow.tgz", "2.0", {}, {}, &plain);
    const std::string archive = readText(folder_ / "archive.tgz");
    server_.serve("/direct.tgz", lf::test::LocalHTTPServer::Response::with(archive));
    lf::test::LocalHTTPServer::Response redirect =
        lf::test::LocalHTTPServer::Response::with("", 302);
    redirect.headers = {"Location: " + plain.url("/layerflow.tgz")};
    server_.serve("/redirected.tgz", redirect);
    const std::string signature = lf::test::signWithTestKey(archive);
    const nlohmann::json info = {
        {"AUExpectsDSASignature", true},
        {"AUPublicDSAKey", readText(fs::path(LF_UPDATER_TEST_DATA) / "test-dsa-public.pem")}};
    for (const char* path : {"/direct.tgz", "/redirected.tgz"}) {
        SCOPED_TRACE(path);
        serveFeed("101", fmt::format(R"(appcast:dsaSignature="{}")", signature), path);
        presenter_->panels.clear();
        lf::LogCapture log;
        auto engine = makeEngine(info);
        engine->checkForUpdates();
        settle(engine);
        const bool secure = std::string(path) == "/direct.tgz";
        EXPECT_EQ(engine->isUpdateInProgress(), secure) << "ready to install";
        EXPECT_EQ(log.contains("is refused"), !secure);
    }
    EXPECT_TRUE(plain.requests().empty());
    EXPECT_EQ(installedVersion(), "1.0");
}

TEST_F(EngineTest, ALinkLeadingOutOfTheApplicationIsNotInstalled) {
    // Within the download folder, but beside the application once installed;
    // or back into it by its name, which the installed folder need not have.
    for (const char* target : {"../sibling", "../layerflow.app/resources/version.txt"}) {
        SCOPED_TRACE(target);
        const std::string md5 =
            serveArchive("/layerflow.tgz", "2.0", {}, [target](const fs::path& source) {
                fs::create_directories(source / "sibling");
                fs::create_symlink(target, source / "layerflow.app" / "x");
            });
        serveFeed("101", R"(appcast:md5Sum=")" + md5 + R"(")");
        presenter_->panels.clear();
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        // Refused as it is unpacked, which knows the application's name:
        // the tree is checked once, off the main thread.
        EXPECT_TRUE(presenter_->showed("An error occurred while extracting the archive."));
        EXPECT_FALSE(engine->isUpdateInProgress());
        EXPECT_EQ(installedVersion(), "1.0");
        EXPECT_TRUE(relaunches_.empty());
        EXPECT_TRUE(temporaryFolderIsEmpty());
    }
}

TEST_F(EngineTest, AnArchiveWithoutOneClearApplicationIsNotInstalled) {
    const std::string twice = serveArchive("/layerflow.tgz", "2.0", {}, [](const fs::path& source) {
        lf::test::makeApplication(source / "second", "layerflow.app", "2.1");
        fs::rename(source / "layerflow.app", source / "first");
        fs::create_directories(source / "first.d");
        fs::rename(source / "first", source / "first.d" / "layerflow.app");
    });
    serveFeed("101", R"(appcast:md5Sum=")" + twice + R"(")");
    auto engine = makeEngine();
    engine->checkForUpdates();
    settle(engine);
    ASSERT_TRUE(engine->statusController());
    engine->statusController()->performAction();
    EXPECT_TRUE(presenter_->showed("An error occurred during installation."));
    EXPECT_EQ(installedVersion(), "1.0");
    EXPECT_TRUE(relaunches_.empty());

    const std::string renamed = serveArchive("/other.tgz", "2.0", {}, [](const fs::path& source) {
        fs::rename(source / "layerflow.app", source / "LayerFlow.app");
    });
    serveFeed("101", R"(appcast:md5Sum=")" + renamed + R"(")", "/other.tgz");
    presenter_->panels.clear();
    engine->checkForUpdates();
    settle(engine);
    ASSERT_TRUE(engine->statusController());
    engine->statusController()->performAction();
    EXPECT_TRUE(presenter_->showed("An error occurred during installation."));
    EXPECT_FALSE(engine->isUpdateInProgress());
}

TEST_F(EngineTest, AutomaticUpdatesInstallWithoutAskingAndMayRelaunchLater) {
    lf::test::LocalHTTPServer::Response withoutLength;
    withoutLength.withoutLength = true;
    const std::string md5 = serveArchive("/layerflow.tgz", "2.0", withoutLength);
    serveFeed("101", R"(appcast:md5Sum=")" + md5 + R"(")");
    defaults_->setObject("AUAutomaticallyUpdate", true);
    presenter_->relaunchNow = false;
    auto engine = makeEngine();
    engine->checkForUpdatesInBackground();
    lf::MainQueue::shared()->runUntil(
        [&] { return presenter_->automaticAlerts > 0 || !engine->isUpdateInProgress(); },
        lf::test::kPatience);
    EXPECT_EQ(presenter_->automaticAlerts, 1);
    EXPECT_TRUE(presenter_->panels.empty()) << "nothing asked";
    EXPECT_FALSE(engine->statusController());
    EXPECT_EQ(installedVersion(), "2.0");
    EXPECT_TRUE(relaunches_.empty()) << "the new version starts next time";
    EXPECT_TRUE(engine->isUpdateInProgress());
}

TEST_F(EngineTest, AnUnknownLengthShowsIndeterminateProgress) {
    const std::string md5 = serveArchive("/layerflow.tgz", "2.0");
    serveFeed("101", R"(appcast:md5Sum=")" + md5 + R"(")");
    auto engine = makeEngine();
    engine->checkForUpdates();
    settle(engine);
    OMAUStatusController* status = engine->statusController();
    ASSERT_TRUE(status);
    lf::URLRequest dead;
    dead.url = "http://127.0.0.1:1/";
    auto download = lf::URLDownload::start(dead, {});
    lf::URLResponse response;
    for (std::optional<uint64_t> length : {std::optional<uint64_t>(), std::optional<uint64_t>(0)}) {
        response.expectedContentLength = length;
        engine->downloadDidReceiveResponse(*download, response);
        engine->downloadDidReceiveData(*download, 1500);
        EXPECT_EQ(status->maxProgressValue(), 0);
        EXPECT_EQ(status->progressBar()->maximum(), 0) << "indeterminate";
        EXPECT_EQ(status->statusText(), "2 kB") << "the count alone";
    }
    response.expectedContentLength = 3000;
    engine->downloadDidReceiveResponse(*download, response);
    engine->downloadDidReceiveData(*download, 1500);
    EXPECT_EQ(status->statusText(), "50% - 2 kB of 3 kB");
    download->cancel();
    engine->cancelDownload();
    EXPECT_FALSE(engine->isUpdateInProgress());
}

}  // namespace
