#include "psd/OMPSDSource.h"

#include "psd/OMPSDError.h"

#include <fmt/format.h>

#include <cerrno>
#include <memory>
#include <new>

lf::Status OMPSDCheckRange(const BAByteArray& bytes, BARange range) {
    if (range.fitsWithin(bytes.length())) return {};
    return OMPSDMakeError(
        OMPSDErrorTruncated,
        fmt::format("{} bytes at byte {} reach past the end of the document ({} bytes)",
                    range.length, range.location, bytes.length()));
}

lf::Result<lf::Data> OMPSDReadBytes(const BAByteArray& bytes, BARange range) {
    LF_TRY(OMPSDCheckRange(bytes, range));
    if (range.length == 0) return lf::Data();
    if (auto shared = BADataInRange(bytes, range)) return *shared;
    // Not cleared first: the read fills every byte or fails.
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[range.length]);
    if (!copy) return lf::Error::posix(ENOMEM, fmt::format("a read of {} bytes", range.length));
    auto status = bytes.copyBytes(copy.get(), range);
    if (!status)
        return OMPSDMakeError(
            OMPSDErrorReadFailed,
            fmt::format("{} bytes at byte {} cannot be read", range.length, range.location),
            std::make_shared<const lf::Error>(status.error()));
    return lf::Data::adopt(std::move(copy), range.length);
}
