#include "compositing/content/QFHalfCoveredPixelBounds.h"

#include "bytearray/BAByteArrayProxiedData.h"

#include <algorithm>
#include <optional>

namespace {

const char* const kHalfCoveredBoundsKey = "QFHalfCoveredPixelBounds";

// The box of the plane's samples of half or more, or none when it cannot
// be read or holds none.
std::optional<VKRect> halfCoveredBox(const OMPSDChannelReference& plane) {
    uint64_t depth = plane.depth() == 0 ? 8 : plane.depth();
    uint64_t rowBytes = 0, totalBytes = 0;
    if ((depth != 8 && depth != 16) || !plane.planeSize(&rowBytes, &totalBytes) || totalBytes == 0)
        return std::nullopt;
    std::shared_ptr<const BAByteArray> bytes = plane.byteArray();
    if (!bytes || bytes->length() < totalBytes) return std::nullopt;
    lf::Result<BAByteArrayProxiedData> contiguous = BAByteArrayProxiedData::create(*bytes);
    if (!contiguous) return std::nullopt;
    const uint8_t* samples = contiguous->bytes();
    const uint64_t width = plane.rect().width(), height = plane.rect().height();
    const uint64_t bytesPerSample = depth / 8;
    uint64_t minX = width, minY = height, maxX = 0, maxY = 0;
    for (uint64_t y = 0; y < height; ++y) {
        const uint8_t* row = samples + y * rowBytes;
        for (uint64_t x = 0; x < width; ++x) {
            // The high byte decides: 128 of 255, 32768 of 65535.
            if (row[x * bytesPerSample] < 128) continue;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = y;
        }
    }
    if (minX > maxX) return std::nullopt;  // no sample of half or more
    const OMPSDRect& r = plane.rect();
    return VKRectMake(double(r.left) + double(minX), double(r.top) + double(minY),
                      double(maxX - minX + 1), double(maxY - minY + 1));
}

}  // namespace

std::optional<VKRect> QFHalfCoveredPixelBounds(const OMPSDLayer& layer) {
    using Bounds = std::optional<VKRect>;
    if (auto cached = layer.associatedObject(kHalfCoveredBoundsKey))
        return *std::static_pointer_cast<const Bounds>(cached);
    auto transparency = layer.channelReferenceForIdentifier(-1);
    Bounds bounds = transparency ? halfCoveredBox(*transparency) : std::nullopt;
    layer.setAssociatedObject(kHalfCoveredBoundsKey, std::make_shared<const Bounds>(bounds));
    return bounds;
}
