// Flows run in the background: where they write, what a failure keeps,
// and how changes that come before, during and after a run are exported.

#include "FlowFixtures.h"
#include "flows/QFFlowManager.h"
#include "platform/core/Log.h"

#include <gtest/gtest.h>

using namespace lf;
namespace fs = std::filesystem;

TEST_F(ConcurrentFlowBackgroundRun, WritesIntoTheFolderItStartedWith) {
    auto flow = flowWithDocuments({"a.psd"});
    flow->setOutputDirectoryURL((folder / "first").string());
    flow->holdsRuns = true;
    std::vector<QFFlowStatus> statuses;
    auto observation = flow->addObserver(
        "status", [&](const std::string&) { statuses.push_back(flow->status()); });
    flow->run();
    EXPECT_EQ(flow->status(), QFFlowStatusRunningWithoutUI);
    EXPECT_TRUE(QFFlowManager::defaultManager()->isRunningFlowsWithoutUI());
    // A second start while the run is under way does nothing.
    flow->startBackgroundRunIfNeeded();
    // The user saves elsewhere meanwhile; this run still writes where it began.
    flow->setOutputDirectoryURL((folder / "second").string());
    flow->gate.signal();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    EXPECT_EQ(read(folder / "first" / "out" / "a.png"), "a.psd");
    EXPECT_FALSE(fs::exists(folder / "second"));
    EXPECT_EQ(flow->runs().size(), 1u);
    EXPECT_EQ(statuses,
              (std::vector<QFFlowStatus>{QFFlowStatusRunningWithoutUI, QFFlowStatusIdle}));
    EXPECT_TRUE(flow->lastRunDate());
    EXPECT_EQ(flow->lastRunNumberOfItemsSaved(), 1u);
    EXPECT_FALSE(flow->lastRunError());
    EXPECT_FALSE(QFFlowManager::defaultManager()->isRunningFlowsWithoutUI());
    QFFlowManager::defaultManager()->removeFlow(flow);
}

TEST_F(ConcurrentFlowBackgroundRun, FailedRunKeepsItsErrorAndTheLastRunDate) {
    auto flow = flowWithDocuments({"a.psd"});
    flow->setOutputDirectoryURL((folder / "out").string());
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    const auto firstDate = flow->lastRunDate();
    ASSERT_TRUE(firstDate);
    const std::string succeeded = flow->localizedStatusDescription();

    test::writeFile(folder / "a.psd", "fail");
    int statusLineChanges = 0;
    auto observation = flow->addObserver("localizedStatusDescription",
                                         [&](const std::string&) { ++statusLineChanges; });
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    ASSERT_TRUE(flow->lastRunError());
    EXPECT_TRUE(flow->lastRunError()->is(kFakeRunErrorDomain, 7));
    EXPECT_EQ(flow->lastRunDate(), firstDate);
    EXPECT_EQ(flow->lastRunNumberOfItemsSaved(), 1u);
    // The status line says that the outputs are not current, and why.
    EXPECT_EQ(flow->localizedStatusDescription(),
              "Failed: " + flow->lastRunError()->localizedDescription());
    EXPECT_EQ(statusLineChanges, 3);  // running, failed, idle
    // The recents keep it across a relaunch.
    EXPECT_EQ(QFFlowManager::decodeFlow(flow->encode())->localizedStatusDescription(),
              flow->localizedStatusDescription());

    // A write that fails keeps its error too: the folder is now a file.
    test::writeFile(folder / "a.psd", "again");
    fs::remove_all(folder / "out");
    test::writeFile(folder / "out", "not a folder");
    {
        LogCapture log;
        flow->startBackgroundRunIfNeeded();
        ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    }
    ASSERT_TRUE(flow->lastRunError());
    EXPECT_EQ(flow->lastRunError()->domain, kPOSIXErrorDomain);
    EXPECT_EQ(flow->lastRunDate(), firstDate);

    // A run that succeeds ends the failure.
    fs::remove(folder / "out");
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    EXPECT_FALSE(flow->lastRunError());
    EXPECT_NE(flow->lastRunDate(), firstDate);
    EXPECT_EQ(flow->localizedStatusDescription(), succeeded);
}

