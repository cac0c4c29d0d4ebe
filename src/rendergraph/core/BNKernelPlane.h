#pragma once
// A surface as the pixel kernels take it: data, width and height in pixels
// and the row stride in bytes, in the kernels' integer types. Surfaces of
// the render graph are tiles far below the 32-bit limits.

#include "rendergraph/core/BNSurface.h"

#include <cstdint>

struct BNKernelPlane {
    float* data;
    uint32_t width;
    int32_t height;
    uint32_t stride;

    explicit BNKernelPlane(const BNSurface& surface)
        : data(surface.data()),
          width(static_cast<uint32_t>(surface.widthInPixels())),
          height(static_cast<int32_t>(surface.heightInPixels())),
          stride(static_cast<uint32_t>(surface.bytesPerRow())) {}
};
