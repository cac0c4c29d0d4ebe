// The updater's check of an unpacked application's links against the time
// it may take: 99,990 links, each "x/" 800 times, then "../" 800 times, then
// "version", all inside the application, beside a chain of real folders
// "x" as deep as an update may go; checked on one thread. A link's check
// takes time linear in its length, so the whole stays far below the limit.

#include "BenchSupport.h"
#include "updater/unpacking/OMAUUnpackedContents.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int kLinks = 99990;
constexpr int kClimb = 800;
// What the check may take for these links on one processor.
constexpr double kLimitSeconds = 10;

// The application, written once, removed at exit.
class LinkedApplication {
public:
    LinkedApplication() {
        folder_ = std::filesystem::temp_directory_path() /
                  ("layerflow-bench-links-" + std::to_string(::getpid()));
        const std::filesystem::path application = folder_ / "layerflow.app";
        std::filesystem::path chain = application;
        for (uint64_t depth = 2; depth <= kOMAUDefaultMaximumDepth; ++depth)
            chain /= "x";
        std::filesystem::create_directories(chain);
        std::ofstream(application / "version") << "2.0";
        std::string target;
        for (int i = 0; i < kClimb; ++i)
            target += "x/";
        for (int i = 0; i < kClimb; ++i)
            target += "../";
        target += "version";
        for (int i = 0; i < kLinks; ++i)
            std::filesystem::create_symlink(target, application / ("link" + std::to_string(i)));
    }
    ~LinkedApplication() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

void BM_LinkCheck(benchmark::State& state) {
    static const LinkedApplication application;
    const double seconds = timedSecondsPerIteration(state, [&] {
        lf::Status checked =
            OMAUCheckExtractedContents(application.folder().string(), "layerflow.app");
        if (!checked) state.SkipWithError(checked.error().localizedDescription().c_str());
    });
    state.SetItemsProcessed(state.iterations() * kLinks);
    state.counters["of_limit"] = seconds / kLimitSeconds;
}
BENCHMARK(BM_LinkCheck)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
