// Documents built byte by byte: what a well-formed one reads as, and how
// damaged and hostile ones fail (an error of the reader's domain, or the
// damaged part read as absent), never reading out of bounds.
#include "PSDExercise.h"
#include "PSDTestSupport.h"
#include "platform/core/Log.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDError.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using lf::test::ByteWriter;
using lf::test::TestDocument;
using lf::test::TestLayer;

namespace {

TestLayer pixelLayer(const std::string& name, int32_t size = 2) {
    TestLayer layer;
    layer.name = name;
    layer.bottom = layer.right = size;
    for (int16_t id : {-1, 0, 1, 2})
        layer.channels.push_back(
            {id, 0, std::vector<uint8_t>(size_t(size * size), uint8_t(id + 2))});
    return layer;
}

std::vector<uint8_t> u8Block(uint8_t value) {
    return {value, 0, 0, 0};
}

// A section divider block of `type` (1 open group, 3 end marker) with a key.
std::vector<uint8_t> divider(uint32_t type, const char* key = nullptr) {
    ByteWriter out;
    out.u32(type);
    if (key) out.code("8BIM").text(key);
    return out.data();
}

int64_t errorCode(const lf::Result<std::shared_ptr<OMPSDDocument>>& result) {
    if (result) return 0;
    EXPECT_EQ(result.error().domain, OMPSDErrorDomain);
    return result.error().code;
}

std::vector<std::string> names(const std::vector<std::shared_ptr<OMPSDLayer>>& layers) {
    std::vector<std::string> out;
    for (const auto& layer : layers)
        out.push_back(layer->name());
    return out;
}

}  // namespace

TEST(BuiltDocumentTest, HeaderErrors) {
    EXPECT_EQ(errorCode(OMPSDDocument::create(lf::Data())), OMPSDErrorNotAPhotoshopDocument);
    auto bytes = TestDocument().build();
    auto with = [&](size_t offset, std::vector<uint8_t> patch) {
        auto copy = bytes;
        std::copy(patch.begin(), patch.end(), copy.begin() + long(offset));
        return OMPSDDocument::create(lf::Data(copy));
    };
    EXPECT_EQ(errorCode(with(0, {'8', 'B', 'P', 'X'})), OMPSDErrorNotAPhotoshopDocument);
    EXPECT_EQ(errorCode(with(4, {0, 3})), OMPSDErrorUnsupportedVersion);
    EXPECT_EQ(errorCode(with(12, {0, 0})), OMPSDErrorInvalidHeader);              // no channels
    EXPECT_EQ(errorCode(with(12, {0, 57})), OMPSDErrorInvalidHeader);             // too many
    EXPECT_EQ(errorCode(with(18, {0, 0, 0x75, 0x31})), OMPSDErrorInvalidHeader);  // width 30001
    EXPECT_EQ(errorCode(with(22, {0, 7})), OMPSDErrorInvalidHeader);              // depth 7
    EXPECT_EQ(errorCode(with(24, {0, 5})), OMPSDErrorInvalidHeader);              // colour mode 5
    EXPECT_EQ(errorCode(with(26, {0x7f, 0, 0, 0})), OMPSDErrorTruncated);         // colour data
    // From a file, and a file that is not there.
    lf::test::TemporaryDirectory folder;
    lf::test::writeFile(folder / "a.psd", std::string(bytes.begin(), bytes.end()));
    EXPECT_TRUE(OMPSDDocument::createWithFile((folder / "a.psd").string()));
    EXPECT_EQ(errorCode(OMPSDDocument::createWithFile((folder / "none.psd").string())),
              OMPSDErrorReadFailed);
}

