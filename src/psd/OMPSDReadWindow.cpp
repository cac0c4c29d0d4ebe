#include "psd/OMPSDReadWindow.h"

#include "psd/OMPSDSource.h"

#include <algorithm>

lf::Result<std::span<const uint8_t>> OMPSDReadWindow::bytesAt(uint64_t offset, uint64_t length,
                                                              uint64_t limit, uint64_t minimum) {
    length = offset < limit ? std::min(length, limit - offset) : 0;
    const uint64_t end = offset_ + data_.size();
    if (offset < offset_ || offset + length > end) {
        uint64_t size = std::min(std::max(length, minimum), limit - std::min(offset, limit));
        OMPSD_TRY_ASSIGN(data_, OMPSDReadBytes(bytes_, {offset, size}));
        offset_ = offset;
    }
    return data_.span().subspan(offset - offset_, length);
}

lf::Result<std::span<const uint8_t>> OMPSDReadWindow::bytesFrom(uint64_t offset, uint64_t length,
                                                                uint64_t limit) {
    LF_TRY(bytesAt(offset, length, limit));
    return data_.span().subspan(offset - offset_);
}
