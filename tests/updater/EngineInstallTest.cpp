// The engine's road from the feed to the relaunch: failures on the way,
// a verified update installed, automatic updates, and the archives whose
// contents must install nothing.

#include "EngineTestSupport.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"
#include "updater/OMSoftwareUpdater.h"
#include "updater/engine/OMAUStatusController.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;
using lf::test::EngineTest;

namespace {

TEST_F(EngineTest, FailuresAtTheEdgeEndTheUpdate) {
    // No feed: the user is told, and the next check is not refused as
    // already in progress.
    auto engine = makeEngine({{"AUFeedURL", nullptr}, {"AUScheduledCheckInterval", 60}});
    OMSoftwareUpdater updater(engine);
    lf::LogCapture log;
    updater.checkForUpdates();
    EXPECT_TRUE(log.contains("OMAUNoFeedURL"));
    EXPECT_TRUE(log.contains("No feed URL is specified in the Info.json or the user defaults!"));
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

}  // namespace
