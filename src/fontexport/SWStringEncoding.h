#pragma once
// The character encodings of the writers, numbered as the string encodings
// of the application's stored files and peers number them, and the
// conversions from our UTF-8 strings into them (through ICU).
//
// UTF-16 output is little-endian. Only a stream starts with a byte-order
// mark, once (SWOutputStreamWriter); data written piecewise carries none.
//
// Pure functions; safe from any thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class SWStringEncoding : unsigned long {
    ASCII = 1,
    UTF8 = 4,
    ISOLatin1 = 5,
    UTF16 = 10,
};

// Whether the writers support the encoding number.
bool SWIsSupportedEncoding(unsigned long encoding);
// The encoding's display name ("Unicode (UTF-8)"); a generic name for
// numbers that no encoding has.
std::string SWEncodingName(unsigned long encoding);

// Whether a character (a Unicode scalar value) can be written in the
// encoding.
bool SWEncodingCanRepresent(SWStringEncoding encoding, char32_t character);

// Converts a UTF-8 string into the encoding and hands the bytes to `chunk`
// in pieces of at most `chunkSize` bytes (at least 4; a character's bytes
// may straddle two pieces). False when a character cannot be represented (or the string
// is not valid UTF-8 and the encoding is not UTF-8, whose bytes pass
// unchanged), or when `chunk` answers false; the pieces before stay handed
// over.
bool SWEncodeStringInChunks(std::string_view string, SWStringEncoding encoding, size_t chunkSize,
                            const std::function<bool(const uint8_t*, size_t)>& chunk);

// The bytes of a UTF-8 string in the encoding; none when a character
// cannot be represented (or the string is not valid UTF-8 and the encoding
// is not UTF-8, whose bytes pass unchanged).
std::optional<std::vector<uint8_t>> SWEncodeString(std::string_view string,
                                                   SWStringEncoding encoding);

// The next character of UTF-8 text at `offset`, advancing it; a byte that
// does not start a valid sequence reads as U+FFFD and is skipped alone.
char32_t SWNextCharacter(std::string_view text, size_t& offset);
