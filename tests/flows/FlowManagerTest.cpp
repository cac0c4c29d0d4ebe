#include "FlowFixtures.h"
#include "FlowTestSupport.h"
#include "flows/QFExportFlow.h"
#include "flows/QFExportFlowPlugIn.h"
#include "flows/QFFlowManager.h"
#include "flows/QFFlowRunController.h"
#include "flows/inputs/QFFlowPlugInManager.h"
#include "platform/core/Log.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace lf;
namespace fs = std::filesystem;

namespace {

class FlowManager : public ::testing::Test {
protected:
    void SetUp() override { MainQueue::shared()->bindToCurrentThread(); }

    // A flow of one document, saved into a folder.
    std::shared_ptr<QFFlow> savedFlow(const std::string& name) {
        test::writeFile(folder / name, name);
        auto flow = std::make_shared<QFExportFlow>();
        flow->setInitialInput(photoshopInput({folder / name}));
        flow->setOutputDirectoryURL(folder.path().string());
        return flow;
    }
    std::vector<std::string> storedNames() {
        std::vector<std::string> names;
        const auto stored =
            UserDefaults(defaults->path()).objectForKey(QFFlowManager::kRecentFlowsDefaultsKey);
        for (const auto& flow : *stored)
            names.push_back(QFFlowManager::decodeFlow(flow)->displayName());
        return names;
    }
    std::vector<std::string> names(const std::vector<std::shared_ptr<QFFlow>>& flows) {
        std::vector<std::string> result;
        for (const auto& flow : flows)
            result.push_back(flow->displayName());
        return result;
    }

    test::TemporaryDirectory folder;
    std::shared_ptr<UserDefaults> defaults =
        std::make_shared<UserDefaults>((folder / "defaults.json").string());
    QFFlowManager manager{defaults};
};

}  // namespace

TEST_F(FlowManager, RecentsMoveToTheFrontAndRoundTripThroughTheDefaults) {
    auto a = savedFlow("a.psd"), b = savedFlow("b.psd"), c = savedFlow("c.psd");
    int announced = 0;
    auto observation = manager.addObserver("recentFlows", [&](const std::string&) { ++announced; });
    for (const auto& flow : {a, b, c})
        manager.noteNewRecentFlow(flow);
    EXPECT_EQ(names(manager.recentFlows()), (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(announced, 3);
    manager.noteNewRecentFlow(c);  // already first: nothing
    EXPECT_EQ(announced, 3);
    manager.noteNewRecentFlow(a);
    EXPECT_EQ(announced, 4);
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"a", "c", "b"}));

    // Never saved into a folder: never listed.
    auto unsaved = std::make_shared<QFExportFlow>();
    manager.noteNewRecentFlow(unsaved);
    EXPECT_EQ(manager.recentFlows().size(), 3u);

    // Renaming a listed flow saves the list.
    b->setName("Buttons");
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"a", "c", "Buttons"}));

    // Another manager of the same file reads the same list, as export flows.
    QFFlowManager reloaded(std::make_shared<UserDefaults>(defaults->path()));
    EXPECT_EQ(names(reloaded.recentFlows()), (std::vector<std::string>{"a", "c", "Buttons"}));
    EXPECT_TRUE(std::dynamic_pointer_cast<QFExportFlow>(reloaded.recentFlows()[0]));
    EXPECT_EQ(reloaded.recentFlows()[0]->outputDirectoryURL(), folder.path().string());

    // Removed: behaviour none, gone from the stored list.
    a->setBehavior(QFFlowBehaviorRepeatAutomatically);
    manager.removeFlow(a);
    EXPECT_EQ(a->behavior(), QFFlowBehaviorNone);
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"c", "Buttons"}));

    // An element of the list itself, which the removal replaces, and
    // moved to the front from where it stands.
    manager.noteNewRecentFlow(manager.recentFlows().back());
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"Buttons", "c"}));
    manager.removeFlow(manager.recentFlows().front());
    EXPECT_EQ(storedNames(), std::vector<std::string>{"c"});
    EXPECT_EQ(b->behavior(), QFFlowBehaviorNone);
}

