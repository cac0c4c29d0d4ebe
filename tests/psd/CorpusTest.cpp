// The real Photoshop documents of the shared corpus against the reference
// values of expected/*.json (read by an independent reader) and the merged
// images of expected/*.merged.png.
#include "PSDTestSupport.h"
#include "platform/core/Log.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDError.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <set>

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

struct CorpusDocument {
    std::string path;  // relative to psd/
    json expected;
};

std::vector<CorpusDocument> corpus() {
    std::vector<CorpusDocument> documents;
    std::ifstream manifest(lf::test::sharedFile("psd/manifest.csv"));
    std::string line;
    std::getline(manifest, line);
    while (std::getline(manifest, line)) {
        std::string path = line.substr(0, line.find(','));
        std::ifstream in(lf::test::sharedFile("psd/expected/" + path + ".json"));
        documents.push_back({path, json::parse(in)});
    }
    return documents;
}

std::string key(uint32_t code) {
    return OMPSDFourCCString(code);
}

// Rectangle as [left, top, right, bottom], the reference's order.
json box(const OMPSDRect& r) {
    return json::array({r.left, r.top, r.right, r.bottom});
}

json rangeBytes(const OMPSDBlendingRange& r) {
    auto byte = [](double v) { return int(std::lround(v * 255)); };
    return json::array({byte(r.blackLow), byte(r.blackHigh), byte(r.whiteLow), byte(r.whiteHigh)});
}

// Which block of the layer says what kind of adjustment it is.
const std::map<std::string, std::string> kAdjustmentKeys = {
    {"adjustment-blackandwhite", "blwh"},
    {"adjustment-brightnesscontrast", "brit"},
    {"adjustment-channelmixer", "mixr"},
    {"adjustment-colorbalance", "blnc"},
    {"adjustment-colorlookup", "clrL"},
    {"adjustment-curves", "curv"},
    {"adjustment-exposure", "expA"},
    {"adjustment-gradientmap", "grdm"},
    {"adjustment-huesaturation", "hue2"},
    {"adjustment-invert", "nvrt"},
    {"adjustment-levels", "levl"},
    {"adjustment-photofilter", "phfl"},
    {"adjustment-posterize", "post"},
    {"adjustment-selectivecolor", "selc"},
    {"adjustment-threshold", "thrs"},
    {"adjustment-vibrance", "vibA"},
    {"fill-solid", "SoCo"},
    {"fill-gradient", "GdFl"},
    {"fill-pattern", "PtFl"},
};

const std::map<std::string, OMPSDEffect::Kind> kEffectKinds = {
    {"dropshadow", OMPSDEffect::Kind::dropShadow},
    {"innershadow", OMPSDEffect::Kind::innerShadow},
    {"outerglow", OMPSDEffect::Kind::outerGlow},
    {"innerglow", OMPSDEffect::Kind::innerGlow},
    {"bevelemboss", OMPSDEffect::Kind::bevelEmboss},
    {"satin", OMPSDEffect::Kind::satin},
    {"coloroverlay", OMPSDEffect::Kind::colorOverlay},
    {"gradientoverlay", OMPSDEffect::Kind::gradientOverlay},
    {"patternoverlay", OMPSDEffect::Kind::patternOverlay},
    {"stroke", OMPSDEffect::Kind::stroke},
};

