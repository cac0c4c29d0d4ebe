// Real documents: renders of their visible layers against their own merged
// images, tiled renders against untiled ones, and damaged documents.
#include "DocumentRender.h"
#include "PSDTestSupport.h"
#include "RenderExercise.h"
#include "bytearray/BAByteArray.h"
#include "compositing/QFLayerContent.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace {

// Documents of the comparison set that do not come close to their merged
// image, and what Photoshop does there.
const std::map<std::string, std::string> kKnownDifferences = {
    {"artboard-bgcolor.psd",
     "Photoshop paints each artboard's background colour (its artboard record, not a layer) "
     "into the merged image"},
    {"blend-modes/dissolve.psd",
     "Photoshop dissolves with a random pattern of its own, which cannot be reproduced; the "
     "blend table draws dissolve as normal"},
    {"third-party-psds/cactus_top.psd",
     "Photoshop stored the merged transparency as the image's fourth plane (its background "
     "layer is hidden) without the negative layer count that marks it; it reads as an extra "
     "channel"},
    {"effect-stroke-gradient.psd",
     "The stroke of 'Text 2' is filled with a noise gradient, whose colours Photoshop draws "
     "from a random generator of its own (drawn black to white here); every other pixel is "
     "within 8 levels (LayerEffectsTest)"},
};

std::vector<std::string> split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, separator))
        fields.push_back(field);
    return fields;
}

// The RGB and grayscale 8- and 16-bit documents with a real merged image,
// from the corpus manifest.
std::vector<std::string> comparisonDocuments() {
    std::ifstream manifest(lf::test::sharedFile("psd/manifest.csv"));
    std::string line;
    std::getline(manifest, line);
    std::vector<std::string> header = split(line, ','), documents;
    auto column = [&](const std::string& name) {
        return std::find(header.begin(), header.end(), name) - header.begin();
    };
    size_t path = column("path"), mode = column("color_mode"), depth = column("depth"),
           real = column("merged_real");
    while (std::getline(manifest, line)) {
        std::vector<std::string> fields = split(line, ',');
        if (fields.size() <= real || fields[real] != "true") continue;
        if (fields[mode] != "rgb" && fields[mode] != "grayscale") continue;
        if (fields[depth] == "8" || fields[depth] == "16") documents.push_back(fields[path]);
    }
    return documents;
}

std::shared_ptr<OMPSDDocument> open(const std::string& relativePath) {
    auto document = OMPSDDocument::createWithFile(lf::test::sharedFile("psd/" + relativePath));
    EXPECT_TRUE(document) << relativePath;
    return document ? document.value() : nullptr;
}

// Writes actual, expected and difference PNGs of a failed comparison.
std::string writeFailureImages(const std::string& relativePath, const QFRGBAImage& expected,
                               const QFRGBAImage& actual) {
    auto folder = std::filesystem::temp_directory_path() / "layerflow-compositing-failures";
    std::filesystem::create_directories(folder);
    std::string stem = relativePath;
    std::replace(stem.begin(), stem.end(), '/', '_');
    auto difference = QFRGBAImage::create(expected.width(), expected.height());
    for (size_t i = 0; i < difference->byteCount(); i += 4) {
        int largest = 0;
        for (int k = 0; k < 4; ++k)
            largest = std::max(largest, std::abs(expected.bytes()[i + k] - actual.bytes()[i + k]));
        uint8_t shown = static_cast<uint8_t>(std::min(255, largest * 8));
        uint8_t* pixel = difference->mutableBytes() + i;
        pixel[0] = pixel[1] = pixel[2] = shown;
        pixel[3] = 255;
    }
    WritePNG((folder / (stem + "-actual.png")).string(), actual);
    WritePNG((folder / (stem + "-expected.png")).string(), expected);
    WritePNG((folder / (stem + "-difference.png")).string(), *difference);
    return folder.string();
}

}  // namespace

