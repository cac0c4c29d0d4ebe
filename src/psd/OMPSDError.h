#pragma once
// Errors of the document reader. Every input the reader cannot use is
// reported in this domain; the description names the part of the document
// and the field that is wrong.
#include "platform/Error.h"

#include <cstdint>
#include <memory>
#include <string>

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