void compareMask(const OMPSDLayer& layer, const json& expected) {
    if (expected.is_null()) {
        // The reference lists no pixel mask; the record may still carry an
        // empty mask structure with only real-mask values.
        EXPECT_FALSE(layer.channelReferenceForIdentifier(-2) && layer.maskData() &&
                     !layer.maskData()->rect.isEmpty());
        return;
    }
    ASSERT_TRUE(layer.maskData().has_value());
    const auto& mask = *layer.maskData();
    EXPECT_EQ(box(mask.rect), expected["bbox"]);
    EXPECT_EQ(mask.backgroundColor, expected["default_color"].get<int>());
    EXPECT_EQ(!layer.maskIsEnabled(), expected["disabled"].get<bool>());
    EXPECT_EQ(layer.maskIsInverted(), expected["inverted"].get<bool>());
    EXPECT_EQ(layer.maskIsRelativeToLayer(), expected["relative_to_layer"].get<bool>());
    EXPECT_EQ(layer.maskIsPrerenderedVectorMask(), expected["from_render"].get<bool>());
    if (expected.contains("parameters")) {
        const auto& p = expected["parameters"];
        if (p.contains("user_density")) {
            EXPECT_NEAR(layer.maskDensity() * 255, p["user_density"].get<double>(), 1e-6);
        }
        if (p.contains("user_feather")) {
            EXPECT_NEAR(layer.maskFeatherAmount(), p["user_feather"].get<double>(), 1e-4);
        }
        if (p.contains("vector_density")) {
            EXPECT_NEAR(layer.vectorMaskDensity() * 255, p["vector_density"].get<double>(), 1e-6);
        }
        if (p.contains("vector_feather")) {
            EXPECT_NEAR(layer.vectorMaskFeatherAmount(), p["vector_feather"].get<double>(), 1e-4);
        }
    }
    if (expected.contains("real")) {
        ASSERT_TRUE(mask.hasRealMask);
        EXPECT_EQ(box(mask.realRect), expected["real"]["bbox"]);
        EXPECT_EQ(mask.realBackgroundColor, expected["real"]["default_color"].get<int>());
        EXPECT_EQ(!layer.realMaskIsEnabled(), expected["real"]["disabled"].get<bool>());
    }
}

void compareVectorMask(const OMPSDLayer& layer, const json& expected) {
    auto path = layer.vectorMask();
    if (expected.is_null()) {
        EXPECT_EQ(path, nullptr);
        return;
    }
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(!layer.vectorMaskIsEnabled(), expected["disabled"].get<bool>());
    EXPECT_EQ(layer.vectorMaskIsInverted(), expected["inverted"].get<bool>());
    EXPECT_EQ(!layer.vectorMaskIsLinked(), expected["not_linked"].get<bool>());
    ASSERT_EQ(path->subpaths().size(), expected["subpaths"].get<size_t>());
    for (size_t i = 0; i < path->subpaths().size(); ++i) {
        EXPECT_EQ(path->subpaths()[i].segments().size(),
                  expected["paths"][i]["knots"].get<size_t>());
        EXPECT_EQ(path->subpaths()[i].isClosed(), expected["paths"][i]["closed"].get<bool>());
    }
}

// A reference colour: [r, g, b] rounded from 0..255 values, or a raw
// descriptor of another model (then only checked to be a colour at all).
void expectColor(const OMPSDColor& color, const json& expected) {
    if (!expected.is_array()) return;
    EXPECT_NEAR(color.red() * 255, expected[0].get<double>(), 0.51);
    EXPECT_NEAR(color.green() * 255, expected[1].get<double>(), 0.51);
    EXPECT_NEAR(color.blue() * 255, expected[2].get<double>(), 0.51);
}

void expectNear(double actual, const json& item, const char* name, double scale = 1) {
    if (item.contains(name)) {
        EXPECT_NEAR(actual * scale, item[name].get<double>(), 1e-3) << name;
    }
}

void compareGradient(const OMPSDGradient& gradient, const json& expected) {
    if (expected["form"] != "CstS") {
        EXPECT_TRUE(gradient.isNoise());
        return;
    }
    EXPECT_NEAR(gradient.smoothness() * 4096, expected["smoothness"].get<double>(), 1e-6);
    ASSERT_EQ(gradient.colorStops().size(), expected["color_stops"].size());
    for (size_t i = 0; i < gradient.colorStops().size(); ++i) {
        const auto& stop = gradient.colorStops()[i];
        EXPECT_NEAR(stop.location() * 4096, expected["color_stops"][i]["location"].get<double>(),
                    1e-6);
        EXPECT_NEAR(stop.midpoint() * 100, expected["color_stops"][i]["midpoint"].get<double>(),
                    1e-6);
        if (expected["color_stops"][i]["type"] == "UsrS")
            expectColor(stop.color(), expected["color_stops"][i]["color"]);
    }
    ASSERT_EQ(gradient.opacityStops().size(), expected["opacity_stops"].size());
    for (size_t i = 0; i < gradient.opacityStops().size(); ++i)
        EXPECT_NEAR(gradient.opacityStops()[i].opacity() * 100,
                    expected["opacity_stops"][i]["opacity"].get<double>(), 1e-3);
}

