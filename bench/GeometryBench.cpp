// The exact boolean operation on two closed paths of 200 cubic segments
// each, against Clipper on the same paths flattened (flattening and
// converting back included, and Clipper alone); stroking a path of 10,000
// cubic segments, against Clipper's offsetting of the same path flattened.

#include "BenchSupport.h"
#include "geometry/VKCompoundPath.h"
#include "geometry/VKPathAccumulator.h"
#include "geometry/VKPathStroker.h"
#include "geometry/VKPolygonBoolean.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kFlatness = 0.05;  // a twentieth of a unit, as a renderer would flatten

// A wavy closed curve of `count` smooth cubic segments around `center`.
std::shared_ptr<const VKPath> wavyCurve(VKPoint center, double radius, double wobble, int waves,
                                        int count, bool closed = true) {
    auto at = [&](double a) {
        double r = radius + wobble * std::sin(waves * a);
        return VKPoint{center.x + r * std::cos(a), center.y + r * std::sin(a)};
    };
    double step = 2 * std::numbers::pi / count;
    std::vector<VKKnot> knots;
    for (int i = 0; i < count; ++i) {
        double a = i * step, h = 1e-6;
        VKPoint d = (at(a + h) - at(a - h)) * (step / (2 * h) / 3);  // Hermite to Bezier
        VKPoint p = at(a);
        knots.push_back({p - d, p, p + d, 1});
    }
    return std::make_shared<VKPath>(std::move(knots), closed);
}

const VKCompoundPath& operandA() {
    static VKCompoundPath path({wavyCurve({0, 0}, 500, 40, 13, 200)});
    return path;
}

const VKCompoundPath& operandB() {
    static VKCompoundPath path({wavyCurve({150, 80}, 480, 50, 11, 200)});
    return path;
}

void BM_ExactBoolean(benchmark::State& state) {
    int operation = static_cast<int>(state.range(0));
    size_t resultSegments = 0;
    for (auto _ : state) {
        auto result =
            operandA().compoundPathByPerformingOperation(VKBooleanOperation(operation), operandB());
        resultSegments = 0;
        for (const auto& p : result->paths())
            resultSegments += p->numberOfSegments();
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations() * 400);
    state.counters["result_segments"] = double(resultSegments);
    reportPeakMemory(state);
}

void BM_ClipperBoolean(benchmark::State& state) {
    int operation = static_cast<int>(state.range(0));
    size_t resultPoints = 0;
    for (auto _ : state) {
        auto result = VKPolygonBooleanOperation(operandA(), VKBooleanOperation(operation),
                                                operandB(), kFlatness);
        resultPoints = 0;
        for (const auto& p : result->paths())
            resultPoints += p->numberOfKnots();
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations() * 400);
    state.counters["result_points"] = double(resultPoints);
    reportPeakMemory(state);
}

void BM_ClipperExecuteOnly(benchmark::State& state) {
    static const ClipperLib::ClipType kTypes[] = {ClipperLib::ctUnion, ClipperLib::ctDifference,
                                                  ClipperLib::ctIntersection, ClipperLib::ctXor};
    ClipperLib::Paths a = VKClipperPathsFromCompoundPath(operandA(), kFlatness);
    ClipperLib::Paths b = VKClipperPathsFromCompoundPath(operandB(), kFlatness);
    for (auto _ : state) {
        ClipperLib::Clipper clipper;
        clipper.AddPaths(a, ClipperLib::ptSubject, true);
        clipper.AddPaths(b, ClipperLib::ptClip, true);
        ClipperLib::Paths solution;
        clipper.Execute(kTypes[state.range(0)], solution, ClipperLib::pftNonZero,
                        ClipperLib::pftNonZero);
        benchmark::DoNotOptimize(solution);
    }
    state.SetItemsProcessed(state.iterations() * 400);
}

const VKPath& longPath() {
    static auto path = wavyCurve({0, 0}, 5000, 60, 97, 10000, false);
    return *path;
}

void BM_Stroke(benchmark::State& state) {
    VKStrokeStyle style;
    style.setWidth(6);
    style.setJoin(VKLineJoinRound);
    style.setCap(VKLineCapRound);
    for (auto _ : state) {
        auto accumulator = std::make_shared<VKPathAccumulator>();
        VKPathStroker stroker(accumulator, style);
        longPath().applyToPathConsumer(stroker);
        benchmark::DoNotOptimize(accumulator->paths());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    reportPeakMemory(state);
}

void BM_ClipperOffsetStroke(benchmark::State& state) {
    for (auto _ : state) {
        ClipperLib::Paths flattened = VKClipperPathsFromCompoundPath(
            VKCompoundPath({std::make_shared<VKPath>(longPath())}), kFlatness);
        ClipperLib::ClipperOffset offset(2.0, kFlatness * VKClipperScale);
        offset.AddPaths(flattened, ClipperLib::jtRound, ClipperLib::etOpenRound);
        ClipperLib::Paths solution;
        offset.Execute(solution, 3.0 * VKClipperScale);
        benchmark::DoNotOptimize(solution);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    reportPeakMemory(state);
}

}  // namespace

BENCHMARK(BM_ExactBoolean)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClipperBoolean)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClipperExecuteOnly)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Stroke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClipperOffsetStroke)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
