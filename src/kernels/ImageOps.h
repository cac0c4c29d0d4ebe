#pragma once
// Plain C++ image operations that the blur and pattern nodes call, written
// so that the compiler vectorises them: float planar convolution,
// 8-bit tent convolution, planar float <-> 8-bit conversion and RGBA float
// premultiplication; and the box-filter scaling of 8-bit RGBA that the export
// recipes resample with.
//
// Buffers are described by ImageBuffer (data, height, width, row bytes).
// Every operation works on the destination's width and height; it returns
// kImageOpNoError, or an error code and writes nothing. Source and
// destination must not overlap unless an operation says so. No operation
// keeps state or tiles the work over threads; any number of threads may run
// them on separate buffers.

#include <cstddef>
#include <cstdint>

namespace lf {

struct ImageBuffer {
    void* data = nullptr;
    uint32_t height = 0;
    uint32_t width = 0;
    size_t rowBytes = 0;
};

enum ImageOpResult : long {
    kImageOpNoError = 0,
    kImageOpNullPointer = -1,
    kImageOpInvalidKernelSize = -2,    // a kernel dimension that is 0 or even
    kImageOpRegionOutsideSource = -3,  // destination plus offsets reach past the source
    kImageOpSizeMismatch = -4,         // buffers of different sizes, or rows too short
    kImageOpInvalidRange = -5,         // a conversion range whose maximum is not above its minimum
    kImageOpOverlap = -6,              // source and destination share memory
};

// Float planar convolution with copy-in-place edges. Destination pixel
// (x, y) is centred on source pixel (cx, cy) = (x + srcOffsetX, y +
// srcOffsetY):
//   dest(x, y) = sum over ky < kernelHeight, kx < kernelWidth, row by row and
//                left to right, accumulated in float from 0, of
//                kernel[ky * kernelWidth + kx] * src(cx + kx - kw/2, cy + ky - kh/2)
// (a correlation: the kernel is not flipped). Where the kernel reaches
// outside the source, dest(x, y) = src(cx, cy) unchanged. Kernel dimensions
// must be odd; the destination plus the offsets must fit in the source.
ImageOpResult convolvePlanarF(const ImageBuffer& source, const ImageBuffer& destination,
                              uint32_t srcOffsetX, uint32_t srcOffsetY, const float* kernel,
                              uint32_t kernelHeight, uint32_t kernelWidth);

// 8-bit tent convolution with copy-in-place edges. The tent of a dimension
// of 2R + 1 taps weighs tap i by R + 1 - |R - i|; the kernel is the product
// of the horizontal and vertical tents, D = (Rx + 1)^2 (Ry + 1)^2 its sum.
// Destination pixel (x, y), centred as in convolvePlanarF, is
//   (S + D / 2) / D   (integer arithmetic, rounding halves up),
// S the weighted sum of the source pixels under the kernel; where the kernel
// reaches outside the source the centre pixel is copied. `temp` is working
// memory of tentConvolvePlanar8TempSize bytes, or null to let the call
// allocate its own. Kernels are limited to 8189 taps a side (the sums then
// stay within 64 bits).
ImageOpResult tentConvolvePlanar8(const ImageBuffer& source, const ImageBuffer& destination,
                                  void* temp, uint32_t srcOffsetX, uint32_t srcOffsetY,
                                  uint32_t kernelHeight, uint32_t kernelWidth);
size_t tentConvolvePlanar8TempSize(const ImageBuffer& destination, uint32_t kernelHeight,
                                   uint32_t kernelWidth);

// Planar float to 8-bit, buffers of equal size:
//   u = (f - min) / (max - min) * 255, clamped to [0, 255] (NaN as 0),
//   dest = (uint8)(u + 0.5).
ImageOpResult convertPlanarFToPlanar8(const ImageBuffer& source, const ImageBuffer& destination,
                                      float maxFloat, float minFloat);

// Planar 8-bit to float, buffers of equal size: dest = min + u * (max - min) / 255.
ImageOpResult convertPlanar8ToPlanarF(const ImageBuffer& source, const ImageBuffer& destination,
                                      float maxFloat, float minFloat);

// Premultiplies interleaved RGBA floats, buffers of equal size: (r a, g a,
// b a, a). The destination may be the source itself (same data and rows).
ImageOpResult premultiplyRGBAFFFF(const ImageBuffer& source, const ImageBuffer& destination);

// Scales 8-bit pixels of four interleaved channels (RGBA, premultiplied or
// not) to the destination's size with a box filter: each destination pixel
// is the average of the source area it covers, every source pixel weighed by
// the share of it that lies in that area, rounded to the nearest level.
// Shrinking averages whole blocks; enlarging repeats source pixels, mixing
// two only where a destination pixel straddles them. Premultiplied colour
// stays within its coverage. Both buffers must have pixels; they must not
// overlap.
ImageOpResult scaleRGBA8888(const ImageBuffer& source, const ImageBuffer& destination);

}  // namespace lf
