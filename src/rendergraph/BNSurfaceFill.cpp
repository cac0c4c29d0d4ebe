#include "rendergraph/BNSurfaceFill.h"

#include <cstring>

void BNClearSurface(BNSurface& surface) {
    uint64_t rowBytes = surface.widthInPixels() * surface.samplesPerPixel() * sizeof(float);
    for (uint64_t y = 0; y < surface.heightInPixels(); ++y)
        std::memset(surface.row(y), 0, rowBytes);
}