// A stored flow with a value of the wrong kind keeps the rest; one that is
// no flow, or has no documents left, is dropped, and the others stay.
TEST_F(FlowManager, DamagedStoredFlowsKeepWhatCanBeReadWithALogLine) {
    auto kept = savedFlow("kept.psd");
    auto gone = savedFlow("gone.psd");
    nlohmann::json damaged = savedFlow("damaged.psd")->encode();
    damaged["lastRunNumberOfItemsSaved"] = "many";
    nlohmann::json notAFlow = kept->encode();
    notAFlow["$class"] = "QFExportFlox";
    defaults->setObject(QFFlowManager::kRecentFlowsDefaultsKey,
                        {damaged, 42, notAFlow, kept->encode(), gone->encode()});
    fs::remove(folder / "gone.psd");  // its input bookmark no longer resolves
    LogCapture log;
    EXPECT_EQ(names(manager.recentFlows()), (std::vector<std::string>{"damaged", "kept"}));
    EXPECT_EQ(manager.recentFlows()[0]->lastRunNumberOfItemsSaved(), 0u);
    EXPECT_TRUE(log.contains("Couldn't decode the \"lastRunNumberOfItemsSaved\" of a flow"));
    EXPECT_TRUE(log.contains("no flow class named \"QFExportFlox\""));

    // Stored data that is not a list gives an empty list.
    defaults->setObject(QFFlowManager::kRecentFlowsDefaultsKey, "garbage");
    EXPECT_TRUE(QFFlowManager(defaults).recentFlows().empty());
}

// The settings file cut short, or with a byte changed: the recents come
// back from the last good copy of the settings.
TEST_F(FlowManager, ADamagedSettingsFileGivesBackTheFlowsOfItsLastGoodCopy) {
    for (const char* name : {"a.psd", "b.psd"})
        manager.noteNewRecentFlow(savedFlow(name));
    const std::string written(Data::readFile(defaults->path())->stringView());
    std::string flipped = written;
    flipped[written.find("\"$class\"")] ^= 0x40;  // a quote in a flow's entry
    for (const std::string& damaged : {written.substr(0, written.size() - 40), flipped}) {
        test::writeFile(defaults->path(), damaged);
        LogCapture log;
        QFFlowManager relaunched(std::make_shared<UserDefaults>(defaults->path()));
        EXPECT_EQ(names(relaunched.recentFlows()), (std::vector<std::string>{"b", "a"}));
        EXPECT_TRUE(log.contains("last good copy"));
    }
}

TEST_F(FlowManager, ClearingKeepsFlowsThatNotifyOrRepeat) {
    const QFFlowBehavior behaviours[] = {QFFlowBehaviorNone, QFFlowBehaviorRepeatAutomatically,
                                         QFFlowBehaviorNone, QFFlowBehaviorNotifyWhenChanged};
    std::vector<std::shared_ptr<QFFlow>> flows;
    for (int i = 3; i >= 0; --i) {  // noted last to first, so listed in order
        std::string name = "f";
        name += std::to_string(i) + ".psd";
        auto flow = savedFlow(name);
        flow->setBehavior(behaviours[i]);
        manager.noteNewRecentFlow(flow);
    }
    EXPECT_TRUE(manager.canClearRecentFlowsWithoutAutomaticBehavior());
    manager.clearRecentFlowsWithoutAutomaticBehavior();
    EXPECT_EQ(names(manager.recentFlows()), (std::vector<std::string>{"f1", "f3"}));
    EXPECT_FALSE(manager.canClearRecentFlowsWithoutAutomaticBehavior());
}

TEST_F(FlowManager, PlugInsMakeExportFlowsAndTheirControllers) {
    QFFlowPlugInManager plugIns;
    class Unnamed : public QFExportFlowPlugIn {
        std::string identifier() const override { return {}; }
    };
    EXPECT_FALSE(plugIns.registerPlugIn(nullptr));
    EXPECT_FALSE(plugIns.registerPlugIn(std::make_shared<Unnamed>()));
    EXPECT_TRUE(plugIns.registerPlugIn(QFExportFlowPlugIn::sharedPlugIn()));
    EXPECT_TRUE(plugIns.registerPlugIn(QFExportFlowPlugIn::sharedPlugIn()));
    EXPECT_EQ(plugIns.acceptedInputTypes(), std::vector<std::string>{kTypePhotoshopImage});

    test::writeFile(folder / "notes.txt", "x");
    auto texts = photoshopInput({folder / "notes.txt"})->snapshotWithChangesSinceSnapshot(nullptr);
    EXPECT_TRUE(plugIns.availablePlugInsForInput(*texts).empty());
    auto documents = savedFlow("a.psd")->inputSnapshotWithChangesSinceSnapshot(nullptr);
    EXPECT_EQ(plugIns.availablePlugInsForInput(*documents).size(), 1u);

    auto flow = QFExportFlowPlugIn::sharedPlugIn()->newFlow();
    ASSERT_TRUE(std::dynamic_pointer_cast<QFExportFlow>(flow));
    auto controller = plugIns.newFlowRunControllerWithFlow(flow);
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->flow(), flow);
    EXPECT_FALSE(plugIns.newFlowRunControllerWithFlow(std::make_shared<QFFlow>()));
}

