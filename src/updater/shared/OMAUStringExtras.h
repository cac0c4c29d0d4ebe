#pragma once
// The small text operations of the feed parser and of the unpacking's
// messages, on UTF-8 strings.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A copy without white space (blanks, tabs, line ends) at either end.
std::string OMAUTrimWhiteSpace(std::string_view text);

// A copy without markup, in one pass with a signed depth counter: "<" adds
// one, ">" takes one away and puts a single blank in the tag's place when
// the counter comes back to exactly 0; other characters are kept only while
// the counter is 0 (so a stray ">" hides the text after it until a "<").
std::string OMAUStripHTML(std::string_view text);

// The first `count` pieces of the text split at single blanks, joined with
// single blanks again; no ellipsis is added.
std::string OMAUEllipsizeAfterNWords(std::string_view text, size_t count);

// True for none, "" and white space alone.
bool OMAUStringIsEmpty(const std::string* text);
bool OMAUStringIsEmpty(std::string_view text);

// Every character of `characters` replaced by `substitute`.
std::string OMAUStringWithSubstitute(std::string_view text, std::string_view substitute,
                                     std::string_view characters);

// The plain text of an HTML fragment: markup removed as OMAUStripHTML does
// and character references ("&amp;", "&#233;", "&eacute;") decoded.
std::string OMAUPlainTextOfHTML(std::string_view html);

// The number that decimal digits alone spell ("8388608"); none for anything
// else (signs, blanks, other characters, nothing) or past 2^64 - 1.
std::optional<uint64_t> OMAUParseDecimal(std::string_view text);

// Hands `visit` the components of a relative path in order, leaving out
// empty ones and "." ("a//./b/" gives "a" and "b"; ".." is handed on);
// `visit` says whether to go on. Whether every component was handed on.
template <class Visit>
bool OMAUForEachPathComponent(std::string_view path, Visit visit) {
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string_view component = path.substr(start, end - start);
        start = end + 1;
        if (!component.empty() && component != "." && !visit(component)) return false;
    }
    return true;
}

// `text` safe to show in a log or a window: control characters (C0, C1,
// DEL), bidirectional marks, embeddings, overrides and isolates, and the
// line and paragraph separators, which would act on the terminal or turn
// the text around, are written out ("\x1B", "\u202E"), as is every byte
// that is no part of valid UTF-8 ("\xFF"). Everything else stays as it is.
std::string OMAUEscapedForDisplay(std::string_view text);

// `text` with each character OMAUEscapedForDisplay would write out, and
// each byte that is no part of valid UTF-8, replaced by `substitute`.
std::string OMAUWithSafeCharacters(std::string_view text, char substitute);