TEST_F(ConcurrentFlowBackgroundRun, InputChangesNotifyOrRepeatByBehaviour) {
    auto notifying = flowWithDocuments({"n.psd"});
    auto repeating = flowWithDocuments({"r.psd"});
    auto manager = QFFlowManager::defaultManager();
    for (const auto& flow : {notifying, repeating}) {
        flow->setOutputDirectoryURL((folder / "out").string());
        manager->noteNewRecentFlow(flow);
    }
    notifying->setBehavior(QFFlowBehaviorNotifyWhenChanged);
    repeating->setBehavior(QFFlowBehaviorRepeatAutomatically);
    manager->activateAutomaticBehaviorIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return isWatching(*notifying) && isWatching(*repeating); }));
    ASSERT_EQ(manager->recentFlows().front(), repeating);

    setModificationSecond(folder / "n.psd", 4'000'000);
    ASSERT_TRUE(waitUntil([&] { return notifying->hasChangesToRun(); }));
    EXPECT_EQ(manager->recentFlows().front(), notifying);
    EXPECT_EQ(attentionRequests, 1);
    EXPECT_TRUE(repeating->runs().empty());

    test::writeFile(folder / "r.psd", "r, changed");
    setModificationSecond(folder / "r.psd", 4'000'000);
    ASSERT_TRUE(waitUntil([&] { return repeating->lastRunDate().has_value(); }));
    EXPECT_EQ(read(folder / "out" / "out" / "r.png"), "r, changed");
    EXPECT_TRUE(notifying->hasChangesToRun());  // cleared only by its own run
    for (const auto& flow : {notifying, repeating})
        manager->removeFlow(flow);
}

// A change that comes while a background run is under way, after the run
// read its documents, is exported by one more run once that run ends:
// however many changes came, one run follows, never beside the other, and
// the folder ends with the latest version.
TEST_F(ConcurrentFlowBackgroundRun, ChangesDuringARunAreExportedByOneMoreRun) {
    auto flow = watchingFlow("r.psd", QFFlowBehaviorRepeatAutomatically);
    int starts = 0;
    auto observation = flow->addObserver("status", [&](const std::string&) {
        if (flow->status() == QFFlowStatusRunningWithoutUI) ++starts;
    });
    // Saves a version, as Photoshop would, and has the change seen now.
    time_t second = 5'000'000;
    const auto save = [&](const std::string& version) {
        test::writeFile(folder / "r.psd", version);
        setModificationSecond(folder / "r.psd", ++second);
        flow->input()->detectInput();
        MainQueue::shared()->drain();
    };
    const auto output = [&] { return read(folder / "out" / "out" / "r.png"); };
    const auto waitForHeldRuns = [&](int count) {
        return waitUntil([&] { return flow->heldRuns == count; });
    };
    flow->holdsRuns = true;

    save("version 1");
    ASSERT_TRUE(waitForHeldRuns(1));
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(flow->encode().value("hasUnexportedChanges", false));
    save("version 2");
    flow->gate.signal();
    ASSERT_TRUE(waitForHeldRuns(2));
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(output(), "version 1");

    for (const char* version : {"version 3", "version 4", "version 5"})
        save(version);
    flow->gate.signal();
    ASSERT_TRUE(waitForHeldRuns(3));
    EXPECT_EQ(output(), "version 2");

    flow->holdsRuns = false;
    flow->gate.signal();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    MainQueue::shared()->drain();
    EXPECT_EQ(output(), "version 5");
    EXPECT_EQ(starts, 3);
    EXPECT_EQ(flow->runs().size(), 3u);
    EXPECT_FALSE(flow->hasUnexportedChanges());
    EXPECT_FALSE(flow->encode().contains("hasUnexportedChanges"));
}

