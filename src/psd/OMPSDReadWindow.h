#pragma once
// OMPSDReadWindow: a moving window over a document's byte array, for
// parsers that walk many small records (layer records, tagged blocks,
// image resource headers). A read that the window does not hold moves the
// window there and reads a window's worth at once, so a walk costs one read
// per window rather than one per field, and records that lie far apart
// (past large data left where it is) cost one read each.
//
// The window's bytes are an lf::Data, so values parsed from it may share
// them without copying. A window is used by one thread; the byte array must
// outlive it.
#include "bytearray/BAByteArray.h"
#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <cstdint>
#include <span>

class OMPSDReadWindow {
public:
    static constexpr uint64_t kWindowBytes = uint64_t{64} << 10;

    explicit OMPSDReadWindow(const BAByteArray& bytes) : bytes_(bytes) {}

    // The bytes [offset, offset + length), cut at `limit`. When the window
    // does not hold them it moves to `offset` and reads at least `minimum`
    // bytes (up to `limit`). Errors are those of OMPSDReadBytes.
    lf::Result<std::span<const uint8_t>> bytesAt(uint64_t offset, uint64_t length, uint64_t limit,
                                                 uint64_t minimum = kWindowBytes);
    // The window's bytes from `offset` on, at least `length` of them (cut at
    // `limit`), moving the window as bytesAt does.
    lf::Result<std::span<const uint8_t>> bytesFrom(uint64_t offset, uint64_t length,
                                                   uint64_t limit);

    // The bytes the window holds, and where the first of them lies in the
    // byte array.
    const lf::Data& data() const { return data_; }
    uint64_t offset() const { return offset_; }

private:
    const BAByteArray& bytes_;
    lf::Data data_;
    uint64_t offset_ = 0;
};