void compareGradientFill(const OMPSDGradientFill& fill, const json& item) {
    if (item.contains("gradient")) compareGradient(*fill.gradient(), item["gradient"]);
    expectNear(fill.angle(), item, "angle");
    if (item.contains("gradient_type")) {
        const std::map<std::string, OMPSDGradientStyle> styles = {
            {"Lnr ", OMPSDGradientStyleLinear},
            {"Rdl ", OMPSDGradientStyleRadial},
            {"Angl", OMPSDGradientStyleAngle},
            {"Rflc", OMPSDGradientStyleReflected},
            {"Dmnd", OMPSDGradientStyleDiamond}};
        EXPECT_EQ(fill.style(), styles.at(item["gradient_type"]));
    }
    if (item.contains("reversed")) {
        EXPECT_EQ(fill.isReversed(), item["reversed"].get<bool>());
    }
    if (item.contains("dithered")) {
        EXPECT_EQ(fill.isDithered(), item["dithered"].get<bool>());
    }
    if (item.contains("aligned")) {
        EXPECT_EQ(fill.isAlignedWithLayer(), item["aligned"].get<bool>());
    }
    expectNear(fill.scale(), item, "scale", 100);
    if (item.contains("offset")) {
        EXPECT_NEAR(fill.horizontalOffset() * 100, item["offset"][0].get<double>(), 1e-3);
        EXPECT_NEAR(fill.verticalOffset() * 100, item["offset"][1].get<double>(), 1e-3);
    }
}

void comparePatternFill(const OMPSDPatternFill& fill, const json& item) {
    EXPECT_EQ(fill.patternReference()->identifier(), item["pattern"]["id"].get<std::string>());
    EXPECT_EQ(fill.patternReference()->name(), item["pattern"]["name"].get<std::string>());
    expectNear(fill.scale(), item, "scale", 100);
    if (item.contains("aligned")) {
        EXPECT_EQ(fill.isLinkedWithLayer(), item["aligned"].get<bool>());
    }
    if (item.contains("phase")) {
        EXPECT_NEAR(fill.horizontalPhase(), item["phase"][0].get<double>(), 1e-3);
        EXPECT_NEAR(fill.verticalPhase(), item["phase"][1].get<double>(), 1e-3);
    }
}

void compareFill(const OMPSDFill& fill, const json& item) {
    std::string type = item.contains("fill_type")   ? item["fill_type"].get<std::string>()
                       : item["type"] == "solid"    ? "SClr"
                       : item["type"] == "gradient" ? "GrFl"
                                                    : "Ptrn";
    if (type == "SClr") {
        ASSERT_EQ(fill.kind(), OMPSDFill::Kind::color);
        expectColor(static_cast<const OMPSDColorFill&>(fill).color(), item["color"]);
    } else if (type == "GrFl") {
        ASSERT_EQ(fill.kind(), OMPSDFill::Kind::gradient);
        compareGradientFill(static_cast<const OMPSDGradientFill&>(fill), item);
    } else {
        ASSERT_EQ(fill.kind(), OMPSDFill::Kind::pattern);
        comparePatternFill(static_cast<const OMPSDPatternFill&>(fill), item);
    }
}

