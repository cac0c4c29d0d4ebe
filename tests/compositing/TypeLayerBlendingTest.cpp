// Type layers: the anti-aliased edges that Photoshop mixes with what lies
// below them through a gamma, and the type layers and documents that mix
// them as they are.
#include "LayerFixtures.h"
#include "PSDTestSupport.h"
#include "compositing/QFRenderNodeForLayers.h"

#include <gtest/gtest.h>

#include <optional>

using namespace compositing_test;
using lf::test::ByteWriter;

namespace {

// A "TySh" block: version 1, an identity transform, text version 50 and a
// text descriptor holding only its anti-aliasing method.
std::vector<uint8_t> typeBlock(const std::string& antiAliasing) {
    ByteWriter block, items;
    block.u16(1);
    for (double v : {1.0, 0.0, 0.0, 1.0, 0.0, 0.0})
        block.f64(v);
    block.u16(50);
    lf::test::item(items, "AntA", "enum").identifier("Annt").identifier(antiAliasing);
    return block.bytes(lf::test::versionedDescriptor(1, items.data())).data();
}

// Resource 1057 of a document written by `version` ("Adobe Photoshop CS5").
std::vector<uint8_t> versionInfo(const std::string& version) {
    ByteWriter info;
    info.u32(1).u8(1).unicode("Adobe Photoshop").unicode(version).u32(1);
    return info.data();
}

struct TypeCase {
    std::string antiAliasing = "AnSm";
    std::optional<std::string> writtenBy = std::nullopt;
    const char* blendKey = "norm";
    // Effects of the type layer ("SoFi": a red colour overlay).
    std::vector<std::string> effects = {};
};

// A one-pixel document: opaque white below a black type layer whose pixel
// is covered 0.4 (alpha 102); its rendered pixel.
std::array<float, 4> typeEdgeOverWhite(const TypeCase& c) {
    lf::test::TestDocument built;
    built.width = built.height = 1;
    if (c.writtenBy) built.resources.push_back({1057, versionInfo(*c.writtenBy)});
    lf::test::TestLayer white, type;
    white.bottom = white.right = type.bottom = type.right = 1;
    for (int16_t id : {0, 1, 2})
        white.channels.push_back({id, 0, {255}});
    for (int16_t id : {0, 1, 2})
        type.channels.push_back({id, 0, {0}});
    type.channels.push_back({-1, 0, {102}});
    type.blendKey = c.blendKey;
    type.blocks.push_back({"TySh", typeBlock(c.antiAliasing)});
    if (!c.effects.empty()) type.blocks.push_back({"lfx2", effectsBlock(c.effects)});
    built.layers = {white, type};
    auto document = OMPSDDocument::create(built.data());
    EXPECT_TRUE(document);
    if (!document) return {};
    return renderPixel(QFRenderNodeForLayers((*document)->layers()), 0, 0);
}

}  // namespace

TEST(TypeLayerBlending, EdgesMixThroughTheTypeGammaWherePhotoshopDrewThem) {
    // Black over white at coverage 0.4: (0.4 * 0^1.45 + 0.6 * 1^1.45)^(1 /
    // 1.45) = 0.703 of white, where a plain mix leaves 0.6.
    const float gamma = 0.7031f, plain = 0.6f;
    struct Expectation {
        const char* what;
        TypeCase type;
        float green;
    } cases[] = {
        {"Photoshop's own anti-aliasing", {}, gamma},
        {"a document of Photoshop CS6", {.writtenBy = "Adobe Photoshop CS6"}, gamma},
        {"a document of Photoshop CC 2017", {.writtenBy = "Adobe Photoshop CC 2017"}, gamma},
        // Its effects follow the type: a red overlay's edge mixes the same
        // way (its red channel stays 1).
        {"with a colour overlay", {.effects = {"SoFi"}}, gamma},
        {"the system's LCD anti-aliasing", {.antiAliasing = "antiAliasPlatformLCD"}, plain},
        {"a document of Photoshop CS5", {.writtenBy = "Adobe Photoshop CS5"}, plain},
        {"a document of Photoshop 7.0", {.writtenBy = "Adobe Photoshop 7.0"}, plain},
        {"in multiply", {.blendKey = "mul "}, plain},
    };
    for (const Expectation& e : cases) {
        SCOPED_TRACE(e.what);
        std::array<float, 4> pixel = typeEdgeOverWhite(e.type);
        EXPECT_NEAR(pixel[1], e.green, 1e-3);
        EXPECT_NEAR(pixel[0], e.type.effects.empty() ? e.green : 1.0f, 1e-3);
        EXPECT_FLOAT_EQ(pixel[3], 1.0f);
    }
}
