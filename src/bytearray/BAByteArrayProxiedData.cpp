#include "bytearray/BAByteArrayProxiedData.h"

#include "bytearray/BAError.h"

#include <limits>
#include <optional>
#include <vector>

lf::Result<BAByteArrayProxiedData> BAByteArrayProxiedData::create(const BAByteArray& byteArray) {
    uint64_t length = byteArray.length();
    if (length > std::numeric_limits<size_t>::max() / 2)
        return BAMakeError(BAByteArrayErrorRangeOutOfBounds, "byte array too large to hold in memory");

    int slices = 0;
    std::optional<lf::Data> single;
    LF_TRY(byteArray.forEachSlice({0, length}, [&](const BASlice& slice) {
        if (++slices == 1) single = slice.source->dataInRange(slice.offset, slice.length);
    }));
    if (slices == 0) return BAByteArrayProxiedData(lf::Data());
    if (slices == 1 && single) return BAByteArrayProxiedData(std::move(*single));

    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    LF_TRY(byteArray.copyBytes(bytes.data(), {0, length}));
    return BAByteArrayProxiedData(lf::Data(std::move(bytes)));
}
