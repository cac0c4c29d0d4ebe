#include "FlowTestSupport.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/QFFlowStatusPhrase.h"
#include "flows/QFKeyedArchive.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

using namespace lf;
using namespace std::chrono;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr const char* kLocale = "en_GB";
constexpr const char* kZone = "Europe/Berlin";

// A local time in Berlin (winter, UTC+1) given as its UTC time.
SystemTime utc(int year, unsigned month, unsigned day, int hour, int minute = 0, int second = 0) {
    return sys_days{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}} +
           hours{hour} + minutes{minute} + seconds{second};
}

// Tests of flows: the main queue is drained here, the user defaults live in
// a temporary folder, and the interface hooks record what they are asked.
class FlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFFlowInterfaceHooks hooks;
        hooks.startFlow = [this](const std::shared_ptr<QFFlow>& flow) { started.push_back(flow); };
        hooks.requestUserAttention = [this] { ++attentionRequests; };
        environment.emplace(folder.path(), hooks);
    }

    std::shared_ptr<FakeExportFlow> flowWithDocuments(const std::vector<std::string>& names) {
        std::vector<fs::path> paths;
        for (const auto& name : names) {
            paths.push_back(folder / name);
            if (!fs::exists(paths.back())) test::writeFile(paths.back(), name);
        }
        auto flow = std::make_shared<FakeExportFlow>();
        flow->setInitialInput(photoshopInput(paths));
        return flow;
    }

    bool waitUntil(const std::function<bool()>& done) {
        return MainQueue::shared()->runUntil(done, 20s);
    }

    test::TemporaryDirectory folder;
    std::optional<FlowTestEnvironment> environment;
    std::vector<std::shared_ptr<QFFlow>> started;
    int attentionRequests = 0;
};

}  // namespace

TEST_F(FlowTest, ArchiveHoldsOnlyWhatIsSet) {
    auto flow = flowWithDocuments({"Icons.psd"});
    fs::create_directories(folder / "out");
    flow->setOutputDirectoryURL((folder / "out").string());
    nlohmann::json archive = flow->encode();
    std::set<std::string> keys;
    for (const auto& [key, value] : archive.items())
        keys.insert(key);
    EXPECT_EQ(keys, (std::set<std::string>{"$class", "input", "outputDirectoryBookmarkData",
                                           "lastRunNumberOfItemsSaved"}));
    EXPECT_EQ(archive["lastRunNumberOfItemsSaved"], 0);

    // Behaviours other than 1 and 2 decode as none.
    for (int stored : {3, -1, 1, 2}) {
        archive["behavior"] = stored;
        auto decoded = QFFlowManager::decodeFlow(archive);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->behavior(), stored == 1 || stored == 2 ? stored : 0);
        EXPECT_EQ(decoded->outputDirectoryURL(), (folder / "out").string());
        EXPECT_EQ(decoded->inputURLs(), flow->inputURLs());
    }

    // Damaged archives give no flow, and a line saying why.
    for (auto [key, value] : std::vector<std::pair<std::string, nlohmann::json>>{
             {"name", 12}, {"input", "x"}, {"lastRunDate", "yesterday"}, {"$class", "QFWindow"}}) {
        nlohmann::json damaged = archive;
        damaged[key] = value;
        LogCapture log;
        EXPECT_FALSE(QFFlowManager::decodeFlow(damaged)) << key;
        EXPECT_TRUE(log.contains("Couldn't decode a flow")) << key;
    }

    // An output folder whose bookmark no longer resolves is dropped.
    fs::remove(folder / "out");
    LogCapture log;
    auto withoutFolder = QFFlowManager::decodeFlow(archive);
    ASSERT_TRUE(withoutFolder);
    EXPECT_FALSE(withoutFolder->hasOutputDirectory());
    EXPECT_TRUE(log.contains("Couldn't resolve security-scoped bookmark for output URL ("));
    // A folder that does not exist yet is kept as a plain path.
    withoutFolder->setOutputDirectoryURL((folder / "later").string());
    EXPECT_EQ(withoutFolder->encode()["outputDirectoryURL"], (folder / "later").string());
}

