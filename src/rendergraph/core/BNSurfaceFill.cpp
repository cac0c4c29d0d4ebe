#include "rendergraph/core/BNSurfaceFill.h"

#include "kernels/FillCopyScaleKernels.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNRenderNode.h"

#include <algorithm>
#include <cstring>

void BNClearSurface(BNSurface& surface) {
    uint64_t rowBytes = surface.widthInPixels() * surface.samplesPerPixel() * sizeof(float);
    uint64_t rows = surface.heightInPixels();
    if (rowBytes == 0 || rows == 0) return;
    if (rowBytes == surface.bytesPerRow()) {
        std::memset(surface.data(), 0, rowBytes * rows);
        return;
    }
    for (uint64_t y = 0; y < rows; ++y)
        std::memset(surface.row(y), 0, rowBytes);
}

void BNFillSurface(BNSurface& surface, float value) {
    BNKernelPlane plane(surface);
    TarrowFillPlanar(plane.data, plane.width, plane.height, plane.stride, value);
}

void BNFillSurfaceRGBA(BNSurface& surface, float r, float g, float b, float a) {
    BNKernelPlane plane(surface);
    TarrowFillRGBA(plane.data, plane.width, plane.height, plane.stride, r, g, b, a);
}

void BNFillSurfaceWithBackgroundOfNode(BNSurface& surface, const BNRenderNode& node) {
    BNFillSurfaceRGBA(surface, node.backgroundValueForChannel(BNChannelRed),
                      node.backgroundValueForChannel(BNChannelGreen),
                      node.backgroundValueForChannel(BNChannelBlue),
                      node.backgroundValueForChannel(BNChannelOpacity));
}

void BNCopySurface(const BNSurface& source, BNSurface& destination) {
    BNKernelPlane from(source), to(destination);
    uint32_t width = std::min(from.width, to.width);
    int32_t height = std::min(from.height, to.height);
    if (width == 0 || height <= 0) return;
    switch (source.samplesPerPixel()) {
        case 4:
            TarrowCopyRGBA(from.data, to.data, width, height, from.stride, to.stride);
            return;
        case 1:
            TarrowCopyPlanar(from.data, to.data, width, height, from.stride, to.stride);
            return;
        default:
            for (int32_t y = 0; y < height; ++y)
                std::memcpy(destination.row(y), source.row(y),
                            width * source.samplesPerPixel() * sizeof(float));
    }
}