TEST(DocumentRender, VisibleLayersMatchTheMergedImages) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    std::vector<std::string> documents = comparisonDocuments();
    EXPECT_GT(documents.size(), 90u);
    lf::LogCapture log;  // noise gradients and missing patterns say so
    for (const std::string& path : documents) {
        auto document = open(path);
        if (!document) continue;
        auto expected = MergedImagePremultiplied(*document);
        ASSERT_TRUE(expected) << path;
        auto actual = RenderNodeTiled(RenderNodeForDocument(*document), DocumentRect(*document));
        ASSERT_TRUE(actual) << path;
        actual = RenderAsStoredInMergedImage(*document, actual);
        auto comparison = CompareImages(*expected, *actual);
        ASSERT_TRUE(comparison) << path;
        auto known = kKnownDifferences.find(path);
        if (known == kKnownDifferences.end()) {
            EXPECT_TRUE(comparison->isClose())
                << path << ": " << comparison->over8 * 100
                << " % of pixels more than 8 levels off, "
                << "mean difference " << comparison->mae << "; images in "
                << writeFailureImages(path, *expected, *actual);
        } else {
            EXPECT_FALSE(comparison->isClose())
                << path << " is now close; take it off the known differences (" << known->second
                << ")";
        }
    }
    for (const auto& [path, reason] : kKnownDifferences)
        EXPECT_NE(std::find(documents.begin(), documents.end(), path), documents.end())
            << path << " is no longer in the comparison set";
}

TEST(DocumentRender, DocumentsWithoutLayersAreDrawnFromTheirImageData) {
    // Built documents without layers, 4 by 4: RGB with a saved selection
    // (a fourth plane of zeros), and 16-bit grayscale, whose samples of
    // 0x8080 are grey 128. Both are drawn opaque, at any scale; one whose
    // image data cannot be read is refused.
    lf::test::TestDocument rgb, gray, unreadable;
    rgb.channels = 4;
    for (uint8_t value : {200, 100, 50, 0})
        rgb.merged.insert(rgb.merged.end(), 16, value);
    gray.colorMode = 1;
    gray.depth = 16;
    gray.channels = 1;
    for (int i = 0; i < 16; ++i)
        gray.merged.insert(gray.merged.end(), {0x80, 0x80});
    unreadable.mergedCompression = 7;
    struct Case {
        const lf::test::TestDocument& built;
        std::array<uint8_t, 4> pixel;
    } cases[] = {{rgb, {200, 100, 50, 255}}, {gray, {128, 128, 128, 255}}};
    for (const Case& c : cases) {
        auto opened = OMPSDDocument::create(c.built.data());
        ASSERT_TRUE(opened);
        auto node = RenderNodeForDocument(**opened);
        for (double scale : {1.0, 2.0}) {
            auto image = RenderNodeTiled(node, DocumentRect(**opened), {scale, {64, 64}});
            ASSERT_TRUE(image);
            ASSERT_EQ(image->width(), uint64_t(4 * scale));
            for (uint64_t i = 0; i < image->byteCount(); i += 4)
                ASSERT_TRUE(std::equal(c.pixel.begin(), c.pixel.end(), image->bytes() + i))
                    << "mode " << c.built.colorMode << ", scale " << scale << ", byte " << i;
        }
    }
    lf::LogCapture log;
    auto opened = OMPSDDocument::create(unreadable.data());
    ASSERT_TRUE(opened);
    std::string error;
    EXPECT_FALSE(RenderNodeForDocument(**opened, &error));
    EXPECT_EQ(error, "the document has neither layers nor image data");

    // Photoshop's own documents without layers match their merged images
    // exactly (8-bit planes come back through the float pipeline as they
    // were), and render-psd calls them close.
    LF_REQUIRE_SHARED_DOCUMENTS();
    for (const char* path :
         {"0layers_tblocks.psd", "0layers_tblocks.psb", "history.psd", "history.psb"}) {
        auto document = open(path);
        ASSERT_TRUE(document && document->allLayers().empty()) << path;
        auto drawn = RenderNodeTiled(RenderNodeForDocument(*document), DocumentRect(*document));
        ASSERT_TRUE(drawn) << path;
        auto comparison = CompareImages(*MergedImagePremultiplied(*document), *drawn);
        ASSERT_TRUE(comparison) << path;
        EXPECT_EQ(comparison->maxDifference, 0) << path;

        auto [status, output] = lf::test::runCommand(
            std::string(LF_RENDER_PSD) + " '" +
            lf::test::sharedFile(std::string("psd/") + path).string() + "' --compare");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << path << ": " << output;
        EXPECT_NE(output.find("close=yes"), std::string::npos) << path << ": " << output;
    }
}

