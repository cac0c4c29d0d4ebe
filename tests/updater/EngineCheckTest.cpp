// When the engine checks and what it offers: the launch policy, scheduled
// checks kept across launches, the running build against the feed's, and
// the versions and systems it passes over.

#include "EngineTestSupport.h"
#include "updater/OMSoftwareUpdater.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

using lf::test::EngineTest;

namespace {

constexpr double kDay = 24 * 60 * 60;

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

TEST_F(EngineTest, TheOfferAsksAfterTheItemsDescriptionIfItHasOne) {
    const std::string question = "Would you like to update to the new version?";
    serveFeed("101");
    auto engine = makeEngine();
    presenter_->answers = {OMAUPresenter::kAlertOtherReturn};
    engine->checkForUpdates();
    settle(engine);
    ASSERT_FALSE(presenter_->panels.empty());
    EXPECT_EQ(presenter_->panels.back().message, "Faster exports.\n\n" + question);

    server_.serve("/appcast.xml", lf::test::LocalHTTPServer::Response::with(fmt::format(
                                      R"(<rss version="2.0" xmlns:appcast="a"><channel>
            <title>layerflow</title><item><title>Version 101</title>
            <enclosure url="{}" appcast:version="101"/></item></channel></rss>)",
                                      server_.url("/layerflow.tgz"))));
    presenter_->answers = {OMAUPresenter::kAlertOtherReturn};
    engine->checkForUpdates();
    settle(engine);
    EXPECT_EQ(presenter_->panels.back().message, question) << "no empty paragraph above it";
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

}  // namespace