// Runs that cannot write (the output folder is a file) after a change came
// during one of them: one more run takes the change up, fails too, and
// the flow rests with the failure; a failed run is no change to run again.
TEST_F(ConcurrentFlowBackgroundRun, FailingRunsTakeAChangeDuringARunUpOnce) {
    auto flow = watchingFlow("r.psd", QFFlowBehaviorRepeatAutomatically);
    test::writeFile(folder / "out", "not a folder");
    int starts = 0;
    auto observation = flow->addObserver("status", [&](const std::string&) {
        if (flow->status() == QFFlowStatusRunningWithoutUI) ++starts;
    });
    time_t second = 5'200'000;
    const auto save = [&](const std::string& version) {
        test::writeFile(folder / "r.psd", version);
        setModificationSecond(folder / "r.psd", ++second);
        flow->input()->detectInput();
        MainQueue::shared()->drain();
    };
    LogCapture log;
    flow->holdsRuns = true;
    save("version 1");
    ASSERT_TRUE(waitUntil([&] { return flow->heldRuns == 1; }));
    save("version 2");
    flow->holdsRuns = false;
    flow->gate.signal();
    ASSERT_TRUE(waitUntil(
        [&] { return starts > 2 || (starts == 2 && flow->status() == QFFlowStatusIdle); }));
    // Longer than a run of this document takes to start again.
    MainQueue::shared()->runUntil([] { return false; }, std::chrono::seconds(1));
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(flow->status(), QFFlowStatusIdle);
    ASSERT_TRUE(flow->lastRunError());
    EXPECT_EQ(flow->lastRunError()->domain, kPOSIXErrorDomain);
    flow->setBehavior(QFFlowBehaviorNone);
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
}

// A change reported during a run that the run's own snapshot already held
// (here the run's snapshot is what reports it) needs no other run.
TEST_F(ConcurrentFlowBackgroundRun, AChangeTheRunAlreadyReadStartsNoOtherRun) {
    auto flow = watchingFlow("r.psd", QFFlowBehaviorRepeatAutomatically);
    flow->holdsRuns = true;
    test::writeFile(folder / "r.psd", "r, saved");
    setModificationSecond(folder / "r.psd", 5'500'000);
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return flow->heldRuns == 1; }));
    MainQueue::shared()->drain();  // the change its snapshot reported
    flow->holdsRuns = false;
    flow->gate.signal();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    MainQueue::shared()->drain();
    EXPECT_EQ(flow->status(), QFFlowStatusIdle);
    EXPECT_EQ(flow->runs().size(), 1u);
    EXPECT_EQ(read(folder / "out" / "out" / "r.png"), "r, saved");
    EXPECT_FALSE(flow->hasUnexportedChanges());
}

// A flow that notifies keeps the mark of a change that came during its
// background run, and runs nothing by itself.
TEST_F(ConcurrentFlowBackgroundRun, ANotifyingFlowKeepsAChangeThatCameDuringItsRun) {
    auto flow = watchingFlow("n.psd", QFFlowBehaviorNotifyWhenChanged);
    flow->holdsRuns = true;
    flow->run();
    ASSERT_TRUE(waitUntil([&] { return flow->heldRuns == 1; }));
    EXPECT_FALSE(flow->hasChangesToRun());

    test::writeFile(folder / "n.psd", "n, changed");
    setModificationSecond(folder / "n.psd", 5'000'000);
    flow->input()->detectInput();
    MainQueue::shared()->drain();
    flow->holdsRuns = false;
    flow->gate.signal();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    MainQueue::shared()->drain();
    EXPECT_TRUE(flow->hasChangesToRun());
    EXPECT_EQ(flow->runs().size(), 1u);
    EXPECT_EQ(read(folder / "out" / "out" / "n.png"), "n.psd");
    QFFlowManager::defaultManager()->removeFlow(flow);
}