TEST(DocumentRender, MergedImagesWithoutTransparencyAreComparedOverWhite) {
    // A red layer over the left half of a 4 by 4 document whose merged
    // image has no transparency plane: white on the right. Without a
    // background layer Photoshop flattened the composite over white, and the
    // render flattened the same way equals it; with one, nothing changes.
    for (bool background : {false, true}) {
        lf::test::TestDocument built;
        lf::test::TestLayer red;
        red.bottom = 4;
        red.right = 2;
        for (int16_t id : {-1, 0, 1, 2})
            red.channels.push_back({id, 0, std::vector<uint8_t>(8, id == 1 || id == 2 ? 0 : 255)});
        if (background) red.blocks.push_back({"lnsr", {'b', 'g', 'n', 'd'}});
        built.layers.push_back(red);
        built.merged.assign(16, 255);
        for (int plane = 0; plane < 2; ++plane)
            for (int i = 0; i < 16; ++i)
                built.merged.push_back(i % 4 < 2 ? 0 : 255);
        auto opened = OMPSDDocument::create(built.data());
        ASSERT_TRUE(opened);
        const OMPSDDocument& document = **opened;
        EXPECT_EQ(MergedImageIsFlattenedOnWhite(document), !background);
        auto render =
            RenderNodeWhole(QFRenderNodeForLayers(document.layers()), DocumentRect(document), 1.0);
        ASSERT_TRUE(render);
        auto stored = RenderAsStoredInMergedImage(document, render);
        if (background)
            EXPECT_EQ(stored, render);
        else
            EXPECT_TRUE(*stored == *MergedImagePremultiplied(document));
    }
}

TEST(DocumentRender, OnlyARenderOfTheLayersIsComparedAgainst) {
    // A 4 by 4 merged image: all white, or with a black pixel; with or
    // without the version info's "has real merged data" byte.
    struct Case {
        bool white;
        int realFlag;  // -1: no version info
        bool real;
    } cases[] = {{false, -1, true},
                 {false, 1, true},
                 {false, 0, false},
                 {true, -1, false},
                 {true, 1, false}};
    for (const Case& c : cases) {
        lf::test::TestDocument built;
        built.merged.assign(48, 255);
        if (!c.white) built.merged[5] = 0;
        // Version 1, the flag, empty writer and reader names, file version 1.
        if (c.realFlag >= 0)
            built.resources.push_back(
                {1057, {0, 0, 0, 1, uint8_t(c.realFlag), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}});
        auto opened = OMPSDDocument::create(built.data());
        ASSERT_TRUE(opened);
        auto merged = MergedImagePremultiplied(**opened);
        ASSERT_TRUE(merged);
        EXPECT_EQ(MergedImageIsReal(**opened, *merged), c.real)
            << "white " << c.white << ", flag " << c.realFlag;
    }
    // Every document that the comparisons use is real; one that Photoshop
    // saved with a white stand-in (and the flag on) is not.
    LF_REQUIRE_SHARED_DOCUMENTS();
    for (const std::string& path : comparisonDocuments()) {
        auto document = open(path);
        auto merged = document ? MergedImagePremultiplied(*document) : nullptr;
        ASSERT_TRUE(merged) << path;
        EXPECT_TRUE(MergedImageIsReal(*document, *merged)) << path;
    }
    auto standIn = open("issues/issue397.psd");
    ASSERT_TRUE(standIn);
    EXPECT_FALSE(MergedImageIsReal(*standIn, *MergedImagePremultiplied(*standIn)));
}

