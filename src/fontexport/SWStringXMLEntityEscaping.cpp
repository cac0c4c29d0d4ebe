#include "fontexport/SWStringXMLEntityEscaping.h"

#include <charconv>
#include <cstdint>
#include <unicode/utf8.h>

namespace {

struct PredefinedEntity {
    char character;
    std::string_view name;
};
constexpr PredefinedEntity kPredefinedEntities[] = {
    {'&', "amp"}, {'<', "lt"}, {'>', "gt"}, {'"', "quot"}, {'\'', "apos"}};

void appendUTF8(std::string& out, uint32_t codePoint) {
    char bytes[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, codePoint);
    out.append(bytes, static_cast<size_t>(length));
}

// The character of "#123" or "#x7B"; none for anything that is not an XML
// character.
std::optional<uint32_t> characterReference(std::string_view reference) {
    int base = 10;
    reference.remove_prefix(1);
    if (!reference.empty() && (reference[0] == 'x' || reference[0] == 'X')) {
        base = 16;
        reference.remove_prefix(1);
    }
    uint32_t value = 0;
    auto [end, error] =
        std::from_chars(reference.data(), reference.data() + reference.size(), value, base);
    if (reference.empty() || error != std::errc() || end != reference.data() + reference.size())
        return std::nullopt;
    bool isCharacter = value == 0x9 || value == 0xA || value == 0xD ||
                       (value >= 0x20 && value <= 0xD7FF) || (value >= 0xE000 && value <= 0xFFFD) ||
                       (value >= 0x10000 && value <= 0x10FFFF);
    if (!isCharacter) return std::nullopt;
    return value;
}

}  // namespace

std::string stringByEscapingXMLEntities(std::string_view text,
                                        const SWXMLEntityDictionary& entities) {
    std::string escaped;
    escaped.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const std::string* longestName = nullptr;
        size_t longestLength = 0;
        for (const auto& [name, value] : entities) {
            if (value.size() > longestLength && text.substr(i).starts_with(value)) {
                longestName = &name;
                longestLength = value.size();
            }
        }
        if (longestName) {
            escaped.append("&").append(*longestName).append(";");
            i += longestLength;
            continue;
        }
        const PredefinedEntity* predefined = nullptr;
        for (const auto& entity : kPredefinedEntities)
            if (entity.character == text[i]) predefined = &entity;
        if (predefined) {
            escaped.append("&").append(predefined->name).append(";");
        } else {
            escaped.push_back(text[i]);
        }
        ++i;
    }
    return escaped;
}

std::optional<std::string> stringByUnescapingXMLEntities(std::string_view text,
                                                         const SWXMLEntityDictionary& entities) {
    std::string unescaped;
    unescaped.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            unescaped.push_back(text[i++]);
            continue;
        }
        size_t semicolon = text.find(';', i + 1);
        if (semicolon == std::string_view::npos) return std::nullopt;
        std::string_view reference = text.substr(i + 1, semicolon - i - 1);
        i = semicolon + 1;
        if (reference.starts_with('#')) {
            auto character = characterReference(reference);
            if (!character) return std::nullopt;
            appendUTF8(unescaped, *character);
            continue;
        }
        const PredefinedEntity* predefined = nullptr;
        for (const auto& entity : kPredefinedEntities)
            if (entity.name == reference) predefined = &entity;
        if (predefined) {
            unescaped.push_back(predefined->character);
        } else if (auto extra = entities.find(reference); extra != entities.end()) {
            unescaped.append(extra->second);
        } else {
            return std::nullopt;
        }
    }
    return unescaped;
}
