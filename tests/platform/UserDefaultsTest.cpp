#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace lf;
using nlohmann::json;

namespace {

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
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
