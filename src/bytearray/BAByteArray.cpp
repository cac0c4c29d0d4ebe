#include "bytearray/BAByteArray.h"

std::optional<lf::Data> BADataInRange(const BAByteArray& bytes, BARange range) {
    std::optional<lf::Data> data;
    int slices = 0;
    auto visited = bytes.forEachSlice(range, [&](const BASlice& slice) {
        if (++slices == 1 && slice.source)
            data = slice.source->dataInRange(slice.offset, slice.length);
    });
    if (!visited || slices != 1) return std::nullopt;
    return data;
}
