#include "updater/shared/OMAUStringExtras.h"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <utility>

namespace {

constexpr std::string_view kWhiteSpace = " \t\n\r\f\v";

void appendUTF8(std::string& out, uint32_t codePoint) {
    if (codePoint == 0 || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint < 0xE000))
        codePoint = 0xFFFD;
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The named references that release titles use; others stay as written.
constexpr std::array<std::pair<std::string_view, uint32_t>, 30> kNamedReferences{{
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
    {"nbsp", 0xA0},    {"copy", 0xA9},    {"reg", 0xAE},     {"trade", 0x2122}, {"hellip", 0x2026},
    {"ndash", 0x2013}, {"mdash", 0x2014}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C},
    {"rdquo", 0x201D}, {"bull", 0x2022},  {"middot", 0xB7},  {"laquo", 0xAB},   {"raquo", 0xBB},
    {"eacute", 0xE9},  {"egrave", 0xE8},  {"aacute", 0xE1},  {"agrave", 0xE0},  {"auml", 0xE4},
    {"ouml", 0xF6},    {"uuml", 0xFC},    {"szlig", 0xDF},   {"ccedil", 0xE7},  {"euro", 0x20AC},
}};

// The code point of the reference `name` (without "&" and ";"), or none.
std::optional<uint32_t> referencedCodePoint(std::string_view name) {
    if (name.size() > 1 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        std::string_view digits = name.substr(hex ? 2 : 1);
        uint32_t value = 0;
        auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
        if (error != std::errc() || end != digits.data() + digits.size() || digits.empty())
            return std::nullopt;
        return value;
    }
    for (const auto& [entity, codePoint] : kNamedReferences)
        if (entity == name) return codePoint;
    return std::nullopt;
}

std::string decodeCharacterReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            const auto end = text.find(';', i + 1);
            if (end != std::string_view::npos && end - i <= 10) {
                if (auto codePoint = referencedCodePoint(text.substr(i + 1, end - i - 1))) {
                    appendUTF8(out, *codePoint);
                    i = end;
                    continue;
                }
            }
        }
        out += text[i];
    }
    return out;
}

}  // namespace

std::string OMAUTrimWhiteSpace(std::string_view text) {
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kWhiteSpace);
    return std::string(text.substr(first, last - first + 1));
}

std::string OMAUStripHTML(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    long depth = 0;
    for (char c : text) {
        if (c == '<') {
            ++depth;
        } else if (c == '>') {
            if (--depth == 0) out += ' ';
        } else if (depth == 0) {
            out += c;
        }
    }
    return out;
}

std::string OMAUEllipsizeAfterNWords(std::string_view text, size_t count) {
    std::string out;
    size_t start = 0;
    for (size_t taken = 0; taken < count && start <= text.size(); ++taken) {
        auto end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        if (taken > 0) out += ' ';
        out.append(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool OMAUStringIsEmpty(std::string_view text) {
    return text.find_first_not_of(kWhiteSpace) == std::string_view::npos;
}

bool OMAUStringIsEmpty(const std::string* text) {
    return !text || OMAUStringIsEmpty(std::string_view(*text));
}

std::string OMAUStringWithSubstitute(std::string_view text, std::string_view substitute,
                                     std::string_view characters) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (characters.find(c) != std::string_view::npos)
            out.append(substitute);
        else
            out += c;
    }
    return out;
}

std::string OMAUPlainTextOfHTML(std::string_view html) {
    return decodeCharacterReferences(OMAUStripHTML(html));
}

std::optional<uint64_t> OMAUParseDecimal(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

namespace {

// The code point of the valid UTF-8 sequence at the start of `text`, with
// its length; none for a byte that starts no valid sequence (overlong
// forms and surrogates included).
std::optional<std::pair<uint32_t, size_t>> decodeUTF8(std::string_view text) {
    const auto byte = [&](size_t at) { return static_cast<uint8_t>(text[at]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) return std::pair<uint32_t, size_t>{lead, 1};
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) return std::nullopt;
    uint32_t code = lead & (0x7F >> length);
    for (size_t at = 1; at < length; ++at) {
        if ((byte(at) & 0xC0) != 0x80) return std::nullopt;
        code = code << 6 | (byte(at) & 0x3F);
    }
    constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
        return std::nullopt;
    return std::pair<uint32_t, size_t>{code, length};
}

bool actsOnDisplay(uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code < 0xA0) || code == 0x061C || code == 0x200E ||
           code == 0x200F || (code >= 0x2028 && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

std::string OMAUEscapedForDisplay(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        const std::optional<std::pair<uint32_t, size_t>> character = decodeUTF8(text);
        if (!character) {
            shown += fmt::format("\\x{:02X}", static_cast<uint8_t>(text[0]));
            text.remove_prefix(1);
            continue;
        }
        const auto [code, length] = *character;
        if (!actsOnDisplay(code))
            shown.append(text.substr(0, length));
        else if (code < 0x80)
            shown += fmt::format("\\x{:02X}", code);
        else
            shown += fmt::format("\\u{:04X}", code);
        text.remove_prefix(length);
    }
    return shown;
}

std::string OMAUWithSafeCharacters(std::string_view text, char substitute) {
    std::string safe;
    safe.reserve(text.size());
    while (!text.empty()) {
        const std::optional<std::pair<uint32_t, size_t>> character = decodeUTF8(text);
        const size_t length = character ? character->second : 1;
        if (character && !actsOnDisplay(character->first))
            safe.append(text.substr(0, length));
        else
            safe += substitute;
        text.remove_prefix(length);
    }
    return safe;
}
