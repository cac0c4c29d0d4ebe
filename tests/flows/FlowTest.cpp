#include "FlowFixtures.h"
#include "flows/QFExportFlowPlugIn.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/QFFlowStatusPhrase.h"
#include "flows/inputs/QFFlowPlugInManager.h"
#include "flows/shared/QFKeyedArchive.h"
#include "platform/core/Log.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>

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

// The flow of `archive` with `value` under `key`: kept, with a line that
// names the key and, by their paths, the flow's documents.
std::shared_ptr<QFFlow> decodedWithUnreadableValue(const nlohmann::json& archive,
                                                   const std::string& key,
                                                   const nlohmann::json& value) {
    nlohmann::json damaged = archive;
    damaged[key] = value;
    LogCapture log;
    auto decoded = QFFlowManager::decodeFlow(damaged);
    const std::vector<std::string> lines = log.lines();
    auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& logged) {
        return logged.find("Couldn't decode the \"" + key + "\" of a flow of ") !=
               std::string::npos;
    });
    EXPECT_NE(line, lines.end()) << key;
    if (!decoded || line == lines.end()) return decoded;
    std::set<std::string> documents = decoded->inputURLs();
    if (documents.empty()) documents = {"no documents"};
    for (const auto& document : documents)
        EXPECT_NE(line->find(document), std::string::npos) << *line;
    return decoded;
}

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

    // A value of the wrong kind is taken as unset, with a line saying so;
    // the flow keeps the rest. One that is no flow's archive gives none.
    archive["name"] = "Icons";
    for (auto [key, value] : std::vector<std::pair<std::string, nlohmann::json>>{
             {"name", 12}, {"input", "x"}, {"lastRunDate", "yesterday"}, {"behavior", "2"}}) {
        auto decoded = decodedWithUnreadableValue(archive, key, value);
        ASSERT_TRUE(decoded) << key;
        EXPECT_EQ(decoded->name(), key == "name" ? std::nullopt : std::optional("Icons")) << key;
        EXPECT_EQ(decoded->inputURLs().empty(), key == "input") << key;
        EXPECT_EQ(decoded->behavior(), key == "behavior" ? 0 : 2) << key;
        EXPECT_FALSE(decoded->lastRunDate()) << key;
        EXPECT_EQ(decoded->outputDirectoryURL(), (folder / "out").string()) << key;
    }
    for (auto [key, value] : std::vector<std::pair<std::string, nlohmann::json>>{
             {"$class", "QFWindow"}, {"input", {{"$class", "QFWindow"}}}}) {
        nlohmann::json damaged = archive;
        damaged[key] = value;
        LogCapture log;
        EXPECT_FALSE(QFFlowManager::decodeFlow(damaged)) << key;
        EXPECT_TRUE(log.contains("Couldn't decode a flow")) << key;
    }
    archive.erase("name");

    // An output folder whose bookmark no longer resolves is dropped.
    fs::remove(folder / "out");
    LogCapture log;
    auto withoutFolder = QFFlowManager::decodeFlow(archive);
    ASSERT_TRUE(withoutFolder);
    EXPECT_FALSE(withoutFolder->hasOutputDirectory());
    EXPECT_TRUE(log.contains("Couldn't resolve security-scoped bookmark for output URL ("));
    EXPECT_TRUE(log.contains("of a flow of " + (folder / "Icons.psd").string() + "; it is kept"));
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

    // Unreadable, each is taken as unset, and the flow kept.
    nlohmann::json codeless = archive;
    codeless["lastRunError"].erase("code");
    for (auto [key, value] : std::vector<std::pair<std::string, nlohmann::json>>{
             {"hasUnexportedChanges", "yes"},
             {"lastRunError", "failed"},
             {"lastRunError", codeless["lastRunError"]}}) {
        auto kept = decodedWithUnreadableValue(archive, key, value);
        ASSERT_TRUE(kept) << key;
        EXPECT_EQ(kept->hasUnexportedChanges(), key != "hasUnexportedChanges") << key;
        EXPECT_EQ(kept->lastRunError().has_value(), key != "lastRunError") << key;
    }
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

