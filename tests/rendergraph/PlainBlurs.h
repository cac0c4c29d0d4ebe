#pragma once
// The blurs computed the plain way, pixel by pixel from their definitions,
// to check the nodes' faster roads against: the box blur's running sums
// with a ring as long as each box, the Gaussian's taps as sums over each
// output pixel, the tent as weighted sums of 8-bit levels or of floats.
// Each takes the input surface as the node's region of interest gives it
// and produces the node's output over `rect` at `scale`, bit for bit.

#include "rendergraph/blurs/BNGaussianBlurNode.h"
#include "rendergraph/blurs/BNTentBlurNode.h"

#include <cstddef>
#include <cstdint>

namespace rendergraph_test {

// One box of half-width n along `length` samples `step` floats apart.
void plainBoxLine(float* line, ptrdiff_t step, size_t length, uint32_t n);

BNSurfacePtr plainGaussianBlur(const BNGaussianBlurNode& node, const BNSurface& input, VKRect rect,
                               double scale);

BNSurfacePtr plainTentBlur(const BNTentBlurNode& node, const BNSurface& input, VKRect rect,
                           double scale);

}  // namespace rendergraph_test
