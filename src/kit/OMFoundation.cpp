#include "kit/OMFoundation.h"

#include "kit/OMCharacterSets.h"
#include "kit/OMStringFormat.h"

#include <cstdio>
#include <random>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace OMFoundation {
namespace {

// The code points of a text, each with the byte where it starts.
struct CodePoints {
    std::vector<char32_t> points;
    std::vector<size_t> offsets;
};

CodePoints decode(std::string_view text, bool foldCase) {
    CodePoints decoded;
    for (size_t i = 0; i < text.size();) {
        decoded.offsets.push_back(i);
        const char32_t c = OMNextCodePoint(text, i);
        decoded.points.push_back(
            foldCase ? static_cast<char32_t>(u_foldCase(UChar32(c), U_FOLD_CASE_DEFAULT)) : c);
    }
    return decoded;
}

// The canonical decomposition, so that composed and decomposed forms of a
// character compare equal.
std::string decomposed(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return std::string(text);
    icu::UnicodeString normalized = nfd->normalize(
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size()))), status);
    if (U_FAILURE(status)) return std::string(text);
    std::string result;
    normalized.toUTF8String(result);
    return result;
}

// The first index at or after `from` where `needle` lies in `haystack`.
std::optional<size_t> find(const std::vector<char32_t>& haystack,
                           const std::vector<char32_t>& needle, size_t from = 0) {
    if (needle.empty() || needle.size() > haystack.size()) return std::nullopt;
    auto it = std::search(haystack.begin() + std::ptrdiff_t(from), haystack.end(), needle.begin(),
                          needle.end());
    if (it == haystack.end()) return std::nullopt;
    return size_t(it - haystack.begin());
}

// The byte ranges of the first and last non-whitespace code points.
struct Content {
    size_t begin = 0, end = 0;
};

Content nonWhitespace(std::string_view text) {
    Content content{text.size(), text.size()};
    bool found = false;
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        if (OMIsWhitespaceOrNewline(OMNextCodePoint(text, i))) continue;
        if (!found) content.begin = start;
        found = true;
        content.end = i;
    }
    if (!found) content = {0, 0};
    return content;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isWellFormedUTF8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        UChar32 c;
        U8_NEXT(text.data(), i, text.size(), c);
        if (c < 0) return false;
    }
    return true;
}

}  // namespace

std::string humanReadableDescriptionUsingFormat(const std::vector<std::string>& descriptions,
                                                std::string_view format, const lf::Bundle& bundle) {
    std::string result;
    for (size_t i = 0; i < descriptions.size(); ++i) {
        if (i > 0) result += bundle.localizedString(i + 1 == descriptions.size() ? " and " : ", ");
        result += OMFormatString(format, std::span(&descriptions[i], 1));
    }
    return result;
}

std::string humanReadableDescription(const std::vector<std::string>& descriptions,
                                     const lf::Bundle& bundle) {
    return humanReadableDescriptionUsingFormat(descriptions, "%@", bundle);
}

std::string humanReadableDescriptionUsingQuotes(const std::vector<std::string>& descriptions,
                                                const lf::Bundle& bundle) {
    return humanReadableDescriptionUsingFormat(descriptions, bundle.localizedString("\"%@\""),
                                               bundle);
}

