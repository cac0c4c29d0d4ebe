#include "rendergraph/core/BNSurfaceRegion.h"

#include "geometry/VKRegion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

VKRect scaled(VKRect rect, double scaleFactor) {
    return VKRectIntegral(VKRectMake(rect.origin.x * scaleFactor, rect.origin.y * scaleFactor,
                                     rect.size.width * scaleFactor,
                                     rect.size.height * scaleFactor));
}

// [first, last) of `count` pixels whose grid starts at `origin`, for the
// pixel edges `low` and `high`.
std::pair<uint64_t, uint64_t> pixelSpan(double low, double high, double origin, uint64_t count) {
    double first = std::clamp(low - origin, 0.0, static_cast<double>(count));
    double last = std::clamp(high - origin, 0.0, static_cast<double>(count));
    if (!(last > first)) return {0, 0};
    return {static_cast<uint64_t>(first), static_cast<uint64_t>(last)};
}

}  // namespace

BNPixelRect BNPixelRectOfRect(const BNSurface& surface, VKRect rect) {
    if (VKRectIsEmpty(rect) || VKRectIsEmpty(surface.rect())) return {};
    double s = surface.scaleFactor();
    VKRect inner = scaled(rect, s), outer = scaled(surface.rect(), s);
    auto [x0, x1] = pixelSpan(VKRectGetMinX(inner), VKRectGetMaxX(inner), VKRectGetMinX(outer),
                              surface.widthInPixels());
    auto [y0, y1] = pixelSpan(VKRectGetMinY(inner), VKRectGetMaxY(inner), VKRectGetMinY(outer),
                              surface.heightInPixels());
    return {x0, y0, x1 - x0, y1 - y0};
}

VKRect BNRectAlignedToPixels(VKRect rect, double scaleFactor) {
    if (VKRectIsNull(rect) || VKRectIsInfinite(rect)) return rect;
    if (scaleFactor >= 1 && scaleFactor == std::floor(scaleFactor)) scaleFactor = 1;
    VKRect pixels = scaled(rect, scaleFactor);
    return VKRectMake(pixels.origin.x / scaleFactor, pixels.origin.y / scaleFactor,
                      pixels.size.width / scaleFactor, pixels.size.height / scaleFactor);
}

VKRect BNRectWithinBounds(VKRect rect, VKRect bounds, double scaleFactor) {
    if (VKRectIsInfinite(bounds)) return rect;
    return VKRectIntersection(rect, BNRectAlignedToPixels(bounds, scaleFactor));
}

std::vector<VKRect> BNRectsOutside(VKRect outer, VKRect inner) {
    auto region = VKRegion::regionWithRect(outer);
    region->subtractRect(inner);
    return region->rects();
}

void BNFillSampleInRect(BNSurface& surface, VKRect rect, int sampleIndex, float value) {
    BNPixelRect pixels = BNPixelRectOfRect(surface, rect);
    int n = surface.samplesPerPixel();
    for (uint64_t y = pixels.y; y < pixels.y + pixels.height; ++y) {
        float* sample = surface.row(y) + pixels.x * n + sampleIndex;
        for (uint64_t x = 0; x < pixels.width; ++x)
            sample[x * n] = value;
    }
}

void BNFillPixelsInRect(BNSurface& surface, VKRect rect, const float* values) {
    BNPixelRect pixels = BNPixelRectOfRect(surface, rect);
    if (pixels.isEmpty()) return;
    uint64_t n = static_cast<uint64_t>(surface.samplesPerPixel());
    // The first row sample by sample, the others copied from it.
    float* first = surface.row(pixels.y) + pixels.x * n;
    for (uint64_t x = 0; x < pixels.width; ++x)
        std::copy(values, values + n, first + x * n);
    for (uint64_t y = 1; y < pixels.height; ++y)
        std::memcpy(surface.row(pixels.y + y) + pixels.x * n, first,
                    pixels.width * n * sizeof(float));
}

void BNCopyRect(const BNSurface& source, BNSurface& destination, VKRect rect) {
    BNPixelRect from = BNPixelRectOfRect(source, rect), to = BNPixelRectOfRect(destination, rect);
    uint64_t width = std::min(from.width, to.width), height = std::min(from.height, to.height);
    uint64_t n = static_cast<uint64_t>(source.samplesPerPixel());
    for (uint64_t y = 0; y < height; ++y)
        std::memcpy(destination.row(to.y + y) + to.x * n, source.row(from.y + y) + from.x * n,
                    width * n * sizeof(float));
}

BNKernelPlane BNKernelPlaneOfRect(const BNSurface& surface, VKRect rect) {
    BNKernelPlane plane(surface);
    BNPixelRect pixels = BNPixelRectOfRect(surface, rect);
    if (pixels.isEmpty()) {
        plane.width = 0;
        plane.height = 0;
        return plane;
    }
    plane.data = surface.row(pixels.y) + pixels.x * surface.samplesPerPixel();
    plane.width = static_cast<uint32_t>(pixels.width);
    plane.height = static_cast<int32_t>(pixels.height);
    return plane;
}
