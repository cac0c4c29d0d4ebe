// Flows launched again: what an earlier launch left to export, and saves
// that no running application saw (made while none ran, or before the
// watch began), are exported once, or marked as changes to run. Runs are
// counted once the flow has rested a while, so a run that starts late is
// counted too.

#include "FlowFixtures.h"
#include "RecordingController.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/shared/QFKeyedArchive.h"
#include "flows/watching/QFFileObserver.h"

#include <gtest/gtest.h>

using namespace lf;
namespace fs = std::filesystem;

namespace {

class ConcurrentFlowLaunch : public ConcurrentFlowBackgroundRun {
protected:
    // The flow of `archive` with `behavior`, as a launch decodes and
    // activates it, once its watch is on and what it took up has run.
    std::shared_ptr<FakeExportFlow> launch(const nlohmann::json& archive, QFFlowBehavior behavior,
                                           std::function<void()> beforeTheWatch = {}) {
        auto flow = std::make_shared<FakeExportFlow>();
        nlohmann::json withBehavior = archive;
        withBehavior["behavior"] = behavior;
        EXPECT_TRUE(flow->decodeArchive(withBehavior));
        if (beforeTheWatch) flow->input()->setWillStartWatchingHookForTesting(beforeTheWatch);
        flow->activateAutomaticBehaviorIfNeeded();
        EXPECT_TRUE(waitUntil([&] { return isWatching(*flow) && idle(*flow); }));
        return flow;
    }
    // Idle, with nothing left on the main queue to start a run.
    bool idle(QFFlow& flow) {
        MainQueue::shared()->drain();
        return flow.status() == QFFlowStatusIdle;
    }
    // The runs of `flow` once it has rested: a run that starts after the
    // flow was idle counts too (one that a watch's report of the flow's
    // own writes would start, say), and so does one still under way.
    size_t runsOnceSettled(FakeExportFlow& flow) {
        // Twice as long as the watch waits after a change before it looks.
        MainQueue::shared()->runUntil([] { return false; }, 2 * QFFileObserver::kCallbackDelay);
        MainQueue::shared()->drain();
        EXPECT_NE(flow.status(), QFFlowStatusRunningWithoutUI) << "a run started late";
        return flow.runs().size();
    }
    // The archive of a flow of "d.psd" after it exported `version`.
    nlohmann::json archiveAfterExporting(const std::string& version) {
        test::writeFile(folder / "d.psd", version);
        auto flow = flowWithDocuments({"d.psd"});
        flow->setOutputDirectoryURL((folder / "out").string());
        flow->startBackgroundRunIfNeeded();
        EXPECT_TRUE(waitUntil([&] { return idle(*flow); }));
        EXPECT_EQ(exported(), version);
        return flow->encode();
    }
    std::string exported() { return read(folder / "out" / "out" / "d.png"); }
    // A save by rename, as many editors save, at a second of its own.
    void saveWhileNoApplicationRuns(const std::string& version, time_t second) {
        test::writeFile(folder / "d.psd.saving", version);
        setModificationSecond(folder / "d.psd.saving", second);
        fs::rename(folder / "d.psd.saving", folder / "d.psd");
    }
};

}  // namespace

// The application quit while a change waited to be exported, or after a
// run failed: launched again, a flow that repeats runs once, one that
// notifies is marked as having changes to run, and one with neither left
// to take up does nothing.
TEST_F(ConcurrentFlowLaunch, AFlowDecodedBehindItsDocumentsTakesThatUpAtLaunch) {
    // Archived while its run of a change was under way.
    nlohmann::json quitDuringARun;
    {
        auto flow = watchingFlow("r.psd", QFFlowBehaviorRepeatAutomatically);
        flow->holdsRuns = true;
        test::writeFile(folder / "r.psd", "r, saved");
        setModificationSecond(folder / "r.psd", 6'000'000);
        flow->input()->detectInput();
        ASSERT_TRUE(waitUntil([&] { return flow->heldRuns == 1; }));
        quitDuringARun = flow->encode();
        flow->setBehavior(QFFlowBehaviorNone);
        flow->holdsRuns = false;
        flow->gate.signal();
        ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    }
    ASSERT_TRUE(quitDuringARun.value("hasUnexportedChanges", false));
    nlohmann::json failed = quitDuringARun;
    failed.erase("hasUnexportedChanges");
    failed["lastRunError"] = QFArchivedError(Error(kFakeRunErrorDomain, 7));
    nlohmann::json current = failed;
    current.erase("lastRunError");

    for (const auto* archive : {&quitDuringARun, &failed}) {
        auto repeating = launch(*archive, QFFlowBehaviorRepeatAutomatically);
        EXPECT_EQ(runsOnceSettled(*repeating), 1u);
        EXPECT_FALSE(repeating->lastRunError());
        EXPECT_FALSE(repeating->hasUnexportedChanges());
        EXPECT_EQ(read(folder / "out" / "out" / "r.png"), "r, saved");
        fs::remove_all(folder / "out");

        auto notifying = launch(*archive, QFFlowBehaviorNotifyWhenChanged);
        EXPECT_TRUE(notifying->hasChangesToRun());
        EXPECT_EQ(runsOnceSettled(*notifying), 0u);
    }
    auto upToDate = launch(current, QFFlowBehaviorRepeatAutomatically);
    EXPECT_EQ(runsOnceSettled(*upToDate), 0u);
    EXPECT_FALSE(launch(current, QFFlowBehaviorNotifyWhenChanged)->hasChangesToRun());
    EXPECT_FALSE(fs::exists(folder / "out"));
}

