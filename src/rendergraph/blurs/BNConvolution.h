#pragma once
// Surfaces as the image operations (kernels/ImageOps.h) take them, and the
// separable float convolution the blurs share.

#include "kernels/ImageOps.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <cstdint>
#include <vector>

// The surface's pixels: data, height and width in pixels, row bytes.
lf::ImageBuffer BNImageBufferOfSurface(const BNSurface& surface);

// Convolves a one-channel plane by `taps` (an odd count) along its rows into
// a work plane of the input's size, then along the columns into `output`,
// output pixel (x, y) centred on input pixel (x + offsetX, y + offsetY).
// The offsets must keep the kernel within the input. Returns the first
// failing operation's result, or kImageOpNullPointer when the context
// cannot lend the work plane.
lf::ImageOpResult BNConvolveSeparable(const BNSurface& input, BNSurface& output,
                                      const std::vector<float>& taps, uint32_t offsetX,
                                      uint32_t offsetY, BNRenderingContext& context);
