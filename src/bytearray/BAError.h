#pragma once
// Errors of the byte-array storage.

#include "platform/core/Error.h"

#include <cstdint>
#include <string>

inline constexpr const char* BAByteArrayErrorDomain = "BAByteArrayErrorDomain";

enum BAByteArrayErrorCode : int64_t {
    // A range reaches past the end of the byte array.
    BAByteArrayErrorRangeOutOfBounds = 1,
    // A file holds fewer bytes than when it was opened (it shrank or was replaced).
    BAByteArrayErrorFileTruncated = 2,
    // The operating system failed to read; the underlying error says why.
    BAByteArrayErrorReadFailed = 3,
};

lf::Error BAMakeError(BAByteArrayErrorCode code, std::string description,
                      std::shared_ptr<const lf::Error> underlying = nullptr);