void compareEffectValues(const OMPSDEffect& effect, const json& item) {
    SCOPED_TRACE(item.dump());
    using Kind = OMPSDEffect::Kind;
    if (effect.kind() != Kind::bevelEmboss) {
        const auto& blended = static_cast<const OMPSDBlendedEffect&>(effect);
        EXPECT_EQ(blended.blendMode(), OMPSDBlendModeKeyForEnum(item["blend_mode_enum"]));
        expectNear(blended.opacity(), item, "opacity", 100);
    }
    switch (effect.kind()) {
        case Kind::dropShadow:
        case Kind::innerShadow: {
            const auto& shadow = static_cast<const OMPSDShadowEffect&>(effect);
            expectColor(shadow.color(), item["color"]);
            expectNear(shadow.angle(), item, "angle");
            expectNear(shadow.distance(), item, "distance");
            expectNear(shadow.size(), item, "size");
            expectNear(shadow.spread(), item, "choke");
            expectNear(shadow.noise(), item, "noise", 100);
            if (item.contains("use_global_light")) {
                EXPECT_EQ(shadow.usesGlobalLight(), item["use_global_light"].get<bool>());
            }
            if (item.contains("layer_knocks_out")) {
                EXPECT_EQ(
                    static_cast<const OMPSDDropShadowEffect&>(effect).layerKnocksOutDropShadow(),
                    item["layer_knocks_out"].get<bool>());
            }
            break;
        }
        case Kind::outerGlow:
        case Kind::innerGlow: {
            const auto& glow = static_cast<const OMPSDGlowEffect&>(effect);
            expectColor(glow.color(), item["color"]);
            expectNear(glow.size(), item, "size");
            expectNear(glow.spread(), item, "choke");
            expectNear(glow.range(), item, "range", 100);
            expectNear(glow.jitter(), item, "jitter", 100);
            if (item.contains("technique")) {
                EXPECT_EQ(glow.technique(), item["technique"] == "PrBL" ? 1 : 0);
            }
            if (item.contains("source")) {
                EXPECT_EQ(static_cast<const OMPSDInnerGlowEffect&>(effect).source(),
                          item["source"] == "SrcC" ? 0 : 1);
            }
            break;
        }
        case Kind::satin: {
            const auto& satin = static_cast<const OMPSDSatinEffect&>(effect);
            expectColor(satin.color(), item["color"]);
            expectNear(satin.angle(), item, "angle");
            expectNear(satin.distance(), item, "distance");
            expectNear(satin.size(), item, "size");
            EXPECT_EQ(satin.isInverted(), item["inverted"].get<bool>());
            EXPECT_EQ(satin.isAntialiased(), item["anti_aliased"].get<bool>());
            break;
        }
        case Kind::colorOverlay:
            expectColor(static_cast<const OMPSDColorOverlayEffect&>(effect).color(), item["color"]);
            break;
        case Kind::gradientOverlay:
            compareGradientFill(*static_cast<const OMPSDGradientOverlayEffect&>(effect).fill(),
                                item);
            break;
        case Kind::patternOverlay:
            comparePatternFill(*static_cast<const OMPSDPatternOverlayEffect&>(effect).fill(), item);
            break;
        case Kind::stroke: {
            const auto& stroke = static_cast<const OMPSDStrokeEffect&>(effect);
            expectNear(stroke.size(), item, "size");
            const std::map<std::string, int> positions = {{"OutF", 0}, {"InsF", 1}, {"CtrF", 2}};
            EXPECT_EQ(stroke.position(), positions.at(item["position"]));
            compareFill(*stroke.fill(), item);
            break;
        }
        case Kind::bevelEmboss: {
            const auto& bevel = static_cast<const OMPSDBevelEmbossEffect&>(effect);
            const std::map<std::string, int> styles = {
                {"OtrB", 0}, {"InrB", 1}, {"Embs", 2}, {"PlEb", 3}, {"strokeEmboss", 4}};
            EXPECT_EQ(bevel.style(), styles.at(item["style"]));
            EXPECT_EQ(bevel.direction(), item["direction"] == "In  " ? 0 : 1);
            expectNear(bevel.depth(), item, "depth", 100);
            expectNear(bevel.size(), item, "size");
            expectNear(bevel.softness(), item, "soften");
            expectNear(bevel.angle(), item, "angle");
            expectNear(bevel.altitude(), item, "altitude");
            expectColor(bevel.highlightColor(), item["highlight_color"]);
            expectColor(bevel.shadowColor(), item["shadow_color"]);
            expectNear(bevel.highlightOpacity(), item, "highlight_opacity", 100);
            expectNear(bevel.shadowOpacity(), item, "shadow_opacity", 100);
            EXPECT_EQ(bevel.highlightBlendMode(),
                      OMPSDBlendModeKeyForEnum(item["highlight_mode_enum"]));
            EXPECT_EQ(bevel.shadowBlendMode(), OMPSDBlendModeKeyForEnum(item["shadow_mode_enum"]));
            EXPECT_EQ(bevel.isTextureEnabled(), item["use_texture"].get<bool>());
            break;
        }
    }
}

