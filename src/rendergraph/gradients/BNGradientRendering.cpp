#include "rendergraph/gradients/BNGradientRendering.h"

#include "kernels/GradientKernels.h"
#include "kernels/KernelRuntime.h"

#include <algorithm>

BNGradientTable::BNGradientTable(BNRenderingContext& context, const BNGradientProvider& provider,
                                 bool premultiply)
    : buffer_(context, 4 * size_t(kEntryCount + 1)) {
    if (!isValid()) return;
    provider.generateRGBAGradientValues(data(), kEntryCount, premultiply);
    std::fill_n(entry(kEntryCount), 4, 0.0f);
}

void BNGradientTable::reverse() {
    for (uint32_t i = 0; i < kEntryCount / 2; ++i)
        std::swap_ranges(entry(i), entry(i) + 4, entry(kEntryCount - 1 - i));
}

void BNAddGradientDither(BNSurface& surface, int32_t x0, int32_t y0, float step) {
    const uint8_t* noise = TarrowGetNoiseTable();
    constexpr uint32_t kRowStep = 1103515245u;
    uint32_t rowCounter = 4u * uint32_t(x0) + uint32_t(y0) * kRowStep + 12345u;
    for (uint64_t j = 0; j < surface.heightInPixels(); ++j, rowCounter += kRowStep) {
        float* pixel = surface.row(j);
        uint32_t counter = rowCounter;
        for (uint64_t i = 0; i < surface.widthInPixels(); ++i, pixel += 4, counter += 4)
            TarrowDitherPixel(pixel, step, [&](uint32_t c) {
                return noise[(counter + c) % kTarrowNoiseTableSize];
            });
    }
}