TEST_F(FlowTest, ArchiveKeepsTheLastFailureAndAChangeNotYetExported) {
    auto flow = flowWithDocuments({"a.psd"});
    flow->setOutputDirectoryURL((folder / "out").string());
    nlohmann::json archive = flow->encode();
    // As archived before either was kept: no failure, nothing left to export.
    auto earlier = QFFlowManager::decodeFlow(archive);
    ASSERT_TRUE(earlier);
    EXPECT_FALSE(earlier->lastRunError());
    EXPECT_FALSE(earlier->hasUnexportedChanges());

    archive["lastRunError"] =
        QFArchivedError(Error("QFExportFlowErrorDomain", -10,
                              {{kLocalizedDescriptionKey, "“a.psd” Is Not a Photoshop Document"},
                               {kFilePathErrorKey, "/elsewhere/a.psd"}}));
    archive["hasUnexportedChanges"] = true;
    auto decoded = QFFlowManager::decodeFlow(archive);
    ASSERT_TRUE(decoded);
    ASSERT_TRUE(decoded->lastRunError());
    EXPECT_TRUE(decoded->lastRunError()->is("QFExportFlowErrorDomain", -10));
    EXPECT_EQ(decoded->localizedStatusDescription(), "Failed: “a.psd” Is Not a Photoshop Document");
    EXPECT_TRUE(decoded->hasUnexportedChanges());
    EXPECT_EQ(decoded->encode(), archive);  // only what the status line needs is kept

    for (auto [key, value] : std::vector<std::pair<std::string, nlohmann::json>>{
             {"hasUnexportedChanges", "yes"}, {"lastRunError", "failed"}}) {
        nlohmann::json damaged = archive;
        damaged[key] = value;
        LogCapture log;
        EXPECT_FALSE(QFFlowManager::decodeFlow(damaged)) << key;
        EXPECT_TRUE(log.contains("\"" + key + "\"")) << key;
    }
    nlohmann::json codeless = archive;
    codeless["lastRunError"].erase("code");
    LogCapture log;
    EXPECT_FALSE(QFFlowManager::decodeFlow(codeless));
}

TEST_F(FlowTest, StatusLineSaysWhenOutputWasLastWritten) {
    const SystemTime run = utc(2026, 1, 14, 9);  // a Wednesday, 10:00 in Berlin
    struct Case {
        SystemTime now;
        const char* phrase;
    } cases[] = {
        {run - 1s, "In the future"},
        {run + 30s, "Just now"},
        {run + 31s, "A minute ago"},
        {run + 120s, "2 minutes ago"},
        {run + 59min + 59s, "An hour ago"},
        {run + 1h + 59min, "An hour ago"},
        {run + 2h, "2 hours ago"},
        {run + 10h, "10:00"},
        {utc(2026, 1, 17, 23), "Wednesday"},   // 3 calendar days later
        {utc(2026, 1, 22, 12), "14/01/2026"},  // 8 days later
    };
    for (const auto& [now, phrase] : cases)
        EXPECT_EQ(QFFlowTimePhrase(run, now, kLocale, kZone), phrase);
    // 23:00 seen at 01:00 the next day: two hours, but yesterday.
    EXPECT_EQ(QFFlowTimePhrase(utc(2026, 1, 13, 22), utc(2026, 1, 14, 0), kLocale, kZone),
              "Yesterday");
    // A fraction of a second counts as a whole one.
    EXPECT_EQ(QFFlowTimePhrase(run, run + 30s + 1ms, kLocale, kZone), "A minute ago");

    // The flow's line: a dash before any run, then the phrase and the
    // number of files saved.
    auto flow = flowWithDocuments({"a.psd"});
    EXPECT_EQ(flow->localizedStatusDescription(run, kLocale, kZone), "\u2014");
    nlohmann::json archive = flow->encode();
    archive["lastRunDate"] = duration<double>(run.time_since_epoch()).count();
    archive["lastRunNumberOfItemsSaved"] = 1;
    auto one = QFFlowManager::decodeFlow(archive);
    EXPECT_EQ(one->localizedStatusDescription(run + 30s, kLocale, kZone),
              "Just now" + QFFlowSavedItemsSuffix(1, kLocale));
    EXPECT_NE(QFFlowSavedItemsSuffix(1, kLocale), "");
    EXPECT_EQ(QFFlowSavedItemsSuffix(0, kLocale), "");
    EXPECT_NE(QFFlowSavedItemsSuffix(1234, kLocale).find("1,234"), std::string::npos);
}

