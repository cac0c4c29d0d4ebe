#include "fontexport/SWXMLCharacters.h"

#include <fmt/format.h>

#include <unicode/utf8.h>

namespace {

bool isControlCharacter(char32_t character) {
    return character < 0x20 || (character >= 0x7F && character <= 0x9F);
}

bool xmlCanCarry(char32_t character) {
    if (character == U'\t' || character == U'\n' || character == U'\r') return true;
    return !isControlCharacter(character) && character != 0xFFFE && character != 0xFFFF;
}

}  // namespace

std::string SWXMLTextFault::description() const {
    if (!character) return fmt::format("bytes that are not UTF-8 at byte {}", offset);
    const char* kind = isControlCharacter(*character) ? "the control character" : "the character";
    return fmt::format("{} U+{:04X} at byte {}", kind, static_cast<uint32_t>(*character), offset);
}

std::optional<SWXMLTextFault> SWFindXMLTextFault(std::string_view text) {
    size_t index = 0;
    while (index < text.size()) {
        const size_t start = index;
        UChar32 character;
        // Negative for ill-formed UTF-8: stray trail bytes, cut sequences,
        // overlong forms and encoded surrogates.
        U8_NEXT(text.data(), index, text.size(), character);
        if (character < 0) return SWXMLTextFault{start, std::nullopt};
        if (!xmlCanCarry(static_cast<char32_t>(character)))
            return SWXMLTextFault{start, static_cast<char32_t>(character)};
    }
    return std::nullopt;
}