TEST(BuiltDocumentTest, BuiltDocumentReadsAsWritten) {
    TestDocument document;
    document.resources = {{1037, {0, 0, 0, 120}}, {1049, {0, 0, 0, 7, 0}}};  // 1049: not 4 bytes
    TestLayer layer = pixelLayer("Base");
    layer.opacity = 128;
    layer.clipping = 1;
    layer.flags = 0x02;  // hidden
    layer.blendKey = "mul ";
    // Mask with real mask and all four parameters.
    ByteWriter mask;
    mask.u32(1).u32(1).u32(3).u32(3).u8(255).u8(0x10 | 0x04 | 0x02);
    mask.u8(0).u8(0).u32(0).u32(0).u32(2).u32(2);  // real flags, colour, rectangle
    mask.u8(0x0f).u8(51).f64(2.5).u8(102).f64(0.75);
    layer.maskData = mask.data();
    layer.blendingRanges = {0, 0, 255, 255, 10, 20, 200, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    layer.blocks = {{"luni", ByteWriter().u32(4).u16('B').u16(0xe4).u16('s').u16('e').data()},
                    {"lyid", {0, 0, 0, 9}},
                    {"iOpa", u8Block(51)},
                    {"knko", u8Block(2)},
                    {"clbl", u8Block(0)},
                    {"infx", u8Block(1)},
                    {"tsly", u8Block(0)},
                    {"brst", {0, 0, 0, 1}},
                    {"lnsr", {'b', 'g', 'n', 'd'}},
                    {"fxrp", ByteWriter().f64(3.5).f64(-2).data()}};
    document.layers = {layer};
    auto opened = OMPSDDocument::create(document.data());
    ASSERT_TRUE(opened) << lf::describe(opened.error());
    const auto& d = **opened;
    EXPECT_EQ(d.globalAngle(), 120);
    EXPECT_EQ(d.globalAltitude(), 30);
    ASSERT_EQ(d.layers().size(), 1u);
    const auto& l = *d.layers()[0];
    EXPECT_EQ(l.name(), "B\xc3\xa4se");  // the Unicode name wins
    EXPECT_EQ(l.identifier(), 9u);
    EXPECT_FALSE(l.isVisible());
    EXPECT_EQ(l.clipping(), 1);
    EXPECT_EQ(l.layerNameSource(), OMPSDFourCC("bgnd"));
    EXPECT_EQ(l.effectsReferencePoint(), (OMPSDPoint{3.5, -2}));
    const auto& o = *l.blendingOptions();
    EXPECT_EQ(o.blendMode(), OMPSDFourCC("mul "));
    EXPECT_EQ(o.opacity(), 128 / 255.0);
    EXPECT_EQ(o.fillOpacity(), 0.2);
    EXPECT_EQ(o.knockoutStyle(), 2);
    EXPECT_FALSE(o.shouldBlendClippedLayersAsGroup());
    EXPECT_TRUE(o.shouldBlendInteriorEffectsAsGroup());
    EXPECT_FALSE(o.transparencyShapesLayer());
    EXPECT_TRUE(o.hasRestrictedBlending());
    EXPECT_TRUE(o.shouldBlendRed());
    EXPECT_FALSE(o.shouldBlendGreen());
    const auto& ranges = *o.blendingRanges();
    EXPECT_TRUE(ranges.isOpaqueForSource());
    EXPECT_FALSE(ranges.isOpaqueForDestination());
    EXPECT_EQ(ranges.grayDestinationBlendingRange().blackHigh, 20 / 255.0);
    // Mask values.
    EXPECT_FALSE(l.maskIsEnabled());
    EXPECT_TRUE(l.maskIsInverted());
    EXPECT_EQ(l.maskBackgroundColor(), 1.0);
    EXPECT_TRUE(l.realMaskIsEnabled());
    EXPECT_EQ(l.realMaskBackgroundColor(), 0.0);
    EXPECT_EQ(l.maskDensity(), 0.2);
    EXPECT_EQ(l.maskFeatherAmount(), 2.5);
    EXPECT_EQ(l.vectorMaskDensity(), 0.4);
    EXPECT_EQ(l.vectorMaskFeatherAmount(), 0.75);
    ASSERT_EQ(l.channelReferences().size(), 4u);
    EXPECT_EQ(l.channelReferenceForIdentifier(-1)->byteArray()->length(), 4u);
    EXPECT_EQ(l.channelReferenceForIdentifier(-2), nullptr);
    // Visibility can be changed and restored.
    d.layers()[0]->setIsVisible(true);
    EXPECT_TRUE(l.isVisible());
    EXPECT_EQ(l.document().get(), &d);
}

TEST(BuiltDocumentTest, GroupTreeFromSectionDividers) {
    // File order, bottom first: end marker, a, b, group G (pass through), c,
    // then an unbalanced group H without a marker and an unclosed marker
    // holding d.
    auto marker = [] {
        TestLayer layer;
        layer.name = "</Layer group>";
        layer.blocks = {{"lsct", divider(3)}};
        return layer;
    };
    TestLayer group;
    group.name = "G";
    group.blocks = {{"lsct", divider(1, "pass")}};
    TestLayer lone;
    lone.name = "H";
    lone.blocks = {{"lsct", divider(2)}};
    TestDocument document;
    document.layers = {marker(), pixelLayer("a"), pixelLayer("b"), group, pixelLayer("c"),
                       lone,     marker(),        pixelLayer("d")};
    auto opened = OMPSDDocument::create(document.data());
    ASSERT_TRUE(opened);
    const auto& d = **opened;
    EXPECT_EQ(names(d.layers()), (std::vector<std::string>{"G", "c", "H", "d"}));
    EXPECT_EQ(names(d.layers()[0]->sublayers()), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(d.layers()[0]->isGroup());
    EXPECT_EQ(d.layers()[0]->blendingOptions()->blendMode(), OMPSDFourCC("pass"));
    EXPECT_TRUE(d.layers()[2]->isGroup());
    EXPECT_TRUE(d.layers()[2]->sublayers().empty());
    EXPECT_EQ(d.allLayers().size(), 6u) << "end markers are not layers";
}

TEST(BuiltDocumentTest, PSBWithSixteenBitLayerBlock) {
    // A 16-bit PSB keeps its layers in "Lr16" with 8-byte lengths.
    TestDocument inner;
    inner.version = 2;
    inner.depth = 16;
    TestLayer layer;
    layer.name = "deep";
    layer.bottom = layer.right = 2;
    layer.channels = {{0, 0, {0, 1, 0, 2, 0, 3, 0xff, 0xff}}};
    inner.layers = {layer};
    auto full = inner.build();
    // Take the layer info out of the built section and put it in "Lr16".
    TestDocument document = inner;
    document.layers.clear();
    // Layer info starts after header (26), colour data (4), resources (4)
    // and the two 8-byte lengths of the section and of the layer info.
    size_t infoStart = 26 + 4 + 4 + 8 + 8;
    uint64_t infoLength = 0;
    for (int i = 0; i < 8; ++i)
        infoLength = infoLength << 8 | full[34 + 8 + i];
    document.documentBlocks = {
        {"Lr16", std::vector<uint8_t>(full.begin() + long(infoStart),
                                      full.begin() + long(infoStart + infoLength))}};
    auto opened = OMPSDDocument::create(document.data());
    ASSERT_TRUE(opened) << lf::describe(opened.error());
    ASSERT_EQ((*opened)->layers().size(), 1u);
    EXPECT_TRUE((*opened)->isPSB());
    const auto& channel = (*opened)->layers()[0]->channelReferences()[0];
    std::vector<uint8_t> samples(8);
    ASSERT_TRUE(channel->byteArray()->copyBytes(samples.data(), {0, 8}));
    EXPECT_EQ(samples, (std::vector<uint8_t>{0, 1, 0, 2, 0, 3, 0xff, 0xff}));
}

TEST(BuiltDocumentTest, MergedImagePlanes) {
    TestDocument document;
    document.channels = 4;
    document.width = 2;
    document.height = 1;
    document.mergedTransparency = true;
    document.layers = {pixelLayer("a")};
    document.mergedCompression = 1;
    ByteWriter merged;
    for (int c = 0; c < 4; ++c)
        merged.u16(3);  // one row per plane, 3 bytes each
    for (int c = 0; c < 4; ++c)
        merged.u8(0xff).u8(uint8_t(c * 10)).u8(0);  // repeat twice
    document.merged = merged.data();
    auto opened = OMPSDDocument::create(document.data());
    ASSERT_TRUE(opened);
    const auto& planes = (*opened)->mergedChannelReferences();
    ASSERT_EQ(planes.size(), 4u);
    EXPECT_EQ(planes[3]->identifier(), -1);
    std::vector<uint8_t> samples(2);
    ASSERT_TRUE(planes[2]->byteArray()->copyBytes(samples.data(), {0, 2}));
    EXPECT_EQ(samples, (std::vector<uint8_t>{20, 20}));
    // A merged image cut short is absent, and the rest of the document reads.
    auto bytes = document.build();
    bytes.resize(bytes.size() - 5);
    auto cut = OMPSDDocument::create(lf::Data(bytes));
    ASSERT_TRUE(cut);
    EXPECT_TRUE((*cut)->mergedChannelReferences().empty());
    EXPECT_EQ((*cut)->layers().size(), 1u);
}

TEST(BuiltDocumentTest, HostileLengthsAndCounts) {
    lf::LogCapture quiet;
    auto patched = [](std::vector<uint8_t> bytes, size_t offset, std::vector<uint8_t> patch) {
        std::copy(patch.begin(), patch.end(), bytes.begin() + long(offset));
        return OMPSDDocument::create(lf::Data(std::move(bytes)));
    };
    TestDocument document;
    document.layers = {pixelLayer("a")};
    auto bytes = document.build();
    const size_t section = 26 + 4 + 4;  // layer and mask section length
    const size_t info = section + 4;    // layer info length
    const size_t count = info + 4;      // layer count
    const size_t record = count + 2;
    EXPECT_EQ(errorCode(patched(bytes, section, {0xff, 0xff, 0xff, 0xf0})), OMPSDErrorTruncated);
    EXPECT_EQ(errorCode(patched(bytes, info, {0xff, 0xff, 0xff, 0xf0})), OMPSDErrorTruncated);
    EXPECT_EQ(errorCode(patched(bytes, count, {0x7f, 0xff})), OMPSDErrorCorruptData);
    EXPECT_EQ(errorCode(patched(bytes, count, {0x80, 0x00})), OMPSDErrorCorruptData);
    EXPECT_EQ(errorCode(patched(bytes, record + 16, {0xff, 0xff})), OMPSDErrorCorruptData);
    // A channel longer than the layer info.
    EXPECT_EQ(errorCode(patched(bytes, record + 18 + 2, {0xff, 0xff, 0xff, 0xff})),
              OMPSDErrorTruncated);
    // The record's extra data length past the section.
    EXPECT_EQ(errorCode(patched(bytes, record + 18 + 4 * 6 + 12, {0x7f, 0xff, 0xff, 0xff})),
              OMPSDErrorTruncated);
    // A mask size past the extra data.
    EXPECT_EQ(errorCode(patched(bytes, record + 18 + 4 * 6 + 16, {0x7f, 0xff, 0xff, 0xff})),
              OMPSDErrorCorruptData);
}

TEST(BuiltDocumentTest, DamagedBlocksReadAsAbsent) {
    lf::LogCapture quiet;
    TestLayer layer = pixelLayer("a");
    // A block whose length runs past the extra data, after a good one.
    layer.blocks = {{"lyid", {0, 0, 0, 4}}};
    TestDocument document;
    document.layers = {layer};
    auto bytes = document.build();
    std::string needle = "8BIMlyid";
    auto at = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    ASSERT_NE(at, bytes.end());
    // Replace the lyid block's length by a hostile one and check the layer.
    auto hostile = bytes;
    size_t position = size_t(at - bytes.begin());
    hostile[position + 8] = 0x7f;
    auto opened = OMPSDDocument::create(lf::Data(hostile));
    ASSERT_TRUE(opened);
    EXPECT_EQ((*opened)->layers()[0]->identifier(), 0u);
    EXPECT_EQ((*opened)->layers()[0]->attributesAtomForKey(OMPSDFourCC("lyid")), nullptr);

    // Blocks with damaged contents decode as absent.
    TestLayer broken = pixelLayer("b");
    broken.blocks = {{"lfx2", {0, 0, 0, 0, 0, 0, 0, 16, 1, 2}},
                     {"vstk", {0, 0, 0, 16}},
                     {"SoCo", {0, 0, 0, 16, 0xff}},
                     {"levl", {0, 2, 0}},
                     {"curv", {0, 0, 1, 0, 0, 0, 1, 0xff, 0xff}},
                     {"hue2", {0, 2}},
                     {"vmsk", {0, 0}},
                     {"grdm", {0, 1, 0}},
                     {"post", {4}},
                     {"fxrp", {1, 2, 3}},
                     {"TySh", {0, 1, 0, 0}}};
    document.layers = {broken};
    // A version info that ends inside its reader's name.
    document.resources = {{1057, {0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 9, 0, 'A'}}};
    auto second = OMPSDDocument::create(document.data());
    ASSERT_TRUE(second);
    const auto& l = *(*second)->layers()[0];
    EXPECT_EQ(l.effects(), nullptr);
    EXPECT_EQ(l.vectorStroke(), nullptr);
    EXPECT_FALSE(l.colorFill().has_value());
    EXPECT_EQ(l.levels(), nullptr);
    EXPECT_EQ(l.curves(), nullptr);
    EXPECT_EQ(l.hueSaturation(), nullptr);
    EXPECT_EQ(l.vectorMask(), nullptr);
    EXPECT_FALSE(l.vectorMaskIsEnabled());
    EXPECT_EQ(l.gradientMap(), nullptr);
    EXPECT_EQ(l.posterizeLevels(), 0);
    EXPECT_EQ(l.effectsReferencePoint(), (OMPSDPoint{0, 0}));
    EXPECT_EQ(l.typeRecord(), nullptr);
    EXPECT_FALSE((*second)->versionInfo());
}

TEST(BuiltDocumentTest, EveryTruncationFailsCleanly) {
    // Every prefix of a document with layers, masks, blocks and RLE data
    // either opens or fails with the reader's error; reading everything of
    // what opens stays in bounds (the sanitizer build checks that).
    lf::LogCapture quiet;
    TestDocument document;
    TestLayer layer = pixelLayer("a", 3);
    layer.channels[1] = {0, 1, {0, 2, 0, 2, 0, 2, 0xfe, 1, 0xfe, 2, 0xfe, 3}};
    ByteWriter mask;
    mask.u32(0).u32(0).u32(1).u32(1).u8(0).u8(0).u16(0);
    layer.maskData = mask.data();
    layer.channels.push_back({-2, 0, {7}});
    layer.blocks = {{"luni", ByteWriter().unicode("x").data()}, {"iOpa", u8Block(1)}};
    document.layers = {layer, pixelLayer("b")};
    document.resources = {{1037, {0, 0, 0, 30}}};
    auto bytes = document.build();
    auto full = OMPSDDocument::create(lf::Data(bytes));
    ASSERT_TRUE(full) << lf::describe(full.error());
    EXPECT_EQ((*full)->layers()[0]->channelReferences()[1]->byteArray()->length(), 9u);
    size_t opened = 0;
    for (size_t length = 0; length < bytes.size(); ++length) {
        auto result = OMPSDDocument::create(lf::Data::copy(bytes.data(), length));
        if (result)
            ++opened;
        else
            EXPECT_EQ(result.error().domain, OMPSDErrorDomain);
        OMPSDExerciseDocument(bytes.data(), length);
    }
    // Prefixes that only lose the merged image still open.
    EXPECT_GT(opened, 0u);
}

TEST(BuiltDocumentTest, FuzzerFindingsStayFixed) {
    // Inputs that once crashed or hung the reader (kept by the fuzzer's
    // runs): each must now open or fail cleanly.
    lf::LogCapture quiet;
    std::filesystem::path folder = LF_PSD_FUZZ_REGRESSIONS;
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        OMPSDExerciseDocument(bytes.data(), bytes.size());
        ++count;
    }
    EXPECT_GT(count, 0u);
}

TEST(BuiltDocumentTest, ActiveLayerCompSetsVisibilityAndBlending) {
    auto item = [](ByteWriter& out, const std::string& key, const char(&type)[5]) -> ByteWriter& {
        return out.identifier(key).code(type);
    };
    auto body = [](const char* classId, uint32_t count, const ByteWriter& items) {
        return ByteWriter().unicode("").identifier(classId).u32(count).bytes(items.data()).data();
    };
    // The comp's blend mode under its short name and under its long one.
    for (const char* screen : {"Scrn", "screen"}) {
        SCOPED_TRACE(screen);
        ByteWriter comp;
        item(comp, "compID", "long").u32(5);
        item(comp, "Nm  ", "TEXT").unicode("Night");
        item(comp, "capturedInfo", "long").u32(5);  // visibility and appearance
        ByteWriter comps;
        item(comps, "list", "VlLs").u32(1).code("Objc").bytes(body("Cmps", 3, comp));
        item(comps, "lastAppliedComp", "long").u32(5);

        ByteWriter blend;
        item(blend, "Md  ", "enum").identifier("BlnM").identifier(screen);
        item(blend, "Opct", "UntF").code("#Prc").f64(40);
        ByteWriter setting;
        item(setting, "compList", "VlLs").u32(2).code("long").u32(3).code("long").u32(5);
        item(setting, "enab", "bool").u8(0);
        item(setting, "blendOptions", "Objc").bytes(body("null", 2, blend));
        ByteWriter settings;
        item(settings, "layerSettings", "VlLs").u32(1).code("Objc").bytes(body("null", 3, setting));
        auto cmls = ByteWriter().u32(16).bytes(body("null", 1, settings)).data();
        ByteWriter metadata;
        metadata.u32(1).code("8BIM").code("cmls").u32(0).u32(uint32_t(cmls.size())).bytes(cmls);

        TestDocument document;
        document.resources = {{1065, ByteWriter().u32(16).bytes(body("null", 2, comps)).data()}};
        TestLayer layer = pixelLayer("a");
        layer.blocks = {{"shmd", metadata.data()}};
        document.layers = {layer, pixelLayer("untouched")};
        auto opened = OMPSDDocument::create(document.data());
        ASSERT_TRUE(opened);
        const auto& d = **opened;
        ASSERT_EQ(d.layerComps().size(), 1u);
        EXPECT_EQ(d.layerComps()[0].name, "Night");
        EXPECT_EQ(d.activeLayerCompIdentifier(), 5);
        EXPECT_FALSE(d.layers()[0]->isVisible());
        EXPECT_EQ(d.layers()[0]->blendingOptions()->blendMode(), OMPSDFourCC("scrn"));
        EXPECT_DOUBLE_EQ(d.layers()[0]->blendingOptions()->opacity(), 0.4);
        EXPECT_TRUE(d.layers()[1]->isVisible());
    }
}

TEST(BuiltDocumentTest, SmartObjectSnapshotsAndInstances) {
    // A filter effects block with one snapshot: three raw colour planes,
    // the transparency, and a smart filter mask.
    ByteWriter snapshot;
    snapshot.u32(0).u32(0).u32(1).u32(2).u32(8).u32(4);  // rectangle, depth, channels
    for (uint32_t c = 0; c < 4 + 2; ++c) {
        if (c >= 4) {
            snapshot.u32(0);  // masks not written
            continue;
        }
        snapshot.u32(1).u64(4).u16(0).u8(uint8_t(c)).u8(uint8_t(c));
    }
    snapshot.u8(1).u32(0).u32(0).u32(1).u32(1).u64(3).u16(0).u8(200);
    ByteWriter entries;
    entries.u8(4).text("uuid").u32(1).u64(snapshot.size()).bytes(snapshot.data());
    ByteWriter block;
    block.u32(3).u64(entries.size()).bytes(entries.data());

    ByteWriter placed;
    placed.identifier("Idnt").code("TEXT").unicode("file");
    placed.identifier("placed").code("TEXT").unicode("uuid");
    ByteWriter soLd;
    soLd.code("soLD").u32(4).u32(16).unicode("").identifier("null").u32(2).bytes(placed.data());

    TestDocument document;
    TestLayer layer = pixelLayer("so");
    layer.blocks = {{"SoLd", soLd.data()}};
    document.layers = {layer};
    document.documentBlocks = {{"FXid", block.data()}};
    auto opened = OMPSDDocument::create(document.data());
    ASSERT_TRUE(opened);
    const auto& d = **opened;
    auto instance = d.layers()[0]->smartObjectInstance();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->snapshotIdentifier(), "uuid");
    EXPECT_EQ(instance->linkedIdentifier(), "file");
    ASSERT_EQ(d.smartObjectSnapshots().size(), 1u);
    const auto& s = *d.smartObjectSnapshots()[0];
    EXPECT_EQ(s.uniqueIdentifier(), "uuid");
    ASSERT_EQ(s.channelReferences().size(), 4u);
    EXPECT_EQ(s.channelReferences()[3]->identifier(), -1);
    std::vector<uint8_t> samples(2);
    ASSERT_TRUE(s.channelReferences()[2]->byteArray()->copyBytes(samples.data(), {0, 2}));
    EXPECT_EQ(samples, (std::vector<uint8_t>{2, 2}));
    ASSERT_NE(s.smartFilterMask(), nullptr);
    EXPECT_EQ(s.smartFilterMask()->byteArray()->length(), 1u);
}

