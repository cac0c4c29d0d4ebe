// The renderer against the plain reference renderer of the tests, and the
// scanline path rasteriser against brute-force point sampling, each pair in
// the same run (the reference first; "speedup" is its time over the
// other's).
//
// Blend chain: 30 blends, one after another, of 1024 x 1024 RGBA surfaces
// in a mix of modes. The renderer blends each over its background in place
// and takes surfaces from its pool; the reference allocates, clears, copies
// and blends every step. Items are blended pixels.
//
// Rasteriser: a compound path of a 96-point star, a ring of ellipses and a
// polygon with holes, combined by add, exclude and subtract, over 192 x 192
// pixels at 16 x 16 sub-samples. Items are sub-samples.
//
// Stroke in tiles: the 6-point stroke of the star and the ring, rendered as
// 64 tiles of 24 x 24 pixels, as a tiled render asks for them; the
// reference strokes the paths again for every tile, the stroke node
// outlines them once and rasterises each tile from the outline. Items are
// pixels.

#include "BenchSupport.h"
#include "BruteForceCoverage.h"
#include "ReferenceRenderer.h"
#include "TestPaths.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/core/BNPathRasterizer.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/geometry/BNCompoundPathStrokeNode.h"
#include "rendergraph/images/BNConstantColorNode.h"

#include <benchmark/benchmark.h>

#include <cmath>

using namespace rendergraph_test;

