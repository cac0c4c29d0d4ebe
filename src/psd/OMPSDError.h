#pragma once
// Errors of the document reader. Every input the reader cannot use is
// reported in this domain; the description says where (the header, a
// section, "layer 3", "image resource 1037", a block key) and gives the
// offending value against its limit or expectation ("layer 3: 71 channels,
// at most 59").
#include "platform/core/Error.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

inline constexpr const char* OMPSDErrorDomain = "OMPSDErrorDomain";

enum OMPSDErrorCode : int64_t {
    // The data does not start with the "8BPS" signature.
    OMPSDErrorNotAPhotoshopDocument = 1,
    // The header's version is neither 1 (PSD) nor 2 (PSB).
    OMPSDErrorUnsupportedVersion = 2,
    // A header field is outside the range the format allows (channels,
    // width, height, depth or colour mode).
    OMPSDErrorInvalidHeader = 3,
    // A section or record reaches past the end of its enclosing section or
    // of the document, or its contents contradict themselves.
    OMPSDErrorTruncated = 4,
    OMPSDErrorCorruptData = 5,
    // Compressed channel data that does not decompress to the plane's size.
    OMPSDErrorCompressedDataCorrupt = 6,
    // A compression method the format does not define.
    OMPSDErrorUnsupportedCompression = 7,
    // Reading the underlying byte array failed; the underlying error says why.
    OMPSDErrorReadFailed = 8,
};

lf::Error OMPSDMakeError(OMPSDErrorCode code, std::string description,
                         std::shared_ptr<const lf::Error> underlying = nullptr);

// `error` with "`where`: " in front of its description (unless it already
// starts so), its domain, code and other user info unchanged: the parts of
// the reader that know the place add it to the errors of those that don't.
lf::Error OMPSDErrorAt(std::string_view where, lf::Error error);

// A four-character code as messages show it: 'lyid' when its characters
// are printable, else its value in hex (0x00000003).
std::string OMPSDQuotedCode(uint32_t code);