TEST(DocumentRender, GrayscaleDocumentsDrawTheirOneChannelAsGrey) {
    // A grayscale document: a layer of grey 100 over the left half, half
    // covered, and a levels layer whose first record after the master (the
    // grey channel's) maps 204 to white: 100 becomes 125 in red, green and
    // blue alike.
    lf::test::TestDocument built;
    built.colorMode = 1;
    built.channels = 1;
    lf::test::TestLayer grey, levels;
    grey.bottom = 4;
    grey.right = 2;
    grey.channels = {{0, 0, std::vector<uint8_t>(8, 100)}, {-1, 0, std::vector<uint8_t>(8, 128)}};
    lf::test::ByteWriter records;
    records.u16(2);
    for (int record = 0; record < 29; ++record)
        for (int value : {0, record == 1 ? 204 : 255, 0, 255, 100})
            records.u16(uint16_t(value));
    levels.blocks = {{"levl", records.data()}};
    built.layers = {grey, levels};
    auto opened = OMPSDDocument::create(built.data());
    ASSERT_TRUE(opened);
    const OMPSDDocument& document = **opened;
    EXPECT_TRUE(DocumentIsDrawable(document));
    auto image =
        RenderNodeWhole(QFRenderNodeForLayers(document.layers()), DocumentRect(document), 1);
    ASSERT_TRUE(image);
    const uint8_t* pixel = image->bytes();  // premultiplied: 125 at 128 of 255
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(pixel[k], 125 * 128 / 255.0, 1) << k;
    EXPECT_EQ(pixel[3], 128);

    // The tool draws RGB and grayscale documents of 8 or 16 bits; others are
    // refused with the export's errors.
    struct {
        uint16_t mode, depth, channels;
        const char* refusal;
    } cases[] = {{3, 16, 3, nullptr},
                 {4, 8, 4, "Only documents in RGB color mode"},
                 {9, 8, 3, "Only documents in RGB color mode"},
                 {1, 32, 1, "Only documents with 8 or 16 bits"},
                 {3, 32, 3, "Only documents with 8 or 16 bits"}};
    for (const auto& c : cases) {
        lf::test::TestDocument other;
        other.colorMode = c.mode;
        other.depth = c.depth;
        other.channels = c.channels;
        auto made = OMPSDDocument::create(other.data());
        ASSERT_TRUE(made) << c.mode << " " << c.depth;
        std::string error;
        EXPECT_EQ(DocumentIsDrawable(**made, &error), c.refusal == nullptr);
        if (c.refusal) {
            EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
        }
    }
}

TEST(DocumentRender, VectorMasksMatchPhotoshopsOwnRasterisation) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    // A shape layer's transparency plane holds Photoshop's rendering of its
    // vector mask, with its stroke. Shapes marked for aligned rendering
    // ("sn2P") are snapped so that their bounds, grown by their stroke, land
    // on whole pixels; the others are drawn where their knots lie. The
    // arrows and the polygon lie at fractional positions; the rectangle
    // lies on whole pixels with a centred stroke 1 pixel wide, which keeps
    // to the whole pixels right of and below its edges.
    struct Case {
        const char *path, *layer;
        bool aligned;
    } cases[] = {
        {"masks.psd", "thin arrow", true},
        {"masks.psd", "thick arrow", false},
        {"effects/shape-fx2.psd", "Polygon 1", true},
        {"effects/double-stroke-effects.psd", "Rectangle 1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + ": " + c.layer);
        auto document = open(c.path);
        ASSERT_TRUE(document);
        auto layer = FindLayerNamed(*document, c.layer);
        ASSERT_TRUE(layer);
        EXPECT_EQ(layer->vectorMaskIsAlignedToPixels(), c.aligned);
        auto plane = layer->channelReferenceForIdentifier(-1);
        ASSERT_TRUE(plane && plane->depth() == 8);
        OMPSDRect r = plane->rect();
        uint64_t width = r.width(), height = r.height();
        std::vector<uint8_t> expected(width * height);
        ASSERT_TRUE(plane->byteArray()->copyBytes(expected.data(), BARange{0, expected.size()}));
        auto surface = BNRenderer().renderNode(QFVectorMaskNode(*layer),
                                               VKRectMake(r.left, r.top, width, height), 1.0);
        ASSERT_TRUE(surface);
        // Within a level on average; edges within 16 levels (the
        // rasterisers' grids differ).
        double total = 0;
        int largest = 0;
        for (uint64_t y = 0; y < height; ++y)
            for (uint64_t x = 0; x < width; ++x) {
                int actual = static_cast<int>(std::lround(surface->row(y)[x] * 255));
                int difference = std::abs(actual - expected[y * width + x]);
                total += difference;
                largest = std::max(largest, difference);
            }
        EXPECT_LT(total / static_cast<double>(width * height), 1.0);
        EXPECT_LE(largest, 16);
    }
}

