#include "kit/OMCharacterSets.h"

#include <unicode/utf8.h>

bool OMIsNewline(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool OMIsWhitespaceOrNewline(char32_t c) {
    if (c == '\t' || c == ' ' || OMIsNewline(c)) return true;
    return c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

char32_t OMNextCodePoint(std::string_view text, size_t& i) {
    UChar32 c;
    U8_NEXT(text.data(), i, text.size(), c);
    return c < 0 ? char32_t{0xFFFD} : static_cast<char32_t>(c);
}
