#pragma once
// BAByteArray: a read-mostly sequence of bytes made of slices of memory and
// files. Every read of a document goes through one.
//
// Reading (length, copyBytes, subarray, forEachSlice) is safe from any number
// of threads at once, also while another thread inserts: a read sees the
// array either before or after the insertion.

#include "bytearray/BAByteSource.h"
#include "bytearray/BARange.h"
#include "platform/core/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// A piece of a byte source: bytes [offset, offset + length) of `source`.
struct BASlice {
    std::shared_ptr<const BAByteSource> source;
    uint64_t offset = 0;
    uint64_t length = 0;
};

class BAByteArray {
public:
    virtual ~BAByteArray() = default;

    virtual uint64_t length() const = 0;

    // Copies the bytes of `range` into `destination`. A range reaching past
    // the end copies nothing and reports BAByteArrayErrorRangeOutOfBounds; a
    // failed file read reports its error (the destination then holds an
    // unspecified prefix of the range).
    virtual lf::Status copyBytes(void* destination, BARange range) const = 0;

    // A new byte array of the bytes of `range`, sharing their sources.
    virtual lf::Result<std::shared_ptr<BAByteArray>> subarray(BARange range) const = 0;

    // Calls `visit` with the slices that make up `range`, in order, cut to
    // the range. The range must fit (else nothing is visited and the error
    // is returned).
    virtual lf::Status forEachSlice(BARange range,
                                    const std::function<void(const BASlice&)>& visit) const = 0;

    // Inserts the bytes of `other` (all of it) before byte `location`, which
    // may be length() to append. The bytes are not copied: the slices of
    // `other` are shared.
    virtual lf::Status insertByteArray(const BAByteArray& other, uint64_t location) = 0;
    virtual lf::Status insertSlice(BASlice slice, uint64_t location) = 0;
};

// The bytes of `range` without copying, when one slice holds all of them in
// memory (a memory slice, a decompressed plane); nothing otherwise, also for
// an empty range or one that does not fit.
std::optional<lf::Data> BADataInRange(const BAByteArray& bytes, BARange range);
