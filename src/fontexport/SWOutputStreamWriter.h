#pragma once
// SWOutputStreamWriter: writes the bytes of each string, in its encoding, to
// an output stream, in pieces of at most 1024 bytes, optionally composing
// the text to Unicode normalisation form C first. A UTF-16 stream starts
// with one byte-order mark.
//
// When the stream stops accepting bytes (a write that takes none or fails),
// the writer logs it, keeps the failure in error() and writes nothing more.
// The stream is not owned; closing drops it without closing it.

#include "fontexport/SWOutputStream.h"
#include "fontexport/SWWriter.h"
#include "platform/core/Error.h"

#include <memory>
#include <optional>

class SWOutputStreamWriter : public SWWriter {
public:
    static constexpr size_t kChunkSize = 1024;

    // UTF-8 without composition.
    explicit SWOutputStreamWriter(std::shared_ptr<SWOutputStream> stream);
    SWOutputStreamWriter(std::shared_ptr<SWOutputStream> stream, SWStringEncoding encoding,
                         bool precomposeStrings);

    // A character that the encoding cannot represent is a programming error.
    void writeString(std::string_view string) override;
    void close() override { stream_.reset(); }
    std::optional<SWStringEncoding> encoding() const override { return encoding_; }

    // The failure that stopped the writer, if any.
    const std::optional<lf::Error>& error() const { return error_; }

private:
    // Hands all of the bytes to the stream; false when it stopped taking them.
    bool writeAll(const uint8_t* bytes, size_t length);

    std::shared_ptr<SWOutputStream> stream_;
    SWStringEncoding encoding_;
    bool precomposeStrings_;
    bool wroteByteOrderMark_ = false;
    std::optional<lf::Error> error_;
};
