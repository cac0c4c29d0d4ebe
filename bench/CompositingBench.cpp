// Rendering the generated benchmark documents (BenchDocuments.h) through
// the layer walk, in this process, from a graph built once over channels
// decompressed beforehand, so that the loops measure compositing alone:
// - BM_RenderTiled: QFTilingHelper on all processors at the default tile
//   size, against the same tiles rendered one after another on this thread
//   in the same run ("speedup"; "of_aim" is the speedup over 0.6 times the
//   processor count). "render_peak_MiB" is the memory the render added at
//   its peak over what the document held before it; "of_limit" is that over
//   one 8-bit image plus the buffer caches' bound (BNBufferCache::kMaxBytes).
// - BM_BuildGraph: what a render costs before its first tile.
// Whole processes, decompression included, are measured by
// bench_render_process.
#include "BenchDocuments.h"
#include "BenchSupport.h"
#include "DocumentRender.h"
#include "compositing/QFRGBAConversion.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "platform/Log.h"
#include "platform/SystemInfo.h"
#include "rendergraph/BNBufferCache.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <string>

namespace {

// A document opened from its file with its visible channels decompressed.
std::shared_ptr<OMPSDDocument> openWarm(benchmark::State& state) {
    const BenchDocumentSpec& spec = kBenchDocuments[state.range(0)];
    state.SetLabel(spec.name());
    std::string error;
    auto path = BenchDocumentPath(spec, &error);
    if (path.empty()) {
        state.SkipWithError(error.c_str());
        return nullptr;
    }
    auto document = OMPSDDocument::createWithFile(path.string());
    if (!document) {
        state.SkipWithError("cannot open the document");
        return nullptr;
    }
    DecompressVisibleChannels((*document)->layers());
    return *document;
}

// A line of /proc/self/status in kiB ("VmRSS", "VmHWM").
double statusMiB(const char* key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(line.find(':') + 1)) / 1024.0;
    return 0;
}

// Starts the process's peak resident memory afresh from what it holds now.
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The default tiles rendered one after another on this thread, as one
// worker would render them: the seconds it took.
double renderTilesOnThisThread(const BNRenderNodePtr& node, VKRect rect, QFRGBAImage& image) {
    const auto profile = BNColorProfile::mainDisplayProfile();
    const double tile = QFTilingHelper::kDefaultTileSize.width;
    auto start = std::chrono::steady_clock::now();
    for (double y = 0; y < VKRectGetHeight(rect); y += tile)
        for (double x = 0; x < VKRectGetWidth(rect); x += tile) {
            VKRect piece = VKRectIntersection(VKRectMake(x, y, tile, tile), rect);
            BNSurfacePtr surface = QFRenderNodeWithColorProfile(node, profile, piece, 1.0);
            if (!surface) continue;
            QFConvertSurfaceToRGBA(*surface, false, image.mutableRow(uint64_t(y)) + uint64_t(x) * 4,
                                   image.bytesPerRow(), surface->widthInPixels(),
                                   surface->heightInPixels());
        }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_RenderTiled(benchmark::State& state) {
    auto document = openWarm(state);
    if (!document) return;
    lf::LogCapture quiet;  // effects and paints that are not drawn say so
    BNRenderNodePtr node = QFRenderNodeForLayers(document->layers());
    VKRect rect = DocumentRect(*document);
    auto image = QFRGBAImage::create(document->width(), document->height(), false);
    double oneThread = renderTilesOnThisThread(node, rect, *image);
    double imageMiB = double(image->byteCount()) / 1048576.0;
    image.reset();

    BNBufferCache::current()->clear();
    resetPeakMemory();
    double before = statusMiB("VmRSS");
    double seconds = timedSecondsPerIteration(state, [&] {
        auto rendered = RenderNodeTiled(node, rect, {1.0, QFTilingHelper::kDefaultTileSize, true});
        benchmark::DoNotOptimize(rendered);
    });
    double added = statusMiB("VmHWM") - before;
    int processors = lf::activeProcessorCount();
    state.counters["speedup"] = oneThread / seconds;
    state.counters["of_aim"] = processors > 1 ? oneThread / seconds / (0.6 * processors) : 1.0;
    state.counters["render_peak_MiB"] = added;
    state.counters["of_limit"] = added / (imageMiB + double(BNBufferCache::kMaxBytes) / 1048576.0);
    state.SetItemsProcessed(state.iterations() * int64_t(document->width()) * document->height());
}

void BM_BuildGraph(benchmark::State& state) {
    auto document = openWarm(state);
    if (!document) return;
    lf::LogCapture quiet;
    for (auto _ : state) {
        BNRenderNodePtr node = QFRenderNodeForLayers(document->layers());
        if (node) {
            benchmark::DoNotOptimize(node->hashIdentifier());
            benchmark::DoNotOptimize(node->bounds());
        }
    }
}

void documents(benchmark::internal::Benchmark* b) {
    for (int64_t i = 0; i < int64_t(std::size(kBenchDocuments)); ++i)
        b->Arg(i);
}

}  // namespace

BENCHMARK(BM_RenderTiled)->Apply(documents)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildGraph)->Apply(documents)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