// The archive keeps the tokens of the documents the folder holds; a
// document saved, added or removed since makes a repeating flow run once
// at launch, and a notifying one mark changes to run. Unchanged, neither.
TEST_F(ConcurrentFlowLaunch, SavesMadeWhileNoApplicationRanAreExportedOnce) {
    const nlohmann::json archive = archiveAfterExporting("exported");
    ASSERT_TRUE(archive.contains("exportedInputTokens"));
    EXPECT_EQ(archive["exportedInputTokens"].size(), 1u);

    auto unchanged = launch(archive, QFFlowBehaviorRepeatAutomatically);
    EXPECT_EQ(runsOnceSettled(*unchanged), 0u);
    EXPECT_FALSE(launch(archive, QFFlowBehaviorNotifyWhenChanged)->hasChangesToRun());

    saveWhileNoApplicationRuns("saved while down", 7'000'000);
    EXPECT_TRUE(launch(archive, QFFlowBehaviorNotifyWhenChanged)->hasChangesToRun());
    EXPECT_EQ(exported(), "exported");
    auto repeating = launch(archive, QFFlowBehaviorRepeatAutomatically);
    EXPECT_EQ(runsOnceSettled(*repeating), 1u);
    EXPECT_EQ(exported(), "saved while down");
    // Exported: the next launch has nothing to take up.
    EXPECT_EQ(runsOnceSettled(*launch(repeating->encode(), QFFlowBehaviorRepeatAutomatically)), 0u);

    // The same document, but another set of them.
    nlohmann::json moreDocuments = repeating->encode();
    moreDocuments["exportedInputTokens"]["/elsewhere/gone.psd"] = QFModificationToken{}.encode();
    EXPECT_EQ(runsOnceSettled(*launch(moreDocuments, QFFlowBehaviorRepeatAutomatically)), 1u);
}

// Archived before the tokens were kept: a document whose status changed
// after the output was last written runs once; one unchanged since does
// not. Tokens that cannot be read vouch for nothing: the flow runs once.
TEST_F(ConcurrentFlowLaunch, ArchivesWithoutTokensOrWithUnreadableOnesRunWhenInDoubt) {
    nlohmann::json archive = archiveAfterExporting("exported");
    archive.erase("exportedInputTokens");
    const double lastWritten = archive["lastRunDate"];
    archive["lastRunDate"] = lastWritten + 3600;  // the save below is older
    EXPECT_EQ(runsOnceSettled(*launch(archive, QFFlowBehaviorRepeatAutomatically)), 0u);
    archive["lastRunDate"] = lastWritten - 3600;
    EXPECT_EQ(runsOnceSettled(*launch(archive, QFFlowBehaviorRepeatAutomatically)), 1u);
    archive.erase("lastRunDate");  // never written: nothing to compare with
    EXPECT_EQ(runsOnceSettled(*launch(archive, QFFlowBehaviorRepeatAutomatically)), 0u);

    for (const nlohmann::json& unreadable :
         {nlohmann::json("tokens"), nlohmann::json{{(folder / "d.psd").string(), 3}}}) {
        nlohmann::json damaged = archiveAfterExporting("exported");
        damaged["exportedInputTokens"] = unreadable;
        EXPECT_EQ(runsOnceSettled(*launch(damaged, QFFlowBehaviorRepeatAutomatically)), 1u)
            << unreadable;
    }
}

