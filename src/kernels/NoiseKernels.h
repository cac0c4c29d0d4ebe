#pragma once
// Noise kernels: add signed noise from the shared noise table
// (TarrowGetNoiseTable), anchored to the image rather than the tile so that
// neighbouring tiles continue one pattern. Conventions: KernelConventions.h.
//
// For the pixel in row r and column c of a tile whose first pixel stands at
// image position (x, y), in 32-bit arithmetic:
//   h     = (int32)((uint32)(y + r) * 1103515245 + 12345) >> 3   (arithmetic)
//   index = ((uint32)((x + c) ^ h) * 1103515245 + 12345) >> 3 & 0x3FFF
//   n     = the table byte at index, read as signed 8-bit
// and a sample v with amount m becomes clamp(v + n * m / 128, 0, 1).

#include "kernels/KernelConventions.h"

#include <cstdint>

// Planar: a zero sample stays 0.
using TarrowAddNoisePlanarFn = void (*)(const float* input, float* output, int32_t x, int32_t y,
                                        uint32_t width, int32_t height, float amount,
                                        uint32_t inputStride, uint32_t outputStride);

// RGBA: the same n for the four channels of a pixel, each with its own
// amount; the colour channels always take the noise, the fourth channel only
// where it is above 0 (elsewhere it becomes 0).
using TarrowAddNoiseRGBAFn = void (*)(const float* input, float* output, int32_t x, int32_t y,
                                      uint32_t width, int32_t height, float redAmount,
                                      float greenAmount, float blueAmount, float opacityAmount,
                                      uint32_t inputStride, uint32_t outputStride);

// Entry points through the kernel set chosen for this processor.
extern const TarrowAddNoisePlanarFn TarrowAddNoisePlanar;
extern const TarrowAddNoiseRGBAFn TarrowAddNoiseRGBA;
