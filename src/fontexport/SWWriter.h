#pragma once
// SWWriter: the one operation every streaming text writer offers. A writer
// takes UTF-8 strings one at a time and passes them on, possibly
// transformed, to its output (another writer, data, a stream or a string).
//
// Writers hold their output strongly until close(); closing drops that
// hold without closing the output, so a chain is closed from the top. A
// writer and its chain belong to one thread at a time.

#include "fontexport/SWStringEncoding.h"

#include <optional>
#include <string_view>

class SWWriter {
public:
    virtual ~SWWriter() = default;

    virtual void writeString(std::string_view string) = 0;
    virtual void close() = 0;
    // The encoding of the bytes this writer produces; none for writers that
    // produce text, not bytes.
    virtual std::optional<SWStringEncoding> encoding() const { return std::nullopt; }
};