namespace {

// `text` (a bookmark's base64) with one character changed for another of
// the alphabet, so that it still decodes to bytes, which are damaged.
std::string withOneCharacterChanged(std::string text) {
    text[2] = text[2] == 'A' ? 'B' : 'A';
    return text;
}

// A relaunch of the application on the settings at `path`: what it lists.
std::vector<std::shared_ptr<QFFlow>> relaunchedRecents(const std::string& path) {
    return QFFlowManager(std::make_shared<UserDefaults>(path)).recentFlows();
}

}  // namespace

// Damage to one stored flow that leaves the file valid JSON: the entry, or
// its value, is kept as it was damaged through a relaunch and a write of
// the list (the last good copy then too), and once mended the flow reads
// back whole.
TEST_F(FlowManager, DamageToOneStoredFlowOutlivesARelaunchAndAWrite) {
    auto repeating = savedFlow("r.psd");
    repeating->setBehavior(QFFlowBehaviorRepeatAutomatically);
    manager.noteNewRecentFlow(savedFlow("other.psd"));
    manager.noteNewRecentFlow(repeating);
    const nlohmann::json stored = *defaults->objectForKey(QFFlowManager::kRecentFlowsDefaultsKey);
    using Damage = std::function<void(nlohmann::json&)>;
    const std::pair<const char*, Damage> cases[] = {
        {"a character of an input bookmark",
         [](auto& flow) {
             auto& bookmark = flow["input"]["inputBookmarks"][0];
             bookmark = withOneCharacterChanged(bookmark.template get<std::string>());
         }},
        {"an input bookmark no base64",
         [](auto& flow) { flow["input"]["inputBookmarks"][0] = "!"; }},
        {"the class", [](auto& flow) { flow["$class"] = "QFExportFlox"; }},
        {"the input a number", [](auto& flow) { flow["input"] = 7; }},
        {"the flow null", [](auto& flow) { flow = nullptr; }},
        {"the output bookmark",
         [](auto& flow) {
             auto& bookmark = flow["outputDirectoryBookmarkData"];
             bookmark = withOneCharacterChanged(bookmark.template get<std::string>());
         }},
        {"the behaviour a string", [](auto& flow) { flow["behavior"] = "2"; }},
        {"the behaviour 3", [](auto& flow) { flow["behavior"] = 3; }},
    };
    for (const auto& [what, damage] : cases) {
        nlohmann::json damaged = stored;
        damage(damaged[0]);
        test::writeFile(defaults->path(), nlohmann::json{{"RecentFlowsData-1.0", damaged}}.dump());
        {
            LogCapture log;
            QFFlowManager relaunched(std::make_shared<UserDefaults>(defaults->path()));
            relaunched.recentFlows().back()->setName("Renamed");  // a write of the list
            EXPECT_TRUE(log.contains("kept as stored")) << what;
        }
        for (const auto& file : {defaults->path(), defaults->lastGoodCopyPath()}) {
            const auto written = UserDefaults(file).objectForKey("RecentFlowsData-1.0");
            ASSERT_TRUE(written && written->size() == 2) << what;
            EXPECT_EQ((*written)[0], damaged[0]) << what;
            EXPECT_EQ((*written)[1]["name"], "Renamed") << what;
        }

        test::writeFile(defaults->path(), nlohmann::json{{"RecentFlowsData-1.0", stored}}.dump());
        const auto mended = relaunchedRecents(defaults->path());
        ASSERT_EQ(mended.size(), 2u) << what;
        EXPECT_EQ(mended[0]->encode(), stored[0]) << what;
        EXPECT_EQ(mended[0]->behavior(), QFFlowBehaviorRepeatAutomatically) << what;
    }
}