TEST_F(FlowTest, NamesBehaviourAndTheEncodedStateCounter) {
    auto single = flowWithDocuments({"Icons.psd"});
    EXPECT_EQ(single->defaultDisplayName(), "Icons");
    single->addInputWithURLs({(folder / "later.psd").string()});
    EXPECT_EQ(single->defaultDisplayName(), "Icons");  // worked out once
    EXPECT_EQ(flowWithDocuments({"b.psd", "a.psd"})->displayName(), "a, b");
    auto empty = std::make_shared<FakeExportFlow>();
    empty->setInitialInput(std::make_shared<QFFlowInput>());
    EXPECT_EQ(empty->displayName(), "-");

    std::vector<std::string> heard;
    std::vector<Observation> observations;
    for (const char* key : {"displayName", "name", "behavior", "_encodedStateChangeToken"})
        observations.push_back(single->addObserver(
            key, [&](const std::string& changed) { heard.push_back(changed); }));
    single->setBehavior(QFFlowBehaviorNone);  // unchanged: nothing
    EXPECT_TRUE(heard.empty());
    single->setName("Launch icons");
    EXPECT_EQ(single->displayName(), "Launch icons");
    single->setBehavior(QFFlowBehaviorRepeatAutomatically);
    EXPECT_EQ(heard, (std::vector<std::string>{"name", "_encodedStateChangeToken", "displayName",
                                               "behavior", "_encodedStateChangeToken"}));
    EXPECT_EQ(single->encodedStateChangeToken(), 2u);
}

TEST_F(FlowTest, RunShowsAFlowWithoutFolderInAWindow) {
    auto flow = flowWithDocuments({"a.psd"});
    flow->run();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], flow);
    EXPECT_EQ(flow->status(), QFFlowStatusIdle);
    EXPECT_TRUE(QFFlowManager::defaultManager()->recentFlows().empty());  // never saved
}

namespace {

class ConcurrentFlowBackgroundRun : public FlowTest {
protected:
    std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // A flow of the one document `name` that saves into "out", its
    // behaviour active and its document watched.
    std::shared_ptr<FakeExportFlow> watchingFlow(const std::string& name, QFFlowBehavior behavior) {
        auto flow = flowWithDocuments({name});
        flow->setOutputDirectoryURL((folder / "out").string());
        flow->setBehavior(behavior);
        flow->activateAutomaticBehaviorIfNeeded();
        EXPECT_TRUE(waitUntil([&] { return flow->input()->detectsChanges(); }));
        return flow;
    }
};

}  // namespace

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
    ASSERT_TRUE(waitUntil([&] {
        return notifying->input()->detectsChanges() && repeating->input()->detectsChanges();
    }));
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

// The application quit while a change waited to be exported, or after a
// run failed: launched again, a flow that repeats runs once, one that
// notifies is marked as having changes to run, and one with neither left
// to take up does nothing.
TEST_F(ConcurrentFlowBackgroundRun, AFlowDecodedBehindItsDocumentsTakesThatUpAtLaunch) {
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

    const auto launch = [&](const nlohmann::json& archive, QFFlowBehavior behavior) {
        auto flow = std::make_shared<FakeExportFlow>();
        nlohmann::json withBehavior = archive;
        withBehavior["behavior"] = behavior;
        EXPECT_TRUE(flow->decodeArchive(withBehavior));
        flow->activateAutomaticBehaviorIfNeeded();
        EXPECT_TRUE(waitUntil(
            [&] { return flow->input()->detectsChanges() && flow->status() == QFFlowStatusIdle; }));
        MainQueue::shared()->drain();
        EXPECT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
        return flow;
    };
    for (const auto* archive : {&quitDuringARun, &failed}) {
        auto repeating = launch(*archive, QFFlowBehaviorRepeatAutomatically);
        EXPECT_EQ(repeating->runs().size(), 1u);
        EXPECT_FALSE(repeating->lastRunError());
        EXPECT_FALSE(repeating->hasUnexportedChanges());
        EXPECT_EQ(read(folder / "out" / "out" / "r.png"), "r, saved");
        fs::remove_all(folder / "out");

        auto notifying = launch(*archive, QFFlowBehaviorNotifyWhenChanged);
        EXPECT_TRUE(notifying->hasChangesToRun());
        EXPECT_TRUE(notifying->runs().empty());
    }
    auto upToDate = launch(current, QFFlowBehaviorRepeatAutomatically);
    EXPECT_TRUE(upToDate->runs().empty());
    EXPECT_FALSE(launch(current, QFFlowBehaviorNotifyWhenChanged)->hasChangesToRun());
    EXPECT_FALSE(fs::exists(folder / "out"));
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