void compareFillsAndStroke(const OMPSDLayer& layer, const json& expected) {
    if (expected.contains("fill")) {
        auto fill = layer.vectorFill();
        ASSERT_NE(fill, nullptr);
        compareFill(*fill, expected["fill"]);
    }
    if (expected.contains("vector_stroke")) {
        const auto& item = expected["vector_stroke"];
        auto stroke = layer.vectorStroke();
        ASSERT_NE(stroke, nullptr);
        EXPECT_EQ(stroke->strokeEnabled(), item["stroke_enabled"].get<bool>());
        EXPECT_EQ(stroke->fillEnabled(), item["fill_enabled"].get<bool>());
        const std::map<std::string, int> alignments = {{"strokeStyleAlignCenter", 0},
                                                       {"strokeStyleAlignInside", 1},
                                                       {"strokeStyleAlignOutside", 2}};
        EXPECT_EQ(stroke->position(), alignments.at(item["alignment"]));
        EXPECT_EQ(stroke->cap(), item["cap"] == "strokeStyleButtCap"    ? 0
                                 : item["cap"] == "strokeStyleRoundCap" ? 1
                                                                        : 2);
        EXPECT_EQ(stroke->join(), item["join"] == "strokeStyleMiterJoin"   ? 0
                                  : item["join"] == "strokeStyleRoundJoin" ? 1
                                                                           : 2);
        ASSERT_NE(stroke->content(), nullptr);
        if (stroke->content()->kind() == OMPSDFill::Kind::color)
            expectColor(static_cast<const OMPSDColorFill&>(*stroke->content()).color(),
                        item["color"]);
        // Widths in points become pixels at the document's resolution
        // (resource 1005, horizontal resolution in 16.16 fixed point).
        double scale = 1;
        if (item["width_unit"] == "#Pnt") {
            auto resolution = layer.document()->imageResourceForIdentifier(1005);
            ASSERT_NE(resolution, nullptr);
            const uint8_t* b = resolution->data().bytes();
            scale = ((b[0] << 24 | b[1] << 16 | b[2] << 8 | b[3]) / 65536.0) / 72.0;
        }
        EXPECT_NEAR(stroke->lineWidth(), item["width"].get<double>() * scale, 1e-3);
    }
}

void compareEffects(const OMPSDLayer& layer, const json& expected) {
    auto effects = layer.effects();
    if (expected["effects"].empty()) {
        EXPECT_TRUE(!effects || effects->orderedEffects().empty());
        return;
    }
    ASSERT_NE(effects, nullptr);
    if (expected.contains("effects_enabled")) {
        EXPECT_EQ(effects->isEnabled(), expected["effects_enabled"].get<bool>());
    }
    // Effects of a kind that repeats ("lmfx") in their stored order.
    std::map<OMPSDEffect::Kind, size_t> seen;
    for (const auto& item : expected["effects"]) {
        auto kind = kEffectKinds.at(item["kind"].get<std::string>());
        const auto& ofKind = effects->effectsOfKind(kind);
        size_t index = seen[kind]++;
        ASSERT_LT(index, ofKind.size()) << item.dump();
        EXPECT_EQ(ofKind[index]->isEnabled(), item["enabled"].get<bool>()) << item.dump();
        compareEffectValues(*ofKind[index], item);
    }
    EXPECT_EQ(effects->orderedEffects().size(), expected["effects"].size());
}