// Stored entries that list no flow keep their places in the list while
// flows are added, moved, removed and cleared around them.
TEST_F(FlowManager, EntriesThatListNoFlowKeepTheirPlacesThroughEveryChange) {
    auto a = savedFlow("a.psd"), b = savedFlow("b.psd"), moved = savedFlow("moved.psd");
    const nlohmann::json list = {nullptr, a->encode(), 42, b->encode(), moved->encode()};
    defaults->setObject(QFFlowManager::kRecentFlowsDefaultsKey, list);
    fs::rename(folder / "moved.psd", folder / "away.psd");  // its document is found no more
    EXPECT_EQ(names(manager.recentFlows()), (std::vector<std::string>{"a", "b"}));

    const auto storedList = [&] {
        return *UserDefaults(defaults->path()).objectForKey(QFFlowManager::kRecentFlowsDefaultsKey);
    };
    manager.noteNewRecentFlow(manager.recentFlows().back());  // b to the front
    EXPECT_EQ(storedList(), (nlohmann::json{nullptr, manager.recentFlows()[0]->encode(), 42,
                                            manager.recentFlows()[1]->encode(), list[4]}));
    manager.removeFlow(manager.recentFlows().front());
    manager.clearRecentFlowsWithoutAutomaticBehavior();
    EXPECT_TRUE(manager.recentFlows().empty());
    EXPECT_EQ(storedList(), (nlohmann::json{nullptr, 42, list[4]}));
    manager.noteNewRecentFlow(savedFlow("new.psd"));
    EXPECT_EQ(storedList()[2], 42);
    EXPECT_EQ(storedList()[3], list[4]);

    // Its document back, the flow is listed again, where it was kept.
    fs::rename(folder / "away.psd", folder / "moved.psd");
    EXPECT_EQ(names(relaunchedRecents(defaults->path())),
              (std::vector<std::string>{"new", "moved"}));
}

// A list of flows that is no list, or that is missing beside other
// settings, is damage: the flows come back from the last good copy, and a
// value that is no list is kept aside.
TEST_F(FlowManager, AListThatIsNoListOrMissingComesFromTheLastGoodCopy) {
    for (const char* name : {"a.psd", "b.psd"})
        manager.noteNewRecentFlow(savedFlow(name));
    const nlohmann::json stored = *defaults->objectForKey(QFFlowManager::kRecentFlowsDefaultsKey);
    const std::pair<const char*, nlohmann::json> cases[] = {
        {"renamed", {{"RecentFlowsData-1.1", stored}, {"QFAuto2xEnabled", true}}},
        {"an object", {{"RecentFlowsData-1.0", {{"0", stored[0]}}}}},
        {"a string", {{"RecentFlowsData-1.0", "garbage"}}},
    };
    int keptAside = 0;
    for (const auto& [what, settings] : cases) {
        test::writeFile(defaults->path(), settings.dump());
        {
            LogCapture log;
            EXPECT_EQ(names(relaunchedRecents(defaults->path())),
                      (std::vector<std::string>{"b", "a"}))
                << what;
            EXPECT_TRUE(log.contains("read it from their last good copy")) << what;
        }
        // Written back at once: the next launch reads the file itself.
        EXPECT_EQ(UserDefaults(defaults->path()).objectForKey("RecentFlowsData-1.0"), stored)
            << what;
        if (!settings.contains("RecentFlowsData-1.0")) continue;
        // Each beside the one kept before.
        const std::string first = defaults->damagedValuePath("RecentFlowsData-1.0");
        const auto aside =
            Data::readFile(keptAside++ ? first + "." + std::to_string(keptAside) : first);
        EXPECT_EQ(nlohmann::json::parse(aside->stringView()), settings) << what;
    }
}

// A damaged file is moved aside and its flows read from the last good copy;
// a launch that then writes nothing leaves no file, and the next launch
// reads the copy again.
TEST_F(FlowManager, AFileMovedAsideAndNotWrittenSinceGivesItsFlowsToTheNextLaunch) {
    for (const char* name : {"a.psd", "b.psd"})
        manager.noteNewRecentFlow(savedFlow(name));
    const std::string written(Data::readFile(defaults->path())->stringView());
    test::writeFile(defaults->path(), written.substr(0, written.size() / 2));
    EXPECT_EQ(names(relaunchedRecents(defaults->path())), (std::vector<std::string>{"b", "a"}));
    ASSERT_FALSE(fs::exists(defaults->path()));
    LogCapture log;
    QFFlowManager relaunched(std::make_shared<UserDefaults>(defaults->path()));
    EXPECT_EQ(names(relaunched.recentFlows()), (std::vector<std::string>{"b", "a"}));
    EXPECT_TRUE(log.contains("Couldn't find the user defaults"));
    relaunched.recentFlows()[0]->setName("Renamed");
    EXPECT_EQ(names(relaunchedRecents(defaults->path())),
              (std::vector<std::string>{"Renamed", "a"}));
}

