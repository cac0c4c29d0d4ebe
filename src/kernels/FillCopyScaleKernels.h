#pragma once
// Fill, copy and whole-factor scaling kernels. Conventions: KernelConventions.h.

#include "kernels/KernelConventions.h"

#include <cstdint>

// Sets every sample of a one-channel plane to `value`.
using TarrowFillPlanarFn = void (*)(float* data, uint32_t width, int32_t height, uint32_t stride,
                                    float value);

// Sets every pixel of a four-channel plane to (r*a, g*a, b*a, a): the caller
// passes an unpremultiplied colour.
using TarrowFillRGBAFn = void (*)(float* data, uint32_t width, int32_t height, uint32_t stride,
                                  float r, float g, float b, float a);

// Copies `width` pixels of every row: width * 4 bytes (planar) or width * 16
// bytes (RGBA). When both strides equal the row's bytes the plane is copied
// as one block. Source and destination must not overlap.
using TarrowCopyFn = void (*)(const float* source, float* destination, uint32_t width,
                              int32_t height, uint32_t sourceStride, uint32_t destinationStride);

// Doubles a plane: source pixel (x, y) is written unchanged to the 2 by 2
// destination block at columns 2x, 2x + 1 and rows 2y, 2y + 1. The
// destination must hold 2 * srcWidth by 2 * srcHeight pixels.
using TarrowScaleUpFn = void (*)(const float* source, float* destination, uint32_t srcWidth,
                                 int32_t srcHeight, uint32_t srcStride, uint32_t dstStride);

// Halves a plane: each channel of destination pixel (x, y), for x below
// dstWidth and y below dstHeight, is
//   0.25 * (((s(p, a) + s(q, a)) + s(p, b)) + s(q, b))
// with columns p = 2x mod srcWidth, q = (2x + 1) mod srcWidth and rows
// a = 2y mod srcHeight, b = (2y + 1) mod srcHeight: the right and bottom
// edges of an odd-sized source wrap to its first column and row. A source
// without pixels (srcWidth or srcHeight 0) is reported through TarrowError
// and nothing is written.
using TarrowScaleDownFn = void (*)(const float* source, float* destination, uint32_t srcWidth,
                                   uint32_t srcHeight, uint32_t dstWidth, uint32_t dstHeight,
                                   uint32_t srcStride, uint32_t dstStride);

// Entry points through the kernel set chosen for this processor.
extern const TarrowFillPlanarFn TarrowFillPlanar;
extern const TarrowFillRGBAFn TarrowFillRGBA;
extern const TarrowCopyFn TarrowCopyPlanar;
extern const TarrowCopyFn TarrowCopyRGBA;
// Four interleaved floats per pixel.
extern const TarrowScaleUpFn TarrowScaleUp2x4;
// One float per pixel.
extern const TarrowScaleUpFn TarrowScaleUp2x1;
extern const TarrowScaleDownFn TarrowScaleDown2x4;
extern const TarrowScaleDownFn TarrowScaleDown2x1;
