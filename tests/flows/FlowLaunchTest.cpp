// Flows launched again: what an earlier launch left to export, and saves
// that no running application saw (made while none ran, or before the
// watch began), are exported once, or marked as changes to run; the
// record of a write whose files were in when the application ended is
// there. Runs are counted once the flow has rested a while, so a run that
// starts late is counted too.

#include "FlowFixtures.h"
#include "RecordingController.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/QFPendingOutputRecords.h"
#include "flows/shared/QFKeyedArchive.h"
#include "flows/watching/QFFileObserver.h"
#include "platform/writing/AtomicFileSet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

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

namespace {

// How the application ends: by Quit, on the main thread once the commit
// under way is done, or by a signal, on a thread of its own while the main
// thread goes on.
enum class End { ByQuit, BySignal };

// A window that lists the flow its controller saved, as a flow window does.
struct ListingWindow : RecordingWindow {
    void didSaveFlowOutput(QFFlowRunController& controller) override {
        QFFlowManager::defaultManager()->noteNewRecentFlow(controller.flow());
    }
};

// The end of the application right after a write's files are in, in a
// process of its own (a threadsafe death test runs the test again there, up
// to its statement), since the end holds the writing thread for good; the
// test then launches what the end stored.
class ConcurrentFlowEnd : public ConcurrentFlowLaunch {
protected:
    void SetUp() override {
        ConcurrentFlowLaunch::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        // The process of its own works in the folder of the test's first run.
        if (const char* inherited = std::getenv(kSharedVariable))
            shared = inherited;
        else
            handedDown.emplace(kSharedVariable, shared.string());
    }

    // In the process of its own: recents in `place` that list a flow of
    // "d.psd" there, decoded from `archive`; `write` starts a write of its
    // outputs, and the application ends, by `end`, once the write has moved
    // its first file in. Exits with 0 once the end is done.
    [[noreturn]] void endRightAfterTheFilesAreIn(
        End end, const fs::path& place, nlohmann::json archive,
        const std::function<void(const std::shared_ptr<FakeExportFlow>&)>& write) {
        UserDefaults::setStandard(
            std::make_shared<UserDefaults>((place / "defaults.json").string()));
        fs::create_directories(place);
        test::writeFile(place / "d.psd", "saved");
        archive["$class"] = QFFlow::kClassName;
        archive["input"] = photoshopInput({place / "d.psd"})->encode();
        auto flow = std::make_shared<FakeExportFlow>();
        flow->decodeArchive(archive);
        QFFlowManager::defaultManager()->noteNewRecentFlow(flow);

        DispatchSemaphore theEndWaits(0);
        std::atomic<bool> firstIsIn{false};
        const auto endTheApplication = [] {
            AtomicFileSet::finishCommitsBeforeExit();
            QFPendingOutputRecords::shared().noteAllBeforeExit();
            ::_exit(0);
        };
        AtomicFileSet::setExitHookForTesting([&] { theEndWaits.signal(); });
        AtomicFileSet::setMoveInHookForTesting([&](size_t movedIn) {
            if (movedIn != 1) return;
            if (end == End::BySignal) std::thread(endTheApplication).detach();
            firstIsIn = true;
            theEndWaits.wait();
        });
        write(flow);
        MainQueue::shared()->runUntil([&] { return firstIsIn.load(); }, test::kPatience);
        if (end == End::ByQuit) endTheApplication();
        // The main thread notes what the writes leave until the end's thread
        // ends the process.
        for (;;)
            MainQueue::shared()->runUntil([] { return false; }, test::kPatience);
    }

    // The one flow the recents in `place` store, launched again as a
    // repeating flow.
    std::shared_ptr<FakeExportFlow> relaunched(const fs::path& place) {
        const auto stored = UserDefaults((place / "defaults.json").string())
                                .objectForKey(QFFlowManager::kRecentFlowsDefaultsKey);
        if (!stored || stored->size() != 1) return nullptr;
        return launch((*stored)[0], QFFlowBehaviorRepeatAutomatically);
    }

    fs::path shared = folder.path();

private:
    static constexpr const char* kSharedVariable = "LF_TEST_FOLDER_OF_THE_FIRST_RUN";
    std::optional<test::ScopedEnvironment> handedDown;
};

}  // namespace