// A flow kept unlisted while its document could not be found (its disk not
// mounted at launch): opening the document again once it is back takes
// that flow back, with its folder, behaviour and tokens, instead of making
// a second one, and launched again, it is the one flow listed.
TEST_F(FlowManager, OpeningTheDocumentsOfAFlowKeptUnlistedTakesItBack) {
    manager.noteNewRecentFlow(savedFlow("other.psd"));
    auto flow = savedFlow("doc.psd");
    flow->setBehavior(QFFlowBehaviorRepeatAutomatically);
    flow->noteExportedInput(*flow->inputSnapshotWithChangesSinceSnapshot(nullptr));
    manager.noteNewRecentFlow(flow);
    const nlohmann::json stored = flow->encode();
    ASSERT_TRUE(stored.contains("exportedInputTokens"));

    fs::rename(folder / "doc.psd", folder / "doc.unmounted");
    QFFlowManager launched(std::make_shared<UserDefaults>(defaults->path()));
    EXPECT_EQ(names(launched.recentFlows()), std::vector<std::string>{"other"});
    fs::rename(folder / "doc.unmounted", folder / "doc.psd");
    const std::set<std::string> documents{(folder / "doc.psd").string()};
    EXPECT_FALSE(launched.takeBackUnlistedFlowWithURLs({(folder / "other.psd").string()}));
    const auto takenBack = launched.takeBackUnlistedFlowWithURLs(documents);
    ASSERT_TRUE(takenBack);
    EXPECT_EQ(takenBack->encode(), stored);
    EXPECT_EQ(names(launched.recentFlows()), (std::vector<std::string>{"doc", "other"}));
    EXPECT_FALSE(launched.takeBackUnlistedFlowWithURLs(documents));

    launched.noteNewRecentFlow(takenBack);  // saved from its window
    const auto relaunched = relaunchedRecents(defaults->path());
    EXPECT_EQ(names(relaunched), (std::vector<std::string>{"doc", "other"}));
    EXPECT_EQ(relaunched[0]->encode(), stored);
    EXPECT_EQ(UserDefaults(defaults->path()).objectForKey("RecentFlowsData-1.0")->size(), 2u);
}

// Two stored flows of the same documents (left by a version that made a
// second flow while the first was kept unlisted, at its place before it):
// the one written last is listed, and the other kept as stored. A flow that
// enters the list takes the place of a listed one of its documents, which
// is kept right after it and switched off.
TEST_F(FlowManager, TwoFlowsOfTheSameDocumentsAreNeverBothListed) {
    const auto storedList = [&] {
        return *UserDefaults(defaults->path()).objectForKey(QFFlowManager::kRecentFlowsDefaultsKey);
    };
    nlohmann::json older = savedFlow("doc.psd")->encode(), used = savedFlow("doc.psd")->encode();
    older["name"] = "older";
    older["behavior"] = QFFlowBehaviorRepeatAutomatically;
    older["lastRunDate"] = 1'000'000'000;
    used["name"] = "used";
    used["lastRunDate"] = 1'000'000'100;
    defaults->setObject(QFFlowManager::kRecentFlowsDefaultsKey, nlohmann::json{older, used});
    {
        LogCapture log;
        EXPECT_EQ(names(manager.recentFlows()), std::vector<std::string>{"used"});
        EXPECT_TRUE(log.contains("another flow of the same documents is listed"));
    }
    const auto listed = manager.recentFlows()[0];
    listed->setBehavior(QFFlowBehaviorRepeatAutomatically);  // a write of the list
    const nlohmann::json listedArchive = listed->encode();
    EXPECT_EQ(storedList(), (nlohmann::json{older, listedArchive}));

    // Saved from a window: written before it enters.
    nlohmann::json saved = used;
    saved["name"] = "entering";
    saved["lastRunDate"] = 1'000'000'200;
    auto entering = QFFlowManager::decodeFlow(saved);
    manager.noteNewRecentFlow(entering);
    EXPECT_EQ(names(manager.recentFlows()), std::vector<std::string>{"entering"});
    EXPECT_EQ(listed->behavior(), QFFlowBehaviorNone);
    EXPECT_EQ(storedList(), (nlohmann::json{older, entering->encode(), listedArchive}));
    EXPECT_EQ(names(relaunchedRecents(defaults->path())), std::vector<std::string>{"entering"});
}

