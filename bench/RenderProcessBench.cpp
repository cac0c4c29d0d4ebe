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
// - BM_StraightColour: the conversion to straight colour that every tile of
//   render-psd runs on its worker (lf::unpremultiplyRGBA), timed in this
//   process on one thread over two premultiplied renders of each 8-bit
//   document: its "Cards" group alone, as a tagged group is exported
//   (clear, opaque and edge pixels), and the whole document without its
//   background (translucent almost everywhere). "before_over_now": the
//   time of the conversion as it was before the tiles' conversion moved
//   into the platform layer (blocks divided as planes, vectorised by the
//   compiler) over the time of the conversion now (1 or more: at least as
//   fast as before).
#include "BenchDocuments.h"
#include "DocumentRender.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/tiling/QFTilingHelper.h"
#include "platform/core/Log.h"
#include "platform/core/SystemInfo.h"
#include "platform/images/RGBABuffer.h"
#include "rendergraph/core/BNBufferCache.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
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

// The straight-colour conversion as it was before: opaque blocks of 8
// pixels kept, clear ones cleared, and the others split into planes and
// divided in single precision, which the compiler vectorises.
void unpremultiplyAsPlanes(const uint8_t* source, uint8_t* destination, size_t count) {
    constexpr size_t kBlock = 8;
    auto divide = [](const uint8_t* in, uint8_t* out, size_t n) {
        uint8_t planes[4][kBlock] = {};
        for (size_t j = 0; j < n; ++j)
            for (int k = 0; k < 4; ++k)
                planes[k][j] = in[j * 4 + k];
        float divisor[kBlock];
        for (size_t j = 0; j < kBlock; ++j)
            divisor[j] = float(planes[3][j] > 0 ? planes[3][j] : 1);
        for (int k = 0; k < 3; ++k)
            for (size_t j = 0; j < kBlock; ++j) {
                int a = planes[3][j], c = std::min<int>(planes[k][j], a);
                planes[k][j] = uint8_t(a > 0 ? int(float(c * 255 + a / 2) / divisor[j]) : 0);
            }
        for (size_t j = 0; j < n; ++j)
            for (int k = 0; k < 4; ++k)
                out[j * 4 + k] = planes[k][j];
    };
    size_t x = 0;
    for (; x + kBlock <= count; x += kBlock) {
        const uint8_t* in = source + x * 4;
        unsigned all = 255, any = 0;
        for (size_t i = 0; i < kBlock; ++i) {
            all &= in[i * 4 + 3];
            any |= in[i * 4 + 3];
        }
        if (all == 255)
            std::memcpy(destination + x * 4, in, kBlock * 4);
        else if (any == 0)
            std::memset(destination + x * 4, 0, kBlock * 4);
        else
            divide(in, destination + x * 4, kBlock);
    }
    if (x < count) divide(source + x * 4, destination + x * 4, count - x);
}

// The layers of one render of BM_StraightColour: the "Cards" group's own
// layers (range 1 is 0), or every layer but the background.
QFLayerList straightColourLayers(const OMPSDDocument& document, bool cardsAlone) {
    if (cardsAlone) {
        auto cards = FindLayerNamed(document, "Cards");
        return cards ? cards->sublayers() : QFLayerList{};
    }
    QFLayerList layers = document.layers();
    layers.front()->setIsVisible(false);
    return layers;
}

void BM_StraightColour(benchmark::State& state) {
    std::string path = documentPath(state);
    if (path.empty()) return;
    auto opened = OMPSDDocument::createWithFile(path);
    if (!opened) return state.SkipWithError("cannot open the document");
    bool cardsAlone = state.range(1) == 0;
    state.SetLabel(kBenchDocuments[state.range(0)].name() +
                   (cardsAlone ? " Cards alone" : " without background"));
    lf::LogCapture quiet;
    QFLayerList layers = straightColourLayers(**opened, cardsAlone);
    auto image = RenderNodeTiled(QFRenderNodeForLayers(layers), DocumentRect(**opened));
    if (layers.empty() || !image) return state.SkipWithError("the render failed");
    std::vector<uint8_t> straight(image->byteCount());
    auto timed = [&](auto convert) {
        auto start = std::chrono::steady_clock::now();
        for (uint64_t y = 0; y < image->height(); ++y)
            convert(image->row(y), straight.data() + y * image->bytesPerRow(), image->width());
        benchmark::ClobberMemory();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    double now = 0, before = 0;
    for (auto _ : state) {
        double seconds = timed(lf::unpremultiplyRGBA);
        now += seconds;
        before += timed(unpremultiplyAsPlanes);
        state.SetIterationTime(seconds);
    }
    size_t pixels = image->width() * image->height(), clear = 0, opaque = 0;
    for (size_t i = 0; i < pixels; ++i) {
        clear += image->bytes()[i * 4 + 3] == 0;
        opaque += image->bytes()[i * 4 + 3] == 255;
    }
    state.counters["before_over_now"] = before / now;
    state.counters["clear_share"] = double(clear) / double(pixels);
    state.counters["opaque_share"] = double(opaque) / double(pixels);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image->byteCount()));
}

void documents(benchmark::internal::Benchmark* b) {
    for (int64_t i = 0; i < int64_t(std::size(kBenchDocuments)); ++i)
        b->Arg(i);
}

void eightBitDocumentsTwoRenders(benchmark::internal::Benchmark* b) {
    for (int64_t i = 0; i < int64_t(std::size(kBenchDocuments)); ++i)
        if (kBenchDocuments[i].depth == 8)
            for (int64_t render : {0, 1})
                b->Args({i, render});
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
BENCHMARK(BM_StraightColour)
    ->Apply(eightBitDocumentsTwoRenders)
    ->UseManualTime()
    ->MinTime(1.0)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
