#include "FontTestSupport.h"
#include "fontexport/QFFont.h"
#include "fontexport/QFFontError.h"
#include "platform/core/Log.h"
#include "support/TestSupport.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
using namespace lf::test;

namespace {

std::string readExpected(const std::string& name) {
    std::ifstream in(std::string(LF_FONTEXPORT_TEST_DATA) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool contains(const std::string& text, const std::string& fragment) {
    return text.find(fragment) != std::string::npos;
}

std::string charstring(const QFGlyph& glyph) {
    auto text = glyph.postScriptType2Representation();
    return text ? *text : "error: " + lf::describe(text.error());
}

}  // namespace

TEST(FontDocument, NewFontMatchesTheStatedDocument) {
    QFFont font;
    font.setName("Sample & Co");
    font.setClock(fixedFontDate);
    lf::LogCapture log;
    EXPECT_EQ(ttxText(font), readExpected("NewFont.ttx"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Name: Sample & Co"});
}

TEST(FontDocument, DatesAreEnglishAndUTCWhateverTheUserSettings) {
    std::string text;
    {
        ScopedICUDefaults german("de_DE", "Europe/Berlin");
        QFFont font;
        font.setName("F");
        font.setClock(fixedFontDate);
        text = ttxText(font);
    }
    EXPECT_TRUE(contains(text, "<created value=\"Tue Mar 5 13:07:09 2024\" />"));
    EXPECT_TRUE(contains(text, "<modified value=\"Tue Mar 5 13:07:09 2024\" />"));
}

TEST(FontGlyphs, NamesFollowTheirGlyphAndStayUnique) {
    QFFont font;
    font.setName("F");
    auto a = makeGlyph(nullptr, 5, 5);
    auto b = makeGlyph(nullptr, 5, 5);
    font.addGlyph(a);
    EXPECT_EQ(font.nameForGlyph(a), "glyph2");
    font.setGlyphs({a, b});
    // a keeps its name at index 1; b, now at index 2, may not share it.
    EXPECT_EQ(font.nameForGlyph(a), "glyph2");
    EXPECT_EQ(font.nameForGlyph(b), "glyph2.1");
    EXPECT_EQ(font.nameForGlyph(makeGlyph(nullptr, 0, 0)), std::nullopt);

    // A glyph that is gone leaves its name behind; a new glyph, wherever it
    // is allocated, is named by its own index.
    font.setGlyphs({});
    a.reset();
    b.reset();
    auto c = makeGlyph(nullptr, 5, 5);
    font.addGlyph(c);
    EXPECT_EQ(font.nameForGlyph(c), "glyph1");
}

TEST(FontGlyphs, NotdefStaysFirstAndGlyphsOccurOnce) {
    QFFont font;
    font.setName("F");
    const auto notdef = font.glyphs()[0];
    auto g = makeGlyph(nullptr, 5, 5);
    font.setGlyphs({g, notdef, nullptr, g});
    EXPECT_EQ(font.glyphs(), (std::vector<QFFont::GlyphPtr>{notdef, g}));
    font.addGlyph(g);
    EXPECT_EQ(font.glyphs().size(), 2u);
    font.setGlyphs({});
    ASSERT_EQ(font.glyphs().size(), 1u);
    std::string text = ttxText(font);
    EXPECT_TRUE(contains(text, "<GlyphID id=\"0\" name=\".notdef\" />\n\t</GlyphOrder>"));
    // (10 + 5) / 1 glyph, and the one advance: defined, not a division by zero.
    EXPECT_TRUE(contains(text, "<xAvgCharWidth value=\"1500\" />"));
    EXPECT_TRUE(contains(text, "<advanceWidthMax value=\"500\" />"));
}

TEST(FontGlyphs, MappingFillsTheCharacterAndLigatureMaps) {
    QFFont font;
    font.setName("F");
    auto lower = makeGlyph(nullptr, 5, 5);
    auto upper = makeGlyph(nullptr, 5, 5);
    auto ligature = makeGlyph(nullptr, 5, 5);
    font.addGlyph(lower);
    font.addGlyph(upper);
    font.mapGlyph(lower, "a");
    font.mapGlyph(upper, "A");
    std::string text = ttxText(font);
    EXPECT_TRUE(contains(text,
                         "<map code=\"0x20\" name=\"space\" />\n\t\t\t"
                         "<map code=\"0x41\" name=\"glyph3\" />\n\t\t\t"
                         "<map code=\"0x61\" name=\"glyph2\" />"));
    EXPECT_FALSE(contains(text, "<GSUB>"));

    font.addGlyph(ligature);
    font.mapGlyph(ligature, "fi");
    ASSERT_EQ(font.glyphs().size(), 7u);  // the ligature, then empty f and i
    text = ttxText(font);
    EXPECT_TRUE(contains(text, "<map code=\"0x66\" name=\"glyph5\" />"));
    EXPECT_TRUE(contains(text, "<map code=\"0x69\" name=\"glyph6\" />"));
    EXPECT_TRUE(contains(text, "<FeatureTag value=\"liga\" />"));
    EXPECT_TRUE(contains(text,
                         "<LigatureSet glyph=\"glyph5\">\n\t\t\t\t\t\t"
                         "<Ligature components=\"glyph6\" glyph=\"glyph4\" />"));
}

TEST(FontGlyphs, LeavesOutMappingsOfGlyphsThatLeftTheFont) {
    QFFont font;
    font.setName("F");
    auto kept = makeGlyph(nullptr, 5, 5);
    auto dropped = makeGlyph(nullptr, 5, 5);
    font.addGlyph(kept);
    font.addGlyph(dropped);
    font.mapGlyph(kept, "k");
    font.mapGlyph(dropped, "d");
    font.mapGlyph(kept, "kd");
    font.mapGlyph(kept, "");
    font.setGlyphs({kept});
    std::string text = ttxText(font);
    EXPECT_TRUE(contains(text, "<map code=\"0x6b\" name=\"glyph1\" />"));
    EXPECT_FALSE(contains(text, "0x64"));
    EXPECT_FALSE(contains(text, "0x20"));
    EXPECT_FALSE(contains(text, "<GSUB>"));
}

TEST(FontGlyphs, BoxesIncludeTheOriginAndSkipDegenerateOutlines) {
    QFFont font;
    font.setName("F");
    font.addGlyph(makeGlyph(polygonOutline({{10, 20}, {12, 20}, {12, 30}}), 2, 2));
    // Flattening may leave the last bit of a coordinate off.
    VKRect box = font.boundingBox();
    EXPECT_EQ(box.origin, VKPointMake(0, 0));
    EXPECT_NEAR(box.size.width, 12, 1e-12);
    EXPECT_NEAR(box.size.height, 30, 1e-12);

    auto noKnots = std::make_shared<VKPath>();
    auto oneKnot = std::make_shared<VKPath>(std::vector<VKKnot>{VKKnot::corner({7, 7})}, false);
    for (auto outline :
         {std::make_shared<VKCompoundPath>(),
          std::make_shared<VKCompoundPath>(VKCompoundPath::PathList{noKnots, oneKnot})}) {
        auto glyph = makeGlyph(outline, 5, 5);
        EXPECT_EQ(glyph->boundingBox(), VKRectZero);
        EXPECT_EQ(charstring(*glyph), "500\nendchar");
        font.addGlyph(glyph);
    }
    EXPECT_EQ(font.boundingBox(), box);
}

TEST(FontGlyphs, CharstringsFlipWithinTheBoxAndRoundEachOperand) {
    auto rectangle = makeGlyph(polygonOutline({{2, 10}, {5, 10}, {5, 0}, {2, 0}}), 4, 4);
    EXPECT_EQ(charstring(*rectangle),
              "400\n0 0 rmoveto\n0 0 300 0 0 0 rrcurveto\n0 0 0 1000 0 0 rrcurveto\n"
              "0 0 -300 0 0 0 rrcurveto\n0 0 0 -1000 0 0 rrcurveto\nendchar");

    std::vector<VKKnot> knots = {{{0, 0}, {0, 0}, {0, 5}, 0}, {{10, 5}, {10, 10}, {10, 10}, 0}};
    auto curve = makeGlyph(std::make_shared<VKCompoundPath>(
                               VKCompoundPath::PathList{std::make_shared<VKPath>(knots, false)}),
                           0, 0);
    EXPECT_EQ(charstring(*curve), "0\n0 1000 rmoveto\n0 -500 1000 0 0 -500 rrcurveto\nendchar");

    // Halves round away from zero.
    const std::pair<double, const char*> widths[] = {
        {0.125, "13"}, {-0.125, "-13"}, {0.625, "63"}, {1.234, "123"}};
    for (const auto& [width, expected] : widths)
        EXPECT_EQ(charstring(*makeGlyph(nullptr, width, 0)), std::string(expected) + "\nendchar");
}

TEST(FontGlyphs, ValuesThatDoNotFitTheirFieldsAreReported) {
    struct Case {
        const char* name;
        std::function<void(QFFont&)> change;
        int64_t code;
        const char* fragment;
    };
    const Case cases[] = {
        {"no name", [](QFFont& f) { f.setName(""); }, QFFontErrorMissingName, "no name"},
        {"advance too wide", [](QFFont& f) { f.addGlyph(makeGlyph(nullptr, 5, 700)); },
         QFFontErrorValueOutOfRange, "widest advance"},
        {"negative advance", [](QFFont& f) { f.addGlyph(makeGlyph(nullptr, 5, -1)); },
         QFFontErrorValueOutOfRange, "advance of glyph2"},
        {"width beyond a charstring number",
         [](QFFont& f) { f.addGlyph(makeGlyph(nullptr, 400, 5)); }, QFFontErrorValueOutOfRange,
         "Glyph glyph2: glyph width"},
        {"width not a number", [](QFFont& f) { f.addGlyph(makeGlyph(nullptr, std::nan(""), 5)); },
         QFFontErrorValueOutOfRange, "is nan"},
        {"outline beyond the font box",
         [](QFFont& f) {
             f.addGlyph(makeGlyph(polygonOutline({{0, 0}, {400, 0}, {0, 1}}), 5, 5));
         },
         QFFontErrorValueOutOfRange, "font box maximum x"},
    };
    for (const auto& c : cases) {
        QFFont font;
        font.setName("F");
        c.change(font);
        auto document = font.ttxRepresentation();
        ASSERT_FALSE(document) << c.name;
        EXPECT_TRUE(document.error().is(QFFontErrorDomain, c.code)) << c.name;
        EXPECT_TRUE(contains(document.error().localizedDescription(), c.fragment))
            << c.name << ": " << document.error().localizedDescription();
    }
}

TEST(FontDocument, RefusesNamesThatXMLCannotCarry) {
    const std::pair<std::string, const char*> names[] = {
        {"Bad\xFFName", "bytes that are not UTF-8 at byte 3"},
        {"Caf\xC3", "bytes that are not UTF-8 at byte 3"},        // cut short
        {"A\xED\xA0\x80", "bytes that are not UTF-8 at byte 1"},  // a surrogate
        {"A\xC0\xAF", "bytes that are not UTF-8 at byte 1"},      // overlong "/"
        {std::string("A\0B", 3), "the control character U+0000 at byte 1"},
        {"Red\x1B[31m", "the control character U+001B at byte 3"},
        {"A\x7F", "the control character U+007F at byte 1"},
        {"A\xC2\x85", "the control character U+0085 at byte 1"},
        {"A\xEF\xBF\xBF", "the character U+FFFF at byte 1"},
    };
    for (const auto& [name, fault] : names) {
        QFFont font;
        font.setName(name);
        lf::LogCapture log;
        auto document = font.ttxRepresentation();
        ASSERT_FALSE(document) << fault;
        EXPECT_TRUE(document.error().is(QFFontErrorDomain, QFFontErrorTextNotXML)) << fault;
        EXPECT_EQ(document.error().localizedDescription(),
                  fmt::format("The font name holds {}, which a TTX document cannot carry.", fault));
        // Refused before anything is written, the log line included.
        EXPECT_TRUE(log.lines().empty()) << fault;
    }
}

TEST(FontDocument, NamesReadBackAsTheyWereGiven) {
    for (const std::string name : {"Sample & Co <\"1\"> ]]> --", "Caf\u00e9 \u5b57 \U0001F600",
                                   "Tab\there\nline\r\nend\r"}) {
        QFFont font;
        font.setName(name);
        std::string text = ttxText(font);
        auto document = parsedXML(text);
        pugi::xml_node root = document->child("ttFont");
        std::map<std::string, std::string> records;
        for (pugi::xml_node record : root.child("name").children("namerecord"))
            records[record.attribute("nameID").value()] = record.text().get();
        EXPECT_EQ(records["1"], name);
        EXPECT_EQ(records["4"], name + " Regular");
        EXPECT_EQ(records["6"], name);
        pugi::xml_node cff = root.child("CFF").child("CFFFont");
        EXPECT_EQ(cff.attribute("name").value(), name);
        EXPECT_EQ(cff.child("FullName").attribute("value").value(), name);
        EXPECT_EQ(cff.child("FamilyName").attribute("value").value(), name);
    }
}