namespace {

// The recents of a running application whose stored list the user edits by
// hand in the settings file.
class HandEditedRecents : public FlowManager {
protected:
    // Listed c, b, a; b repeats.
    void SetUp() override {
        FlowManager::SetUp();
        a = savedFlow("a.psd"), b = savedFlow("b.psd"), c = savedFlow("c.psd");
        b->setBehavior(QFFlowBehaviorRepeatAutomatically);
        for (const auto& flow : {a, b, c})
            manager.noteNewRecentFlow(flow);
    }
    // As an editor saves the file: the whole of it, with the list changed.
    void editStoredList(const std::function<void(nlohmann::json&)>& edit) {
        auto settings = nlohmann::json::parse(Data::readFile(defaults->path())->stringView());
        edit(settings[QFFlowManager::kRecentFlowsDefaultsKey]);
        test::writeFile(defaults->path(), settings.dump(2));
    }
    nlohmann::json storedList() {
        return *UserDefaults(defaults->path()).objectForKey(QFFlowManager::kRecentFlowsDefaultsKey);
    }
    // a renamed, with a behaviour it cannot read; b removed; c notifies
    // and saves into another folder, given by its path.
    void renameRemoveAndRetarget() {
        editStoredList([&](nlohmann::json& list) {
            list[2]["name"] = "Renamed";
            list[2]["behavior"] = 7;
            list[0]["behavior"] = QFFlowBehaviorNotifyWhenChanged;
            list[0].erase("outputDirectoryBookmarkData");
            list[0]["outputDirectoryURL"] = (folder / "elsewhere").string();
            list.erase(1);
        });
    }
    void expectTheFlowsFollowedTheEdit() {
        EXPECT_EQ(manager.recentFlows(), (std::vector<std::shared_ptr<QFFlow>>{c, a}));
        EXPECT_EQ(a->displayName(), "Renamed");
        EXPECT_EQ(a->behavior(), QFFlowBehaviorNone);
        EXPECT_EQ(b->behavior(), QFFlowBehaviorNone);
        EXPECT_EQ(c->behavior(), QFFlowBehaviorNotifyWhenChanged);
        EXPECT_EQ(c->outputDirectoryURL(), (folder / "elsewhere").string());
    }

    std::shared_ptr<QFFlow> a, b, c;
};

}  // namespace

// Then a run of the renamed flow, which fails and so writes the list: the
// list written holds the edit and the run's record, and the flow removed
// stays out of it; a write from the editor keeps them as well.
TEST_F(HandEditedRecents, ARunAfterwardsWritesTheEditWithItsRecord) {
    FlowTestEnvironment environment(folder / "standard", {});
    renameRemoveAndRetarget();
    LogCapture log;
    a->startBackgroundRunIfNeeded();
    ASSERT_TRUE(MainQueue::shared()->runUntil([&] { return a->status() == QFFlowStatusIdle; },
                                              std::chrono::seconds(60)));
    ASSERT_TRUE(a->lastRunError());
    EXPECT_TRUE(log.contains("changed outside the application"));
    EXPECT_TRUE(log.contains("\"b\" is no longer listed"));
    expectTheFlowsFollowedTheEdit();
    const nlohmann::json stored = storedList();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0]["behavior"], QFFlowBehaviorNotifyWhenChanged);
    EXPECT_EQ(stored[0]["outputDirectoryURL"], (folder / "elsewhere").string());
    EXPECT_EQ(stored[1]["name"], "Renamed");
    EXPECT_EQ(stored[1]["behavior"], 7);  // kept as the user left it
    EXPECT_TRUE(stored[1].contains("lastRunError"));

    // Changed in the editor after another edit by hand: both are kept.
    editStoredList([](nlohmann::json& list) { list[0]["name"] = "By hand"; });
    a->setName("In the editor");
    EXPECT_EQ(c->displayName(), "By hand");
    EXPECT_EQ(names(manager.recentFlows()), (std::vector<std::string>{"By hand", "In the editor"}));
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"By hand", "In the editor"}));
}

