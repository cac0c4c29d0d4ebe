#include "bytearray/BAByteSource.h"

#include "bytearray/BAError.h"
#include "bytearray/BARange.h"

#include <cstring>

lf::Status BAMemorySource::read(void* destination, uint64_t offset, uint64_t length) const {
    if (!BAMakeRange(offset, length).fitsWithin(data_.size()))
        return BAMakeError(BAByteArrayErrorRangeOutOfBounds, "memory slice read past its end");
    if (length > 0) std::memcpy(destination, data_.bytes() + offset, length);
    return {};
}

std::optional<lf::Data> BAMemorySource::dataInRange(uint64_t offset, uint64_t length) const {
    if (!BAMakeRange(offset, length).fitsWithin(data_.size())) return std::nullopt;
    return data_.subdata(offset, length);
}
