#include "bytearray/BAByteArrayProxiedData.h"

#include "bytearray/BAError.h"

#include <limits>
#include <vector>

lf::Result<BAByteArrayProxiedData> BAByteArrayProxiedData::create(const BAByteArray& byteArray) {
    uint64_t length = byteArray.length();
    if (length > std::numeric_limits<size_t>::max() / 2)
        return BAMakeError(BAByteArrayErrorRangeOutOfBounds,
                           "byte array too large to hold in memory");

    if (length == 0) return BAByteArrayProxiedData(lf::Data());
    if (auto single = BADataInRange(byteArray, {0, length}))
        return BAByteArrayProxiedData(std::move(*single));

    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    LF_TRY(byteArray.copyBytes(bytes.data(), {0, length}));
    return BAByteArrayProxiedData(lf::Data(std::move(bytes)));
}
