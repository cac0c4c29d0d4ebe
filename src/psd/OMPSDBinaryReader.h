#pragma once
// A cursor over bytes in memory that reads the document's big-endian fields.
//
// Reading past the end never touches memory outside the span: the read
// returns zero (or an empty value), the cursor moves to the end and the
// reader remembers the failure (`failed()`). Parsers read a whole record
// and check once, which keeps the field-by-field code plain. A reader is
// used by one thread; the bytes it looks at must outlive it.
#include "psd/OMPSDRect.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class OMPSDBinaryReader {
public:
    OMPSDBinaryReader() = default;
    explicit OMPSDBinaryReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t position() const { return position_; }
    size_t size() const { return bytes_.size(); }
    size_t remaining() const { return bytes_.size() - position_; }
    bool failed() const { return failed_; }
    bool atEnd() const { return position_ >= bytes_.size(); }
    void fail() {
        failed_ = true;
        position_ = bytes_.size();
    }

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    uint64_t u64();
    int16_t i16() { return int16_t(u16()); }
    int32_t i32() { return int32_t(u32()); }
    int64_t i64() { return int64_t(u64()); }
    double f64();
    float f32();
    // A length of 4 bytes in PSD documents and 8 bytes in PSB documents.
    uint64_t length(bool wide) { return wide ? u64() : u32(); }
    // A rectangle in the file's order: top, left, bottom, right.
    OMPSDRect rect() {
        OMPSDRect r;
        r.top = i32();
        r.left = i32();
        r.bottom = i32();
        r.right = i32();
        return r;
    }
    // A 32-bit fixed-point number, 16.16.
    double fixed32() { return i32() / 65536.0; }

    // The next `count` bytes, or an empty span (and failure) when fewer are left.
    std::span<const uint8_t> bytes(uint64_t count);
    // A reader over the next `count` bytes; this reader moves past them.
    OMPSDBinaryReader subreader(uint64_t count);
    void skip(uint64_t count) { (void)bytes(count); }
    // Moves to an absolute position; past the end is a failure.
    void seek(size_t position);
    // Skips to the next multiple of `alignment` counted from the start.
    void align(size_t alignment);

    // A Pascal string (length byte, then bytes), its total size padded to a
    // multiple of `padding`, as UTF-8: ASCII bytes are kept and every other
    // byte becomes U+FFFD.
    std::string pascalString(size_t padding = 1);
    // A Unicode string: a 32-bit count of UTF-16 code units, then the units;
    // returned as UTF-8 with a trailing NUL removed.
    std::string unicodeString();

private:
    std::span<const uint8_t> bytes_;
    size_t position_ = 0;
    bool failed_ = false;
};

// UTF-16 big-endian code units to UTF-8; unpaired surrogates become U+FFFD.
std::string OMPSDUTF16BEToUTF8(std::span<const uint8_t> bytes);
