// Each blend mode over a 2048 x 2048 RGBA float plane, reference and vector
// forms side by side, against memcpy of the same plane in the same run (the
// memory-bandwidth limit). Bytes counted are those read and written: two
// planes for memcpy, three for a blend (background and foreground read,
// output written). "of_memcpy" is the share of memcpy's bandwidth reached;
// memcpy runs first. The renderer blends tiles of at most 1024 x 1024 pixels
// on every processor; one large plane on one thread measures the kernel.

#include "BenchSupport.h"
#include "kernels/TarrowKernelSet.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kSide = 2048;
constexpr size_t kFloats = size_t(kSide) * kSide * 4;
constexpr size_t kPlaneBytes = kFloats * sizeof(float);
constexpr uint32_t kStride = kSide * 4 * sizeof(float);

double memcpyBytesPerSecond = 0;

// Premultiplied pixels of random colour and opacity.
std::vector<float> randomPlane(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<float> plane(kFloats);
    for (size_t i = 0; i < kFloats; i += 4) {
        const float a = unit(random);
        for (int c = 0; c < 3; ++c)
            plane[i + c] = unit(random) * a;
        plane[i + 3] = a;
    }
    return plane;
}

struct Planes {
    std::vector<float> background = randomPlane(1), foreground = randomPlane(2),
                       output = std::vector<float>(kFloats);
};
Planes& planes() {
    static Planes shared;
    return shared;
}

// Runs `body` for the benchmark's iterations and returns bytes per second.
template <class Body>
double timed(benchmark::State& state, size_t bytesPerIteration, Body body) {
    const double seconds = timedSecondsPerIteration(state, body);
    state.SetBytesProcessed(int64_t(state.iterations() * bytesPerIteration));
    return double(bytesPerIteration) / seconds;
}

void BM_Memcpy(benchmark::State& state) {
    Planes& p = planes();
    memcpyBytesPerSecond = timed(state, 2 * kPlaneBytes, [&] {
        std::memcpy(p.output.data(), p.background.data(), kPlaneBytes);
    });
}

void BM_Blend(benchmark::State& state, TarrowIsa isa, bool fillAware, int mode) {
    const TarrowKernelSet* set = TarrowKernelSetFor(isa);
    if (!set) {
        state.SkipWithError("this processor cannot run this kernel set");
        return;
    }
    const TarrowBlendFn kernel = (fillAware ? set->fillAwareBlend : set->plainBlend)[mode];
    Planes& p = planes();
    const double rate = timed(state, 3 * kPlaneBytes, [&] {
        kernel(p.background.data(), p.foreground.data(), p.output.data(), 0, 0, kSide, kSide,
               kStride, kStride, kStride, 0.8f);
    });
    if (memcpyBytesPerSecond > 0) state.counters["of_memcpy"] = rate / memcpyBytesPerSecond;
}

const char* const kModeNames[kTarrowBlendModeCount] = {
    "normal",      "dissolve",   "darken",    "multiply",   "colorBurn",   "linearBurn",
    "darkerColor", "lighten",    "screen",    "colorDodge", "linearDodge", "lighterColor",
    "overlay",     "softLight",  "hardLight", "vividLight", "linearLight", "pinLight",
    "hardMix",     "difference", "exclusion", "subtract",   "divide",      "hue",
    "saturation",  "color",      "luminosity"};

const bool registered = [] {
    benchmark::RegisterBenchmark("memcpy", BM_Memcpy)->Unit(benchmark::kMillisecond);
    const int fillAwareModes[] = {4, 5, 9, 10, 15, 16, 18, 19};
    for (bool fillAware : {false, true})
        for (int mode = 0; mode < kTarrowBlendModeCount; ++mode) {
            if (fillAware && std::find(std::begin(fillAwareModes), std::end(fillAwareModes),
                                       mode) == std::end(fillAwareModes))
                continue;
            for (TarrowIsa isa : {TarrowIsa::reference, TarrowIsa::avx2}) {
                const std::string name = std::string(fillAware ? "fillAware/" : "plain/") +
                                         kModeNames[mode] +
                                         (isa == TarrowIsa::reference ? "/reference" : "/avx2");
                benchmark::RegisterBenchmark(name.c_str(), BM_Blend, isa, fillAware, mode)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