std::string stringWithNewUUID() {
    std::random_device random;
    uint8_t bytes[16];
    for (size_t i = 0; i < sizeof bytes; i += 4) {
        const uint32_t word = random();
        for (size_t j = 0; j < 4; ++j)
            bytes[i + j] = uint8_t(word >> (8 * j));
    }
    bytes[6] = uint8_t((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = uint8_t((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

std::string stringByCapitalizingFirstLetter(std::string_view text) {
    size_t end = 0;
    const char32_t first = text.empty() ? 0 : OMNextCodePoint(text, end);
    // Only a character of the Basic Multilingual Plane is upper-cased; one
    // beyond it (an emoji, a historic script) stays exactly as typed.
    if (text.empty() || first > 0xFFFF) return std::string(text);
    std::string upper;
    icu::UnicodeString(UChar32(first)).toUpper(icu::Locale::getRoot()).toUTF8String(upper);
    return upper.append(text.substr(end));
}

std::string replaceAll(std::string_view text, std::string_view target,
                       std::string_view replacement) {
    const CodePoints haystack = decode(text, true);
    const CodePoints needle = decode(target, true);
    std::string result;
    size_t copied = 0;  // bytes of `text` already in the result
    size_t from = 0;
    while (auto match = find(haystack.points, needle.points, from)) {
        const size_t matchEnd = *match + needle.points.size();
        const size_t endByte =
            matchEnd < haystack.offsets.size() ? haystack.offsets[matchEnd] : text.size();
        result.append(text, copied, haystack.offsets[*match] - copied).append(replacement);
        copied = endByte;
        from = matchEnd;
    }
    return result.append(text.substr(copied));
}

std::string stringByTrimmingWhitespaceAndNewlines(std::string_view text) {
    const Content content = nonWhitespace(text);
    return std::string(text.substr(content.begin, content.end - content.begin));
}

std::string stringByRemovingLeadingWhitespace(std::string_view text) {
    const Content content = nonWhitespace(text);
    return content.begin == content.end ? std::string() : std::string(text.substr(content.begin));
}

std::string stringByRemovingTrailingWhitespace(std::string_view text) {
    return std::string(text.substr(0, nonWhitespace(text).end));
}

bool containsString(std::string_view text, std::string_view other) {
    return containsString(text, other, LiteralSearch);
}

bool containsString(std::string_view text, std::string_view other, unsigned options) {
    const bool foldCase = options & CaseInsensitiveSearch;
    std::string a(text), b(other);
    if (!(options & LiteralSearch)) {
        a = decomposed(a);
        b = decomposed(b);
    }
    const std::vector<char32_t> haystack = decode(a, foldCase).points;
    const std::vector<char32_t> needle = decode(b, foldCase).points;
    if (needle.empty() || needle.size() > haystack.size()) return false;
    if (options & AnchoredSearch) {
        const auto start = (options & BackwardsSearch)
                               ? haystack.end() - std::ptrdiff_t(needle.size())
                               : haystack.begin();
        return std::equal(needle.begin(), needle.end(), start);
    }
    return find(haystack, needle).has_value();
}

bool containsAnyOfStrings(std::string_view text, const std::vector<std::string>& others,
                          unsigned options) {
    return std::any_of(others.begin(), others.end(), [&](const std::string& other) {
        return containsString(text, other, options);
    });
}

bool isEqualToAnyOfStrings(std::string_view text, const std::vector<std::string>& others) {
    return std::find(others.begin(), others.end(), text) != others.end();
}

bool hasAnyOfSuffixes(std::string_view text, const std::vector<std::string>& suffixes) {
    return std::any_of(suffixes.begin(), suffixes.end(), [&](const std::string& suffix) {
        return !suffix.empty() && text.ends_with(suffix);
    });
}

bool removeSuffix(std::string& text, std::string_view suffix) {
    if (!text.ends_with(suffix)) return false;
    text.erase(text.size() - suffix.size());
    return true;
}

bool hasAnyOfPrefixes(std::string_view text, const std::vector<std::string>& prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) {
        return !prefix.empty() && text.starts_with(prefix);
    });
}

bool isEmptyString(std::string_view text) {
    const Content content = nonWhitespace(text);
    return content.begin == content.end;
}

std::vector<std::string> componentsSeparatedByWhitespace(std::string_view text) {
    // Blanks are single bytes that never occur inside a longer UTF-8
    // sequence, so the text can be cut byte by byte.
    std::vector<std::string> components;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !OMIsBlank(char32_t(text[i]))) continue;
        if (i > start) components.emplace_back(text.substr(start, i - start));
        start = i + 1;
    }
    return components;
}

std::string stringWithCharacter(char32_t scalar) {
    if ((scalar >= 0xD800 && scalar <= 0xDFFF) || scalar > 0x10FFFF) scalar = 0xFFFD;
    char bytes[4];
    size_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, UChar32(scalar));
    return std::string(bytes, length);
}

void replaceOccurrencesOfString(std::string& text, std::string_view target,
                                std::string_view replacement) {
    if (target.empty()) return;
    std::string result;
    size_t copied = 0;
    for (size_t match = text.find(target); match != std::string::npos;
         match = text.find(target, copied)) {
        result.append(text, copied, match - copied).append(replacement);
        copied = match + target.size();
    }
    text = result.append(text, copied);
}

void trimWhitespaceAndNewlines(std::string& text) {
    text = stringByTrimmingWhitespaceAndNewlines(text);
}

std::optional<std::string> readableStringFromURLEncodedString(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] == '%') {
            const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
            const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
            if (low < 0) return std::nullopt;
            decoded += char(high * 16 + low);
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    if (!isWellFormedUTF8(decoded)) return std::nullopt;
    return decoded;
}

}  // namespace OMFoundation
