#include "kit/Bundle.h"
#include "kit/OMLocalizer.h"
#include "platform/core/Log.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using lf::Bundle;
namespace fs = std::filesystem;

namespace {

// A bundle folder of the test's own with a default table of `json`.
class LocalizerTest : public ::testing::Test {
protected:
    void writeTable(const std::string& name, const std::string& json) {
        fs::create_directories(folder_ / "strings");
        lf::test::writeFile(folder_ / "strings" / (name + ".json"), json);
    }
    std::shared_ptr<const Bundle> bundle() {
        return std::make_shared<const Bundle>(folder_.path());
    }

    lf::test::TemporaryDirectory folder_;
};

const char* kTable = R"json({
    "plain": "Plain text",
    "self": "self",
    "percent": "100%%",
    "alias": "@alias plain",
    "alias.chain": "@alias alias",
    "alias.missing": "@alias nowhere",
    "alias.empty": "@alias ",
    "alias.to-self": "@alias echo",
    "echo": "alias.to-self",
    "cycle.a": "@alias cycle.b",
    "cycle.b": "@alias cycle.a",
    "items": "Items",
    "items (item-count:%@)": "%@ items",
    "things": "Things %@ 100%%",
    "pair": "none",
    "pair (a:%@ b:%@)": "%@ and %@",
    "pair (a:%@)": "only %@",
    "skip": "Skip",
    "skip (n:%@)": "@alias items",
    "count": "@alias items",
    "many": "fallback",
    "many (k0:%@ k1:%@ k2:%@ k3:%@ k4:%@ k5:%@ k6:%@ k7:%@ k8:%@ k9:%@ k10:%@ k11:%@ k12:%@ k13:%@ k14:%@ k15:%@ k16:%@)": "all"
})json";

TEST_F(LocalizerTest, PlainLookupsFollowAliasesAndTreatTheKeyAsMissing) {
    writeTable("Localizable", kTable);
    OMLocalizer localizer(bundle());
    const struct {
        const char* key;
        std::optional<std::string> text;
    } cases[] = {
        {"plain", "Plain text"},
        {"missing", std::nullopt},
        {"self", std::nullopt},  // a text equal to its key is no text
        {"percent", "100%%"},    // without arguments nothing is formatted
        {"alias", "Plain text"},
        {"alias.chain", "Plain text"},  // an alias of an alias, not "@alias alias"
        {"alias.missing", std::nullopt},
        {"alias.empty", std::nullopt},
        {"alias.to-self", std::nullopt},  // ends at a text equal to the key asked for
        {"cycle.a", std::nullopt},
        {"", std::nullopt},
    };
    lf::LogCapture log;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(localizer.localizedStringForKey(c.key), c.text);
        // The second answer comes from the cache and must agree.
        EXPECT_EQ(localizer.localizedStringForKey(c.key), c.text);
    }
    EXPECT_TRUE(log.contains("cycle.a"));
}

TEST_F(LocalizerTest, TheMostSpecificVariantWithAllItsArgumentsWins) {
    writeTable("Localizable", kTable);
    OMLocalizer localizer(bundle());
    std::vector<std::string> many;
    OMLocalizerArguments manyValues;
    for (int i = 0; i < 17; ++i) {
        many.push_back("k");
        many.back() += std::to_string(i);
        manyValues.emplace(many.back(), "v");
    }
    const struct {
        const char* key;
        OMLocalizerArguments arguments;
        std::vector<std::string> argumentKeys;
        std::optional<std::string> text;
    } cases[] = {
        {"items", {{"item-count", "3"}}, {"item-count"}, "3 items"},
        {"items", {}, {"item-count"}, "Items"},
        // The plain text goes through the formatter with no values.
        {"things", {{"item-count", "3"}}, {"item-count"}, "Things %@ 100%"},
        {"pair", {{"a", "1"}, {"b", "2"}}, {"a"}, "only 1"},
        // Variants are kept per list of argument keys, not per key alone.
        {"pair", {{"a", "1"}, {"b", "2"}}, {"a", "b"}, "1 and 2"},
        {"pair", {{"a", "1"}}, {"a", "b"}, "only 1"},
        {"pair", {{"b", "2"}}, {"a", "b"}, "none"},
        {"pair", {{"a", "1"}, {"b", "2"}}, {"b", "a"}, "only 1"},
        {"pair", {{"a", "1"}, {"b", "2"}}, {"a", "a"}, "only 1"},
        {"skip", {{"n", "1"}}, {"n"}, "Skip"},  // an alias is never a variant
        {"count", {{"item-count", "4"}}, {"item-count"}, "4 items"},
        {"cycle.a", {{"a", "1"}}, {"a"}, std::nullopt},
        {"missing", {{"a", "1"}}, {"a"}, std::nullopt},
        {"", {{"a", "1"}}, {"a"}, std::nullopt},
        {"many", manyValues, many, "fallback"},  // 17 names are never tried
    };
    lf::LogCapture quiet;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(localizer.localizedStringForKey(c.key, c.arguments, c.argumentKeys), c.text);
    }
}

