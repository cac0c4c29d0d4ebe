// The recents list edited by hand in the settings file while flows of real
// documents repeat: an edit saved in place as their runs end, and edits
// that switch a flow on, which nothing reads afterwards but the watch of
// the file.

#include "FlowTestSupport.h"
#include "flows/QFExportFlow.h"
#include "flows/QFFlowManager.h"
#include "platform/core/Log.h"
#include "platform/settings/UserDefaults.h"
#include "support/SettingsFileHooks.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace lf;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

class ConcurrentHandEditedSettings : public ::testing::Test {
protected:
    void SetUp() override { LF_REQUIRE_SHARED_DOCUMENTS(); }
    void TearDown() override {
        for (const auto& flow : manager->recentFlows())
            flow->setBehavior(QFFlowBehaviorNone);
    }

    // A flow of a tagged document `name` that saves into a folder of its
    // own, run once so that its folder is not behind its document.
    std::shared_ptr<QFFlow> savedFlow(const std::string& name,
                                      QFFlowBehavior behavior = QFFlowBehaviorRepeatAutomatically) {
        const fs::path document = folder / name;
        fs::copy_file(test::sharedFile("psd-tagged/01-plain.psd"), document);
        setModificationSecond(document, ++second);
        auto flow = std::make_shared<QFExportFlow>();
        flow->setInitialInput(photoshopInput({document}));
        flow->setOutputDirectoryURL((folder / ("out-" + name)).string());
        runOnce(*flow, document);
        flow->setBehavior(behavior);
        return flow;
    }
    void runOnce(QFFlow& flow, const fs::path& document) {
        const auto before = flow.lastRunDate();
        setModificationSecond(document, ++second);
        flow.startBackgroundRunIfNeeded();
        ASSERT_TRUE(waitUntil(
            [&] { return flow.lastRunDate() != before && flow.status() == QFFlowStatusIdle; }));
    }
    bool waitUntil(const std::function<bool()>& done) {
        return MainQueue::shared()->runUntil(done, test::kPatience);
    }

    json settings() { return json::parse(test::fileText(settingsPath)); }
    // As an editor saves the file: whole, in place, with the list changed.
    void editList(const std::function<void(json&)>& edit) {
        json edited = settings();
        edit(edited[QFFlowManager::kRecentFlowsDefaultsKey]);
        test::writeFile(settingsPath, edited.dump(2));
    }

    // A save of the flow's document, once it is watched and at rest, is
    // exported into its folder.
    void expectExportedOnSave(const std::shared_ptr<QFFlow>& flow) {
        ASSERT_TRUE(
            waitUntil([&] { return isWatching(*flow) && flow->status() == QFFlowStatusIdle; }));
        const fs::path exported = fs::path(*flow->outputDirectoryURL()) / "pixel.png";
        fs::remove(exported);
        setModificationSecond(*flow->inputURLs().begin(), ++second);
        EXPECT_TRUE(
            waitUntil([&] { return fs::exists(exported) && flow->status() == QFFlowStatusIdle; }));
    }

    test::TemporaryDirectory folder;
    FlowTestEnvironment environment{folder.path(), {}};
    const std::string settingsPath = UserDefaults::standard()->path();
    std::shared_ptr<QFFlowManager> manager = std::make_shared<QFFlowManager>();
    time_t second = 8'000'000;
};

}  // namespace

// An editor renames one flow and removes another's entry, and saves in
// place (truncates the file, writes it whole two seconds later) just as the
// runs of all three end: the write of their records waits for the save,
// then the flows follow the edit and write their records over it.
TEST_F(ConcurrentHandEditedSettings, AnEditSavedInPlaceAsRunsEndKeepsTheEditAndTheirRecords) {
    test::HeldSettleWaits settleWaits;
    test::TestFileClock clock;
    auto a = savedFlow("a.psd"), b = savedFlow("b.psd"), c = savedFlow("c.psd");
    for (const auto& flow : {a, b, c})
        manager->noteNewRecentFlow(flow);
    manager->activateAutomaticBehaviorIfNeeded();
    MainQueue::shared()->drain();
    json edited = settings();
    json& list = edited[QFFlowManager::kRecentFlowsDefaultsKey];
    ASSERT_EQ(list.size(), 3u);  // c, b, a
    list[2]["name"] = "Renamed";
    list.erase(1);

    LogCapture log;
    test::SaveInPlace save(settingsPath, clock);
    for (const auto& flow : {a, b, c})
        runOnce(*flow, *flow->inputURLs().begin());
    EXPECT_EQ(test::fileText(settingsPath), "");
    clock.advance(std::chrono::seconds(2));
    save.finish(edited.dump(2));
    clock.advance(std::chrono::seconds(1));
    EXPECT_EQ(settleWaits.makeWaitingWrites(), 1u);
    MainQueue::shared()->drain();

    const json stored = settings()[QFFlowManager::kRecentFlowsDefaultsKey];
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0], c->encode());
    EXPECT_EQ(stored[1], a->encode());
    EXPECT_EQ(stored[1]["name"], "Renamed");
    for (size_t index : {0, 1})  // the records of the runs, not those the editor saved
        EXPECT_NE(stored[index]["lastRunDate"], list[index]["lastRunDate"]);
    EXPECT_EQ(b->behavior(), QFFlowBehaviorNone);
    EXPECT_EQ(manager->recentFlows(), (std::vector<std::shared_ptr<QFFlow>>{c, a}));
}

// Edits that switch a flow on are followed as the file is saved, with
// nothing else reading or writing the settings: a repeating flow switched
// off and on again, its entry removed and put back, and an entry added for
// another document that repeats. Each then exports its document's saves.
TEST_F(ConcurrentHandEditedSettings, EditsThatSwitchAFlowOnAreFollowedAsTheyAreSaved) {
    auto flow = savedFlow("a.psd");
    manager->noteNewRecentFlow(flow);
    manager->activateAutomaticBehaviorIfNeeded();
    expectExportedOnSave(flow);

    editList([](json& list) { list[0]["behavior"] = QFFlowBehaviorNone; });
    ASSERT_TRUE(waitUntil([&] { return flow->behavior() == QFFlowBehaviorNone; }));
    editList([](json& list) { list[0]["behavior"] = QFFlowBehaviorRepeatAutomatically; });
    ASSERT_TRUE(waitUntil([&] { return flow->behavior() == QFFlowBehaviorRepeatAutomatically; }));
    expectExportedOnSave(flow);

    const json entry = settings()[QFFlowManager::kRecentFlowsDefaultsKey][0];
    editList([](json& list) { list.erase(0); });
    ASSERT_TRUE(waitUntil([&] { return manager->recentFlows().empty(); }));
    editList([&](json& list) { list.push_back(entry); });
    ASSERT_TRUE(waitUntil([&] { return manager->recentFlows().size() == 1; }));
    expectExportedOnSave(manager->recentFlows()[0]);

    json added = savedFlow("b.psd", QFFlowBehaviorNone)->encode();
    added["behavior"] = QFFlowBehaviorRepeatAutomatically;
    editList([&](json& list) { list.push_back(added); });
    ASSERT_TRUE(waitUntil([&] { return manager->recentFlows().size() == 2; }));
    EXPECT_EQ(manager->recentFlows()[1]->inputURLs(), std::set<std::string>{folder / "b.psd"});
    expectExportedOnSave(manager->recentFlows()[1]);
}
