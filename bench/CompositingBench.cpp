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
// - BM_AdjustmentStackAgainstPixelsAlone: a stack of adjustment layers over
//   one pixel layer of 1024 or 4096 pixels square, against that pixel layer
//   alone ("stack_over_pixels_alone").
// - BM_EffectsAgainstEffectsHidden: sixteen round layers over a background,
//   each with a drop shadow, a stroke and a bevel, on a canvas of 1024 or
//   4096 pixels square, against the same layers with their effects switched
//   off ("effects_over_hidden").
// Whole processes, decompression included, are measured by
// bench_render_process.
#include "BenchDocuments.h"
#include "BenchSupport.h"
#include "DocumentRender.h"
#include "bytearray/BABTreeByteArray.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/shared/QFRGBAConversion.h"
#include "platform/core/Log.h"
#include "platform/core/SystemInfo.h"
#include "rendergraph/core/BNBufferCache.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>
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
    lf::LogCapture quiet;  // paints that are not drawn say so
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

// Renders `reference` and then `measured` over `rect` on all cores in
// every iteration, which times `measured`: the seconds each took in all.
struct PairedSeconds {
    double reference = 0, measured = 0;
};
PairedSeconds renderEachIteration(benchmark::State& state, const BNRenderNodePtr& reference,
                                  const BNRenderNodePtr& measured, VKRect rect) {
    auto timed = [&](const BNRenderNodePtr& node) {
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(RenderNodeTiled(node, rect));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    PairedSeconds seconds;
    for (auto _ : state) {
        seconds.reference += timed(reference);
        double once = timed(measured);
        seconds.measured += once;
        state.SetIterationTime(once);
    }
    return seconds;
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

// A `size` x `size` opaque pixel layer of varied colours, and, when asked,
// seven adjustments above it: curves, levels, brightness/contrast, exposure,
// colour balance, hue/saturation and invert.
QFLayerList adjustmentStack(int32_t size, bool withAdjustments) {
    OMPSDLayerRecord pixels;
    pixels.name = "pixels";
    pixels.rect = {0, 0, size, size};
    for (int16_t id : {-1, 0, 1, 2}) {
        std::vector<uint8_t> samples(size_t(size) * size);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = id < 0 ? 255 : uint8_t((i % size) * (id + 3) + (i / size) * (7 - id));
        OMPSDChannelReference::Source source;
        source.range = {0, samples.size()};
        source.byteArray = std::make_shared<BABTreeByteArray>(lf::Data(std::move(samples)));
        pixels.channels.push_back(std::make_shared<OMPSDChannelReference>(
            id, pixels.rect, 8, source, std::make_shared<const std::string>("pixels")));
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
    const auto size = int32_t(state.range(0));
    QFLayerList plain = adjustmentStack(size, false), stacked = adjustmentStack(size, true);
    for (const QFLayerList* layers : {&plain, &stacked})
        for (const auto& channel : layers->front()->channelReferences())
            channel->byteArray();
    PairedSeconds seconds =
        renderEachIteration(state, QFRenderNodeForLayers(plain), QFRenderNodeForLayers(stacked),
                            VKRectMake(0, 0, size, size));
    state.counters["pixels_alone_ms"] = seconds.reference / double(state.iterations()) * 1e3;
    state.counters["stack_over_pixels_alone"] = seconds.measured / seconds.reference;
    state.counters["adjustments"] = double(stacked.size() - 1);
    state.SetItemsProcessed(state.iterations() * int64_t(size) * size);
    reportPeakMemory(state);
}

// Big-endian bytes of a descriptor's parts: a 32-bit number, a type code,
// and a key (four characters after a 0, a longer one after its length).
void putNumber(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}
void putType(std::vector<uint8_t>& out, const char (&type)[5]) {
    putNumber(out, OMPSDFourCC(type));
}
void putKey(std::vector<uint8_t>& out, const std::string& key) {
    putNumber(out, key.size() == 4 ? 0 : uint32_t(key.size()));
    out.insert(out.end(), key.begin(), key.end());
}

// An "lfx2" block with a drop shadow, an outside stroke and an inner bevel
// at their default settings, under the master switch `shown`.
std::vector<uint8_t> effectsBlock(bool shown) {
    std::vector<uint8_t> block;
    putNumber(block, 0);   // the block's version
    putNumber(block, 16);  // the descriptor's version
    putNumber(block, 0);   // its empty name
    putKey(block, "null");
    putNumber(block, 4);
    putKey(block, "masterFXSwitch");
    putType(block, "bool");
    block.push_back(shown);
    for (const char* effect : {"DrSh", "FrFX", "ebbl"}) {
        putKey(block, effect);
        putType(block, "Objc");
        putNumber(block, 0);
        putKey(block, effect);
        putNumber(block, 1);
        putKey(block, "enab");
        putType(block, "bool");
        block.push_back(1);
    }
    return block;
}

// A background and a four by four grid of discs with soft edges, each
// carrying the effects block, on a canvas `size` pixels square.
QFLayerList effectsGrid(int32_t size, bool effectsShown) {
    auto layer = [](const char* name, OMPSDRect rect, auto colour, auto coverage) {
        OMPSDLayerRecord record;
        record.name = name;
        record.rect = rect;
        const auto width = int32_t(rect.width()), height = int32_t(rect.height());
        for (int16_t id : {-1, 0, 1, 2}) {
            std::vector<uint8_t> samples(size_t(width) * size_t(height));
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    samples[size_t(y) * size_t(width) + size_t(x)] =
                        id < 0 ? coverage(x, y) : colour(id, x, y);
            OMPSDChannelReference::Source source;
            source.range = {0, samples.size()};
            source.byteArray = std::make_shared<BABTreeByteArray>(lf::Data(std::move(samples)));
            record.channels.push_back(std::make_shared<OMPSDChannelReference>(
                id, rect, 8, source, std::make_shared<const std::string>(name)));
        }
        return record;
    };
    QFLayerList layers{makeLayer(layer(
        "background", {0, 0, size, size},
        [](int id, int x, int y) { return uint8_t(160 + id * 20 + (x + y) % 16); },
        [](int, int) { return uint8_t(255); }))};
    const int32_t cell = size / 4, diameter = cell * 3 / 5;
    for (int32_t row = 0; row < 4; ++row)
        for (int32_t column = 0; column < 4; ++column) {
            int32_t top = row * cell + (cell - diameter) / 2;
            int32_t left = column * cell + (cell - diameter) / 2;
            double r = diameter / 2.0;
            OMPSDLayerRecord disc = layer(
                "disc", {top, left, top + diameter, left + diameter},
                [&](int id, int, int) { return uint8_t(40 * (id + 1) + 10 * (row + column)); },
                [&](int x, int y) {
                    double d = r - std::hypot(x + 0.5 - r, y + 0.5 - r);
                    return uint8_t(std::clamp(d + 0.5, 0.0, 1.0) * 255);
                });
            disc.atoms.emplace_back(OMPSDFourCC("lfx2"), lf::Data(effectsBlock(effectsShown)));
            layers.push_back(makeLayer(std::move(disc)));
        }
    return layers;
}

// Both renders whole on all cores, from graphs built once: the time with
// the effects drawn, and its ratio to the effects hidden in the same
// iterations.
void BM_EffectsAgainstEffectsHidden(benchmark::State& state) {
    const auto size = int32_t(state.range(0));
    QFLayerList hidden = effectsGrid(size, false), shown = effectsGrid(size, true);
    PairedSeconds seconds =
        renderEachIteration(state, QFRenderNodeForLayers(hidden), QFRenderNodeForLayers(shown),
                            VKRectMake(0, 0, size, size));
    state.counters["effects_hidden_ms"] = seconds.reference / double(state.iterations()) * 1e3;
    state.counters["effects_over_hidden"] = seconds.measured / seconds.reference;
    state.counters["layers_with_effects"] = double(shown.size() - 1);
    state.SetItemsProcessed(state.iterations() * int64_t(size) * size);
    reportPeakMemory(state);
}

void documents(benchmark::internal::Benchmark* b) {
    for (int64_t i = 0; i < int64_t(std::size(kBenchDocuments)); ++i)
        b->Arg(i);
}

}  // namespace

BENCHMARK(BM_RenderTiled)->Apply(documents)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildGraph)->Apply(documents)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdjustmentStackAgainstPixelsAlone)
    ->Arg(1024)
    ->Arg(4096)
    ->UseManualTime()
    ->MinTime(1.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EffectsAgainstEffectsHidden)
    ->Arg(1024)
    ->Arg(4096)
    ->UseManualTime()
    ->MinTime(1.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