TEST(DocumentRender, DocumentsMatchTheReferenceImagesBesideThem) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    // The RGB documents of the adjustments folder, and the masked document
    // (which has no merged image), each beside a PNG of its expected
    // composite (straight colour).
    for (const char* name :
         {"adjustments/adjustment_backdrop_test", "adjustments/adjustment_nested_composition_2",
          "adjustments/brightnesscontrast_legacy_rgb", "adjustments/huesaturation_colorize_rgb",
          "adjustments/levels_rgb", "adjustments/threshold_16bits_rgb", "adjustments/threshold_rgb",
          "masks/2"}) {
        std::string path = name;
        auto document = open(path + ".psd");
        if (!document) continue;
        lf::test::DecodedPNG png;
        ASSERT_TRUE(lf::test::decodePNG(lf::test::sharedFile("psd/" + path + ".png"), &png));
        ASSERT_EQ(png.channels, 4u) << path;
        // Straight colour: the comparison premultiplies it.
        auto expected = QFRGBAImage::create(png.width, png.height, false);
        ASSERT_TRUE(expected);
        std::copy(png.pixels.begin(), png.pixels.end(), expected->mutableBytes());
        auto actual =
            RenderNodeTiled(QFRenderNodeForLayers(document->layers()), DocumentRect(*document));
        ASSERT_TRUE(actual) << path;
        auto comparison = CompareImages(*expected, *actual);
        ASSERT_TRUE(comparison) << path;
        EXPECT_TRUE(comparison->isClose())
            << path << ": " << comparison->over8 * 100 << " % of pixels more than 8 levels off";
    }
}

TEST(DocumentRender, ConcurrentTiledRendersEqualOneUntiledRender) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    // Clipping, groups, shapes and strokes; masks with density and feather;
    // gradient, pattern and exposure providers asked from every tile.
    for (const char* path :
         {"clipping-mask.psd", "mask-vector-density.psd", "path-operations/combine.psd",
          "vector-mask2.psd", "passthrough_vector_mask.psd"}) {
        auto document = open(path);
        ASSERT_TRUE(document);
        BNRenderNodePtr node = QFRenderNodeForLayers(document->layers());
        VKRect rect = DocumentRect(*document);
        for (double scale : {1.0, 2.0}) {
            auto whole = RenderNodeWhole(node, rect, scale);
            ASSERT_TRUE(whole);
            // Every tile size at once (the default one that every user gets
            // among them), each tiled render on all cores, their tiles
            // sharing the workers' buffer caches.
            std::vector<std::future<std::shared_ptr<const QFRGBAImage>>> renders;
            for (VKSize tile : {VKSize{64, 64}, VKSize{100, 100}, QFTilingHelper::kDefaultTileSize,
                                VKSize{512, 512}})
                renders.push_back(std::async(std::launch::async, [=] {
                    return RenderNodeTiled(node, rect, {scale, tile});
                }));
            for (auto& render : renders) {
                auto tiled = render.get();
                ASSERT_TRUE(tiled) << path;
                EXPECT_TRUE(*tiled == *whole) << path << " at scale " << scale;
            }
        }
    }
}

