// Rendering the largest shared documents whole through the layer walk:
// tiled on all cores (QFTilingHelper) against one untiled render on one
// thread in the same run, both from a graph built once (building it is
// measured apart), and, from the bytes of the file, against the
// independent compositor of Debian's python3-psd-tools
// (composite(ignore_preview=True)), run as a separate process when it is
// installed. And a stack of adjustment layers over one large pixel layer,
// against that pixel layer alone. Wall-clock times; pixels per second as
// items.
#include "BenchSupport.h"
#include "DocumentRender.h"
#include "bytearray/BABTreeByteArray.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "platform/Data.h"
#include "platform/Log.h"
#include "platform/SystemInfo.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

const char* const kDocuments[] = {
    "psd/blend-modes/rgb-blend-modes.psd",
    "psd/broken-groups.psd",
    "psd/masks2.psd",
    "psd/background-red-opacity-80.psd",
    "psd/descriptors/stroke-color-descriptors-hsb-with-rgb-mode.psd",
};

std::filesystem::path documentPath(int64_t index) {
    std::filesystem::path shared = LF_DEFAULT_SHARED_DIR;
    if (const char* env = std::getenv("LF_SHARED_DIR"); env && *env) shared = env;
    return shared / kDocuments[index];
}

// A document opened from its bytes with every plane decompressed, so that
// the render loops measure compositing alone.
std::shared_ptr<OMPSDDocument> openWarm(int64_t index) {
    auto document = OMPSDDocument::createWithFile(documentPath(index).string());
    if (!document) return nullptr;
    for (const auto& layer : (*document)->allLayers())
        for (const auto& channel : layer->channelReferences())
            channel->byteArray();
    return *document;
}

void setPixels(benchmark::State& state, const OMPSDDocument& document) {
    state.SetItemsProcessed(state.iterations() * int64_t(document.width()) * document.height());
    state.SetLabel(kDocuments[state.range(0)]);
}

// Second argument: the tile size in points.
void BM_RenderTiledAllCores(benchmark::State& state) {
    auto document = openWarm(state.range(0));
    if (!document) return state.SkipWithError("shared documents not found");
    lf::LogCapture quiet;  // effects and paints that are not drawn say so
    double tile = static_cast<double>(state.range(1));
    BNRenderNodePtr node = QFRenderNodeForLayers(document->layers());
    for (auto _ : state) {
        auto image = RenderNodeTiled(node, DocumentRect(*document), {1.0, {tile, tile}});
        benchmark::DoNotOptimize(image);
    }
    setPixels(state, *document);
    state.counters["cores"] = lf::activeProcessorCount();
}

void BM_RenderUntiledOneThread(benchmark::State& state) {
    auto document = openWarm(state.range(0));
    if (!document) return state.SkipWithError("shared documents not found");
    lf::LogCapture quiet;
    BNRenderNodePtr node = QFRenderNodeForLayers(document->layers());
    for (auto _ : state) {
        auto image = RenderNodeWhole(node, DocumentRect(*document), 1.0);
        benchmark::DoNotOptimize(image);
    }
    setPixels(state, *document);
}

// What a render costs before its first tile: the layer walk builds the
// graph, then its identities and bounds are computed once, bottom up.
void BM_BuildGraph(benchmark::State& state) {
    auto document = openWarm(state.range(0));
    if (!document) return state.SkipWithError("shared documents not found");
    lf::LogCapture quiet;
    for (auto _ : state) {
        BNRenderNodePtr node = QFRenderNodeForLayers(document->layers());
        if (node) {
            benchmark::DoNotOptimize(node->hashIdentifier());
            benchmark::DoNotOptimize(node->bounds());
        }
    }
    state.SetLabel(kDocuments[state.range(0)]);
}

