#pragma once
// The character sets that the string additions and the debug log share
// (Unicode's newlines and space separators), and a step through UTF-8 by
// code point.

#include <string_view>

// U+000A to U+000D, U+0085, U+2028 and U+2029.
bool OMIsNewline(char32_t c);

// The newlines, tab, and the space separators (U+0020, U+00A0, U+1680,
// U+2000 to U+200A, U+202F, U+205F, U+3000).
bool OMIsWhitespaceOrNewline(char32_t c);

// Tab, line feed, carriage return and space: the separators of words.
inline bool OMIsBlank(char32_t c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

// The code point at byte `i` of `text`, moving `i` past it; a byte that
// starts no well-formed sequence gives U+FFFD, and `i` moves past the
// ill-formed part.
char32_t OMNextCodePoint(std::string_view text, size_t& i);