// Told by the store, on a read of another setting, the flows follow the
// edit at once, and the file stays as the user left it; an entry added by
// hand is listed, and an edit that leaves no list is damage, written over
// with the flows as they are.
TEST_F(HandEditedRecents, TheFlowsFollowAnEditTheStoreFindsWithoutWritingIt) {
    renameRemoveAndRetarget();
    const auto edited = Data::readFile(defaults->path());
    (void)defaults->boolForKey("QFAuto2xEnabled");
    MainQueue::shared()->drain();
    expectTheFlowsFollowedTheEdit();
    EXPECT_EQ(Data::readFile(defaults->path())->stringView(), edited->stringView());

    const nlohmann::json added = savedFlow("d.psd")->encode();
    editStoredList([&](nlohmann::json& list) { list.push_back(added); });
    manager.followStoredList();
    EXPECT_EQ(names(manager.recentFlows()), (std::vector<std::string>{"c", "Renamed", "d"}));

    editStoredList([](nlohmann::json& list) { list = "garbage"; });
    LogCapture log;
    manager.followStoredList();
    EXPECT_TRUE(log.contains("no list"));
    EXPECT_EQ(names(manager.recentFlows()), (std::vector<std::string>{"c", "Renamed", "d"}));
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"c", "Renamed", "d"}));
}

// Edited by hand while the flows are watched: a repeating flow removed from
// the list, and one that notifies switched to repeat. The next changes of
// their documents find the edit before they act: the one removed leaves
// the list and runs no more, the other exports its change.
TEST_F(ConcurrentFlowBackgroundRun, AChangeOfTheDocumentsActsAsTheListWasEditedByHand) {
    auto removed = watchingFlow("r.psd", QFFlowBehaviorRepeatAutomatically);
    auto switched = watchingFlow("s.psd", QFFlowBehaviorNotifyWhenChanged);
    auto manager = QFFlowManager::defaultManager();
    manager->noteNewRecentFlow(removed);
    manager->noteNewRecentFlow(switched);
    const auto change = [&](const char* name, const std::string& contents) {
        test::writeFile(folder / name, contents);
        setModificationSecond(folder / name, 4'000'000);
    };
    // A failed run leaves the repeating flow with a change to export, so
    // that the next change of its documents is none of its archived state.
    change("r.psd", "fail");
    ASSERT_TRUE(waitUntil(
        [&] { return removed->lastRunError() && removed->status() == QFFlowStatusIdle; }));
    ASSERT_TRUE(removed->hasUnexportedChanges());
    MainQueue::shared()->drain();  // what the store told of the writes, before the edit
    const std::string path = UserDefaults::standard()->path();
    auto settings = nlohmann::json::parse(Data::readFile(path)->stringView());
    auto& list = settings[QFFlowManager::kRecentFlowsDefaultsKey];
    ASSERT_EQ(list.size(), 2u);
    list.erase(1);
    list[0]["behavior"] = QFFlowBehaviorRepeatAutomatically;
    test::writeFile(path, settings.dump(2));

    change("r.psd", "r, changed");
    ASSERT_TRUE(waitUntil([&] { return manager->recentFlows().size() == 1; }));
    EXPECT_EQ(manager->recentFlows(), std::vector<std::shared_ptr<QFFlow>>{switched});
    EXPECT_EQ(removed->behavior(), QFFlowBehaviorNone);
    MainQueue::shared()->drain();
    EXPECT_EQ(removed->status(), QFFlowStatusIdle);
    EXPECT_EQ(removed->runs().size(), 1u);  // the failed one

    change("s.psd", "s, changed");
    ASSERT_TRUE(waitUntil([&] { return switched->lastRunDate().has_value(); }));
    EXPECT_EQ(read(folder / "out" / "out" / "s.png"), "s, changed");
    EXPECT_FALSE(fs::exists(folder / "out" / "out" / "r.png"));
    const auto stored = UserDefaults(path).objectForKey(QFFlowManager::kRecentFlowsDefaultsKey);
    ASSERT_TRUE(stored && stored->size() == 1u);
    EXPECT_EQ((*stored)[0]["behavior"], QFFlowBehaviorRepeatAutomatically);
    manager->removeFlow(switched);
}