// A repeating flow of "t/P/d.psd" after its folder, or the one above it,
// was moved away or deleted and made again: the document copied there and
// each save after it are exported.
TEST_F(ConcurrentFlowBackgroundRun, ARepeatingFlowExportsItsDocumentInFoldersMadeAgain) {
    const fs::path top = folder / "t", parent = top / "P", document = parent / "d.psd";
    fs::create_directories(parent);
    test::writeFile(document, "first");
    auto flow = watchingFlow("t/P/d.psd", QFFlowBehaviorRepeatAutomatically);
    const auto exported = [&](const std::string& version) {
        return waitUntil([&] { return read(folder / "out" / "out" / "d.png") == version; });
    };
    const std::pair<const char*, std::function<void()>> replacements[] = {
        {"the folder moved away", [&] { fs::rename(parent, top / "P.old"); }},
        {"the folder deleted", [&] { fs::remove_all(parent); }},
        {"a folder two levels up moved away", [&] { fs::rename(top, folder / "t.old"); }},
    };
    for (const auto& [what, replace] : replacements) {
        replace();
        fs::create_directories(parent);
        // The document copied in, then saved twice more.
        for (int save = 0; save < 3; ++save) {
            const std::string version = std::string(what) + ", save " + std::to_string(save);
            test::writeFile(document, version);
            EXPECT_TRUE(exported(version)) << version;
        }
    }
}

// A flow of a link exports what the link leads to, under the path given:
// a save of the target and a switch of the link are exported, and so is a
// document that a save replaced by a link.
TEST_F(ConcurrentFlowBackgroundRun, ARepeatingFlowOfALinkExportsWhatTheLinkLeadsTo) {
    const fs::path targets = folder / "targets", first = targets / "T.psd",
                   second = targets / "U.psd";
    fs::create_directories(targets);
    test::writeFile(first, "first");
    test::writeFile(second, "second");
    fs::create_symlink("targets/T.psd", folder / "L.psd");
    test::writeFile(folder / "d.psd", "plain");
    auto linked = watchingFlow("L.psd", QFFlowBehaviorRepeatAutomatically);
    auto replaced = watchingFlow("d.psd", QFFlowBehaviorRepeatAutomatically);
    replaced->setOutputDirectoryURL((folder / "out-replaced").string());
    EXPECT_EQ(linked->inputURLs(), std::set<std::string>{(folder / "L.psd").string()});
    const auto exported = [&](const fs::path& output, const std::string& version) {
        return waitUntil([&] { return read(output) == version; });
    };
    const fs::path linkOutput = folder / "out" / "out" / "L.png",
                   replacedOutput = folder / "out-replaced" / "out" / "d.png";
    // As `ln -sfn` does: a new link renamed over the old one.
    const auto pointLink = [&](const std::string& name, const fs::path& to) {
        fs::create_symlink(to, folder / (name + ".new"));
        fs::rename(folder / (name + ".new"), folder / name);
    };

    linked->startBackgroundRunIfNeeded();
    EXPECT_TRUE(exported(linkOutput, "first"));
    test::writeFile(first, "first, saved");
    EXPECT_TRUE(exported(linkOutput, "first, saved"));
    pointLink("L.psd", "targets/U.psd");
    EXPECT_TRUE(exported(linkOutput, "second"));
    test::writeFile(second, "second, saved");
    EXPECT_TRUE(exported(linkOutput, "second, saved"));

    pointLink("d.psd", first);
    EXPECT_TRUE(exported(replacedOutput, "first, saved"));
    test::writeFile(first, "first, saved again");
    EXPECT_TRUE(exported(replacedOutput, "first, saved again"));
}

