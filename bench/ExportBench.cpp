// Exporting tagged outputs, against its two halves measured in the same
// iterations: rendering the same rectangles without encoding (each image
// recipe's renderOutputs(), each icon recipe's render and fitting), and
// encoding the same pixels without rendering (the image encoder on the
// outputs' pixels, the ICNS container on the icon elements).
//
// Documents: the three largest of shared/psd-tagged, each with every
// output its tags ask for (small: 200 by 200 pixels), and the generated
// 4000 x 3000 8-bit benchmark document (BenchDocuments.h) exported whole as
// PNG, halved PNG, JPEG and a 1024-pixel icon (large).
//
// Counters: export_vs_sum = export time / (render time + encode time), the
// aim being little above 1 (an export costs what its parts cost);
// render_ms, encode_ms. Recipes run one after another on this thread; each
// render uses every processor. Setup (opening, scanning, decompressing the
// channels) is outside the timed loop.
#include "BenchDocuments.h"
#include "BenchSupport.h"
#include "flows/icns/QFICNSContainer.h"
#include "flows/scanner/QFPSDScanner.h"
#include "platform/core/Log.h"
#include "platform/settings/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Recipes {
    std::shared_ptr<OMPSDDocument> document;
    std::vector<std::shared_ptr<QFImageExportRecipe>> images;
    std::vector<std::shared_ptr<QFIconExportRecipe>> icons;
};

fs::path sharedFolder() {
    if (const char* env = std::getenv("LF_SHARED_DIR"); env && *env) return env;
    return LF_DEFAULT_SHARED_DIR;
}

// The tagged documents, largest first.
std::vector<fs::path> largestTaggedDocuments(size_t count) {
    std::vector<fs::path> documents;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sharedFolder() / "psd-tagged", error))
        if (entry.path().extension() == ".psd") documents.push_back(entry.path());
    std::sort(documents.begin(), documents.end(),
              [](const auto& a, const auto& b) { return fs::file_size(a) > fs::file_size(b); });
    documents.resize(std::min(count, documents.size()));
    return documents;
}

// Defaults of this process only, so that the user's settings change no
// figure.
void useOwnDefaults() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "layerflow-bench-XXXXXX").string();
        return fs::path(mkdtemp(pattern.data()) ? pattern : fs::temp_directory_path().string());
    }();
    lf::UserDefaults::setStandard(
        std::make_shared<lf::UserDefaults>((folder / "defaults.json").string()));
}

std::shared_ptr<OMPSDDocument> open(const fs::path& path, benchmark::State& state) {
    auto document = OMPSDDocument::createWithFile(path.string());
    if (!document) {
        state.SkipWithError(("cannot open " + path.string()).c_str());
        return nullptr;
    }
    return *document;
}

Recipes taggedRecipes(benchmark::State& state) {
    auto documents = largestTaggedDocuments(3);
    if (size_t(state.range(0)) >= documents.size()) {
        state.SkipWithError("shared/psd-tagged not found (set LF_SHARED_DIR)");
        return {};
    }
    state.SetLabel(documents[state.range(0)].filename().string());
    Recipes recipes{open(documents[state.range(0)], state), {}, {}};
    if (!recipes.document) return recipes;
    QFPSDScanner scanner;
    (void)scanner.scanPSD(*recipes.document);
    recipes.images = scanner.imageRecipes();
    recipes.icons = scanner.iconRecipes();
    return recipes;
}

Recipes generatedRecipes(benchmark::State& state) {
    const BenchDocumentSpec spec = kBenchDocuments[0];
    state.SetLabel(spec.name());
    std::string error;
    fs::path path = BenchDocumentPath(spec, &error);
    if (path.empty()) {
        state.SkipWithError(error.c_str());
        return {};
    }
    Recipes recipes{open(path, state), {}, {}};
    if (!recipes.document) return recipes;
    const QFLayerList& layers = recipes.document->layers();
    VKRect canvas = VKRectMake(0, 0, spec.width, spec.height);
    auto image = std::make_shared<QFImageExportRecipe>(layers);
    image->addRect(canvas, "photo@2x.png", 1.0, false, true);
    image->addRect(canvas, "photo.png", 1.0, true, false);
    image->addRect(canvas, "photo.jpg", 1.0, false, true);
    recipes.images = {image};
    auto icon = std::make_shared<QFIconExportRecipe>(layers, canvas,
                                                     std::vector<VKSize>{{1024, 1024}}, "app.icns");
    icon->setSizingBehaviors({QFIconExportRecipe::scale});
    recipes.icons = {icon};
    return recipes;
}

double secondsOf(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void exportAgainstItsHalves(benchmark::State& state, const Recipes& recipes) {
    if (!recipes.document) return;
    lf::LogCapture quiet;  // the renders' tile lines
    // What the encoding half encodes, made once (and the channels
    // decompressed on the way).
    std::vector<std::pair<const QFImageExportRecipe*, QFImageExportRecipeOutput>> outputs;
    for (const auto& recipe : recipes.images)
        for (auto& output : recipe->renderOutputs())
            outputs.emplace_back(recipe.get(), output);
    for (const auto& recipe : recipes.icons)
        recipe->run();

    auto encodeIcons = [&] {
        for (const auto& recipe : recipes.icons) {
            QFICNSContainer container;
            for (const auto& [path, elements] : recipe->results())
                for (const auto& element : elements)
                    container.addElement(element);
            benchmark::DoNotOptimize(container.ICNSRepresentation());
        }
    };
    double exportSeconds = 0, renderSeconds = 0, encodeSeconds = 0;
    uint64_t bytes = 0;
    for (auto _ : state) {
        double exported = secondsOf([&] {
            for (const auto& recipe : recipes.images)
                recipe->run();
            for (const auto& recipe : recipes.icons)
                recipe->run();
            encodeIcons();
        });
        exportSeconds += exported;
        state.SetIterationTime(exported);
        renderSeconds += secondsOf([&] {
            for (const auto& recipe : recipes.images)
                benchmark::DoNotOptimize(recipe->renderOutputs());
            for (const auto& recipe : recipes.icons)
                recipe->run();
        });
        encodeSeconds += secondsOf([&] {
            for (const auto& [recipe, output] : outputs) {
                auto data = recipe->createFileDataForPixelBuffer(output.pixels, output.path);
                bytes += data ? data->size() : 0;
            }
            encodeIcons();
        });
    }
    double n = double(state.iterations());
    state.counters["export_vs_sum"] = exportSeconds / (renderSeconds + encodeSeconds);
    state.counters["render_ms"] = renderSeconds / n * 1e3;
    state.counters["encode_ms"] = encodeSeconds / n * 1e3;
    state.counters["outputs"] = double(outputs.size() + recipes.icons.size());
    state.counters["encoded_KiB"] = double(bytes) / n / 1024.0;
    reportPeakMemory(state);
}

void BM_ExportTaggedDocument(benchmark::State& state) {
    useOwnDefaults();
    exportAgainstItsHalves(state, taggedRecipes(state));
}

void BM_ExportGeneratedDocument(benchmark::State& state) {
    useOwnDefaults();
    exportAgainstItsHalves(state, generatedRecipes(state));
}

}  // namespace

BENCHMARK(BM_ExportTaggedDocument)
    ->DenseRange(0, 2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportGeneratedDocument)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