TEST_F(LocalizerTest, TablesAreChosenByNameAndLocalizersSharedPerBundleAndTable) {
    writeTable("Localizable", R"({"greeting": "Hello"})");
    writeTable("Updater", R"({"greeting": "Update"})");
    auto shared = bundle();
    auto main = OMLocalizer::localizerForBundle(shared, "");
    auto updater = OMLocalizer::localizerForBundle(shared, "Updater");
    EXPECT_EQ(main->localizedStringForKey("greeting"), "Hello");
    EXPECT_EQ(updater->localizedStringForKey("greeting"), "Update");
    EXPECT_EQ(OMLocalizer::localizerForBundle(shared, "Updater"), updater);
    EXPECT_NE(OMLocalizer::localizerForBundle(bundle(), "Updater"), updater);
}

TEST_F(LocalizerTest, DamagedTablesShowTheirKeys) {
    const struct {
        const char* json;
        std::optional<std::string> text;
    } cases[] = {
        {R"({"key": "Text", "other": 3})", "Text"},  // the good entries stay
        {R"({"key": "Text",)", std::nullopt},
        {R"(["key", "Text"])", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        writeTable("Localizable", c.json);
        lf::LogCapture log;
        OMLocalizer localizer(bundle());
        EXPECT_EQ(localizer.localizedStringForKey("key"), c.text);
        EXPECT_TRUE(log.contains("***"));
    }
    lf::LogCapture log;
    fs::remove_all(folder_ / "strings");
    EXPECT_EQ(OMLocalizer(bundle()).localizedStringForKey("key"), std::nullopt);
    EXPECT_TRUE(log.lines().empty()) << "a bundle without the table has no texts, quietly";
}

TEST_F(LocalizerTest, ConcurrentLookupsAgree) {
    writeTable("Localizable", kTable);
    OMLocalizer localizer(bundle());
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                if (localizer.localizedStringForKey("alias") != "Plain text") ++wrong;
                if (localizer.localizedStringForKey("count", {{"item-count", std::to_string(i)}},
                                                    {"item-count"}) != std::to_string(i) + " items")
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

TEST(Bundle, TheMainFolderIsTheOverrideElseBesideTheExecutableElseTheSourceTree) {
    lf::test::TemporaryDirectory root;
    const fs::path executable = root / "bin", source = root / "source-resources";
    fs::create_directories(source);
    EXPECT_EQ(Bundle::mainResourcePath("/elsewhere", executable, source), "/elsewhere");
    EXPECT_EQ(Bundle::mainResourcePath("", executable, source), source);
    EXPECT_EQ(Bundle::mainResourcePath(nullptr, executable, root / "absent"), fs::path());
    fs::create_directories(executable / "resources");
    EXPECT_EQ(Bundle::mainResourcePath(nullptr, executable, source), executable / "resources");
    EXPECT_EQ(Bundle::mainResourcePath("/elsewhere", executable, source), "/elsewhere");
}

TEST(Bundle, TheShippedTablesAreObjectsOfText) {
    Bundle shipped(LF_SOURCE_RESOURCES_DIR);
    lf::LogCapture log;
    for (const auto& entry : fs::directory_iterator(shipped.resourcePath() / "strings")) {
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(entry.path().extension(), ".json");
        (void)shipped.localizedString("any key", {}, entry.path().stem().string());
    }
    EXPECT_TRUE(log.lines().empty()) << log.lines().front();
}

TEST(Bundle, InfoIsAnObjectEvenWhenMissingOrDamaged) {
    lf::test::TemporaryDirectory folder;
    Bundle bundle(folder.path());
    EXPECT_TRUE(bundle.infoDictionary().is_object());
    EXPECT_FALSE(bundle.objectForInfoDictionaryKey("CFBundleName"));

    lf::test::writeFile(folder / "Info.json", "[1, 2]");
    Bundle damaged(folder.path());
    lf::LogCapture log;
    EXPECT_TRUE(damaged.infoDictionary().empty());
    EXPECT_TRUE(log.contains("***"));

    lf::test::writeFile(folder / "Info.json", R"({"CFBundleName": "layerflow", "N": 3})");
    Bundle written(folder.path());
    EXPECT_EQ(written.objectForInfoDictionaryKey("CFBundleName"), "layerflow");
    EXPECT_EQ(written.objectForInfoDictionaryKey("N"), 3);

    Bundle shipped(LF_SOURCE_RESOURCES_DIR);
    EXPECT_TRUE(shipped.objectForInfoDictionaryKey("CFBundleName")) << "resources/Info.json";
}

TEST(OMLocalizedString, ShowsTheKeyWhenThereIsNoText) {
    EXPECT_EQ(OMLocalizedString("no.such.key"), "no.such.key");
    EXPECT_EQ(OMLocalizedString("no.such.key", {{"a", "1"}}, {"a"}), "no.such.key");
}

}  // namespace