// From the file's bytes: open, decompress, build and render tiled; the same
// work as the peer's open and composite.
double openAndRenderSeconds(int64_t index) {
    auto bytes = lf::Data::readFile(documentPath(index).string());
    if (!bytes) return 0;
    auto start = std::chrono::steady_clock::now();
    auto document = OMPSDDocument::create(*bytes);
    if (!document) return 0;
    RenderNodeTiled(QFRenderNodeForLayers((*document)->layers()), DocumentRect(**document));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_OpenAndRenderTiled(benchmark::State& state) {
    lf::LogCapture quiet;
    for (auto _ : state) {
        double seconds = openAndRenderSeconds(state.range(0));
        if (seconds == 0) return state.SkipWithError("shared documents not found");
        state.SetIterationTime(seconds);
    }
    state.SetLabel(kDocuments[state.range(0)]);
}

// The peer's open and composite, timed inside its own process (the
// interpreter's start is left out); the best of three. Fills `seconds`, or
// says why there is no time.
std::string peerSeconds(int64_t index, double* seconds) {
    std::string command =
        "python3 -c \"import sys, time\n"
        "try:\n"
        "    from psd_tools import PSDImage\n"
        "except ImportError:\n"
        "    sys.exit('python3-psd-tools is not installed')\n"
        "best = 1e9\n"
        "for _ in range(3):\n"
        "    start = time.perf_counter()\n"
        "    try:\n"
        "        PSDImage.open(sys.argv[1]).composite(ignore_preview=True)\n"
        "    except Exception as error:\n"
        "        sys.exit('psd-tools cannot composite the document: %r' % error)\n"
        "    best = min(best, time.perf_counter() - start)\n"
        "print(best)\" '" +
        documentPath(index).string() + "' 2>&1";
    // Debian's interpreter, where the package installs, before any other.
    if (std::filesystem::exists("/usr/bin/python3")) command = "/usr/bin/" + command;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return "python3 cannot be started";
    char line[512] = {};
    if (!std::fgets(line, sizeof line, pipe.get())) return "python3 said nothing";
    char* end = nullptr;
    *seconds = std::strtod(line, &end);
    if (end == line) return std::string(line, strcspn(line, "\n"));
    return {};
}

void BM_PsdToolsComposite(benchmark::State& state) {
    lf::LogCapture quiet;
    double ours = 1e9;
    for (int i = 0; i < 3; ++i)
        ours = std::min(ours, openAndRenderSeconds(state.range(0)));
    for (auto _ : state) {
        double seconds = 0;
        std::string failure = peerSeconds(state.range(0), &seconds);
        if (!failure.empty()) return state.SkipWithError(failure.c_str());
        state.SetIterationTime(seconds);
        // How many times longer the peer takes than our open and render.
        state.counters["peer_over_layerflow"] = seconds / ours;
    }
    state.SetLabel(kDocuments[state.range(0)]);
}

// A layer of the adjustment stack: a record with its blocks and planes.
std::shared_ptr<OMPSDLayer> makeLayer(OMPSDLayerRecord record) {
    return std::make_shared<OMPSDLayer>(std::move(record), std::make_shared<std::mutex>(),
                                        std::weak_ptr<const OMPSDDocument>());
}

// Big-endian bytes of 16-bit values (negative ones as their two's
// complement).
std::vector<uint8_t> shorts(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values) {
        bytes.push_back(uint8_t(uint16_t(v) >> 8));
        bytes.push_back(uint8_t(v));
    }
    return bytes;
}

std::vector<uint8_t> floats(std::initializer_list<float> values) {
    std::vector<uint8_t> bytes;
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(uint8_t(bits >> shift));
    }
    return bytes;
}

std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> bytes;
    for (const auto& part : parts)
        bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

constexpr int32_t kStackSize = 2048;

