#pragma once
// OMFoundation: the kit's additions to strings and arrays, as free
// functions over UTF-8 strings and vectors.
//
// "Whitespace" below is the Unicode set of space separators, tab and
// newlines (OMIsWhitespaceOrNewline); "blanks" are tab, line feed, carriage
// return and space. Case-insensitive comparison folds case code point by
// code point. Texts that are not well-formed UTF-8 are handled byte by byte
// where they are ill-formed, never rejected.
//
// Threads: plain functions; the description functions read the bundle's
// string table, which is safe from any thread.

#include "kit/Bundle.h"
#include "platform/core/Assert.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace OMFoundation {

// Arrays.

// Inserts `objects` before position `index` (at most the array's size).
template <class T>
void insertObjectsFromArray(std::vector<T>& array, const std::vector<T>& objects, size_t index) {
    LF_PRECONDITION(index <= array.size(), "insertion index beyond the end of the array");
    array.insert(array.begin() + static_cast<std::ptrdiff_t>(index), objects.begin(),
                 objects.end());
}

template <class T>
void reverse(std::vector<T>& array) {
    std::reverse(array.begin(), array.end());
}

// The descriptions joined for a sentence: "a, b and c", with the separators
// ", " and " and " from `bundle`'s default table (translated where it has
// them); each description first put through `format` ("%@" receives it).
std::string humanReadableDescriptionUsingFormat(const std::vector<std::string>& descriptions,
                                                std::string_view format,
                                                const lf::Bundle& bundle = *lf::Bundle::main());
std::string humanReadableDescription(const std::vector<std::string>& descriptions,
                                     const lf::Bundle& bundle = *lf::Bundle::main());
// Each description in quotation marks: the format is the table's text of
// the key "\"%@\"".
std::string humanReadableDescriptionUsingQuotes(const std::vector<std::string>& descriptions,
                                                const lf::Bundle& bundle = *lf::Bundle::main());

// Strings.

// Search options, combined with |.
enum SearchOptions : unsigned {
    CaseInsensitiveSearch = 1,
    // Compares code points as they are; without it, composed and decomposed
    // forms of one character match.
    LiteralSearch = 2,
    // With AnchoredSearch: the string must end with the other.
    BackwardsSearch = 4,
    // The string must begin with the other.
    AnchoredSearch = 8,
};

// A new random UUID, as upper-case hexadecimal groups 8-4-4-4-12.
std::string stringWithNewUUID();

// The first character upper-cased (a character outside the Basic
// Multilingual Plane stays as it is); the rest unchanged.
std::string stringByCapitalizingFirstLetter(std::string_view text);

// Every occurrence of `target`, compared case-insensitively, replaced.
std::string replaceAll(std::string_view text, std::string_view target,
                       std::string_view replacement);

// Without whitespace at either end.
std::string stringByTrimmingWhitespaceAndNewlines(std::string_view text);
std::string stringByRemovingLeadingWhitespace(std::string_view text);
std::string stringByRemovingTrailingWhitespace(std::string_view text);

// Whether `text` holds `other` (literal comparison); an empty `other` is
// never found.
bool containsString(std::string_view text, std::string_view other);
bool containsString(std::string_view text, std::string_view other, unsigned options);
bool containsAnyOfStrings(std::string_view text, const std::vector<std::string>& others,
                          unsigned options);
bool isEqualToAnyOfStrings(std::string_view text, const std::vector<std::string>& others);
// An empty suffix or prefix never matches.
bool hasAnyOfSuffixes(std::string_view text, const std::vector<std::string>& suffixes);
bool hasAnyOfPrefixes(std::string_view text, const std::vector<std::string>& prefixes);
// Removes `suffix` from the end of `text` when `text` ends with it; whether
// it did.
bool removeSuffix(std::string& text, std::string_view suffix);

// Whether nothing but whitespace is left after trimming.
bool isEmptyString(std::string_view text);

// The runs of characters between blanks, in order, never empty.
std::vector<std::string> componentsSeparatedByWhitespace(std::string_view text);

// The one character `scalar`; U+FFFD for a value that is no Unicode scalar
// (a surrogate, or above U+10FFFF).
std::string stringWithCharacter(char32_t scalar);

// `path` relative to the folder of `basePath` (a base ending in "/" is
// itself that folder): "/a/b/c" from "/a/x/y" is "../b/c", "/a/b/" from
// "/a/b/c" is "./". An empty base answers the path.
std::string relativePathWithBasePath(std::string_view path, std::string_view basePath);

// The path that leads from `directory` to `file`, both first standardised
// ("." and "name/.." removed): ".." for each component of the directory
// past the ones they share, then the rest of the file's path. The
// directory's last component counts only when it ends in "/" (otherwise it
// names a file in its folder). Nullopt when the two share no component.
std::optional<std::string> pathOfFile(std::string_view file, std::string_view directory);

// "+" read as a blank, then "%XY" escapes decoded; nullopt for a broken
// escape or bytes that are not UTF-8.
std::optional<std::string> readableStringFromURLEncodedString(std::string_view text);

// In place: every occurrence of `target`, compared exactly, replaced.
void replaceOccurrencesOfString(std::string& text, std::string_view target,
                                std::string_view replacement);
// In place: whitespace removed at both ends.
void trimWhitespaceAndNewlines(std::string& text);

}  // namespace OMFoundation
