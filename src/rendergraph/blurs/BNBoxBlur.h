#pragma once
// Box blurs by running sums over a one-channel float plane, in place: the
// large Gaussian blurs are a series of them (BNGaussianKernel.h).
//
// One box of half-width n blurs the rows and then the columns of a block of
// the plane. Along each line of L samples, with a running sum in double:
// the first 2n samples are added; then for k = 0 .. L - 2n - 1, sample
// 2n + k is added, clamp(sum * (1 / (2n + 1)), 0, 1) is written as a float
// to sample n + k, and sample k (as it was before it was overwritten) is
// subtracted. The samples within n of either end of a line keep their
// values; after the box, the block that holds blurred values has shrunk by
// n on every side, and the next box works on that block.
//
// Rows are summed in groups and columns across the whole width, so that the
// arithmetic of many lines runs side by side, and the two passes of a box
// run in one sweep down the plane; each line still sees exactly the
// operations above, in that order.

#include "rendergraph/core/BNRenderingContext.h"

#include <cstdint>
#include <vector>

// Runs the boxes of `halfWidths`, in order, over the `width` by `height`
// plane at `data` (rows `bytesPerRow` apart). The blurred result is the
// block inset by the sum of the half-widths. Returns false, leaving the
// plane as it was, when the context cannot lend the working memory.
bool BNBoxBlurPlane(float* data, uint64_t width, uint64_t height, uint64_t bytesPerRow,
                    const std::vector<uint32_t>& halfWidths, BNRenderingContext& context);