TEST(BuiltDocumentTest, IndexedPatternsKeepTheirColourTable) {
    // One "Patt" pattern: an indexed 2 x 1 tile, its colour table, and one
    // raw plane of indices.
    std::vector<uint8_t> table(3 * 256);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = uint8_t(i * 7);
    ByteWriter plane;
    plane.u32(8).u32(0).u32(0).u32(1).u32(2).u16(8).u8(0).u8(3).u8(5);  // depth, rect, raw
    ByteWriter pattern;
    pattern.u32(1).u32(2).u16(1).u16(2).unicode("Dots").u8(2).text("id");
    pattern.bytes(table).u32(0);
    pattern.u32(3).u32(0).u32(0).u32(0).u32(1).u32(2).u32(1);  // list, rect, one channel
    pattern.u32(1).u32(uint32_t(plane.size())).bytes(plane.data());
    pattern.u32(0).u32(0);  // masks not written
    ByteWriter block;
    block.u32(uint32_t(pattern.size())).bytes(pattern.data());

    TestDocument document;
    document.layers = {pixelLayer("layer")};
    document.documentBlocks = {{"Patt", block.data()}};
    auto opened = OMPSDDocument::create(document.data());
    ASSERT_TRUE(opened);
    ASSERT_EQ((*opened)->patterns().size(), 1u);
    const OMPSDPattern& tile = *(*opened)->patterns()[0];
    EXPECT_EQ(tile.colorTable(), table);
    ASSERT_EQ(tile.channelReferences().size(), 1u);  // the indices, read after the table
    std::vector<uint8_t> indices(2);
    ASSERT_TRUE(tile.channelReferences()[0]->byteArray()->copyBytes(indices.data(), {0, 2}));
    EXPECT_EQ(indices, (std::vector<uint8_t>{3, 5}));
}
