// Gaussian blurs of a 2048 x 2048 opacity plane at radii 5 and 50, through
// the node's render (box blurs above 2 pixels), against a direct separable
// convolution with the Gaussian's taps of the same radius (rows, then
// columns) in the same run. The box blurs cost the same per pixel at any
// radius; the convolution's cost grows with the number of taps. Items are
// output pixels. One plane on one thread measures the blur itself; the
// renderer blurs tiles of at most 1024 x 1024 pixels on every processor.

#include "BenchSupport.h"
#include "kernels/ImageOps.h"
#include "rendergraph/blurs/BNGaussianBlurNode.h"
#include "rendergraph/blurs/BNGaussianKernel.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr double kSide = 2048;

// The input a blur of `radius` reads for a kSide square output: random
// values, grown by the blur's expansion on every side.
BNSurfacePtr inputFor(double radius, uint64_t expansion) {
    auto e = static_cast<double>(expansion);
    auto plane = BNSurface::create(VKRectMake(-e, -e, kSide + 2 * e, kSide + 2 * e), 1.0,
                                   BNChannelMaskOpacity);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (uint64_t y = 0; y < plane->heightInPixels(); ++y)
        for (uint64_t x = 0; x < plane->widthInPixels(); ++x)
            plane->sample(x, y, 0) = unit(random);
    return plane;
}

// A node whose input stands for the plane: the blur reads only the surface.
class PlaneNode final : public BNRenderNode {
public:
    static BNRenderNodePtr create() { return make<PlaneNode>(); }
    explicit PlaneNode(CreationKey) : BNRenderNode({}) {}
    const char* className() const override { return "PlaneNode"; }
    BNChannelMask channels() const override { return BNChannelMaskOpacity; }
};

void BM_GaussianBlur(benchmark::State& state) {
    double radius = double(state.range(0));
    auto node = BNGaussianBlurNode::create(PlaneNode::create(), radius);
    BNSurfacePtr input = inputFor(radius, BNGaussianExpansion(radius));
    auto context = BNRenderingContext::create();
    auto output = BNSurface::create(VKRectMake(0, 0, kSide, kSide), 1.0, BNChannelMaskOpacity);
    for (auto _ : state) {
        node->renderWithOutputSurface(*output, {input}, *context);
        benchmark::DoNotOptimize(output->data());
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kSide * kSide));
    reportPeakMemory(state);
}

void BM_DirectConvolution(benchmark::State& state) {
    double radius = double(state.range(0));
    std::vector<float> taps = BNGaussianTaps(radius);
    BNSurfacePtr input = inputFor(radius, taps.size() / 2);
    auto between = BNSurface::create(input->rect(), 1.0, BNChannelMaskOpacity);
    auto output = BNSurface::create(VKRectMake(0, 0, kSide, kSide), 1.0, BNChannelMaskOpacity);
    auto buffer = [](const BNSurface& surface) {
        return lf::ImageBuffer{surface.data(), uint32_t(surface.heightInPixels()),
                               uint32_t(surface.widthInPixels()), surface.bytesPerRow()};
    };
    auto count = uint32_t(taps.size());
    auto e = count / 2;
    for (auto _ : state) {
        lf::convolvePlanarF(buffer(*input), buffer(*between), 0, 0, taps.data(), 1, count);
        lf::convolvePlanarF(buffer(*between), buffer(*output), e, e, taps.data(), count, 1);
        benchmark::DoNotOptimize(output->data());
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kSide * kSide));
    state.counters["taps"] = double(count);
    reportPeakMemory(state);
}

}  // namespace

BENCHMARK(BM_GaussianBlur)->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectConvolution)->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