TEST(DocumentRender, DamagedDocumentsRenderWithoutCrashing) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    lf::LogCapture log;
    auto renderAll = [](const lf::Data& bytes) {
        auto document = OMPSDDocument::create(bytes);
        if (!document) return;
        // Large claimed sizes are rendered in their top-left corner only.
        VKRect rect = VKRectIntersection(DocumentRect(**document), VKRectMake(0, 0, 96, 96));
        if (VKRectIsEmpty(rect)) return;
        RenderNodeTiled(QFRenderNodeForLayers((*document)->layers()), rect, {1.0, {64, 64}});
    };
    // Documents cut short at many places, and with bytes overwritten.
    for (const char* path : {"clipping-mask.psd", "masks2.psd", "group.psd", "16bit5x5.psd"}) {
        lf::Data bytes = lf::test::readShared(std::string("psd/") + path);
        std::vector<uint8_t> original(bytes.span().begin(), bytes.span().end());
        for (size_t cut = original.size() / 2; cut < original.size(); cut += original.size() / 23)
            renderAll(lf::Data(std::vector<uint8_t>(original.begin(), original.begin() + cut)));
        for (size_t at = original.size() / 3; at < original.size(); at += original.size() / 17) {
            std::vector<uint8_t> damaged = original;
            for (size_t i = at; i < std::min(damaged.size(), at + 8); ++i)
                damaged[i] ^= 0x5a;
            renderAll(lf::Data(std::move(damaged)));
        }
    }
    // A layer claiming an absurd rectangle over a few bytes of samples.
    lf::test::TestDocument built;
    lf::test::TestLayer layer;
    layer.top = -0x7fffff00;
    layer.left = -0x7fffff00;
    layer.bottom = 0x7fffff00;
    layer.right = 0x7fffff00;
    for (int16_t id : {-1, 0, 1, 2})
        layer.channels.push_back({id, 0, {1, 2, 3}});
    built.layers.push_back(layer);
    renderAll(built.data());
    // Pass-through groups nested thousands deep around one layer; and, less
    // deep but each with a layer clipped to it (which walks the group's own
    // layers once more), groups whose walks would multiply with every level.
    auto nestedGroups = [](int depth, bool shaped) {
        lf::test::TestDocument nested;
        lf::test::TestLayer marker, group, pixel;
        marker.blocks = {{"lsct", {0, 0, 0, 3}}};
        group.blocks = {{"lsct", {0, 0, 0, 1, '8', 'B', 'I', 'M', 'p', 'a', 's', 's'}}};
        pixel.bottom = pixel.right = 2;
        for (int16_t id : {-1, 0, 1, 2})
            pixel.channels.push_back({id, 0, {255, 255, 255, 255}});
        lf::test::TestLayer clipped = pixel;
        clipped.clipping = 1;
        nested.layers.assign(size_t(depth), marker);
        nested.layers.push_back(pixel);
        for (int i = 0; i < depth; ++i) {
            nested.layers.push_back(group);
            if (shaped) nested.layers.push_back(clipped);
        }
        return nested.data();
    };
    renderAll(nestedGroups(5000, false));
    renderAll(nestedGroups(40, true));
    EXPECT_TRUE(log.contains("nested more than 100 deep"));
    // The fuzzers' findings, rendered as the render fuzzer renders them.
    for (const auto& entry : std::filesystem::directory_iterator(LF_PSD_FUZZ_REGRESSIONS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
        QFExerciseRender(bytes.data(), bytes.size());
    }
}

TEST(DocumentRender, ConcurrentDecompressionReadsTheVisibleLayersOnly) {
    // Damaged planes say so when they are decompressed: the visible layer's
    // does, once; the hidden layer's and the hidden group's child's do not.
    auto layer = [](const char* name, uint8_t flags, std::vector<uint8_t> damaged) {
        lf::test::TestLayer made;
        made.name = name;
        made.flags = flags;
        made.bottom = made.right = 40;
        for (int16_t id : {-1, 0, 1, 2})
            made.channels.push_back(
                {id, 2,
                 id == 1 ? damaged
                         : lf::test::deflateBytes(std::vector<uint8_t>(1600, uint8_t(id + 9)))});
        return made;
    };
    std::vector<uint8_t> damaged = {0x78, 0x9c, 1, 2, 3, 4, 5};
    lf::test::TestLayer marker, group;
    marker.blocks = {{"lsct", {0, 0, 0, 3}}};
    group.name = "hidden group";
    group.flags = 0x02;
    group.blocks = {{"lsct", {0, 0, 0, 1}}};
    lf::test::TestDocument built;
    built.width = built.height = 40;
    built.layers = {layer("shown", 0, damaged), layer("hidden", 0x02, damaged), marker,
                    layer("inside", 0, damaged), group};
    auto document = OMPSDDocument::create(built.data());
    ASSERT_TRUE(document);
    lf::LogCapture log;
    DecompressVisibleChannels((*document)->layers());
    size_t failures = 0;
    for (const auto& line : log.lines()) {
        EXPECT_NE(line.find("'shown'"), std::string::npos) << line;
        failures += line.find("Cannot read") != std::string::npos;
    }
    EXPECT_EQ(failures, 1u);
    for (const auto& channel : (*document)->allLayers()[0]->channelReferences()) {
        uint64_t expected = channel->identifier() == 1 ? 0 : 1600;
        EXPECT_EQ(channel->byteArray()->length(), expected) << channel->debugIdentifier();
    }
}