// A background run, launched behind its document, ends right after its
// files are in, by Quit or by a signal: launched again, the flow has the
// run's date and count, and nothing is left to run.
TEST_F(ConcurrentFlowEnd, AQuitOrASignalRightAfterABackgroundRunsFilesAreInKeepsItsRecord) {
    const auto endTheRun = [&](End end, const fs::path& place) {
        endRightAfterTheFilesAreIn(
            end, place,
            {{"outputDirectoryURL", (place / "out").string()},
             {"behavior", QFFlowBehaviorRepeatAutomatically},
             {"hasUnexportedChanges", true}},
            [](const auto& flow) { flow->activateAutomaticBehaviorIfNeeded(); });
    };
    EXPECT_EXIT(endTheRun(End::ByQuit, shared / "quit"), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(endTheRun(End::BySignal, shared / "signal"), ::testing::ExitedWithCode(0), "");
    for (const char* end : {"quit", "signal"}) {
        auto flow = relaunched(folder / end);
        ASSERT_TRUE(flow) << end;
        EXPECT_EQ(read(folder / end / "out" / "out" / "d.png"), "saved") << end;
        EXPECT_TRUE(flow->lastRunDate()) << end;
        EXPECT_EQ(flow->lastRunNumberOfItemsSaved(), 1u) << end;
        EXPECT_FALSE(flow->hasUnexportedChanges()) << end;
        EXPECT_EQ(runsOnceSettled(*flow), 0u) << end;
    }
}

// A signal right after the files of a window's save into a new folder are
// in, while the main thread, which saves, is held by the end: launched
// again, the flow has its new folder, the save's date and count, and no
// change left to run.
TEST_F(ConcurrentFlowEnd, ASignalRightAfterAWindowsSaveFilesAreInKeepsItsRecord) {
    const SystemTime earlier{std::chrono::seconds(1'000'000'000)};
    const auto saveAndEnd = [&](const std::shared_ptr<FakeExportFlow>& flow) {
        QFFlowInterfaceHooks hooks;
        hooks.chooseOutputDirectory = [&](QFFlowRunController&, const auto&, auto done) {
            done((shared / "new").string());
        };
        QFFlowInterfaceHooks::install(std::move(hooks));
        auto controller = std::make_shared<RecordingController>(flow);
        auto window = std::make_shared<ListingWindow>();
        controller->setHost(window);
        controller->willAppearInUI();
        controller->runFlowForInitialInput();
        waitUntil([&] { return !controller->results.empty(); });
        controller->tryToFinishBySavingOutput();
    };
    EXPECT_EXIT(endRightAfterTheFilesAreIn(End::BySignal, shared,
                                           {{"outputDirectoryURL", (shared / "old").string()},
                                            {"lastRunDate", QFArchivedDate(earlier)},
                                            {"lastRunNumberOfItemsSaved", 7}},
                                           saveAndEnd),
                ::testing::ExitedWithCode(0), "");
    auto flow = relaunched(folder.path());
    ASSERT_TRUE(flow);
    EXPECT_EQ(flow->outputDirectoryURL(), (folder / "new").string());
    EXPECT_EQ(read(folder / "new" / "out" / "d.png"), "saved");
    EXPECT_GT(flow->lastRunDate(), earlier);
    EXPECT_EQ(flow->lastRunNumberOfItemsSaved(), 1u);
    EXPECT_EQ(runsOnceSettled(*flow), 0u);
}

// The end on a thread of its own waits for the main thread to note the
// records only so long: a main thread held elsewhere does not keep the
// process from ending. Noted, the end goes on.
TEST(ConcurrentOutputRecords, TheEndWaitsForTheMainThreadOnlySoLong) {
    MainQueue::shared()->bindToCurrentThread();
    QFPendingOutputRecords records;
    std::vector<int> noted;
    std::thread([&] {
        records.add([&] { noted.push_back(1); });
        records.add([&] { noted.push_back(2); });
    }).join();
    bool allNoted = true;
    std::thread([&] { allNoted = records.noteAllBeforeExit(std::chrono::milliseconds(1)); }).join();
    EXPECT_FALSE(allNoted);
    EXPECT_TRUE(noted.empty());

    std::thread end([&] { allNoted = records.noteAllBeforeExit(test::kPatience); });
    MainQueue::shared()->runUntil([&] { return noted.size() == 2; }, test::kPatience);
    end.join();
    MainQueue::shared()->drain();  // what asks `records` to note, before it goes
    EXPECT_TRUE(allNoted);
    EXPECT_EQ(noted, (std::vector<int>{1, 2}));
}
