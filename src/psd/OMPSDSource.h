#pragma once
// Reading ranges of the document's byte array as plain bytes.
#include "bytearray/BAByteArray.h"
#include "platform/core/Result.h"
#include "platform/files/Data.h"

// Nothing when `range` lies within `bytes`, else an OMPSDErrorTruncated
// error giving the range and the array's length.
lf::Status OMPSDCheckRange(const BAByteArray& bytes, BARange range);

// The bytes of `range`: shared without copying when the range lies in one
// slice of memory, else copied. A range past the end of the array is an
// OMPSDErrorTruncated error; a failed read an OMPSDErrorReadFailed one.
lf::Result<lf::Data> OMPSDReadBytes(const BAByteArray& bytes, BARange range);

// Assigns the value of a Result expression to `lhs`, or returns its error.
#define OMPSD_TRY_ASSIGN(lhs, expr)                          \
    auto OMPSD_CONCAT(omPSDResult_, __LINE__) = (expr);      \
    if (!OMPSD_CONCAT(omPSDResult_, __LINE__))               \
        return OMPSD_CONCAT(omPSDResult_, __LINE__).error(); \
    lhs = std::move(*OMPSD_CONCAT(omPSDResult_, __LINE__))
#define OMPSD_CONCAT_(a, b) a##b
#define OMPSD_CONCAT(a, b) OMPSD_CONCAT_(a, b)
