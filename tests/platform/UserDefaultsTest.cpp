#include "platform/core/Log.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/UserDefaults.h"
#include "support/ScopedFileStepHook.h"
#include "support/SettingsFileHooks.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace lf;
using lf::test::fileText;
using lf::test::HeldSettleWaits;
using lf::test::StillFileClock;
using nlohmann::json;

namespace {

// Puts the modification time of `path` back to `time`, as `touch -r` and
// `cp -p` do; its change time moves on all the same.
void setModificationTime(const std::filesystem::path& path, const timespec& time) {
    const timespec times[2] = {{0, UTIME_OMIT}, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

timespec changeTime(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_ctim;
}

}  // namespace

TEST(UserDefaults, StoredValuesPersistAndRegisteredOnesAreNeverWritten) {
    test::TemporaryDirectory folder;
    const auto path = folder / "config" / "defaults.json";
    {
        UserDefaults defaults(path.string());
        defaults.registerDefaults({{"QFDisableMenuBarPSHelper", false}, {"QFAuto2xEnabled", true}});
        EXPECT_TRUE(defaults.boolForKey("QFAuto2xEnabled"));
        defaults.setObject("QFAuto2xEnabled", false);
        defaults.setObject("RecentFlowsData-1.0", json::array({{{"name", "Icons"}}}));
        defaults.setObject("gone", 1);
        defaults.removeObject("gone");
    }
    EXPECT_EQ(json::parse(fileText(path)),
              (json{{"QFAuto2xEnabled", false},
                    {"RecentFlowsData-1.0", json::array({{{"name", "Icons"}}})}}));

    UserDefaults reread(path.string());
    EXPECT_FALSE(reread.boolForKey("QFAuto2xEnabled"));
    EXPECT_EQ(reread.objectForKey("RecentFlowsData-1.0")->at(0)["name"], "Icons");
    EXPECT_FALSE(reread.objectForKey("QFDisableMenuBarPSHelper"));
    EXPECT_FALSE(reread.objectForKey("gone"));
}

TEST(UserDefaults, NumbersAndBooleansReadAsTheirKindOnly) {
    test::TemporaryDirectory folder;
    UserDefaults defaults((folder / "d.json").string());
    defaults.registerDefaults(
        {{"number", 0.75}, {"text", "0.5"}, {"yes", true}, {"zero", 0}, {"list", json::array()}});
    const std::tuple<const char*, std::optional<double>, bool> cases[] = {
        {"number", 0.75, true}, {"text", std::nullopt, false}, {"yes", 1.0, true},
        {"zero", 0.0, false},   {"list", std::nullopt, false}, {"absent", std::nullopt, false},
    };
    for (const auto& [key, number, boolean] : cases) {
        EXPECT_EQ(defaults.numberForKey(key), number) << key;
        EXPECT_EQ(defaults.boolForKey(key), boolean) << key;
    }
}

TEST(UserDefaults, ObserversHearChangesOfTheEffectiveValueOnly) {
    test::TemporaryDirectory folder;
    UserDefaults defaults((folder / "d.json").string());
    int calls = 0;
    auto observation = defaults.observe("QFDisableMenuBarPSHelper", [&] { ++calls; });
    defaults.registerDefaults({{"QFDisableMenuBarPSHelper", false}});
    EXPECT_EQ(calls, 1);
    defaults.setObject("QFDisableMenuBarPSHelper", false);  // same value
    defaults.setObject("other", true);
    EXPECT_EQ(calls, 1);
    defaults.setObject("QFDisableMenuBarPSHelper", true);
    defaults.registerDefaults({{"QFDisableMenuBarPSHelper", true}});  // hidden by the stored value
    EXPECT_EQ(calls, 2);
    defaults.removeObject("QFDisableMenuBarPSHelper");  // the registered true shows: no change
    EXPECT_EQ(calls, 2);

    // A handler may read the new value and end its own observation.
    Observation second;
    second = defaults.observe("QFDisableMenuBarPSHelper", [&] {
        EXPECT_FALSE(defaults.boolForKey("QFDisableMenuBarPSHelper"));
        second.reset();
    });
    defaults.setObject("QFDisableMenuBarPSHelper", false);
    defaults.setObject("QFDisableMenuBarPSHelper", true);
    observation.reset();
    defaults.setObject("QFDisableMenuBarPSHelper", false);
    EXPECT_EQ(calls, 4);
}

TEST(UserDefaults, DamagedFileIsKeptAsideAndTheStoreStartsEmpty) {
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    test::writeFile(path, "{\"QFAuto1xDisabled\": tr");
    LogCapture log;
    UserDefaults defaults(path.string());
    EXPECT_TRUE(log.contains("kept as"));
    EXPECT_FALSE(defaults.objectForKey("QFAuto1xDisabled"));
    EXPECT_EQ(fileText(path.string() + ".damaged"), "{\"QFAuto1xDisabled\": tr");
    defaults.setObject("QFAuto1xDisabled", true);
    EXPECT_EQ(json::parse(fileText(path)), (json{{"QFAuto1xDisabled", true}}));
}

// Each write leaves a last good copy beside the file; a damaged file gives
// way to it (the recents' own test cuts and flips the file), and with the
// copy damaged too the store starts empty.
TEST(UserDefaults, ADamagedFileGivesWayToItsLastGoodCopy) {
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    {
        UserDefaults defaults(path.string());
        defaults.setObject("QFAuto2xEnabled", true);
        EXPECT_EQ(fileText(defaults.lastGoodCopyPath()), fileText(path));
    }
    test::writeFile(path, "{\"QFAuto2xEnabled\": fal");
    {
        LogCapture log;
        UserDefaults defaults(path.string());
        EXPECT_TRUE(log.contains("Read the user defaults from their last good copy at " +
                                 defaults.lastGoodCopyPath()));
        EXPECT_TRUE(defaults.boolForKey("QFAuto2xEnabled"));
        EXPECT_EQ(fileText(path.string() + ".damaged"), "{\"QFAuto2xEnabled\": fal");
    }

    test::writeFile(path, "{");
    test::writeFile(path.string() + ".last-good", "[]");
    LogCapture log;
    UserDefaults empty(path.string());
    EXPECT_TRUE(log.contains("either: starting empty"));
    EXPECT_FALSE(empty.objectForKey("QFAuto2xEnabled"));
}

// A settings file that is a link (as dotfile managers make) stays one: a
// write replaces the file it leads to, whole, through chains of links and
// to a file not made yet; damage there is copied aside and mended by the
// next write; links in a loop are never replaced.
TEST(UserDefaults, AWriteThroughALinkReplacesTheFileItLeadsTo) {
    namespace fs = std::filesystem;
    test::TemporaryDirectory folder;
    fs::create_directories(folder / "dotfiles");
    fs::create_directories(folder / "config");
    const auto target = folder / "dotfiles" / "defaults.json";
    const auto path = folder / "config" / "defaults.json";
    test::writeFile(target, R"({"QFAuto2xEnabled": false})");
    fs::create_symlink("../dotfiles/defaults.json", path);
    struct stat before {};
    ASSERT_EQ(::stat(target.c_str(), &before), 0);
    {
        UserDefaults defaults(path.string());
        EXPECT_FALSE(defaults.boolForKey("QFAuto2xEnabled"));
        defaults.setObject("QFAuto2xEnabled", true);
        EXPECT_FALSE(fs::is_symlink(defaults.lastGoodCopyPath()));
    }
    EXPECT_EQ(fs::read_symlink(path), "../dotfiles/defaults.json");
    EXPECT_EQ(json::parse(fileText(target)), (json{{"QFAuto2xEnabled", true}}));
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // renamed in whole, not written in place

    test::writeFile(target, "{\"QFAuto2xEnabled\": tr");
    {
        UserDefaults defaults(path.string());
        EXPECT_EQ(fileText(path.string() + ".damaged"), "{\"QFAuto2xEnabled\": tr");
        EXPECT_TRUE(fs::is_symlink(path));
        EXPECT_TRUE(defaults.boolForKey("QFAuto2xEnabled"));  // from the copy
        defaults.setObject("QFAuto1xDisabled", true);
    }
    EXPECT_EQ(json::parse(fileText(target)),
              (json{{"QFAuto1xDisabled", true}, {"QFAuto2xEnabled", true}}));

    fs::remove(target);
    fs::remove(path);
    fs::create_symlink("../dotfiles/link.json", path);
    fs::create_symlink("later.json", folder / "dotfiles" / "link.json");
    UserDefaults(path.string()).setObject("QFAuto2xEnabled", false);
    EXPECT_EQ(json::parse(fileText(folder / "dotfiles" / "later.json"))["QFAuto2xEnabled"], false);
    EXPECT_TRUE(fs::is_symlink(folder / "dotfiles" / "link.json"));

    fs::remove(path);
    fs::create_symlink("loop.json", path);
    fs::create_symlink("defaults.json", folder / "config" / "loop.json");
    LogCapture log;
    UserDefaults(path.string()).setObject("QFAuto2xEnabled", true);
    EXPECT_TRUE(log.contains("Couldn't write the user defaults to " + path.string()));
    EXPECT_EQ(fs::read_symlink(path), "loop.json");
}

// A value the caller finds damaged: the last good copy's, as read at
// launch before any write replaced it, is stored again, and the damaged
// one kept aside (the recents' own test has the other cases).
TEST(UserDefaults, ADamagedCheckedValueComesFromTheLastGoodCopy) {
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    const auto isList = [](const json& value) { return value.is_array(); };
    UserDefaults(path.string()).setObject("list", json::array({1, 2}));
    test::writeFile(path, R"({"list": "garbage", "other": 1})");
    {
        UserDefaults defaults(path.string());
        defaults.setObject("other", 2);  // the copy holds the damage too now
        LogCapture log;
        EXPECT_EQ(defaults.checkedObjectForKey("list", isList), json::array({1, 2}));
        EXPECT_TRUE(log.contains("damaged (kept as " + defaults.damagedValuePath("list")));
        EXPECT_EQ(json::parse(fileText(defaults.damagedValuePath("list"))),
                  (json{{"list", "garbage"}}));
    }
    EXPECT_EQ(json::parse(fileText(path)), (json{{"list", {1, 2}}, {"other", 2}}));

    // Nothing sound in the copy either: none, and the damaged value kept
    // beside the one kept before.
    test::writeFile(path, R"({"list": 7})");
    test::writeFile(path.string() + ".last-good", R"({"list": 8})");
    UserDefaults defaults(path.string());
    LogCapture log;
    EXPECT_FALSE(defaults.checkedObjectForKey("list", isList));
    EXPECT_TRUE(log.contains("their last good copy has none either"));
    EXPECT_EQ(json::parse(fileText(defaults.damagedValuePath("list") + ".2")), (json{{"list", 7}}));
    EXPECT_EQ(json::parse(fileText(defaults.damagedValuePath("list"))),
              (json{{"list", "garbage"}}));
}

// The file is the user's too: what is put into it while the store lives is
// read at the next look and survives the store's writes, which replace only
// the values the store changed. Two edits of one size in a row, within one
// step of the file system's clock, are read all the same.
TEST(UserDefaults, WritesKeepWhatTheFileGainedSinceItWasRead) {
    StillFileClock clock;
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    test::writeFile(path, R"({"QFAuto2xEnabled": true, "gone": 1, "mine": 1})");
    UserDefaults defaults(path.string());
    int heard = 0;
    auto observation = defaults.observe("QFCompressionQuality", [&] { ++heard; });
    defaults.setObject("mine", 2);

    auto edited = json::parse(fileText(path));
    edited.erase("gone");
    edited["QFAuto2xEnabled"] = false;
    edited["mine"] = 3;
    for (const double quality : {0.3, 0.4}) {
        edited["QFCompressionQuality"] = quality;
        test::writeFile(path, edited.dump());
        EXPECT_EQ(defaults.numberForKey("QFCompressionQuality"), quality);
    }
    EXPECT_EQ(heard, 2);
    EXPECT_FALSE(defaults.boolForKey("QFAuto2xEnabled"));

    defaults.setObject("other", true);
    defaults.setObject("mine", 4);
    EXPECT_EQ(json::parse(fileText(path)), (json{{"QFAuto2xEnabled", false},
                                                 {"QFCompressionQuality", 0.4},
                                                 {"mine", 4},
                                                 {"other", true}}));
    EXPECT_EQ(heard, 2);
}

// A file found damaged, half written by an editor, or removed while the
// store lives: the values read before stay; a write keeps the damage aside
// before it replaces it, and the file as the editor finishes it is read.
TEST(UserDefaults, AFileDamagedOrGoneWhileInUseLosesNothing) {
    HeldSettleWaits settleWaits;
    LogCapture log;
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    UserDefaults defaults(path.string());
    defaults.setObject("RecentFlowsData-1.0", json::array({1}));
    defaults.setObject("QFAuto2xEnabled", true);
    const std::string whole = fileText(path);

    for (const std::string& halfWritten : {std::string(), whole.substr(0, whole.size() / 2)}) {
        test::writeFile(path, halfWritten);
        EXPECT_TRUE(defaults.boolForKey("QFAuto2xEnabled"));
    }
    // Changed moments ago, the half file may be an editor's save under way:
    // the write waits for it, and takes it for damaged once it stays so.
    defaults.setObject("QFAuto1xDisabled", true);
    EXPECT_EQ(fileText(path), whole.substr(0, whole.size() / 2));
    EXPECT_TRUE(defaults.boolForKey("QFAuto1xDisabled"));
    int waits = 0;
    while (settleWaits.makeWaitingWrites() != 0 && ++waits < 10) {
    }
    EXPECT_LT(waits, 10);
    EXPECT_EQ(fileText(defaults.damagedFilePath()), whole.substr(0, whole.size() / 2));
    auto written = json::parse(fileText(path));
    EXPECT_EQ(written["RecentFlowsData-1.0"], json::array({1}));
    EXPECT_EQ(written["QFAuto1xDisabled"], true);

    written["QFAuto2xEnabled"] = false;
    test::writeFile(path, written.dump());
    EXPECT_FALSE(defaults.boolForKey("QFAuto2xEnabled"));

    std::filesystem::remove(path);
    EXPECT_EQ(defaults.objectForKey("RecentFlowsData-1.0"), json::array({1}));
    defaults.setObject("QFAuto1xDisabled", false);
    EXPECT_EQ(json::parse(fileText(path))["RecentFlowsData-1.0"], json::array({1}));
}

// A file removed while its last good copy stays is read from the copy.
TEST(UserDefaults, ARemovedFileGivesWayToItsLastGoodCopy) {
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    UserDefaults(path.string()).setObject("QFAuto2xEnabled", true);
    std::filesystem::remove(path);
    LogCapture log;
    UserDefaults defaults(path.string());
    EXPECT_TRUE(log.contains("Couldn't find the user defaults at " + path.string()));
    EXPECT_TRUE(defaults.boolForKey("QFAuto2xEnabled"));
}

// Every damage is kept beside the earlier ones, numbered in turn; past the
// newest five the oldest go.
TEST(UserDefaults, EachDamageIsKeptBesideTheEarlierOnes) {
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    for (int damage = 1; damage <= 7; ++damage) {
        test::writeFile(path, "{" + std::to_string(damage));
        LogCapture log;
        UserDefaults defaults(path.string());
    }
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        kept.push_back(entry.path().filename().string() + " " + fileText(entry.path()));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept,
              (std::vector<std::string>{"defaults.json.damaged.3 {3", "defaults.json.damaged.4 {4",
                                        "defaults.json.damaged.5 {5", "defaults.json.damaged.6 {6",
                                        "defaults.json.damaged.7 {7"}));
}

// Readers on other threads while the store writes and the file is edited in
// place (so that a reader may find it half written): every read finds a
// value, and the last edit and the last write both hold at the end.
TEST(ConcurrentUserDefaults, ReadersMeetWritesAndEditsOfTheFile) {
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    UserDefaults defaults(path.string());
    defaults.setObject("QFCompressionQuality", 0.5);
    LogCapture log;
    std::atomic<int> heard{0};
    auto observation = defaults.observe("QFCompressionQuality", [&] { ++heard; });
    std::atomic<bool> done{false};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 4; ++reader)
        readers.emplace_back([&] {
            while (!done) {
                const auto quality = defaults.numberForKey("QFCompressionQuality");
                EXPECT_TRUE(quality && *quality >= 0.5);
            }
        });
    constexpr int kRounds = 50;
    for (int round = 1; round <= kRounds; ++round) {
        defaults.setObject("written", round);
        test::writeFile(path, json{{"QFCompressionQuality", 0.5 + round / 100.0}}.dump());
    }
    done = true;
    for (auto& reader : readers)
        reader.join();
    defaults.setObject("last", true);
    EXPECT_EQ(json::parse(fileText(path)),
              (json{{"QFCompressionQuality", 0.5 + kRounds / 100.0}, {"last", true}}));
    EXPECT_GE(heard, 1);
}

