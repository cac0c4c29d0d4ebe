#include "rendergraph/blurs/BNConvolution.h"

#include "rendergraph/core/BNScratchBuffer.h"

lf::ImageBuffer BNImageBufferOfSurface(const BNSurface& surface) {
    return {surface.data(), static_cast<uint32_t>(surface.heightInPixels()),
            static_cast<uint32_t>(surface.widthInPixels()), surface.bytesPerRow()};
}

lf::ImageOpResult BNConvolveSeparable(const BNSurface& input, BNSurface& output,
                                      const std::vector<float>& taps, uint32_t offsetX,
                                      uint32_t offsetY, BNRenderingContext& context) {
    BNScratchBuffer<float> work(context, input.heightInPixels() * input.bytesPerRow() / 4);
    if (!work.isValid()) return lf::kImageOpNullPointer;
    lf::ImageBuffer from = BNImageBufferOfSurface(input);
    lf::ImageBuffer between = from;
    between.data = work.data();
    auto count = static_cast<uint32_t>(taps.size());
    lf::ImageOpResult result = lf::convolvePlanarF(from, between, 0, 0, taps.data(), 1, count);
    if (result != lf::kImageOpNoError) return result;
    return lf::convolvePlanarF(between, BNImageBufferOfSurface(output), offsetX, offsetY,
                               taps.data(), count, 1);
}
