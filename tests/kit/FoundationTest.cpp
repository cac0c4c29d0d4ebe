#include "kit/OMFoundation.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace OMFoundation;

namespace {

const std::string kNoBreakSpace = "\u00A0", kLineSeparator = "\u2028";

TEST(OMFoundationStrings, TrimmingRemovesEveryKindOfWhitespaceAtTheEnds) {
    const struct {
        std::string text, trimmed, withoutLeading, withoutTrailing;
    } cases[] = {
        {" inner text ", "inner text", "inner text ", " inner text"},
        {"word", "word", "word", "word"},
        {"", "", "", ""},
        {" \t\r\n ", "", "", ""},
        // Whitespace beyond the four blanks counts at either end alone.
        {kNoBreakSpace + "x", "x", "x", kNoBreakSpace + "x"},
        {"x" + kLineSeparator, "x", "x" + kLineSeparator, "x"},
        {"\v\f a b \u3000", "a b", "a b \u3000", "\v\f a b"},
        {" caf\u00E9 ", "caf\u00E9", "caf\u00E9 ", " caf\u00E9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(stringByTrimmingWhitespaceAndNewlines(c.text), c.trimmed);
        EXPECT_EQ(stringByRemovingLeadingWhitespace(c.text), c.withoutLeading);
        EXPECT_EQ(stringByRemovingTrailingWhitespace(c.text), c.withoutTrailing);
        EXPECT_EQ(isEmptyString(c.text), c.trimmed.empty());
        std::string inPlace = c.text;
        trimWhitespaceAndNewlines(inPlace);
        EXPECT_EQ(inPlace, c.trimmed);
    }
}

TEST(OMFoundationStrings, WordsAreTheRunsBetweenBlanks) {
    EXPECT_EQ(componentsSeparatedByWhitespace("  a\tb\n\nc "),
              (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(componentsSeparatedByWhitespace(""), std::vector<std::string>{});
    EXPECT_EQ(componentsSeparatedByWhitespace("\r\n"), std::vector<std::string>{});
    // A no-break space joins words.
    EXPECT_EQ(componentsSeparatedByWhitespace("a" + kNoBreakSpace + "b c"),
              (std::vector<std::string>{"a" + kNoBreakSpace + "b", "c"}));
}

TEST(OMFoundationStrings, CapitalizesTheFirstCharacterOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"hello world", "Hello world"},
        {"", ""},
        {"\u00E9t\u00E9", "\u00C9t\u00E9"},
        {"\u00DFa", "SSa"},              // full upper-case mapping
        {"\U0001D41Aa", "\U0001D41Aa"},  // outside the BMP: left alone
        {"1a", "1a"},
    };
    for (const auto& [text, capitalized] : cases)
        EXPECT_EQ(stringByCapitalizingFirstLetter(text), capitalized) << text;
}

TEST(OMFoundationStrings, ReplacesCaseInsensitivelyOrExactly) {
    EXPECT_EQ(replaceAll("Cat cat CAT dog", "cat", "fox"), "fox fox fox dog");
    EXPECT_EQ(replaceAll("\u00C9t\u00E9 \u00E9T\u00C9", "\u00E9t\u00E9", "x"), "x x");
    EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(replaceAll("abc", "", "x"), "abc");

    std::string text = "Cat cat";
    replaceOccurrencesOfString(text, "cat", "dog");
    EXPECT_EQ(text, "Cat dog");
    replaceOccurrencesOfString(text, "", "x");
    EXPECT_EQ(text, "Cat dog");
    replaceOccurrencesOfString(text, "o", "oo");
    EXPECT_EQ(text, "Cat doog");
}

TEST(OMFoundationStrings, SearchesWithOptions) {
    const std::string composed = "caf\u00E9", decomposed = "cafe\u0301";
    const struct {
        std::string text, other;
        unsigned options;
        bool found;
    } cases[] = {
        {"Hero@2x.png", "@2x", LiteralSearch, true},
        {"Hero@2x.png", "@2X", LiteralSearch, false},
        {"Hero@2x.png", "@2X", CaseInsensitiveSearch, true},
        {"Hero@2x.png", "", 0, false},
        {"short", "longer text", 0, false},
        {composed, decomposed, 0, true},
        {composed, decomposed, LiteralSearch, false},
        {"Hero.PNG", "hero", CaseInsensitiveSearch | AnchoredSearch, true},
        {"Hero.PNG", ".png", CaseInsensitiveSearch | AnchoredSearch, false},
        {"Hero.PNG", ".png", CaseInsensitiveSearch | AnchoredSearch | BackwardsSearch, true},
        {"Hero.PNG", "ero", BackwardsSearch, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " / " + c.other + " / " + std::to_string(c.options));
        EXPECT_EQ(containsString(c.text, c.other, c.options), c.found);
    }
    EXPECT_TRUE(containsAnyOfStrings("A.PSB", {".psd", ".psb"}, CaseInsensitiveSearch));
    EXPECT_FALSE(hasAnyOfSuffixes("a.tiff", {""}));
    EXPECT_TRUE(hasAnyOfPrefixes("qf-auto-1x", {"+@", "qf-"}));
}

TEST(OMFoundationStrings, MakesCharactersFromScalarsAndEscapes) {
    EXPECT_EQ(stringWithCharacter(0x1F600), "\xF0\x9F\x98\x80");
    EXPECT_EQ(stringWithCharacter(0xD83D), "\uFFFD");  // half a surrogate pair is no character
    EXPECT_EQ(stringWithCharacter(0x110000), "\uFFFD");
    EXPECT_EQ(readableStringFromURLEncodedString("a+b%20c%C3%A9%25"), "a b c\u00E9%");
    for (const char* broken : {"%2", "%zz", "%FF"})  // the last is no UTF-8
        EXPECT_EQ(readableStringFromURLEncodedString(broken), std::nullopt) << broken;
}

TEST(OMFoundationStrings, NewUUIDsAreRandomVersion4) {
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    const std::string first = stringWithNewUUID();
    EXPECT_TRUE(std::regex_match(first, form)) << first;
    EXPECT_NE(stringWithNewUUID(), first);
}

TEST(OMFoundationPaths, RelativePathFromABasePath) {
    const struct {
        const char *path, *base, *relative;
    } cases[] = {
        {"/a/b/c", "/a/x/y", "../b/c"},
        {"/a/b/", "/a/b/c", "./"},
        {"/a/b/c", "/a/b/", "c"},
        {"/a/b/c", "/a/x/y/", "../../b/c"},
        {"/a/bc", "/a/b", "bc"},
        {"/a/b", "", "/a/b"},
        // Sharing no folder loses nothing of the path.
        {"abc/d", "xyz/w", "../abc/d"},
        {"abc", "xyz", "abc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(relativePathWithBasePath(c.path, c.base), c.relative)
            << c.path << " from " << c.base;
}

TEST(OMFoundationPaths, PathOfAFileFromADirectory) {
    const struct {
        const char *file, *directory;
        std::optional<std::string> path;
    } cases[] = {
        {"/a/b/c/d.png", "/a/b/x/", "../c/d.png"},
        {"/a/b/c/d.png", "/a/b/x", "c/d.png"},  // without "/" x is a file in /a/b
        {"/a/b/c/d.png", "/a/b/./x/../y/", "../c/d.png"},
        {"/a/b", "/a/b/c/", ".."},
        {"/p/q", "/a/b/", "../../p/q"},
        {"a/b", "c/", std::nullopt},
        {"/a/b", "a/", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pathOfFile(c.file, c.directory), c.path) << c.file << " from " << c.directory;
}

TEST(OMFoundationArrays, InsertsOnlyWithinTheArray) {
    std::vector<int> numbers = {1, 2};
    insertObjectsFromArray(numbers, {7, 8}, 1);
    EXPECT_EQ(numbers, (std::vector<int>{1, 7, 8, 2}));
    EXPECT_DEATH(insertObjectsFromArray(numbers, {0}, numbers.size() + 1), "beyond the end");
}

TEST(OMFoundationArrays, DescriptionsReadAsASentenceInTheBundlesLanguage) {
    lf::test::TemporaryDirectory folder;
    std::filesystem::create_directories(folder / "strings");
    lf::test::writeFile(folder / "strings" / "Localizable.json",
                        R"({", ": "; ", " and ": " und ", "\"%@\"": "»%@«"})");
    const lf::Bundle german(folder.path()), untranslated("");

    EXPECT_EQ(humanReadableDescription({"1", "2", "3"}, untranslated), "1, 2 and 3");
    EXPECT_EQ(humanReadableDescription({"1", "2"}, untranslated), "1 and 2");
    EXPECT_EQ(humanReadableDescription({"1"}, untranslated), "1");
    EXPECT_EQ(humanReadableDescription({}, untranslated), "");
    EXPECT_EQ(humanReadableDescriptionUsingQuotes({"a", "b"}, untranslated), "\"a\" and \"b\"");
    EXPECT_EQ(humanReadableDescription({"1", "2", "3"}, german), "1; 2 und 3");
    EXPECT_EQ(humanReadableDescriptionUsingQuotes({"a", "b", "c"}, german), "»a«; »b« und »c«");
    EXPECT_EQ(humanReadableDescriptionUsingFormat({"50", "100%"}, "%@%%", german), "50% und 100%%");
}

}  // namespace