// An editor that saves in place truncates the file and writes it again: a
// write of the store that came between the two, replacing the file, would
// leave the editor writing into the file replaced, losing its save and every
// edit made since the store last read the file. The write waits for the
// file to settle instead, whether the save began before it or while it
// wrote, and an edit saved by rename while it wrote is merged before its
// file moves in.
TEST(UserDefaults, AnEditorsSaveDuringAWriteIsMergedAndNeverWrittenOver) {
    HeldSettleWaits settleWaits;
    LogCapture log;
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    const json record{{"RecentFlowsData-1.0", json::array({1})}};
    const json edit{{"QFCompressionQuality", 0.7}, {"hand", 2}, {"added", true}};
    const std::string text = edit.dump();
    auto merged = edit;
    merged.update(record);

    enum class Save { InPlaceBefore, InPlaceDuring, ByRenameDuring };
    // Where the editor cuts its save in place (whole, of the size the file
    // had: only the bytes tell); whether the stamps are settled (a save by
    // rename changes them whatever the clock does).
    const std::tuple<Save, size_t, bool> cases[] = {
        {Save::InPlaceBefore, 0, false},           {Save::InPlaceBefore, text.size() / 2, false},
        {Save::InPlaceDuring, 0, false},           {Save::InPlaceDuring, text.size() / 2, false},
        {Save::InPlaceDuring, text.size(), false}, {Save::ByRenameDuring, 0, false},
        {Save::ByRenameDuring, 0, true},
    };
    for (const auto& [save, cut, settled] : cases) {
        SCOPED_TRACE(::testing::Message()
                     << static_cast<int>(save) << " " << cut << " " << settled);
        setSettingsFileStampHookForTesting([settled = settled](SettingsFileStamp& stamp) {
            stamp.modified = stamp.changed = {1'000'000'000, 0};
            stamp.settled = settled;
        });
        test::writeFile(path, R"({"QFCompressionQuality":0.5,"added":true,"hand":1})");
        UserDefaults defaults(path.string());
        std::optional<std::ofstream> editor;
        const auto beginInPlace = [&, cut = cut] {
            editor.emplace(path, std::ios::binary | std::ios::trunc);
            *editor << text.substr(0, cut) << std::flush;
        };
        if (save == Save::InPlaceBefore) beginInPlace();
        bool saved = false;
        {
            test::ScopedFileStepHook duringTheWrite(
                [&, save = save](FileStep step, const std::string& target) {
                    if (step != FileStep::Flush || target != path.string() || saved) return 0;
                    saved = true;
                    if (save == Save::InPlaceDuring) beginInPlace();
                    if (save == Save::ByRenameDuring) {
                        test::writeFile(folder / "edit.json", text);
                        std::filesystem::rename(folder / "edit.json", path);
                    }
                    return 0;
                });
            defaults.setObject("RecentFlowsData-1.0", record["RecentFlowsData-1.0"]);
        }
        if (editor && cut < text.size()) {  // left to the editor
            EXPECT_EQ(fileText(path), text.substr(0, cut));
            *editor << text.substr(cut) << std::flush;
            editor.reset();
            EXPECT_EQ(settleWaits.makeWaitingWrites(), 1u);
        }
        EXPECT_EQ(json::parse(fileText(path)), merged);
        EXPECT_EQ(defaults.objectForKey("hand"), 2);
        EXPECT_EQ(settleWaits.makeWaitingWrites(), 0u);
    }
    setSettingsFileStampHookForTesting(nullptr);
}

// The end of the process waits for no file to settle: a write that waits
// is made at once, by the store's end or the process's, and the file that
// is still not whole is kept aside as damaged.
TEST(UserDefaults, AWriteThatWaitsForTheFileIsMadeAtOnceAtTheEnd) {
    StillFileClock clock;
    HeldSettleWaits settleWaits;
    LogCapture log;
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    const std::string half = "{\"hand\": ";
    for (const bool standard : {false, true}) {
        test::writeFile(path, R"({"hand": 1})");
        auto defaults = std::make_shared<UserDefaults>(path.string());
        if (standard) UserDefaults::setStandard(defaults);
        test::writeFile(path, half);
        defaults->setObject("written", standard);
        EXPECT_EQ(fileText(path), half);
        if (standard) {
            UserDefaults::writeWaitingChangesBeforeExit();
            UserDefaults::setStandard(nullptr);
        } else {
            defaults.reset();
        }
        EXPECT_EQ(json::parse(fileText(path)), (json{{"hand", 1}, {"written", standard}}));
    }
    EXPECT_EQ(fileText(path.string() + ".damaged"), half);
    EXPECT_EQ(fileText(path.string() + ".damaged.2"), half);
    settleWaits.makeWaitingWrites();  // of stores gone: nothing to write
}

// Stamps as the file system's clock makes them when it moves in steps of
// seconds (FAT): two edits within one step leave the same times. A stamp
// taken less than kSettingsFileSettlesWithin after the file last changed,
// by the real change time, is read again at the next look, whatever the
// modification time says (put back, as `touch -r` does); once settled, an
// edit that puts the modification time back still moves the change time.
TEST(UserDefaults, EditsOfOneSizeAreReadWhateverTheirModificationTimeSays) {
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    const timespec anHourAgo{::time(nullptr) - 3600, 0};
    test::writeFile(path, json{{"QFCompressionQuality", 0.1}}.dump());
    setModificationTime(path, anHourAgo);
    {
        setSettingsFileStampHookForTesting([](SettingsFileStamp& stamp) {
            stamp.modified = stamp.changed = {1'000'000'000, 0};
        });
        UserDefaults defaults(path.string());
        for (const double quality : {0.2, 0.3}) {
            test::writeFile(path, json{{"QFCompressionQuality", quality}}.dump());
            setModificationTime(path, anHourAgo);
            EXPECT_EQ(defaults.numberForKey("QFCompressionQuality"), quality);
        }
        setSettingsFileStampHookForTesting(nullptr);
    }

    setSettingsFileStampHookForTesting([](SettingsFileStamp& stamp) { stamp.settled = true; });
    UserDefaults defaults(path.string());
    const timespec readAt = changeTime(path);
    // Edited until the change time's step has passed, as it has for a
    // settled stamp.
    do {
        test::writeFile(path, json{{"QFCompressionQuality", 0.4}}.dump());
        setModificationTime(path, anHourAgo);
    } while (changeTime(path).tv_sec == readAt.tv_sec &&
             changeTime(path).tv_nsec == readAt.tv_nsec);
    EXPECT_EQ(defaults.numberForKey("QFCompressionQuality"), 0.4);
    setSettingsFileStampHookForTesting(nullptr);
}

// A change made right after an edit of the file, with no read between: the
// write reads the edit first and puts its own change over it.
TEST(UserDefaults, AChangeRightAfterAnEditGoesOverIt) {
    test::TemporaryDirectory folder;
    const auto path = folder / "defaults.json";
    test::writeFile(path, R"({"QFAuto2xEnabled": true, "QFCompressionQuality": 0.5})");
    UserDefaults defaults(path.string());
    test::writeFile(path, R"({"QFAuto2xEnabled": false, "QFCompressionQuality": 0.6, "hand": 1})");
    defaults.setObject("QFCompressionQuality", 0.9);
    EXPECT_EQ(defaults.numberForKey("QFCompressionQuality"), 0.9);
    EXPECT_EQ(json::parse(fileText(path)),
              (json{{"QFAuto2xEnabled", false}, {"QFCompressionQuality", 0.9}, {"hand", 1}}));
}
