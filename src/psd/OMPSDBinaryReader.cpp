#include "psd/OMPSDBinaryReader.h"

#include <bit>
#include <cstring>

namespace {

void appendUTF8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xc0 | (code >> 6));
        out += char(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += char(0xe0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    } else {
        out += char(0xf0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3f));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    }
}

}  // namespace

std::span<const uint8_t> OMPSDBinaryReader::bytes(uint64_t count) {
    if (count > remaining()) {
        fail();
        return {};
    }
    auto result = bytes_.subspan(position_, size_t(count));
    position_ += size_t(count);
    return result;
}

OMPSDBinaryReader OMPSDBinaryReader::subreader(uint64_t count) {
    if (count > remaining()) {
        fail();
        OMPSDBinaryReader empty;
        empty.fail();
        return empty;
    }
    return OMPSDBinaryReader(bytes(count));
}

void OMPSDBinaryReader::seek(size_t position) {
    if (position > bytes_.size()) {
        fail();
        return;
    }
    position_ = position;
}

void OMPSDBinaryReader::align(size_t alignment) {
    size_t over = position_ % alignment;
    if (over != 0) skip(alignment - over);
}

uint8_t OMPSDBinaryReader::u8() {
    auto b = bytes(1);
    return b.empty() ? 0 : b[0];
}

uint16_t OMPSDBinaryReader::u16() {
    auto b = bytes(2);
    return b.empty() ? 0 : uint16_t((b[0] << 8) | b[1]);
}

uint32_t OMPSDBinaryReader::u32() {
    auto b = bytes(4);
    if (b.empty()) return 0;
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

uint64_t OMPSDBinaryReader::u64() {
    uint64_t high = u32();
    return (high << 32) | u32();
}

double OMPSDBinaryReader::f64() {
    return std::bit_cast<double>(u64());
}
float OMPSDBinaryReader::f32() {
    return std::bit_cast<float>(u32());
}

std::string OMPSDBinaryReader::pascalString(size_t padding) {
    size_t length = u8();
    auto b = bytes(length);
    std::string text(b.begin(), b.end());
    size_t total = length + 1;
    if (padding > 1 && total % padding != 0) skip(padding - total % padding);
    // Mac Roman above 127 is rare in layer names (the Unicode name is the
    // one shown); keep ASCII and replace the rest so the result is UTF-8.
    std::string out;
    for (char c : text) {
        if (uint8_t(c) < 0x80)
            out += c;
        else
            appendUTF8(out, 0xfffd);
    }
    return out;
}

std::string OMPSDBinaryReader::unicodeString() {
    uint32_t units = u32();
    if (uint64_t(units) * 2 > remaining()) {
        fail();
        return {};
    }
    std::string text = OMPSDUTF16BEToUTF8(bytes(uint64_t(units) * 2));
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::string OMPSDUTF16BEToUTF8(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    size_t count = bytes.size() / 2;
    for (size_t i = 0; i < count; ++i) {
        uint32_t unit = (uint32_t(bytes[2 * i]) << 8) | bytes[2 * i + 1];
        if (unit >= 0xd800 && unit < 0xdc00 && i + 1 < count) {
            uint32_t next = (uint32_t(bytes[2 * i + 2]) << 8) | bytes[2 * i + 3];
            if (next >= 0xdc00 && next < 0xe000) {
                appendUTF8(out, 0x10000 + ((unit - 0xd800) << 10) + (next - 0xdc00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xd800 && unit < 0xe000) unit = 0xfffd;
        appendUTF8(out, unit);
    }
    return out;
}