// A value the flow cannot read is archived again as it was stored, until
// the flow has one of its own there: then its own is written, for good.
TEST_F(FlowTest, AValueThatCannotBeReadIsArchivedAgainUntilTheFlowHasItsOwn) {
    auto flow = flowWithDocuments({"a.psd"});
    fs::create_directories(folder / "out");
    flow->setOutputDirectoryURL((folder / "out").string());
    const nlohmann::json archive = flow->encode();
    const std::string bookmark = archive["outputDirectoryBookmarkData"];
    std::string damagedBookmark = bookmark;
    damagedBookmark[0] = 'A';  // '{' no more
    for (auto [key, value] : std::vector<std::pair<std::string, nlohmann::json>>{
             {"behavior", "2"},
             {"behavior", 3},
             {"name", 12},
             {"lastRunDate", "yesterday"},
             {"lastRunNumberOfItemsSaved", "many"},
             {"hasUnexportedChanges", "yes"},
             {"lastRunError", "failed"},
             {"exportedInputTokens", {{(folder / "a.psd").string(), "token"}}},
             {"outputDirectoryBookmarkData", "!"},
             {"outputDirectoryBookmarkData", damagedBookmark}}) {
        nlohmann::json damaged = archive;
        damaged[key] = value;
        auto decoded = QFFlowManager::decodeFlow(damaged);
        ASSERT_TRUE(decoded) << key;
        EXPECT_EQ(decoded->encode(), damaged) << key << " " << value;
    }

    nlohmann::json damaged = archive;
    damaged["behavior"] = "2";
    damaged["outputDirectoryBookmarkData"] = damagedBookmark;
    auto decoded = QFFlowManager::decodeFlow(damaged);
    ASSERT_TRUE(decoded);
    decoded->setName("Icons");  // a change elsewhere keeps them
    damaged["name"] = "Icons";
    EXPECT_EQ(decoded->encode(), damaged);
    decoded->setBehavior(QFFlowBehaviorRepeatAutomatically);
    EXPECT_EQ(decoded->encode()["behavior"], 2);
    decoded->setBehavior(QFFlowBehaviorNone);  // the user's none, not the stored "2"
    EXPECT_FALSE(decoded->encode().contains("behavior"));
    decoded->setOutputDirectoryURL((folder / "later").string());
    const nlohmann::json encoded = decoded->encode();
    EXPECT_EQ(encoded["outputDirectoryURL"], (folder / "later").string());
    EXPECT_FALSE(encoded.contains("outputDirectoryBookmarkData"));
}

// What of an input's archive cannot be read (elements of the wrong kind, a
// bookmark of a document moved away, types) is archived again beside the
// documents added since, and read again once it can be. The export plug-in
// is registered, as in the application: unreadable types are taken for
// its own, which the types given later replace all the same.
TEST_F(FlowTest, AnInputArchivesWhatItCannotReadBesideWhatIsAddedLater) {
    QFFlowPlugInManager::defaultManager()->registerPlugIn(QFExportFlowPlugIn::sharedPlugIn());
    nlohmann::json archive = flowWithDocuments({"a.psd", "b.psd"})->encode()["input"];
    archive["inputBookmarks"].push_back("!");
    archive["inputURLs"] = {"/nowhere/c.psd", 5};
    archive["inputTypes"] = 7;
    fs::rename(folder / "b.psd", folder / "b.moved");
    LogCapture log;
    auto input = QFFlowInput::decode(archive);
    ASSERT_TRUE(input);
    EXPECT_EQ(input->inputURLs(),
              (std::set<std::string>{(folder / "a.psd").string(), "/nowhere/c.psd"}));
    EXPECT_EQ(input->encode(), archive);
    EXPECT_TRUE(log.contains("Couldn't resolve security-scoped bookmark"));

    test::writeFile(folder / "d.psd", "d");
    input->addInputWithURLs({(folder / "d.psd").string()});
    input->limitToSubsetOfAllowedTypes({kTypePhotoshopImage});
    const nlohmann::json added = input->encode();
    const nlohmann::json& bookmarks = added["inputBookmarks"];
    ASSERT_EQ(bookmarks.size(), 4u);
    EXPECT_EQ(bookmarks[2], archive["inputBookmarks"][1]);
    EXPECT_EQ(bookmarks[3], "!");
    EXPECT_EQ(added["inputURLs"], archive["inputURLs"]);
    EXPECT_EQ(added["inputTypes"], nlohmann::json::array({kTypePhotoshopImage}));

    fs::rename(folder / "b.moved", folder / "b.psd");
    EXPECT_EQ(QFFlowInput::decode(added)->inputURLs(),
              (std::set<std::string>{(folder / "a.psd").string(), (folder / "b.psd").string(),
                                     (folder / "d.psd").string(), "/nowhere/c.psd"}));
}
