// The image encoder on large renders, against the render of the same image
// in the same run and against libpng with its defaults on one thread (the
// way tools/render-psd wrote PNG before). Three scenes, each at 4000 x 3000
// and 8000 x 6000:
// - "flat": anti-aliased shapes of a few colours over a plain background,
//   like interface artwork, rendered from a graph of 40 polygons;
// - "photographic": the same shapes under colour grain, which gives every
//   pixel the noise of a photograph;
// - "document": the generated 8-bit benchmark document (BenchDocuments.h,
//   about thirty layers), rendered the way tools/render-psd renders it:
//   its visible channels decompressed on all processors, the graph of its
//   layers built and rendered in tiles to straight colour. Its render time
//   runs from the opened document to the image, so vs_render tells how
//   encoding compares with rendering a real document.
// The synthetic scenes are rendered premultiplied, as the export recipes
// hand them to the encoder.
//
// Counters: vs_render = encoding time / rendering time (the aim is at most
// 1); size_vs_libpng = PNG size / libpng's size (the aim is at most 1.05);
// MB/s of pixels.
#include "BenchDocuments.h"
#include "BenchSupport.h"
#include "DocumentRender.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "platform/core/Log.h"
#include "platform/images/ImageEncoder.h"
#include "platform/images/RGBABuffer.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/geometry/BNCompoundPathNode.h"
#include "rendergraph/images/BNApplyNoiseNode.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/masks/BNColorWithMaskNode.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <chrono>
#include <cmath>
#include <iterator>
#include <map>
#include <string>

namespace {

enum class SceneKind { flat, photographic, document };
struct Scene {
    const char* name;
    SceneKind kind;
    double width, height;
};
const Scene kScenes[] = {
    {"photographic 4000x3000", SceneKind::photographic, 4000, 3000},
    {"flat 4000x3000", SceneKind::flat, 4000, 3000},
    {"document 4000x3000", SceneKind::document, 4000, 3000},
    {"photographic 8000x6000", SceneKind::photographic, 8000, 6000},
    {"flat 8000x6000", SceneKind::flat, 8000, 6000},
    {"document 8000x6000", SceneKind::document, 8000, 6000},
};

std::shared_ptr<const VKCompoundPath> polygon(const std::vector<VKPoint>& points) {
    std::vector<VKKnot> knots;
    for (VKPoint p : points)
        knots.push_back(VKKnot::corner(p));
    return std::make_shared<VKCompoundPath>(
        VKCompoundPath::PathList{std::make_shared<VKPath>(std::move(knots), true)});
}

// Discs and tilted squares in six colours, sized to the image.
BNRenderNodePtr flatScene(double width, double height) {
    BNRenderNodePtr node = BNConstantColorNode::create({0.93, 0.92, 0.9, 1, 0}, BNChannelMaskRGBA);
    const double colours[6][3] = {{0.9, 0.2, 0.2}, {0.2, 0.6, 0.9},   {1, 1, 1},
                                  {0.3, 0.3, 0.3}, {0.95, 0.75, 0.8}, {0.1, 0.5, 0.3}};
    for (int i = 0; i < 40; ++i) {
        const double cx = width * std::fmod(0.13 + i * 0.618, 1.0);
        const double cy = height * std::fmod(0.29 + i * 0.414, 1.0);
        const double r = std::min(width, height) * (0.03 + 0.1 * std::fmod(i * 0.37, 1.0));
        std::vector<VKPoint> outline;
        const int corners = i % 2 ? 4 : 96;
        for (int k = 0; k < corners; ++k) {
            const double angle = 2 * M_PI * k / corners + i;
            outline.push_back({cx + r * std::cos(angle), cy + r * std::sin(angle)});
        }
        auto shape = BNCompoundPathNode::create({polygon(outline)}, {VKBooleanOperationAdd}, false);
        const double* c = colours[i % 6];
        auto fill = BNColorWithMaskNode::create(shape, {c[0], c[1], c[2], 0, 0}, BNChannelMaskRGB);
        node = BNBlendNode::create(node, fill, kTarrowBlendNormal, 1.0, 1.0);
    }
    return node;
}

BNRenderNodePtr photographicScene(double width, double height) {
    return BNApplyNoiseNode::create(flatScene(width, height), 0.04, BNChannelMaskRGB);
}

struct Rendered {
    std::shared_ptr<const QFRGBAImage> image;  // null when the scene could not be rendered
    std::string error;
    double renderSeconds = 0;
    size_t libpngBytes = 0;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The generated document of the scene's size, rendered as tools/render-psd
// renders it; the time runs from the opened document to the image.
void renderDocument(const Scene& scene, Rendered& result) {
    const BenchDocumentSpec spec{uint32_t(scene.width), uint32_t(scene.height), 8};
    auto path = BenchDocumentPath(spec, &result.error);
    if (path.empty()) return;
    auto document = OMPSDDocument::createWithFile(path.string());
    if (!document) {
        result.error = "cannot open " + path.string();
        return;
    }
    RenderOptions options;
    options.straight = true;
    const auto start = std::chrono::steady_clock::now();
    DecompressVisibleChannels((*document)->layers());
    BNRenderNodePtr node = QFRenderNodeForLayers((*document)->layers());
    result.image = RenderNodeTiled(node, DocumentRect(**document), options, &result.error);
    result.renderSeconds = secondsSince(start);
}

// Each scene is rendered once, timed, and kept for the encoders.
Rendered& rendered(int64_t index) {
    static std::map<int64_t, Rendered> cache;
    auto found = cache.find(index);
    if (found != cache.end()) return found->second;
    const Scene& scene = kScenes[index];
    Rendered& result = cache[index];
    lf::LogCapture quiet;  // effects and paints that are not drawn say so
    if (scene.kind == SceneKind::document) {
        renderDocument(scene, result);
        return result;
    }
    BNRenderNodePtr node = scene.kind == SceneKind::photographic
                               ? photographicScene(scene.width, scene.height)
                               : flatScene(scene.width, scene.height);
    const auto start = std::chrono::steady_clock::now();
    result.image =
        RenderNodeTiled(node, VKRectMake(0, 0, scene.width, scene.height), {}, &result.error);
    result.renderSeconds = secondsSince(start);
    return result;
}

// The scene's render, or null with the benchmark skipped.
Rendered* renderedOrSkip(benchmark::State& state) {
    Rendered& scene = rendered(state.range(0));
    if (scene.image) return &scene;
    state.SkipWithError(("cannot render the scene: " + scene.error).c_str());
    return nullptr;
}

lf::RGBABuffer bufferOf(const QFRGBAImage& image) {
    return {image.bytes(), image.height(), image.width(), image.bytesPerRow(),
            image.isPremultiplied() ? lf::RGBAAlpha::PremultipliedLast : lf::RGBAAlpha::Last};
}

void setCounters(benchmark::State& state, const Rendered& scene, double seconds) {
    state.counters["vs_render"] = seconds / scene.renderSeconds;
    state.SetBytesProcessed(state.iterations() * int64_t(scene.image->byteCount()));
    state.SetLabel(kScenes[state.range(0)].name);
}

// libpng with every default, one thread, from the straight colour it needs
// (divided here when the image is premultiplied).
size_t encodeWithLibpngDefaults(const QFRGBAImage& image) {
    const uint8_t* pixels = image.bytes();
    std::vector<uint8_t> straight;
    if (image.isPremultiplied()) {
        straight.resize(image.byteCount());
        lf::unpremultiplyRGBA(image.bytes(), straight.data(), image.width() * image.height());
        pixels = straight.data();
    }
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t length) {
            auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            bytes->insert(bytes->end(), data, data + length);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()),
                 static_cast<png_uint_32>(image.height()), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint64_t y = 0; y < image.height(); ++y)
        png_write_row(png, pixels + y * image.bytesPerRow());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out.size();
}