// A 2048 x 2048 opaque pixel layer of varied colours, and, when asked, seven
// adjustments above it: curves, levels, brightness/contrast, exposure,
// colour balance, hue/saturation and invert.
QFLayerList adjustmentStack(bool withAdjustments) {
    OMPSDLayerRecord pixels;
    pixels.name = "pixels";
    pixels.rect = {0, 0, kStackSize, kStackSize};
    for (int16_t id : {-1, 0, 1, 2}) {
        std::vector<uint8_t> samples(size_t(kStackSize) * kStackSize);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] =
                id < 0 ? 255 : uint8_t((i % kStackSize) * (id + 3) + (i / kStackSize) * (7 - id));
        OMPSDChannelReference::Source source;
        source.range = {0, samples.size()};
        source.byteArray = std::make_shared<BABTreeByteArray>(lf::Data(std::move(samples)));
        pixels.channels.push_back(std::make_shared<OMPSDChannelReference>(
            id, pixels.rect, 8, source, std::make_shared<std::mutex>(),
            std::make_shared<const std::string>("pixels")));
    }
    QFLayerList layers{makeLayer(pixels)};
    if (!withAdjustments) return layers;

    std::vector<uint8_t> levels = shorts({2, 10, 245, 0, 255, 120});
    for (int record = 1; record < 29; ++record)
        levels = joined({levels, shorts({0, 255, 0, 255, 100})});
    // Version, colorize flag and filler, colorization, master, then six
    // ranges of four bounds and three settings (greens more saturated).
    std::vector<uint8_t> hue = joined({shorts({2}), {0, 0}, shorts({0, 0, 0, 10, 20, 0})});
    for (int range = 0; range < 6; ++range)
        hue = joined({hue, shorts({range * 60 - 15, range * 60, range * 60 + 30, range * 60 + 45, 0,
                                   range == 2 ? 30 : 0, 0})});
    std::pair<uint32_t, std::vector<uint8_t>> blocks[] = {
        {OMPSDFourCC("curv"), joined({{0}, shorts({1, 0, 1, 3, 0, 0, 160, 128, 255, 255})})},
        {OMPSDFourCC("levl"), levels},
        {OMPSDFourCC("brit"), shorts({20, 30, 127})},
        {OMPSDFourCC("expA"), joined({shorts({1}), floats({0.5f, 0.01f, 1.1f})})},
        {OMPSDFourCC("blnc"), joined({shorts({10, 0, -10, 0, 10, 0, -5, 0, 5}), {1}})},
        {OMPSDFourCC("hue2"), hue},
        {OMPSDFourCC("nvrt"), {}},
    };
    for (const auto& [key, data] : blocks) {
        OMPSDLayerRecord record;
        record.name = "adjustment";
        record.atoms.emplace_back(key, lf::Data(data));
        layers.push_back(makeLayer(std::move(record)));
    }
    return layers;
}

// Both renders whole on all cores, from graphs built once: the time of the
// stack, and the ratio to the pixel layer alone measured in the same
// iterations.
void BM_AdjustmentStackAgainstPixelsAlone(benchmark::State& state) {
    QFLayerList plain = adjustmentStack(false), stacked = adjustmentStack(true);
    for (const QFLayerList* layers : {&plain, &stacked})
        for (const auto& channel : layers->front()->channelReferences())
            channel->byteArray();
    BNRenderNodePtr plainNode = QFRenderNodeForLayers(plain);
    BNRenderNodePtr stackedNode = QFRenderNodeForLayers(stacked);
    VKRect rect = VKRectMake(0, 0, kStackSize, kStackSize);
    auto timed = [&](const BNRenderNodePtr& node) {
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(RenderNodeTiled(node, rect));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    double plainSeconds = 0, stackedSeconds = 0;
    for (auto _ : state) {
        plainSeconds += timed(plainNode);
        double seconds = timed(stackedNode);
        stackedSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["pixels_alone_ms"] = plainSeconds / double(state.iterations()) * 1e3;
    state.counters["stack_over_pixels_alone"] = stackedSeconds / plainSeconds;
    state.counters["adjustments"] = double(stacked.size() - 1);
    state.SetItemsProcessed(state.iterations() * int64_t(kStackSize) * kStackSize);
    reportPeakMemory(state);
}

void documents(benchmark::internal::Benchmark* b) {
    for (int64_t i = 0; i < int64_t(std::size(kDocuments)); ++i)
        b->Arg(i);
}

void documentsAndTiles(benchmark::internal::Benchmark* b) {
    for (int64_t i = 0; i < int64_t(std::size(kDocuments)); ++i)
        for (int64_t tile : {512, 256, 128})
            b->Args({i, tile});
}

}  // namespace

BENCHMARK(BM_RenderTiledAllCores)
    ->Apply(documentsAndTiles)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderUntiledOneThread)
    ->Apply(documents)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildGraph)->Apply(documents)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdjustmentStackAgainstPixelsAlone)
    ->UseManualTime()
    ->MinTime(1.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndRenderTiled)->Apply(documents)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PsdToolsComposite)
    ->Apply(documents)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
