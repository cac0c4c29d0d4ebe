// The settings file edited by hand while the store writes it: saves in place
// that pause, saves by rename at every write, and edits of a value whose
// owner merges them.

#include "platform/core/Log.h"
#include "platform/settings/UserDefaults.h"
#include "support/ScopedFileStepHook.h"
#include "support/SettingsFileHooks.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

using namespace lf;
using lf::test::fileText;
using lf::test::HeldSettleWaits;
using lf::test::SaveInPlace;
using lf::test::TestFileClock;
using nlohmann::json;
using std::chrono::seconds;

namespace {

constexpr seconds kSettleWait = kSettingsFileSettlesWithin;

// Makes the writes that wait, one settling time after another, with the
// editor's save finished `pause` after it began: how many waits there were.
int waitsAcross(HeldSettleWaits& settleWaits, TestFileClock& clock, SaveInPlace& save,
                seconds pause, const std::string& text) {
    const seconds finishedAt = clock.now() + pause;
    bool finished = false;
    int waits = 0;
    for (; waits < 10; ++waits) {
        const seconds next = clock.now() + kSettleWait;
        if (!finished && finishedAt <= next) {
            clock.advance(finishedAt - clock.now());
            save.finish(text);
            finished = true;
        }
        clock.advance(next - clock.now());
        if (settleWaits.makeWaitingWrites() == 0) break;
    }
    if (!finished) save.finish(text);
    return waits;
}

}  // namespace

// An editor that truncates the file and writes it whole seconds later (a
// slow disk, an editor suspended mid-save): the store's write waits for it,
// three settling times at most, whether or not the empty file changes
// meanwhile, and merges the save; past the waits, the file is kept aside as
// the file itself, so that the save, written late into it, is kept there.
TEST(UserDefaults, AnEditorsPausedSaveInPlaceIsWaitedForOrKeptWithWhatItWritesLater) {
    HeldSettleWaits settleWaits;
    TestFileClock clock;
    const json record = json::array({1});
    const json edit{{"QFCompressionQuality", 0.7}, {"hand", 2}};
    // The editor's pause, and the waits the store's write makes.
    const std::pair<int, int> cases[] = {{5, 2}, {8, 3}, {11, 3}};
    for (const auto& [pause, waits] : cases) {
        SCOPED_TRACE(pause);
        LogCapture log;
        test::TemporaryDirectory folder;
        const auto path = folder / "defaults.json";
        test::writeFile(path, R"({"QFCompressionQuality": 0.5, "hand": 1})");
        clock.fileChanged();
        clock.advance(seconds(60));
        UserDefaults defaults(path.string());

        SaveInPlace save(path, clock);
        defaults.setObject("RecentFlowsData-1.0", record);
        EXPECT_EQ(fileText(path), "");
        EXPECT_EQ(waitsAcross(settleWaits, clock, save, seconds(pause), edit.dump()), waits);

        const json written = json::parse(fileText(path));
        EXPECT_EQ(written["RecentFlowsData-1.0"], record);
        if (pause <= 9) {
            EXPECT_EQ(written["hand"], 2);
            EXPECT_FALSE(std::filesystem::exists(defaults.damagedFilePath()));
        } else {
            EXPECT_EQ(json::parse(fileText(defaults.damagedFilePath())), edit);
            EXPECT_TRUE(log.contains("are still being written (0 bytes); kept as " +
                                     defaults.damagedFilePath()));
        }
        EXPECT_EQ(defaults.objectForKey("RecentFlowsData-1.0"), record);
    }
}

// A save in place that never ends is waited for three times, then kept
// aside and written over, and so is the next one in the same store's life;
// a damaged file that has rested is no save under way: kept aside and
// written over at once.
TEST(UserDefaults, ASaveInPlaceIsWaitedForThreeTimesAndRestingDamageNotAtAll) {
    HeldSettleWaits settleWaits;
    TestFileClock clock;
    LogCapture log;
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    const std::string half = R"({"hand": )";
    UserDefaults defaults(path.string());
    for (const int save : {1, 2}) {
        SCOPED_TRACE(save);
        test::writeFile(path, half);
        clock.fileChanged();
        defaults.setObject("save", save);
        int waits = 0;
        for (; waits < 10; ++waits) {
            clock.advance(kSettleWait);
            if (settleWaits.makeWaitingWrites() == 0) break;
        }
        EXPECT_EQ(waits, 3);
        EXPECT_EQ(json::parse(fileText(path))["save"], save);
    }
    EXPECT_EQ(fileText(defaults.damagedFilePath()), half);
    EXPECT_EQ(fileText(defaults.damagedFilePath() + ".2"), half);

    const std::string damaged = R"({"hand": 1,)";
    test::writeFile(path, damaged);
    clock.fileChanged();
    clock.advance(seconds(60));
    defaults.setObject("save", 3);
    EXPECT_EQ(settleWaits.makeWaitingWrites(), 0u);
    EXPECT_EQ(json::parse(fileText(path))["save"], 3);
    EXPECT_EQ(fileText(defaults.damagedFilePath() + ".3"), damaged);
}

