// The gradient generators and the distance fields over 2048 x 2048 pixels,
// in megapixels per second ("Mpix/s").
//
// Gradients: each style's kernel through the reference and the AVX2 kernel
// sets side by side, without and with dither; then the node itself (table
// from a provider, kernel through the active set, dither anchored to the
// image) drawing into a surface made once, as a renderer's pool hands one
// out again on every tile after the first. Distance
// fields: the one-sided and centred computations (width 8 pixels, so the
// centred one runs both sweeps) over an anti-aliased disc; they are plain
// code with one form. One thread each: the tiled renderer runs tiles on
// every processor.

#include "BenchSupport.h"
#include "kernels/TarrowKernelSet.h"
#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/gradients/BNAngularGradientNode.h"
#include "rendergraph/gradients/BNDiamondGradientNode.h"
#include "rendergraph/gradients/BNDistance.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"
#include "rendergraph/gradients/BNRadialGradientNode.h"
#include "rendergraph/gradients/BNReflectedGradientNode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kSide = 2048;
constexpr size_t kPixels = size_t(kSide) * kSide;
constexpr uint32_t kStride = kSide * 4 * sizeof(float);
constexpr uint32_t kEntries = 4096;

void report(benchmark::State& state) {
    state.SetItemsProcessed(int64_t(state.iterations() * kPixels));
    state.counters["Mpix/s"] = benchmark::Counter(
        double(state.iterations()) * double(kPixels) / 1e6, benchmark::Counter::kIsRate);
    reportPeakMemory(state);
}

// A premultiplied two-colour gradient of 4096 entries and a zero guard.
class TwoColourGradient final : public BNGradientProvider {
public:
    void generateRGBAGradientValues(float* values, uint64_t count, bool) const override {
        for (uint64_t i = 0; i < count; ++i) {
            const float t = float(i) / float(count - 1);
            const float a = 0.5f + 0.5f * t;
            const float rgba[4] = {(1.0f - t) * a, 0.3f * a, t * a, a};
            std::copy_n(rgba, 4, values + 4 * i);
        }
    }
};

const std::vector<float>& gradientTable() {
    static const std::vector<float> table = [] {
        std::vector<float> entries(4 * (kEntries + 1), 0.0f);
        TwoColourGradient().generateRGBAGradientValues(entries.data(), kEntries, true);
        return entries;
    }();
    return table;
}

enum class Style { angular, diamond, linear, radial, reflected };
const char* const kStyleNames[] = {"angular", "diamond", "linear", "radial", "reflected"};

// Geometry reaching across the plane, in pixels.
void runKernel(const TarrowKernelSet& set, Style style, float* out, bool dither) {
    const float* table = gradientTable().data();
    const float c = kSide / 2.0f;
    switch (style) {
        case Style::angular:
            return set.angularGradient(out, table, 0, 0, kSide, kSide, kStride, kEntries, dither, c,
                                       c, 30.0f);
        case Style::diamond:
            return set.diamondGradient(out, table, 0, 0, kSide, kSide, kStride, kEntries, dither, c,
                                       c, 30.0f, c);
        case Style::linear:
            return set.linearGradient(out, table, 0, 0, kSide, kSide, kStride, kEntries, dither,
                                      100.0f, 200.0f, 1900.0f, 1700.0f);
        case Style::radial:
            return set.radialGradient(out, table, 0, 0, kSide, kSide, kStride, kEntries, dither, c,
                                      c, c);
        case Style::reflected:
            return set.reflectedGradient(out, table, 0, 0, kSide, kSide, kStride, kEntries, dither,
                                         100.0f, 200.0f, 1900.0f, 1700.0f);
    }
}

void BM_GradientKernel(benchmark::State& state, TarrowIsa isa, Style style, bool dither) {
    const TarrowKernelSet* set = TarrowKernelSetFor(isa);
    if (!set) {
        state.SkipWithError("this processor cannot run this kernel set");
        return;
    }
    std::vector<float> out(kPixels * 4);
    for (auto _ : state) {
        runKernel(*set, style, out.data(), dither);
        benchmark::ClobberMemory();
    }
    report(state);
}

BNRenderNodePtr gradientNode(Style style, bool dither) {
    auto provider = std::make_shared<TwoColourGradient>();
    const double c = kSide / 2.0;
    switch (style) {
        case Style::angular:
            return BNAngularGradientNode::create({c, c}, 30, provider, dither);
        case Style::diamond:
            return BNDiamondGradientNode::create({c, c}, 30, c, provider, dither);
        case Style::linear:
            return BNLinearGradientNode::create({100, 200}, {1900, 1700}, provider, dither);
        case Style::radial:
            return BNRadialGradientNode::create({c, c}, c, provider, dither);
        case Style::reflected:
            return BNReflectedGradientNode::create({100, 200}, {1900, 1700}, provider, dither);
    }
    return nullptr;
}

void BM_GradientNode(benchmark::State& state, Style style, bool dither) {
    BNRenderNodePtr node = gradientNode(style, dither);
    auto context = BNRenderingContext::create();
    BNSurfacePtr surface = BNSurface::create(VKRectMake(0, 0, kSide, kSide), 1.0, 15);
    for (auto _ : state) {
        node->renderWithOutputSurface(*surface, {}, *context);
        benchmark::ClobberMemory();
    }
    report(state);
}

// An anti-aliased disc filling most of the plane.
const std::vector<float>& discCoverage() {
    static const std::vector<float> plane = [] {
        std::vector<float> coverage(kPixels);
        for (uint32_t y = 0; y < kSide; ++y)
            for (uint32_t x = 0; x < kSide; ++x) {
                const double d = std::hypot(x + 0.5 - kSide / 2.0, y + 0.5 - kSide / 2.0);
                coverage[size_t(y) * kSide + x] = float(std::clamp(900.0 - d, 0.0, 1.0));
            }
        return coverage;
    }();
    return plane;
}

void BM_Distance(benchmark::State& state, bool centred) {
    std::vector<float> input = discCoverage(), field(kPixels);
    BNDistancePlanes planes;
    planes.input = {kSide, kSide, kSide, input.data()};
    planes.field = {kSide, kSide, kSide, field.data()};
    for (auto _ : state) {
        if (centred)
            BNCentredDistance(BNDistanceTechniqueEdgeAnchored, planes, 8.0);
        else
            BNOneSidedDistance(false, planes, 8.0);
        benchmark::ClobberMemory();
    }
    report(state);
}

const bool registered = [] {
    for (int s = 0; s < 5; ++s) {
        const auto style = Style(s);
        for (bool dither : {false, true}) {
            const std::string suffix = dither ? "/dither" : "/plain";
            for (TarrowIsa isa : {TarrowIsa::reference, TarrowIsa::avx2}) {
                const std::string name = std::string("gradientKernel/") + kStyleNames[s] + suffix +
                                         (isa == TarrowIsa::reference ? "/reference" : "/avx2");
                benchmark::RegisterBenchmark(name.c_str(), BM_GradientKernel, isa, style, dither)
                    ->Unit(benchmark::kMillisecond);
            }
            benchmark::RegisterBenchmark(
                (std::string("gradientNode/") + kStyleNames[s] + suffix).c_str(), BM_GradientNode,
                style, dither)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("distance/oneSided", BM_Distance, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("distance/centred", BM_Distance, true)
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