// A flow whose output folder lies inside its own folder: what it writes
// there is no change of its documents, so after the run for a save it
// settles. A save in the folder is still exported, and so is a document
// put into the output folder by hand: it is a document of the folder like
// any other (the flow itself never writes a document there).
TEST_F(ConcurrentFlowBackgroundRun, AFlowWritingIntoItsOwnFolderSettlesAfterEachSave) {
    const fs::path documents = folder / "X", out = documents / "out";
    fs::create_directory(documents);
    test::writeFile(documents / "d.psd", "first");
    auto flow = std::make_shared<FakeExportFlow>();
    flow->setInitialInput(photoshopInput({documents}));
    flow->setOutputDirectoryURL(out.string());
    flow->setBehavior(QFFlowBehaviorRepeatAutomatically);
    flow->activateAutomaticBehaviorIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return isWatching(*flow); }));
    int starts = 0;
    auto observation = flow->addObserver("status", [&](const std::string&) {
        if (flow->status() == QFFlowStatusRunningWithoutUI) ++starts;
    });
    // Longer than the watch waits after a change, twice over, and than a
    // run of these documents: a run that the flow's own writes started
    // would start within it.
    constexpr auto kQuiet = std::chrono::seconds(3);
    const auto exportedOnceThenSettles = [&](const fs::path& output, const std::string& version) {
        const int before = starts;
        ASSERT_TRUE(waitUntil([&] {
            return read(output) == version && flow->status() == QFFlowStatusIdle;
        })) << version;
        MainQueue::shared()->runUntil([] { return false; }, kQuiet);
        EXPECT_EQ(starts, before + 1) << version;
        EXPECT_EQ(flow->status(), QFFlowStatusIdle) << version;
    };
    test::writeFile(documents / "d.psd", "saved");
    exportedOnceThenSettles(out / "out" / "d.png", "saved");
    test::writeFile(documents / "d.psd", "saved again");
    exportedOnceThenSettles(out / "out" / "d.png", "saved again");
    test::writeFile(out / "e.psd", "put by hand");
    exportedOnceThenSettles(out / "out" / "e.png", "put by hand");
    EXPECT_FALSE(flow->lastRunError());
}

// A change that waits for the run under way is handled by the behaviour
// the flow has when the run ends: switched off, or the flow removed from
// the recents, no run follows.
TEST_F(ConcurrentFlowBackgroundRun, AWaitingChangeIsDroppedOnceTheBehaviourIsOffOrTheFlowRemoved) {
    auto manager = QFFlowManager::defaultManager();
    time_t second = 8'000'000;
    for (bool removed : {false, true}) {
        const std::string name = removed ? "removed.psd" : "switched-off.psd";
        auto flow = watchingFlow(name, QFFlowBehaviorRepeatAutomatically);
        manager->noteNewRecentFlow(flow);
        const auto save = [&](const std::string& version) {
            test::writeFile(folder / name, version);
            setModificationSecond(folder / name, ++second);
            flow->input()->detectInput();
            MainQueue::shared()->drain();
        };
        flow->holdsRuns = true;
        save("first");
        ASSERT_TRUE(waitUntil([&] { return flow->heldRuns == 1; }));
        save("second");
        if (removed)
            manager->removeFlow(flow);
        else
            flow->setBehavior(QFFlowBehaviorNone);
        flow->holdsRuns = false;
        flow->gate.signal();
        ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
        MainQueue::shared()->drain();
        EXPECT_EQ(flow->runs().size(), 1u) << name;
        EXPECT_EQ(flow->status(), QFFlowStatusIdle) << name;
        const std::string stem = fs::path(name).stem().string();
        EXPECT_EQ(read(folder / "out" / "out" / (stem + ".png")), "first") << name;
        manager->removeFlow(flow);
    }
}

// A flow that is not watched (its behaviour is none) reads its folder anew
// when it runs: a document added since the last run is exported.
TEST_F(ConcurrentFlowBackgroundRun, AnUnwatchedFolderFlowReadsTheFolderAsItIsNow) {
    const fs::path documents = folder / "documents";
    fs::create_directory(documents);
    test::writeFile(documents / "a.psd", "a");
    auto flow = std::make_shared<FakeExportFlow>();
    flow->setInitialInput(photoshopInput({documents}));
    flow->setOutputDirectoryURL((folder / "out").string());
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    EXPECT_FALSE(flow->input()->detectsChanges());

    test::writeFile(documents / "b.psd", "b");
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    EXPECT_EQ(read(folder / "out" / "out" / "b.png"), "b");
    ASSERT_EQ(flow->runs().size(), 2u);
    EXPECT_EQ(flow->runs()[1], (std::set<std::string>{"a.psd", "b.psd"}));
}