// An editor that saves by rename at the very moment of every write: the
// store merges again before each, waits three times while it goes on, then
// (or at the store's end, which waits for nothing) reads and merges the
// file once more and moves its own in, whatever comes: only the edit saved
// during that last move is lost.
TEST(UserDefaults, AFileChangedAtEveryWriteIsMergedOnceMoreBeforeTheLast) {
    HeldSettleWaits settleWaits;
    test::StillFileClock clock;
    LogCapture log;
    for (const bool storeEnds : {false, true}) {
        SCOPED_TRACE(storeEnds);
        test::TemporaryDirectory folder;
        const auto path = folder / "defaults.json";
        test::writeFile(path, R"({"hand": 0})");
        auto defaults = std::make_unique<UserDefaults>(path.string());
        int edits = 0;
        test::ScopedFileStepHook editorSaves([&](FileStep step, const std::string& target) {
            if (step != FileStep::Flush || target != path.string()) return 0;
            test::writeFile(folder / "edit.json", json{{"hand", ++edits}}.dump());
            std::filesystem::rename(folder / "edit.json", path);
            return 0;
        });
        defaults->setObject("mine", true);
        if (storeEnds) {
            defaults.reset();
        } else {
            size_t waits = 0;
            while (settleWaits.makeWaitingWrites() != 0 && ++waits < 10) {
            }
            EXPECT_EQ(waits, 3u);
        }
        EXPECT_EQ(json::parse(fileText(path)), (json{{"hand", edits - 1}, {"mine", true}}));
    }
    settleWaits.makeWaitingWrites();  // of the store gone: nothing to write
}

// A change of a value whose owner merges edits of it gives way to an edit
// of that value saved while the change waited to be written; the owner is
// told and finds the edit. A value the editor left as it was takes the
// change, and so does any other key changed on both sides.
TEST(UserDefaults, AYieldingChangeGivesWayToAnEditOfItsValueSavedBeforeItIsWritten) {
    HeldSettleWaits settleWaits;
    TestFileClock clock;
    const json before{{"list", json::array({1})}, {"other", 1}};
    // Whether the editor's save changes the list.
    for (const bool listEdited : {true, false}) {
        SCOPED_TRACE(listEdited);
        LogCapture log;
        test::TemporaryDirectory folder;
        const auto path = folder / "defaults.json";
        test::writeFile(path, before.dump());
        clock.fileChanged();
        clock.advance(seconds(60));
        UserDefaults defaults(path.string());
        defaults.yieldToFileEditsOf("list");
        int heard = 0;
        auto observation = defaults.observe("list", [&] { ++heard; });

        // Two changes of the list while the write waits, both made over
        // the file's list as it was.
        SaveInPlace save(path, clock);
        defaults.setObject("list", json::array({1, 2}));
        defaults.setObject("other", 2);
        defaults.setObject("list", json::array({1, 2, 3}));
        EXPECT_TRUE(defaults.hasUnwrittenChange("list"));
        json edit = before;
        edit["other"] = 3;
        if (listEdited) edit["list"] = json::array({3});
        EXPECT_EQ(waitsAcross(settleWaits, clock, save, seconds(2), edit.dump()), 1);

        const json list = listEdited ? json::array({3}) : json::array({1, 2, 3});
        EXPECT_EQ(json::parse(fileText(path)), (json{{"list", list}, {"other", 2}}));
        EXPECT_EQ(defaults.objectForKey("list"), list);
        EXPECT_FALSE(defaults.hasUnwrittenChange("list"));
        EXPECT_EQ(heard, listEdited ? 3 : 2);
        EXPECT_EQ(log.contains("was edited in the file before this change of it was written"),
                  listEdited);
    }
}
