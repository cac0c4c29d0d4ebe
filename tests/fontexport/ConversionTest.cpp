#include "FontTestSupport.h"
#include "fontexport/QFFont.h"
#include "fontexport/QFFontError.h"
#include "platform/core/Log.h"
#include "platform/files/FileDescriptor.h"
#include "platform/processes/ChildProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
using namespace lf::test;
using nlohmann::json;

namespace {

constexpr const char* kFailureLine = "Error building caches from ttx data";

int logCount(const lf::LogCapture& log, std::string_view fragment) {
    int count = 0;
    for (const auto& line : log.lines())
        count += line.find(fragment) != std::string::npos;
    return count;
}

// Runs Debian's python3 with fontTools; none when it is missing or fails.
std::optional<std::string> runPython(const std::vector<std::string>& arguments) {
    TemporaryDirectory folder;
    auto outputPath = folder / "output";
    lf::FileDescriptor output(::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    lf::ChildProcess::Options options;
    options.arguments = {"/usr/bin/python3"};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.descriptors = {{output.get(), 1}};
    auto python = lf::ChildProcess::spawn(options);
    if (!python) return std::nullopt;
    auto ended = python->waitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(60));
    if (!ended || ended->exitCode() != 0) return std::nullopt;
    std::ifstream in(outputPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool fontToolsAvailable() {
    static const bool available = runPython({"-c", "import fontTools.ttLib"}).has_value() &&
                                  ::access("/usr/bin/ttx", X_OK) == 0;
    return available;
}

std::vector<std::string> tokens(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// A font with two outlined letters, a space and an "AB" ligature.
struct SampleFont {
    QFFont font;
    std::map<char, QFFont::GlyphPtr> characters;
    QFFont::GlyphPtr ligature;
    SampleFont() {
        font.setName("Layerflow Sample");
        characters['A'] = makeGlyph(polygonOutline({{0, 10}, {3, 0}, {6, 10}}), 6, 6.5);
        std::vector<VKKnot> knots = {{{1, 0}, {1, 0}, {4, 0}, 0}, {{5, 10}, {5, 10}, {1, 10}, 0}};
        characters['B'] = makeGlyph(std::make_shared<VKCompoundPath>(VKCompoundPath::PathList{
                                        std::make_shared<VKPath>(knots, true)}),
                                    5.25, 5.125);
        ligature = makeGlyph(polygonOutline({{0, 0}, {12, 0}, {12, 10}, {0, 10}}), 12, 12);
        for (const auto& [character, glyph] : characters) {
            font.addGlyph(glyph);
            font.mapGlyph(glyph, std::string(1, character));
        }
        font.addGlyph(ligature);
        font.mapGlyph(ligature, "AB");
        characters[' '] = font.glyphs()[1];
    }
};

// Reads a compiled font back with fontTools and compares it with the model.
void expectFontToolsReadsTheModel(SampleFont& sample, const lf::Data& binary,
                                  const std::string& flavor) {
    TemporaryDirectory folder;
    writeFile(folder / "font", std::string(binary.stringView()));
    auto output = runPython(
        {std::string(LF_FONTEXPORT_TEST_DATA) + "/read_font.py", (folder / "font").string()});
    ASSERT_TRUE(output) << "fontTools could not read the " << flavor << " font";
    json read = json::parse(*output);
    EXPECT_EQ(read["flavor"], flavor.empty() ? json(nullptr) : json(flavor));

    QFFont& font = sample.font;
    std::vector<std::string> order;
    for (const auto& glyph : font.glyphs())
        order.push_back(*font.nameForGlyph(glyph));
    EXPECT_EQ(read["glyphOrder"], json(order));
    for (const auto& [character, glyph] : sample.characters) {
        std::string name = *font.nameForGlyph(glyph);
        EXPECT_EQ(read["cmap"][std::to_string(character)], name) << character;
    }
    for (const auto& glyph : font.glyphs()) {
        std::string name = *font.nameForGlyph(glyph);
        EXPECT_EQ(read["advances"][name], std::lround(glyph->advancementX() * 100)) << name;
        EXPECT_EQ(read["charstrings"][name], json(tokens(*glyph->postScriptType2Representation())))
            << name;
    }
    EXPECT_EQ(read["ligatures"], (json{{"liga:" + *font.nameForGlyph(sample.characters['A']) + " " +
                                            *font.nameForGlyph(sample.characters['B']),
                                        *font.nameForGlyph(sample.ligature)}}));
}

void expectConvertsAndReadsBack(SampleFont& sample) {
    ScopedEnvironment converter(kQFTTXConverterVariable, LF_TTX_CONVERTER_PATH);
    auto sfnt = sample.font.sfntRepresentation();
    ASSERT_TRUE(sfnt) << lf::describe(sfnt.error());
    auto woff = sample.font.woffRepresentation();
    ASSERT_TRUE(woff);
    EXPECT_EQ(sfnt->stringView().substr(0, 4), "OTTO");
    EXPECT_EQ(woff->stringView().substr(0, 4), "wOFF");
    expectFontToolsReadsTheModel(sample, *sfnt, "");
    expectFontToolsReadsTheModel(sample, *woff, "woff");
}

}  // namespace

TEST(TTXConversion, FontToolsReadsBackWhatTheModelHolds) {
    LF_REQUIRE_INSTALLED(fontToolsAvailable(), "Debian's fonttools (ttx and python3-fonttools)");
    SampleFont sample;
    expectConvertsAndReadsBack(sample);
}

TEST(TTXConversion, ReorderedGlyphsKeepTheirCharactersUnderAGermanLocale) {
    LF_REQUIRE_INSTALLED(fontToolsAvailable(), "Debian's fonttools (ttx and python3-fonttools)");
    SampleFont sample;
    ASSERT_FALSE(ttxText(sample.font).empty());  // names the glyphs where they stand
    std::vector<QFFont::GlyphPtr> reversed(sample.font.glyphs().rbegin(),
                                           sample.font.glyphs().rend());
    sample.font.setGlyphs(reversed);

    ScopedICUDefaults german("de_DE", "Europe/Berlin");
    ScopedEnvironment language("LANG", "de_DE.UTF-8");
    ScopedEnvironment time("LC_TIME", "de_DE.UTF-8");
    ScopedEnvironment zone("TZ", "Europe/Berlin");
    expectConvertsAndReadsBack(sample);
}

TEST(TTXConversion, FailedConversionsLeaveNothingCachedAndLog) {
    struct Case {
        const char* name;
        std::string converter;
        const char* mode;
        std::chrono::milliseconds timeLimit;
        int64_t code;
        const char* logLine;
    };
    // Conversions that end by themselves may take as long as the tests
    // allow; only the one that hangs meets its limit.
    const auto endsByItself =
        std::chrono::duration_cast<std::chrono::milliseconds>(lf::test::kPatience);
    const Case cases[] = {
        {"no converter", "/nonexistent/layerflow-ttx-converter", "", endsByItself,
         QFFontErrorConversionFailed, kFailureLine},
        {"converter dies", LF_FAKE_CONVERTER_PATH, "die", endsByItself, QFFontErrorConversionFailed,
         kFailureLine},
        {"converter hangs", LF_FAKE_CONVERTER_PATH, "hang", std::chrono::milliseconds(300),
         QFFontErrorConversionTimedOut,
         "Error building caches from ttx data: no reply within 300 ms"},
        {"reply without fonts", LF_FAKE_CONVERTER_PATH, "empty", endsByItself,
         QFFontErrorConversionIncomplete, "fake converter: nothing compiled"},
    };
    for (const auto& c : cases) {
        QFFont font;
        font.setName("F");
        font.setConversionTimeLimit(c.timeLimit);
        {
            lf::LogCapture log;
            ScopedEnvironment converter(kQFTTXConverterVariable, c.converter);
            ScopedEnvironment mode("LF_FAKE_CONVERTER_MODE", c.mode);
            auto sfnt = font.sfntRepresentation();
            ASSERT_FALSE(sfnt) << c.name;
            EXPECT_TRUE(sfnt.error().is(QFFontErrorDomain, c.code)) << c.name;
            EXPECT_EQ(logCount(log, c.logLine), 1) << c.name;
        }
        // Nothing was cached: the next request converts afresh.
        ScopedEnvironment converter(kQFTTXConverterVariable, LF_FAKE_CONVERTER_PATH);
        ScopedEnvironment mode("LF_FAKE_CONVERTER_MODE", "fixed");
        auto woff = font.woffRepresentation();
        ASSERT_TRUE(woff) << c.name;
        EXPECT_EQ(woff->stringView(), "wOFF fake") << c.name;
    }
}

TEST(TTXConversion, CachesLastUntilTheGlyphsChange) {
    QFFont font;
    font.setName("Before");
    {
        ScopedEnvironment converter(kQFTTXConverterVariable, LF_FAKE_CONVERTER_PATH);
        ScopedEnvironment mode("LF_FAKE_CONVERTER_MODE", "fixed");
        ASSERT_TRUE(font.sfntRepresentation());
    }
    // With no converter left, only cached forms can come back.
    ScopedEnvironment converter(kQFTTXConverterVariable, "/nonexistent/layerflow-ttx-converter");
    font.setName("After");
    font.glyphs()[1]->setAdvancementX(7);
    auto sfnt = font.sfntRepresentation();
    ASSERT_TRUE(sfnt);
    EXPECT_EQ(sfnt->stringView(), "OTTO fake");
    EXPECT_EQ(font.woffRepresentation()->stringView(), "wOFF fake");

    lf::LogCapture log;
    font.mapGlyph(font.glyphs()[1], "x");
    EXPECT_FALSE(font.sfntRepresentation());
    EXPECT_EQ(logCount(log, kFailureLine), 1);
}
