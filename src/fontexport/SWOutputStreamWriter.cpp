#include "fontexport/SWOutputStreamWriter.h"

#include "platform/core/Assert.h"
#include "platform/core/Log.h"

#include <cerrno>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace {

std::string composed(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(text);
    icu::UnicodeString normalized =
        nfc->normalize(icu::UnicodeString::fromUTF8(
                           icu::StringPiece(text.data(), static_cast<int32_t>(text.size()))),
                       status);
    if (U_FAILURE(status)) return std::string(text);
    std::string result;
    normalized.toUTF8String(result);
    return result;
}

}  // namespace

SWOutputStreamWriter::SWOutputStreamWriter(std::shared_ptr<SWOutputStream> stream)
    : SWOutputStreamWriter(std::move(stream), SWStringEncoding::UTF8, false) {}

SWOutputStreamWriter::SWOutputStreamWriter(std::shared_ptr<SWOutputStream> stream,
                                           SWStringEncoding encoding, bool precomposeStrings)
    : stream_(std::move(stream)), encoding_(encoding), precomposeStrings_(precomposeStrings) {}

void SWOutputStreamWriter::writeString(std::string_view string) {
    if (!stream_ || error_ || string.empty()) return;
    std::string precomposed;
    if (precomposeStrings_) {
        precomposed = composed(string);
        string = precomposed;
    }
    if (encoding_ == SWStringEncoding::UTF16 && !wroteByteOrderMark_) {
        static constexpr uint8_t kByteOrderMark[] = {0xFF, 0xFE};
        wroteByteOrderMark_ = true;
        if (!writeAll(kByteOrderMark, sizeof kByteOrderMark)) return;
    }
    bool converted = SWEncodeStringInChunks(
        string, encoding_, kChunkSize,
        [this](const uint8_t* chunk, size_t length) { return writeAll(chunk, length); });
    LF_PRECONDITION(converted || error_, "Unexpected number of characters converted");
}

bool SWOutputStreamWriter::writeAll(const uint8_t* bytes, size_t length) {
    while (length > 0) {
        long written = stream_->write(bytes, length);
        if (written <= 0) {
            int errnum = written < 0 && errno ? errno : EPIPE;
            error_ = lf::Error::posix(errnum, "write to output stream");
            lf::log("SWOutputStreamWriter: the stream took no more bytes ({}); writing stopped",
                    lf::describe(*error_));
            return false;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}
