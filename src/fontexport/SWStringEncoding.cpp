#include "fontexport/SWStringEncoding.h"

#include <fmt/format.h>

#include <memory>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>
#include <utility>

namespace {

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

const char* icuConverterName(SWStringEncoding encoding) {
    switch (encoding) {
        case SWStringEncoding::ASCII:
            return "US-ASCII";
        case SWStringEncoding::ISOLatin1:
            return "ISO-8859-1";
        case SWStringEncoding::UTF16:
            return "UTF-16LE";
        case SWStringEncoding::UTF8:
            break;
    }
    return "UTF-8";
}

// The UTF-16 form of UTF-8 text; none when the text is not valid UTF-8.
std::optional<std::u16string> utf16FromUTF8(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
    std::u16string units(static_cast<size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8(units.data(), length, nullptr, text.data(), static_cast<int32_t>(text.size()),
                  &status);
    if (U_FAILURE(status)) return std::nullopt;
    return units;
}

}  // namespace

bool SWIsSupportedEncoding(unsigned long encoding) {
    switch (static_cast<SWStringEncoding>(encoding)) {
        case SWStringEncoding::ASCII:
        case SWStringEncoding::UTF8:
        case SWStringEncoding::ISOLatin1:
        case SWStringEncoding::UTF16:
            return true;
    }
    return false;
}

std::string SWEncodingName(unsigned long encoding) {
    // The names of the string encodings that stored files and peers number.
    static constexpr std::pair<unsigned long, const char*> kNames[] = {
        {1, "Western (ASCII)"},
        {2, "Western (NextStep)"},
        {3, "Japanese (EUC)"},
        {4, "Unicode (UTF-8)"},
        {5, "Western (ISO Latin 1)"},
        {6, "Symbol (Mac OS)"},
        {7, "Non-lossy ASCII"},
        {8, "Japanese (Windows, DOS)"},
        {9, "Central European (ISO Latin 2)"},
        {10, "Unicode (UTF-16)"},
        {11, "Cyrillic (Windows)"},
        {12, "Western (Windows Latin 1)"},
        {13, "Greek (Windows)"},
        {14, "Turkish (Windows Latin 5)"},
        {15, "Central European (Windows Latin 2)"},
        {21, "Japanese (ISO 2022-JP)"},
        {30, "Western (Mac OS Roman)"},
    };
    for (const auto& [number, name] : kNames)
        if (number == encoding) return name;
    return fmt::format("Unknown encoding {}", encoding);
}

bool SWEncodingCanRepresent(SWStringEncoding encoding, char32_t character) {
    switch (encoding) {
        case SWStringEncoding::ASCII:
            return character < 0x80;
        case SWStringEncoding::ISOLatin1:
            return character < 0x100;
        case SWStringEncoding::UTF8:
        case SWStringEncoding::UTF16:
            break;
    }
    return true;
}

bool SWEncodeStringInChunks(std::string_view string, SWStringEncoding encoding, size_t chunkSize,
                            const std::function<bool(const uint8_t*, size_t)>& chunk) {
    if (encoding == SWStringEncoding::UTF8) {
        for (size_t offset = 0; offset < string.size(); offset += chunkSize) {
            size_t length = std::min(chunkSize, string.size() - offset);
            if (!chunk(reinterpret_cast<const uint8_t*>(string.data()) + offset, length))
                return false;
        }
        return true;
    }
    auto units = utf16FromUTF8(string);
    if (!units) return false;
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(icuConverterName(encoding), &status));
    if (U_FAILURE(status)) return false;
    // Stop at the first character the encoding lacks instead of writing a
    // substitute: the caller decides what to write for it.
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
    if (U_FAILURE(status)) return false;

    std::vector<char> buffer(std::max<size_t>(chunkSize, 4));
    const UChar* source = units->data();
    const UChar* sourceEnd = source + units->size();
    do {
        char* target = buffer.data();
        status = U_ZERO_ERROR;
        ucnv_fromUnicode(converter.get(), &target, buffer.data() + buffer.size(), &source,
                         sourceEnd, nullptr, true, &status);
        size_t produced = static_cast<size_t>(target - buffer.data());
        if (produced && !chunk(reinterpret_cast<const uint8_t*>(buffer.data()), produced))
            return false;
    } while (status == U_BUFFER_OVERFLOW_ERROR);
    return U_SUCCESS(status);
}

std::optional<std::vector<uint8_t>> SWEncodeString(std::string_view string,
                                                   SWStringEncoding encoding) {
    std::vector<uint8_t> bytes;
    bytes.reserve(encoding == SWStringEncoding::UTF16 ? string.size() * 2 : string.size());
    bool converted =
        SWEncodeStringInChunks(string, encoding, 4096, [&](const uint8_t* chunk, size_t length) {
            bytes.insert(bytes.end(), chunk, chunk + length);
            return true;
        });
    if (!converted) return std::nullopt;
    return bytes;
}

char32_t SWNextCharacter(std::string_view text, size_t& offset) {
    int32_t index = static_cast<int32_t>(offset);
    UChar32 character;
    U8_NEXT(text.data(), index, static_cast<int32_t>(text.size()), character);
    offset = static_cast<size_t>(index);
    return character < 0 ? U'\uFFFD' : static_cast<char32_t>(character);
}