void compareLayer(const OMPSDLayer& layer, const json& expected) {
    SCOPED_TRACE(expected["name"].get<std::string>());
    EXPECT_EQ(layer.name(), expected["name"].get<std::string>());
    std::string kind = expected["kind"];
    EXPECT_EQ(layer.isGroup(), kind == "group");
    if (auto it = kAdjustmentKeys.find(kind); it != kAdjustmentKeys.end()) {
        EXPECT_NE(layer.attributesAtomForKey(
                      OMPSDFourCC(*reinterpret_cast<const char(*)[5]>(it->second.c_str()))),
                  nullptr)
            << kind;
    }
    if (expected.contains("layer_id")) {
        EXPECT_EQ(layer.identifier(), expected["layer_id"].get<uint32_t>());
    }
    EXPECT_EQ(box(layer.rect()), expected["bbox"]);
    const auto& options = *layer.blendingOptions();
    EXPECT_EQ(key(options.blendMode()), expected["blend_mode"].get<std::string>());
    if (expected.contains("record_blend_mode")) {
        EXPECT_EQ(key(layer.record().blendKey), expected["record_blend_mode"].get<std::string>());
    }
    EXPECT_EQ(std::lround(options.opacity() * 255), expected["opacity"].get<int>());
    if (expected.contains("fill_opacity")) {
        EXPECT_EQ(std::lround(options.fillOpacity() * 255), expected["fill_opacity"].get<int>());
    }
    EXPECT_EQ(layer.isVisible(), expected["visible"].get<bool>());
    EXPECT_EQ(layer.clipping() != 0, expected["clipping"].get<bool>());
    if (expected.contains("blend_options")) {
        const auto& b = expected["blend_options"];
        if (b.contains("knockout")) {
            EXPECT_EQ(options.knockoutStyle(), b["knockout"].get<int>());
        }
        if (b.contains("blend_clipped_elements")) {
            EXPECT_EQ(options.shouldBlendClippedLayersAsGroup(),
                      b["blend_clipped_elements"].get<bool>());
        }
        if (b.contains("blend_interior_elements")) {
            EXPECT_EQ(options.shouldBlendInteriorEffectsAsGroup(),
                      b["blend_interior_elements"].get<bool>());
        }
        if (b.contains("transparency_shapes_layer")) {
            EXPECT_EQ(options.transparencyShapesLayer(),
                      b["transparency_shapes_layer"].get<bool>());
        }
        if (b.contains("layer_mask_hides_effects")) {
            EXPECT_EQ(options.layerMaskHidesEffects(), b["layer_mask_hides_effects"].get<bool>());
        }
        if (b.contains("vector_mask_hides_effects")) {
            EXPECT_EQ(options.vectorMaskHidesEffects(), b["vector_mask_hides_effects"].get<bool>());
        }
    }
    if (expected.contains("blending_ranges")) {
        const auto& ranges = *options.blendingRanges();
        const auto& r = expected["blending_ranges"];
        EXPECT_EQ(rangeBytes(ranges.graySourceBlendingRange()), r["composite"][0]);
        EXPECT_EQ(rangeBytes(ranges.grayDestinationBlendingRange()), r["composite"][1]);
        const OMPSDBlendingRange sources[] = {ranges.redSourceBlendingRange(),
                                              ranges.greenSourceBlendingRange(),
                                              ranges.blueSourceBlendingRange()};
        for (size_t i = 0; i < 3 && i < r["channels"].size(); ++i)
            EXPECT_EQ(rangeBytes(sources[i]), r["channels"][i][0]);
    }
    std::vector<int> ids;
    for (const auto& channel : layer.channelReferences())
        ids.push_back(channel->identifier());
    EXPECT_EQ(json(ids), expected["channel_ids"]);
    compareMask(layer, expected["mask"]);
    compareVectorMask(layer, expected["vector_mask"]);
    compareEffects(layer, expected);
    compareFillsAndStroke(layer, expected);

    const auto& children = expected.contains("children") ? expected["children"] : json::array();
    ASSERT_EQ(layer.sublayers().size(), children.size());
    for (size_t i = 0; i < children.size(); ++i)
        compareLayer(*layer.sublayers()[i], children[i]);
}

}  // namespace

TEST(CorpusTest, EveryDocumentOpensWithTheReferenceHeaderAndLayerTree) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    const std::map<std::string, int> colorModes = {
        {"bitmap", 0}, {"grayscale", 1},    {"indexed", 2}, {"rgb", 3},
        {"cmyk", 4},   {"multichannel", 7}, {"duotone", 8}, {"lab", 9}};
    auto documents = corpus();
    ASSERT_GT(documents.size(), 100u);
    for (const auto& entry : documents) {
        SCOPED_TRACE(entry.path);
        lf::LogCapture quiet;
        auto opened = OMPSDDocument::create(lf::test::readShared("psd/" + entry.path));
        ASSERT_TRUE(opened) << lf::describe(opened.error());
        const auto& document = **opened;
        const auto& e = entry.expected;
        EXPECT_EQ(document.version(), e["version"].get<int>());
        EXPECT_EQ(document.colorMode(), colorModes.at(e["color_mode"]));
        EXPECT_EQ(document.depth(), e["depth"].get<int>());
        EXPECT_EQ(document.width(), e["width"].get<uint32_t>());
        EXPECT_EQ(document.height(), e["height"].get<uint32_t>());
        EXPECT_EQ(document.channelCount(), e["channels"].get<int>());
        if (e.contains("error")) continue;  // the reference reader could not go further
        auto icc = document.imageResourceForIdentifier(1039);
        if (e["icc_profile_bytes"].is_null()) {
            EXPECT_EQ(icc, nullptr);
        } else {
            EXPECT_EQ(icc ? icc->data().size() : 0, e["icc_profile_bytes"].get<size_t>());
        }
        if (e.contains("global_angle")) {
            EXPECT_EQ(document.globalAngle(), e["global_angle"].get<int>());
        }
        if (e.contains("global_altitude")) {
            EXPECT_EQ(document.globalAltitude(), e["global_altitude"].get<int>());
        }
        ASSERT_EQ(document.layers().size(), e["layers"].size());
        for (size_t i = 0; i < document.layers().size(); ++i)
            compareLayer(*document.layers()[i], e["layers"][i]);
    }
}