void BM_Render(benchmark::State& state) {
    Rendered* scene = renderedOrSkip(state);
    if (!scene) return;
    for (auto _ : state) {
        // The time is the one taken when the scene was first rendered.
        state.SetIterationTime(scene->renderSeconds);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(scene->image->byteCount()));
    state.SetLabel(kScenes[state.range(0)].name);
}

void BM_PNGLibpngDefaultsOneThread(benchmark::State& state) {
    Rendered* scene = renderedOrSkip(state);
    if (!scene) return;
    double seconds = timedSecondsPerIteration(
        state, [&] { scene->libpngBytes = encodeWithLibpngDefaults(*scene->image); });
    setCounters(state, *scene, seconds);
}

void BM_PNG(benchmark::State& state) {
    Rendered* scene = renderedOrSkip(state);
    if (!scene) return;
    size_t bytes = 0;
    double seconds = timedSecondsPerIteration(state, [&] {
        bytes = lf::encodeImage(bufferOf(*scene->image), lf::ImageType::PNG)->size();
    });
    setCounters(state, *scene, seconds);
    if (scene->libpngBytes > 0)
        state.counters["size_vs_libpng"] = double(bytes) / scene->libpngBytes;
}

void BM_JPEG(benchmark::State& state) {
    Rendered* scene = renderedOrSkip(state);
    if (!scene) return;
    double seconds = timedSecondsPerIteration(state, [&] {
        benchmark::DoNotOptimize(lf::encodeImage(bufferOf(*scene->image), lf::ImageType::JPEG));
    });
    setCounters(state, *scene, seconds);
}

void BM_TIFF(benchmark::State& state) {
    Rendered* scene = renderedOrSkip(state);
    if (!scene) return;
    double seconds = timedSecondsPerIteration(state, [&] {
        benchmark::DoNotOptimize(lf::encodeImage(bufferOf(*scene->image), lf::ImageType::TIFF));
    });
    setCounters(state, *scene, seconds);
}

void sceneArguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->DenseRange(0, int(std::size(kScenes)) - 1)
        ->Iterations(2)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_Render)->Apply(sceneArguments)->UseManualTime();
BENCHMARK(BM_PNGLibpngDefaultsOneThread)->Apply(sceneArguments)->UseRealTime();
BENCHMARK(BM_PNG)->Apply(sceneArguments)->UseRealTime();
BENCHMARK(BM_JPEG)->Apply(sceneArguments)->UseRealTime();
BENCHMARK(BM_TIFF)->Apply(sceneArguments)->UseRealTime();
BENCHMARK_MAIN();