namespace {

// Runs `body` for the benchmark's iterations; returns seconds per iteration.
template <class Body>
double timed(benchmark::State& state, int64_t itemsPerIteration, Body body) {
    const double seconds = timedSecondsPerIteration(state, body);
    state.SetItemsProcessed(state.iterations() * itemsPerIteration);
    return seconds;
}

// ---- Blend chain --------------------------------------------------------

constexpr int kBlends = 30;
constexpr double kSide = 1024;
double referenceChainSeconds = 0;

BNRenderNodePtr blendChain() {
    static BNRenderNodePtr chain = [] {
        BNRenderNodePtr node =
            BNConstantColorNode::create({0.3, 0.5, 0.7, 1, 0}, BNChannelMaskRGBA);
        for (int i = 0; i < kBlends; ++i) {
            double t = i / double(kBlends);
            auto color =
                BNConstantColorNode::create({t, 1 - t, 0.5, 0.4 + 0.5 * t, 0}, BNChannelMaskRGBA);
            node = BNBlendNode::create(node, color, BNBlendMode((i * 7) % kTarrowBlendModeCount),
                                       1.0, 0.8);
        }
        return node;
    }();
    return chain;
}

void BM_BlendChainReference(benchmark::State& state) {
    BNRenderNodePtr chain = blendChain();
    referenceChainSeconds = timed(state, int64_t(kSide * kSide) * kBlends, [&] {
        benchmark::DoNotOptimize(
            ReferenceRenderer().render(chain, VKRectMake(0, 0, kSide, kSide), 1.0));
    });
}

void BM_BlendChainRenderer(benchmark::State& state) {
    BNRenderNodePtr chain = blendChain();
    double seconds = timed(state, int64_t(kSide * kSide) * kBlends, [&] {
        benchmark::DoNotOptimize(
            BNRenderer().renderNode(chain, VKRectMake(0, 0, kSide, kSide), 1.0));
    });
    if (referenceChainSeconds > 0) state.counters["speedup"] = referenceChainSeconds / seconds;
}

// ---- Rasteriser ---------------------------------------------------------

constexpr uint64_t kPixels = 192;
double bruteForceSeconds = 0;

struct ComplexPath {
    BNCompoundPathList paths;
    std::vector<VKBooleanOperation> operations;
};

const ComplexPath& complexPath() {
    static ComplexPath shape = [] {
        std::vector<VKPoint> star;
        for (int i = 0; i < 96; ++i) {
            double angle = i * M_PI / 48, radius = i % 2 ? 40 : 92;
            star.push_back({96 + radius * std::cos(angle), 96 + radius * std::sin(angle)});
        }
        std::vector<PathPtr> ring;
        for (int i = 0; i < 12; ++i) {
            double angle = i * M_PI / 6;
            ring.push_back(ellipsePath(VKRectMake(96 + 60 * std::cos(angle) - 14,
                                                  96 + 55 * std::sin(angle) - 10, 28, 20)));
        }
        auto holes = compoundPathOf({polygonPath({{20, 20}, {172, 30}, {160, 170}, {30, 160}}),
                                     polygonPath({{60, 60}, {130, 64}, {120, 128}, {66, 120}})},
                                    VKFillRuleEvenOdd);
        return ComplexPath{
            {polygon(star), compoundPathOf(ring), holes},
            {VKBooleanOperationAdd, VKBooleanOperationExclude, VKBooleanOperationSubtract}};
    }();
    return shape;
}

void BM_RasterizerBruteForce(benchmark::State& state) {
    const ComplexPath& shape = complexPath();
    BruteForceRaster raster{kPixels, kPixels, 0, 0, 1.0, 16};
    bruteForceSeconds = timed(state, int64_t(kPixels * kPixels * 256), [&] {
        benchmark::DoNotOptimize(bruteForceCoverage(shape.paths, shape.operations, false, raster));
    });
}

void BM_Rasterizer(benchmark::State& state) {
    const ComplexPath& shape = complexPath();
    std::vector<float> plane(kPixels * kPixels);
    BNCoverageBitmap bitmap{kPixels, kPixels, kPixels, plane.data()};
    double seconds = timed(state, int64_t(kPixels * kPixels * 256), [&] {
        BNRasterizeCompoundPaths(shape.paths, shape.operations, false, bitmap, 0, 0, 1.0, 16, 16);
        benchmark::DoNotOptimize(plane.data());
    });
    if (bruteForceSeconds > 0) state.counters["speedup"] = bruteForceSeconds / seconds;
}

// ---- Stroke in tiles ----------------------------------------------------

constexpr uint64_t kTile = 24, kTilesPerSide = kPixels / kTile;
double strokeReferenceSeconds = 0;

const VKCompoundPath& strokedPath() {
    static const VKCompoundPath path = [] {
        VKCompoundPath::PathList paths = complexPath().paths[0]->paths();
        for (const auto& ellipse : complexPath().paths[1]->paths())
            paths.push_back(ellipse);
        return VKCompoundPath(paths);
    }();
    return path;
}

VKStrokeStyle strokeStyle() {
    VKStrokeStyle style;
    style.setWidth(6);
    return style;
}

// Calls `renderTile` with each tile's rectangle, row by row.
template <class RenderTile>
void forEachTile(RenderTile renderTile) {
    for (uint64_t ty = 0; ty < kTilesPerSide; ++ty)
        for (uint64_t tx = 0; tx < kTilesPerSide; ++tx)
            renderTile(VKRectMake(double(tx * kTile), double(ty * kTile), kTile, kTile));
}

void BM_StrokeTilesReference(benchmark::State& state) {
    std::vector<float> plane(kTile * kTile);
    BNCoverageBitmap bitmap{kTile, kTile, kTile, plane.data()};
    strokeReferenceSeconds = timed(state, int64_t(kPixels * kPixels), [&] {
        forEachTile([&](VKRect tile) {
            BNRasterizeStrokedCompoundPath(strokedPath(), strokeStyle(), false, false, bitmap,
                                           tile.origin.x, tile.origin.y, 1.0, 16, 16);
            benchmark::DoNotOptimize(plane.data());
        });
    });
}

void BM_StrokeTilesNode(benchmark::State& state) {
    auto node = BNCompoundPathStrokeNode::create(std::make_shared<VKCompoundPath>(strokedPath()),
                                                 strokeStyle(), false, false);
    double seconds = timed(state, int64_t(kPixels * kPixels), [&] {
        forEachTile([&](VKRect tile) {
            benchmark::DoNotOptimize(BNRenderer().renderNode(node, tile, 1.0));
        });
    });
    if (strokeReferenceSeconds > 0) state.counters["speedup"] = strokeReferenceSeconds / seconds;
}

BENCHMARK(BM_BlendChainReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlendChainRenderer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterizerBruteForce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rasterizer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeTilesReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeTilesNode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