// A save made after the launch's snapshot, before its watch began: the
// snapshot taken once the watch is on sees it, and it is exported.
TEST_F(ConcurrentFlowLaunch, ASaveBeforeTheWatchBeganIsExported) {
    const nlohmann::json archive = archiveAfterExporting("exported");
    auto flow = launch(archive, QFFlowBehaviorRepeatAutomatically,
                       [&] { saveWhileNoApplicationRuns("saved before the watch", 7'100'000); });
    ASSERT_TRUE(waitUntil([&] { return exported() == "saved before the watch"; }));
    EXPECT_EQ(runsOnceSettled(*flow), 1u);
}

// Switched off, its document saved, then switched on again: a repeating
// flow exports what changed meanwhile, a notifying one marks it.
TEST_F(ConcurrentFlowLaunch, SwitchingTheBehaviourOnAgainTakesUpWhatChangedMeanwhile) {
    auto flow = launch(archiveAfterExporting("exported"), QFFlowBehaviorRepeatAutomatically);
    flow->setBehavior(QFFlowBehaviorNone);
    saveWhileNoApplicationRuns("saved while off", 7'200'000);
    flow->setBehavior(QFFlowBehaviorNotifyWhenChanged);
    EXPECT_TRUE(waitUntil([&] { return flow->hasChangesToRun(); }));
    EXPECT_EQ(runsOnceSettled(*flow), 0u);
    flow->setBehavior(QFFlowBehaviorRepeatAutomatically);
    ASSERT_TRUE(waitUntil([&] { return exported() == "saved while off" && idle(*flow); }));
    EXPECT_EQ(runsOnceSettled(*flow), 1u);
    QFFlowManager::defaultManager()->removeFlow(flow);
}

// A window showed a save and closed without saving it: the folder is
// behind, and a repeating flow exports the save once the window is gone.
// A window closed with nothing new shown starts nothing.
TEST_F(ConcurrentFlowLaunch, AWindowClosedWithoutSavingLeavesItsSavesToTheFlow) {
    struct CountingUI : QFFlowUI {
        void flowInputDidChange(const std::shared_ptr<QFFlow>&) override { ++changes; }
        int changes = 0;
    };
    auto flow = launch(archiveAfterExporting("exported"), QFFlowBehaviorRepeatAutomatically);
    auto window = std::make_shared<CountingUI>();
    flow->willStartRunningInUI(window);
    saveWhileNoApplicationRuns("saved while shown", 7'300'000);
    ASSERT_TRUE(waitUntil([&] { return window->changes > 0; }));
    EXPECT_EQ(runsOnceSettled(*flow), 0u);
    flow->willStopRunningInUI(window);
    ASSERT_TRUE(waitUntil([&] { return exported() == "saved while shown" && idle(*flow); }));
    EXPECT_EQ(runsOnceSettled(*flow), 1u);

    flow->willStartRunningInUI(window);
    flow->willStopRunningInUI(window);
    EXPECT_TRUE(idle(*flow));
    EXPECT_EQ(runsOnceSettled(*flow), 1u);
    QFFlowManager::defaultManager()->removeFlow(flow);
}

// A window's save exports every change the flow had left, and its failure
// ends: once the window is gone there is nothing to take up.
TEST_F(ConcurrentFlowLaunch, AWindowsSaveLeavesNothingToTakeUp) {
    nlohmann::json archive = archiveAfterExporting("exported");
    archive["hasUnexportedChanges"] = true;
    archive["lastRunError"] = QFArchivedError(Error(kFakeRunErrorDomain, 7));
    auto flow = launch(archive, QFFlowBehaviorNotifyWhenChanged);
    ASSERT_TRUE(flow->hasChangesToRun());

    QFFlowInterfaceHooks hooks;
    hooks.chooseOutputDirectory = [](QFFlowRunController&, const std::optional<std::string>& at,
                                     std::function<void(std::optional<std::string>)> done) {
        done(at);
    };
    QFFlowInterfaceHooks::install(std::move(hooks));
    auto controller = std::make_shared<RecordingController>(flow);
    auto window = std::make_shared<RecordingWindow>();
    controller->setHost(window);
    controller->willAppearInUI();
    controller->runFlowForInitialInput();
    ASSERT_TRUE(waitUntil([&] { return !controller->results.empty(); }));
    controller->tryToFinishBySavingOutput();
    ASSERT_TRUE(waitUntil([&] { return !window->reasons.empty() && idle(*flow); }));
    flow->setBehavior(QFFlowBehaviorRepeatAutomatically);
    EXPECT_TRUE(idle(*flow));
    EXPECT_EQ(runsOnceSettled(*flow), 1u);  // the window's
    EXPECT_FALSE(flow->hasUnexportedChanges());
    EXPECT_FALSE(flow->lastRunError());
    QFFlowManager::defaultManager()->removeFlow(flow);
}