TEST(CorpusTest, MergedImagesDecodeToTheReferencePNGs) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    int compared = 0;
    for (const auto& entry : corpus()) {
        fs::path png = lf::test::sharedFile("psd/expected/" + entry.path + ".merged.png");
        if (!fs::exists(png)) continue;
        SCOPED_TRACE(entry.path);
        lf::test::DecodedPNG reference;
        ASSERT_TRUE(lf::test::decodePNG(png.string(), &reference));
        auto opened = OMPSDDocument::create(lf::test::readShared("psd/" + entry.path));
        ASSERT_TRUE(opened);
        const auto& document = **opened;
        ASSERT_EQ(reference.width, document.width());
        ASSERT_EQ(reference.height, document.height());
        const auto& planes = document.mergedChannelReferences();
        ASSERT_GE(planes.size(), reference.channels);
        for (uint32_t c = 0; c < reference.channels; ++c) {
            auto samples = planes[c]->decompressedByteArray();
            ASSERT_TRUE(samples) << lf::describe(samples.error());
            ASSERT_EQ((*samples)->length(), uint64_t(reference.width) * reference.height);
            std::vector<uint8_t> bytes((*samples)->length());
            ASSERT_TRUE((*samples)->copyBytes(bytes.data(), {0, bytes.size()}));
            size_t mismatches = 0;
            for (size_t i = 0; i < bytes.size(); ++i)
                mismatches += bytes[i] != reference.pixels[i * reference.channels + c];
            EXPECT_EQ(mismatches, 0u) << "channel " << c;
        }
        ++compared;
    }
    EXPECT_EQ(compared, 95);
}

TEST(CorpusTest, EveryChannelOfEveryDocumentDecompressesToItsPlaneSize) {
    // Layer channels in all compressions and depths (8, 16 and 32 bits, PSD
    // and PSB), patterns included: each decompresses to exactly its plane.
    LF_REQUIRE_SHARED_DOCUMENTS();
    std::set<int> depths;
    std::set<OMPSDCompression> compressions;
    for (const auto& entry : corpus()) {
        SCOPED_TRACE(entry.path);
        auto opened = OMPSDDocument::create(lf::test::readShared("psd/" + entry.path));
        ASSERT_TRUE(opened);
        std::vector<std::shared_ptr<const OMPSDChannelReference>> channels;
        for (const auto& layer : (*opened)->allLayers())
            channels.insert(channels.end(), layer->channelReferences().begin(),
                            layer->channelReferences().end());
        for (const auto& pattern : (*opened)->patterns())
            channels.insert(channels.end(), pattern->channelReferences().begin(),
                            pattern->channelReferences().end());
        for (const auto& channel : channels) {
            SCOPED_TRACE(channel->debugIdentifier());
            uint64_t rowBytes = 0, total = 0;
            ASSERT_TRUE(channel->planeSize(&rowBytes, &total));
            auto samples = channel->decompressedByteArray();
            ASSERT_TRUE(samples) << lf::describe(samples.error());
            EXPECT_EQ((*samples)->length(), total);
            if (total > 0) {
                depths.insert(int(channel->depth()));
                compressions.insert(channel->compression());
            }
        }
    }
    EXPECT_EQ(depths, (std::set<int>{8, 16, 32}));
    // Photoshop writes no plain zip for layers; the built documents cover it.
    EXPECT_EQ(compressions,
              (std::set<OMPSDCompression>{OMPSDCompression::raw, OMPSDCompression::rle,
                                          OMPSDCompression::zipPrediction}));
}
