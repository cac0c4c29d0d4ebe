// Whole processes, as a user runs them: tools/render-psd rendering a
// generated benchmark document (BenchDocuments.h) without encoding it,
// pinned with taskset to one processor and to all of them, and ImageMagick's
// flatten of the same document as a peer. Each figure comes from processes
// started in the same run; manual time is the all-processor run's.
//
// Counters:
// - "speedup": one processor's wall time over all processors'; "of_aim":
//   speedup over 0.6 times the processor count (the aim is 1 or more).
// - "faults_1", "faults_all": minor page faults of the two processes;
//   "extra_MiB_per_worker": the pages the extra workers first touched, in
//   MiB per worker; "of_worker_cache": that over one worker's buffer cache
//   bound (BNBufferCache::kMaxBytesPerThread): 1 or less means the workers
//   touch no more memory than their warm caches hold.
// - "peak_MiB": the all-processor process's peak resident memory.
// - BM_TileSize: "<size>pt_over_default", the wall time at each tile size
//   over the default tile size's, at 1, 2, 4 and 8 processors (as many as
//   there are).
// - BM_ImageMagickPeer: "peer_over_layerflow", the peer's wall time over
//   render-psd's on all processors, and both peaks.
#include "BenchDocuments.h"
#include "compositing/QFTilingHelper.h"
#include "platform/SystemInfo.h"
#include "rendergraph/BNBufferCache.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

struct ProcessRun {
    bool ok = false;
    double seconds = 0;
    double faults = 0;
    double peakMiB = 0;
};

// Runs `arguments` (found on PATH) with its output discarded and waits.
ProcessRun run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ProcessRun result;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return result;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.faults = double(usage.ru_minflt);
    result.peakMiB = double(usage.ru_maxrss) / 1024.0;
    return result;
}

// render-psd on the first `processors` processors; the faster of two runs.
ProcessRun renderPSD(const std::string& document, int processors, double tile) {
    ProcessRun best;
    for (int i = 0; i < 2; ++i) {
        ProcessRun attempt = run({"taskset", "-c", "0-" + std::to_string(processors - 1),
                                  LF_RENDER_PSD, document, "--tile", std::to_string(tile)});
        if (!attempt.ok) return attempt;
        if (!best.ok || attempt.seconds < best.seconds) best = attempt;
    }
    return best;
}

std::string documentPath(benchmark::State& state) {
    std::string error;
    auto path = BenchDocumentPath(kBenchDocuments[state.range(0)], &error);
    if (path.empty()) state.SkipWithError(error.c_str());
    state.SetLabel(kBenchDocuments[state.range(0)].name());
    return path.string();
}

constexpr double kDefaultTile = QFTilingHelper::kDefaultTileSize.width;

void BM_RenderProcess(benchmark::State& state) {
    std::string document = documentPath(state);
    if (document.empty()) return;
    int all = lf::activeProcessorCount();
    for (auto _ : state) {
        ProcessRun one = renderPSD(document, 1, kDefaultTile);
        ProcessRun many = renderPSD(document, all, kDefaultTile);
        if (!one.ok || !many.ok) return state.SkipWithError("render-psd failed");
        state.SetIterationTime(many.seconds);
        double speedup = one.seconds / many.seconds;
        state.counters["speedup"] = speedup;
        state.counters["of_aim"] = all > 1 ? speedup / (0.6 * all) : 1.0;
        state.counters["faults_1"] = one.faults;
        state.counters["faults_all"] = many.faults;
        double extraMiB = all > 1 ? (many.faults - one.faults) * 4096.0 / (all - 1) / 1048576.0 : 0;
        state.counters["extra_MiB_per_worker"] = extraMiB;
        state.counters["of_worker_cache"] =
            extraMiB / (double(BNBufferCache::kMaxBytesPerThread) / 1048576.0);
        state.counters["peak_MiB"] = many.peakMiB;
    }
}

void BM_TileSize(benchmark::State& state) {
    std::string document = documentPath(state);
    if (document.empty()) return;
    int processors = int(state.range(1));
    if (processors > lf::activeProcessorCount())
        return state.SkipWithError("fewer processors on this machine");
    for (auto _ : state) {
        ProcessRun base = renderPSD(document, processors, kDefaultTile);
        if (!base.ok) return state.SkipWithError("render-psd failed");
        state.SetIterationTime(base.seconds);
        for (double tile : {128.0, 192.0, 384.0, 512.0}) {
            ProcessRun other = renderPSD(document, processors, tile);
            if (!other.ok) return state.SkipWithError("render-psd failed");
            std::string name = std::to_string(int(tile));
            name += "pt_over_default";
            state.counters[name] = other.seconds / base.seconds;
        }
    }
}

void BM_ImageMagickPeer(benchmark::State& state) {
    std::string document = documentPath(state);
    if (document.empty()) return;
    for (auto _ : state) {
        ProcessRun ours = renderPSD(document, lf::activeProcessorCount(), kDefaultTile);
        ProcessRun peer = run({"convert", document, "-flatten", "null:"});
        if (!peer.ok)
            return state.SkipWithError(
                "ImageMagick's convert is not there or failed (Debian's resource policy "
                "caps its pixel cache at 256 MiB of memory and 1 GiB of disk)");
        if (!ours.ok) return state.SkipWithError("render-psd failed");
        state.SetIterationTime(peer.seconds);
        state.counters["peer_over_layerflow"] = peer.seconds / ours.seconds;
        state.counters["peer_peak_MiB"] = peer.peakMiB;
        state.counters["layerflow_peak_MiB"] = ours.peakMiB;
    }
}

void documents(benchmark::internal::Benchmark* b) {
    for (int64_t i = 0; i < int64_t(std::size(kBenchDocuments)); ++i)
        b->Arg(i);
}

void documentsAndProcessors(benchmark::internal::Benchmark* b) {
    for (int64_t i = 0; i < int64_t(std::size(kBenchDocuments)); ++i)
        for (int64_t processors : {1, 2, 4, 8})
            b->Args({i, processors});
}

}  // namespace

BENCHMARK(BM_RenderProcess)
    ->Apply(documents)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TileSize)
    ->Apply(documentsAndProcessors)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickPeer)
    ->Apply(documents)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
