// What the kit's caches save: a localizer's answer for a key it has seen,
// against the first lookup of that key (variants built from the table),
// and the timing function of a short animation, answered from its cells,
// against a long one, solved at every time.

#include "BenchSupport.h"
#include "kit/Bundle.h"
#include "kit/OMAnimationTimingFunction.h"
#include "kit/OMLocalizer.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

// A bundle folder with the kind of table the flows read, removed at exit.
class BenchBundle {
public:
    BenchBundle() {
        folder_ = std::filesystem::temp_directory_path() /
                  ("layerflow-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_ / "strings");
        std::ofstream(folder_ / "strings" / "Localizable.json") << R"json({
            "flow.status.saved": "Saved",
            "flow.status.saved (item-count:%@)": "Saved %@ items",
            "flow.status.repeat": "@alias flow.status.saved"
        })json";
        bundle_ = std::make_shared<const lf::Bundle>(folder_);
    }
    ~BenchBundle() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::shared_ptr<const lf::Bundle>& bundle() const { return bundle_; }

private:
    std::filesystem::path folder_;
    std::shared_ptr<const lf::Bundle> bundle_;
};

const BenchBundle& benchBundle() {
    static BenchBundle shared;
    return shared;
}

const OMLocalizerArguments kArguments = {{"item-count", "12"}};
const std::vector<std::string> kArgumentKeys = {"item-count"};

double firstLookupSeconds = 0;
double solvedSeconds = 0;

void BM_LocalizerFirstLookup(benchmark::State& state) {
    const auto& bundle = benchBundle().bundle();
    (void)bundle->localizedString("flow.status.saved");  // the table is read once, not timed
    firstLookupSeconds = timedSecondsPerIteration(state, [&] {
        OMLocalizer localizer(bundle);
        benchmark::DoNotOptimize(
            localizer.localizedStringForKey("flow.status.repeat", kArguments, kArgumentKeys));
    });
    state.SetItemsProcessed(state.iterations());
}

void BM_LocalizerCachedLookup(benchmark::State& state) {
    OMLocalizer localizer(benchBundle().bundle());
    (void)localizer.localizedStringForKey("flow.status.repeat", kArguments, kArgumentKeys);
    const double seconds = timedSecondsPerIteration(state, [&] {
        benchmark::DoNotOptimize(
            localizer.localizedStringForKey("flow.status.repeat", kArguments, kArgumentKeys));
    });
    state.SetItemsProcessed(state.iterations());
    if (firstLookupSeconds > 0) state.counters["speedup"] = firstLookupSeconds / seconds;
}

// One frame of each of 480 steps through the animation.
double sweep(const OMAnimationTimingFunction& function, double duration) {
    double sum = 0;
    for (int frame = 0; frame < 480; ++frame)
        sum += function.evaluateWithTime(duration * frame / 480.0, duration);
    return sum;
}

void BM_TimingFunctionSolved(benchmark::State& state) {
    const auto& function = *OMAnimationTimingFunction::defaultTimingFunction();
    solvedSeconds =
        timedSecondsPerIteration(state, [&] { benchmark::DoNotOptimize(sweep(function, 8.0)); });
    state.SetItemsProcessed(state.iterations() * 480);
}

void BM_TimingFunctionCached(benchmark::State& state) {
    const auto& function = *OMAnimationTimingFunction::defaultTimingFunction();
    (void)sweep(function, 2.0);  // fills the cells
    const double seconds =
        timedSecondsPerIteration(state, [&] { benchmark::DoNotOptimize(sweep(function, 2.0)); });
    state.SetItemsProcessed(state.iterations() * 480);
    if (solvedSeconds > 0) state.counters["speedup"] = solvedSeconds / seconds;
}

}  // namespace

BENCHMARK(BM_LocalizerFirstLookup);
BENCHMARK(BM_LocalizerCachedLookup);
BENCHMARK(BM_TimingFunctionSolved);
BENCHMARK(BM_TimingFunctionCached);
BENCHMARK_MAIN();
