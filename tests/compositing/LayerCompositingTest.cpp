// The layer walk, the compositing context and its groups, and layer
// content and masks, on layers made in memory, checked by rendering
// single pixels.
#include "LayerFixtures.h"
#include "PSDTestSupport.h"
#include "compositing/QFContext.h"
#include "compositing/QFLayerContent.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/shared/QFBlendMode.h"
#include "platform/core/Log.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/blend/BNConvertOpacityToFillNode.h"
#include "rendergraph/blend/BNIsolateOpacityNode.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/images/BNTransparentNode.h"
#include "rendergraph/masks/BNDivideMaskNode.h"
#include "rendergraph/masks/BNUnmixWithMaskNode.h"

#include <gtest/gtest.h>

using namespace compositing_test;

namespace {

constexpr float kTolerance = 1.0f / 255.0f;

void expectPixel(const QFLayerList& layers, double x, double y, std::array<float, 4> expected) {
    auto pixel = renderPixel(QFRenderNodeForLayers(layers), x, y);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(pixel[k], expected[k], kTolerance)
            << "channel " << k << " at " << x << ", " << y;
}

LayerBlueprint pixelLayer(const std::string& name, OMPSDRect rect, RGBA8 colour) {
    LayerBlueprint blueprint;
    blueprint.name = name;
    blueprint.rect = rect;
    blueprint.colour = colour;
    return blueprint;
}

LayerBlueprint clipped(LayerBlueprint blueprint) {
    blueprint.clipping = 1;
    return blueprint;
}

LayerBlueprint hidden(LayerBlueprint blueprint) {
    blueprint.visible = false;
    return blueprint;
}

LayerBlueprint group(const std::string& name, const char* blendKey, QFLayerList sublayers) {
    LayerBlueprint blueprint;
    blueprint.name = name;
    blueprint.isGroup = true;
    blueprint.rect = {0, 0, 0, 0};
    blueprint.blendKey = blendKey;
    blueprint.sublayers = std::move(sublayers);
    return blueprint;
}

const OMPSDRect kLeft{0, 0, 4, 2}, kWhole{0, 0, 4, 4};
const RGBA8 kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kGrey{128, 128, 128, 255};

// The first node of type T in the graph of `root`, depth first.
template <class T>
const T* findNode(const BNRenderNodePtr& root) {
    std::vector<const BNRenderNode*> pending{root.get()};
    while (!pending.empty()) {
        const BNRenderNode* node = pending.back();
        pending.pop_back();
        if (!node) continue;
        if (auto found = dynamic_cast<const T*>(node)) return found;
        for (const auto& input : node->inputNodes())
            pending.push_back(input.get());
    }
    return nullptr;
}

}  // namespace

TEST(QFRenderNodeForLayers, AnEmptyListIsTheTransparentBackdrop) {
    BNRenderNodePtr node = QFRenderNodeForLayers({});
    ASSERT_TRUE(dynamic_cast<const BNTransparentNode*>(node.get()));
    EXPECT_TRUE(VKRectIsInfinite(node->bounds()));
    EXPECT_EQ(node->channels(), BNChannelMaskRGBA);
}

TEST(QFRenderNodeForLayers, ClippingRunsFollowTheirVisibleBase) {
    auto base = pixelLayer("base", kLeft, kRed).make();
    auto blue = clipped(pixelLayer("blue", kWhole, kBlue)).make();
    // Clipped to the base: blue over the left half only.
    expectPixel({base, blue}, 1, 1, {0, 0, 1, 1});
    expectPixel({base, blue}, 3, 1, {0, 0, 0, 0});
    // A hidden base hides its run.
    expectPixel({hidden(pixelLayer("base", kLeft, kRed)).make(), blue}, 1, 1, {0, 0, 0, 0});
    // A hidden clipped layer is dropped without ending the run.
    auto hiddenGreen = hidden(clipped(pixelLayer("green", kWhole, {0, 255, 0, 255}))).make();
    expectPixel({base, hiddenGreen, blue}, 1, 1, {0, 0, 1, 1});
}

TEST(QFRenderNodeForLayers, GroupsClippedToABaseJoinItsRunWithTheirIsolatedResult) {
    auto base = pixelLayer("base", kLeft, kRed).make();
    LayerBlueprint multiply = pixelLayer("multiply", kWhole, kBlue);
    multiply.blendKey = "mul ";
    auto greyGroup = [](const char* key) {
        return clipped(group("g", key, {pixelLayer("in", kWhole, kGrey).make()}));
    };
    LayerBlueprint halfGroup = greyGroup("norm");
    halfGroup.opacity = 0.5;
    const float grey = 128 / 255.f;
    struct Case {
        const char* what;
        QFLayerList layers;
        std::array<float, 4> inside;
    } cases[] = {
        {"a clipped group", {base, greyGroup("pass").make()}, {grey, grey, grey, 1}},
        {"its opacity", {base, halfGroup.make()}, {(grey + 1) / 2, grey / 2, grey / 2, 1}},
        // Isolated: its multiply layer multiplies transparency, not the base.
        {"an isolated result",
         {base, clipped(group("g", "pass", {multiply.make()})).make()},
         {0, 0, 1, 1}},
        // A layer clipped after it still clips to the base.
        {"later members",
         {base, greyGroup("norm").make(), clipped(pixelLayer("blue", kWhole, kBlue)).make()},
         {0, 0, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectPixel(c.layers, 1, 1, c.inside);
        expectPixel(c.layers, 3, 1, {0, 0, 0, 0});  // outside the base
    }
}

TEST(QFRenderNodeForLayers, OpacityActsOnTheLayerAndFillOnItsContent) {
    LayerBlueprint half = pixelLayer("half", kWhole, kRed);
    half.opacity = 0.5;
    expectPixel({half.make()}, 1, 1, {0.5, 0, 0, 0.5});
    LayerBlueprint noFill = pixelLayer("no fill", kWhole, kRed);
    noFill.fillOpacity = 0;
    expectPixel({noFill.make()}, 1, 1, {0, 0, 0, 0});
    // A layer whose transparency does not shape it carries it as fill; the
    // result is the same for a plain layer.
    LayerBlueprint asFill = pixelLayer("as fill", kWhole, {255, 0, 0, 128});
    asFill.transparencyShapesLayer = false;
    expectPixel({asFill.make()}, 1, 1, {128 / 255.f, 0, 0, 128 / 255.f});
}

TEST(QFRenderNodeForLayers, PassThroughGroupsBlendWithWhatLiesBelow) {
    auto grey = pixelLayer("grey", kWhole, kGrey).make();
    LayerBlueprint multiply = pixelLayer("multiply", kWhole, kRed);
    multiply.blendKey = "mul ";
    // Inside a pass-through group the layer multiplies the grey below it.
    expectPixel({grey, group("pass", "pass", {multiply.make()}).make()}, 1, 1,
                {128 / 255.f, 0, 0, 1});
    // An isolated group multiplies onto transparency: plain red, then
    // composited normally.
    expectPixel({grey, group("isolated", "norm", {multiply.make()}).make()}, 1, 1, {1, 0, 0, 1});
    // Group opacity fades both kinds.
    LayerBlueprint faded = group("faded", "pass", {pixelLayer("red", kWhole, kRed).make()});
    faded.opacity = 0.5;
    expectPixel({grey, faded.make()}, 1, 1, {(128 / 255.f + 1) / 2, 64 / 255.f, 64 / 255.f, 1});
    faded.blendKey = "norm";
    expectPixel({grey, faded.make()}, 1, 1, {(128 / 255.f + 1) / 2, 64 / 255.f, 64 / 255.f, 1});
}

TEST(QFRenderNodeForLayers, KnockoutRevealsTheGroupsBackdrop) {
    auto grey = pixelLayer("grey", kWhole, kGrey).make();
    auto blue = pixelLayer("blue", kWhole, kBlue).make();
    LayerBlueprint punch = pixelLayer("punch", kLeft, kRed);
    punch.fillOpacity = 0;
    // Without knockout a layer without fill shows what lies below it.
    expectPixel({grey, group("g", "norm", {blue, punch.make()}).make()}, 1, 1, {0, 0, 1, 1});
    // Shallow knockout cuts through to the isolated group's start
    // (transparency), so the grey below the group shows.
    punch.knockout = 1;
    expectPixel({grey, group("g", "norm", {blue, punch.make()}).make()}, 1, 1,
                {0.5f, 0.5f, 0.5f, 1});
    expectPixel({grey, group("g", "norm", {blue, punch.make()}).make()}, 3, 1, {0, 0, 1, 1});
}

TEST(QFRenderNodeForLayers, BackgroundLayerBecomesTheDeepBackdrop) {
    LayerBlueprint background = pixelLayer("Background", kWhole, kGrey);
    background.blocks.push_back({"lnsr", {'b', 'g', 'n', 'd'}});
    auto blue = pixelLayer("blue", kWhole, kBlue).make();
    LayerBlueprint punch = pixelLayer("punch", kLeft, kRed);
    punch.fillOpacity = 0;
    punch.knockout = 2;
    // Deep knockout inside a pass-through group reveals the background
    // layer's content.
    expectPixel({background.make(), group("g", "pass", {blue, punch.make()}).make()}, 1, 1,
                {0.5f, 0.5f, 0.5f, 1});
}

TEST(QFRenderNodeForLayers, MasksDensityAndDisabledMasks) {
    LayerBlueprint masked = pixelLayer("masked", kWhole, kRed);
    masked.hasMask = true;
    masked.maskRect = kLeft;  // 0 over the left half, 255 elsewhere
    masked.maskValue = 0;
    masked.maskBackground = 255;
    expectPixel({masked.make()}, 1, 1, {0, 0, 0, 0});
    expectPixel({masked.make()}, 3, 1, {1, 0, 0, 1});
    // Density 0.25: the mask hides only a quarter.
    masked.maskDensity = 0.25;
    expectPixel({masked.make()}, 1, 1, {0.75f, 0, 0, 0.75f});
    masked.maskDensity = 1;
    masked.maskDisabled = true;
    expectPixel({masked.make()}, 1, 1, {1, 0, 0, 1});
}

TEST(QFRenderNodeForLayers, BlendIfAndChannelRestrictions) {
    auto grey = pixelLayer("grey", kWhole, kGrey).make();
    // The source range keeps only pixels of gray level 0.6 and up.
    auto ranges = std::make_shared<OMPSDBlendingRangesList>();
    ranges->setGraySourceBlendingRange({0.6, 0.6, 1, 1});
    LayerBlueprint dark = pixelLayer("dark", kWhole, {50, 50, 50, 255});
    dark.blendingRanges = ranges;
    expectPixel({grey, dark.make()}, 1, 1, {0.5f, 0.5f, 0.5f, 1});
    LayerBlueprint light = pixelLayer("light", kWhole, {250, 250, 250, 255});
    light.blendingRanges = ranges;
    expectPixel({grey, light.make()}, 1, 1, {250 / 255.f, 250 / 255.f, 250 / 255.f, 1});

    // Red excluded from blending: it keeps the backdrop's red.
    LayerBlueprint blue = pixelLayer("blue", kWhole, kBlue);
    blue.restricted = true;
    blue.blendRed = false;
    expectPixel({grey, blue.make()}, 1, 1, {0.5f, 0, 1, 1});
}

TEST(QFRenderNodeForLayers, FillAndAdjustmentLayers) {
    // A solid colour fill paints its plane, shaped by its vector mask (the
    // left half of the document).
    lf::test::TestDocument built;
    lf::test::TestLayer fill;
    fill.name = "fill";
    for (int16_t id : {-1, 0, 1, 2})
        fill.channels.push_back({id, 0, {}});
    fill.blocks = {{"SoCo", solidColorBlock(0, 255, 0)},
                   {"vmsk", vectorMaskBlock({{1, {{0, 0}, {0.5, 0}, {0.5, 1}, {0, 1}}}})}};
    built.layers.push_back(fill);
    auto document = OMPSDDocument::create(built.data());
    ASSERT_TRUE(document);
    expectPixel((*document)->layers(), 1, 1, {0, 1, 0, 1});
    expectPixel((*document)->layers(), 3, 1, {0, 0, 0, 0});

    // An adjustment whose record cannot be read leaves its backdrop as it
    // is.
    auto grey = pixelLayer("grey", kWhole, kGrey).make();
    LayerBlueprint levels = pixelLayer("Levels 1", {0, 0, 0, 0}, {0, 0, 0, 0});
    levels.blocks.push_back({"levl", std::vector<uint8_t>(4, 0)});
    expectPixel({grey, levels.make()}, 1, 1, {0.5f, 0.5f, 0.5f, 1});
}

TEST(QFRenderNodeForLayers, OnlyLayersWithAVectorMaskAndAFillPaintAreShapes) {
    // Red pixels over the left half, in a 4 by 4 document (which the
    // layers need alive for their vector masks).
    std::vector<std::shared_ptr<OMPSDDocument>> documents;
    auto layers = [&](std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks) {
        lf::test::TestDocument built;
        lf::test::TestLayer layer;
        layer.bottom = 4;
        layer.right = 2;
        for (int16_t id : {-1, 0, 1, 2})
            layer.channels.push_back(
                {id, 0, std::vector<uint8_t>(8, id == 1 || id == 2 ? 0 : 255)});
        layer.blocks = std::move(blocks);
        built.layers.push_back(layer);
        auto document = OMPSDDocument::create(built.data());
        EXPECT_TRUE(document);
        if (!document) return QFLayerList{};
        documents.push_back(*document);
        return documents.back()->layers();
    };
    auto quarter = vectorMaskBlock({{1, {{0, 0}, {0.25, 0}, {0.25, 1}, {0, 1}}}});
    auto rightHalf = vectorMaskBlock({{1, {{0.5, 0}, {1, 0}, {1, 1}, {0.5, 1}}}});
    // A stroke record alone (Photoshop keeps one on shapes it rasterises)
    // leaves a pixel layer: its pixels, shaped by their transparency.
    auto strokeOnly = layers({{"vstk", vectorStrokeBlock({})}});
    expectPixel(strokeOnly, 1, 1, {1, 0, 0, 1});
    expectPixel(strokeOnly, 3, 1, {0, 0, 0, 0});
    // With a vector mask but no paint, the pixels are drawn within the mask.
    auto masked = layers({{"vstk", vectorStrokeBlock({})}, {"vmsk", quarter}});
    expectPixel(masked, 0, 1, {1, 0, 0, 1});
    expectPixel(masked, 1, 1, {0, 0, 0, 0});
    // Mask and paint: a shape, drawn from its mask whatever its pixels.
    auto shape = layers({{"SoCo", solidColorBlock(0, 255, 0)},
                         {"vmsk", rightHalf},
                         {"vstk", vectorStrokeBlock({.strokeEnabled = false})}});
    expectPixel(shape, 1, 1, {0, 0, 0, 0});
    expectPixel(shape, 3, 1, {0, 1, 0, 1});
}

TEST(QFRenderNodeForLayers, DamagedChannelsDrawNothingAndKeepTheDocument) {
    auto grey = pixelLayer("grey", kWhole, kGrey).make();
    OMPSDLayerRecord record;
    record.name = "damaged";
    record.rect = {0, 0, 4, 4};
    for (int16_t id : {0, 1, 2})
        record.channels.push_back(constantPlane(id, record.rect, 255));
    record.channels.push_back(makePlane(-1, record.rect, {255, 255}));  // 14 bytes short
    auto damaged = std::make_shared<OMPSDLayer>(record, std::make_shared<std::mutex>(),
                                                std::weak_ptr<const OMPSDDocument>());
    damaged->setBlendingOptions(std::make_shared<OMPSDBlendingOptions>());
    lf::LogCapture log;
    expectPixel({grey, damaged}, 1, 1, {0.5f, 0.5f, 0.5f, 1});
    EXPECT_TRUE(log.contains("does not contain enough data"));
}

TEST(QFContext, StatesSaveRestoreAndShareTheirMasks) {
    QFContext context;
    EXPECT_EQ(context.opacity(), 1.0);
    EXPECT_EQ(context.fillOpacity(), 1.0);
    EXPECT_EQ(context.blendMode(), 0);
    EXPECT_FALSE(context.mask());
    EXPECT_FALSE(context.factorMask());
    BNRenderNodePtr mask = BNTransparentNode::create(VKRectMake(0, 0, 1, 1), BNChannelMaskOpacity);
    context.setMask(mask);
    context.saveState();
    context.setOpacity(0.25);
    EXPECT_EQ(context.mask(), mask);  // the copy shares the node
    context.restoreState();
    EXPECT_EQ(context.opacity(), 1.0);
    EXPECT_EQ(context.groupCount(), 1u);
}

TEST(QFContext, EndingGroupsHandsTheirResultOn) {
    auto layer = group("g", "pass", {}).make();
    QFContext context;
    BNRenderNodePtr root = context.resultNode();
    // A pass-through group that drew nothing hands on its backdrop itself.
    context.beginTransparencyGroup(*layer, nullptr, QFContextGroupPassThroughOption);
    EXPECT_EQ(context.groupCount(), 2u);
    context.endTransparencyGroup(layer, false, {});
    EXPECT_EQ(context.resultNode(), root);
    // An isolated group is blended with its opacity carried as fill.
    context.beginTransparencyGroup(*layer, nullptr, QFContextGroupNoOptions);
    context.endTransparencyGroup(layer, false, {});
    auto blend = dynamic_cast<const BNBlendNode*>(context.resultNode().get());
    ASSERT_TRUE(blend);
    EXPECT_TRUE(dynamic_cast<const BNConvertOpacityToFillNode*>(blend->inputNode(1)));
    // The root is never popped.
    context.endTransparencyGroup(layer, false, {});
    EXPECT_EQ(context.groupCount(), 1u);
}

TEST(QFBlendModeForPSDKey, MapsEveryKeyToPhotoshopsNumbering) {
    // Photoshop's keys in its menu order, which is the numbering of the
    // blend kernels; keys are whole codes, and every other key is normal.
    const struct {
        uint32_t key;
        int mode;
    } keys[] = {{OMPSDFourCC("norm"), 0},  {OMPSDFourCC("diss"), 1},  {OMPSDFourCC("dark"), 2},
                {OMPSDFourCC("mul "), 3},  {OMPSDFourCC("idiv"), 4},  {OMPSDFourCC("lbrn"), 5},
                {OMPSDFourCC("dkCl"), 6},  {OMPSDFourCC("lite"), 7},  {OMPSDFourCC("scrn"), 8},
                {OMPSDFourCC("div "), 9},  {OMPSDFourCC("lddg"), 10}, {OMPSDFourCC("lgCl"), 11},
                {OMPSDFourCC("over"), 12}, {OMPSDFourCC("sLit"), 13}, {OMPSDFourCC("hLit"), 14},
                {OMPSDFourCC("vLit"), 15}, {OMPSDFourCC("lLit"), 16}, {OMPSDFourCC("pLit"), 17},
                {OMPSDFourCC("hMix"), 18}, {OMPSDFourCC("diff"), 19}, {OMPSDFourCC("smud"), 20},
                {OMPSDFourCC("fsub"), 21}, {OMPSDFourCC("fdiv"), 22}, {OMPSDFourCC("hue "), 23},
                {OMPSDFourCC("sat "), 24}, {OMPSDFourCC("colr"), 25}, {OMPSDFourCC("lum "), 26},
                {OMPSDFourCC("pass"), 0},  {OMPSDFourCC("mul_"), 0},  {OMPSDFourCC("Mul "), 0},
                {OMPSDFourCC("lum\0"), 0}, {OMPSDFourCC("    "), 0}};
    for (const auto& entry : keys)
        EXPECT_EQ(QFBlendModeForPSDKey(entry.key), entry.mode)
            << '"' << OMPSDFourCCString(entry.key) << '"';
}

TEST(QFLayerContent, ShapesAndMasksByTheHidesEffectsFlags) {
    LayerBlueprint blueprint = pixelLayer("layer", kWhole, kRed);
    blueprint.hasMask = true;
    blueprint.maskRect = kLeft;
    blueprint.maskValue = 0;
    blueprint.maskBackground = 255;
    auto layer = blueprint.make();
    // The mask is part of the shape; none is applied after the effects.
    EXPECT_EQ(renderMaskValue(QFShapeNodeForLayer(*layer), 1, 1), 0.0f);
    EXPECT_EQ(renderMaskValue(QFShapeNodeForLayer(*layer), 3, 1), 1.0f);
    EXPECT_FALSE(QFMaskNodeForLayer(*layer));
    // Without masks a fill layer's shape is constant opaque.
    LayerBlueprint fill = pixelLayer("fill", {0, 0, 0, 0}, {0, 0, 0, 0});
    fill.blocks.push_back({"SoCo", solidColorBlock(0, 0, 0)});
    auto fillLayer = fill.make();
    EXPECT_EQ(renderMaskValue(QFShapeNodeForLayer(*fillLayer), 100, 100), 1.0f);
    EXPECT_FALSE(QFMaskNodeForLayer(*fillLayer));
}

TEST(QFRenderNodeForLayers, GroupsWithClippedLayersCountTheirCoverageAndMasksOnce) {
    // A half-transparent layer in a group with a half-opaque mask, with
    // and without a clipped layer that draws nothing: the same pixels.
    auto grey = pixelLayer("grey", kWhole, kGrey).make();
    LayerBlueprint clear = clipped(pixelLayer("clear", kWhole, {0, 0, 255, 0}));
    for (const char* key : {"norm", "pass"}) {
        LayerBlueprint blueprint =
            group("g", key, {pixelLayer("red", kWhole, {255, 0, 0, 128}).make()});
        blueprint.hasMask = true;
        blueprint.maskRect = kWhole;
        blueprint.maskValue = 128;
        auto alone = renderPixel(QFRenderNodeForLayers({grey, blueprint.make()}), 1, 1);
        auto withClipped =
            renderPixel(QFRenderNodeForLayers({grey, blueprint.make(), clear.make()}), 1, 1);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(withClipped[k], alone[k], kTolerance) << key;
        // Red at a quarter over grey.
        EXPECT_NEAR(alone[0], 0.75f * 128 / 255.f + 0.25f, kTolerance) << key;
    }
    // A clipped layer is drawn within the group's coverage only.
    LayerBlueprint blue = clipped(pixelLayer("blue", kWhole, kBlue));
    for (const char* key : {"norm", "pass"}) {
        auto g = group("g", key, {pixelLayer("red", kLeft, kRed).make()}).make();
        expectPixel({grey, g, blue.make()}, 1, 1, {0, 0, 1, 1});
        expectPixel({grey, g, blue.make()}, 3, 1, {0.5f, 0.5f, 0.5f, 1});
    }
    // Drawn over the group's own colour at full strength and weighed by its
    // coverage once (0.4 here): over transparency, and over grey.
    const float a = 102 / 255.f, g = 128 / 255.f;
    for (const char* key : {"norm", "pass"}) {
        SCOPED_TRACE(key);
        auto faint = group("g", key, {pixelLayer("red", kWhole, {255, 0, 0, 102}).make()}).make();
        expectPixel({faint, blue.make()}, 1, 1, {0, 0, a, a});
        expectPixel({grey, faint, blue.make()}, 1, 1,
                    {(1 - a) * g, (1 - a) * g, a + (1 - a) * g, 1});
    }
    // A pass-through group with layers clipped to it still passes through:
    // its child is mixed with the backdrop by its own mode (X), each clipped
    // layer is drawn onto X, and the group's coverage lays that over the
    // backdrop. A red child in exclusion over white is cyan, which is
    // lighter than green: a green layer clipped in lighter colour leaves it
    // cyan. In isolation the child is red and the clip makes it green; over
    // transparency both are green.
    LayerBlueprint exclusion = pixelLayer("exclusion", kWhole, kRed), lighter = clipped(blue);
    exclusion.blendKey = "smud";
    lighter.colour = {0, 255, 0, 255};
    lighter.blendKey = "lgCl";
    auto white = pixelLayer("white", kWhole, {255, 255, 255, 255}).make();
    auto excluded = [&](const char* key) { return group("g", key, {exclusion.make()}).make(); };
    expectPixel({white, excluded("pass"), lighter.make()}, 1, 1, {0, 1, 1, 1});
    expectPixel({white, excluded("norm"), lighter.make()}, 1, 1, {0, 1, 0, 1});
    expectPixel({excluded("pass"), lighter.make()}, 1, 1, {0, 1, 0, 1});
    // A normal red child at 242 over white at 43, an opaque green clipped:
    // green at the child's coverage over the backdrop, (2, 255, 2) at 244.
    auto faintWhite = pixelLayer("white", kWhole, {255, 255, 255, 43}).make();
    auto child = pixelLayer("red", kWhole, {255, 0, 0, 242}).make();
    LayerBlueprint green = lighter;
    green.blendKey = "norm";
    const float coverage = 242 / 255.f, below = (1 - coverage) * 43 / 255.f;
    expectPixel({faintWhite, group("g", "pass", {child}).make(), green.make()}, 1, 1,
                {below, coverage + below, below, coverage + below});
    // So a multiplying child reaches the grey below however much is
    // clipped to its group.
    LayerBlueprint multiply = pixelLayer("multiply", kWhole, kRed);
    multiply.blendKey = "mul ";
    expectPixel({grey, group("g", "pass", {multiply.make()}).make(), clear.make()}, 1, 1,
                {g, 0, 0, 1});
}

TEST(QFRenderNodeForLayers, GroupFillOpacityWeighsAnIsolatedResult) {
    // A multiplying red layer at group fill 0.5 over grey. A pass-through
    // group with fill below full is composited in isolation like a normal
    // one: the red multiplies transparency and is then laid half over grey.
    auto grey = pixelLayer("grey", kWhole, kGrey).make();
    LayerBlueprint multiply = pixelLayer("multiply", kWhole, kRed);
    multiply.blendKey = "mul ";
    const float g = 128 / 255.f;
    for (const char* key : {"pass", "norm"}) {
        LayerBlueprint half = group("g", key, {multiply.make()});
        half.fillOpacity = 0.5;
        expectPixel({grey, half.make()}, 1, 1, {(g + 1) / 2, g / 2, g / 2, 1});
    }
    // So an adjustment inside it works on the group's own layers only: an
    // invert over red on the left gives cyan laid half over grey, and
    // leaves the grey on the right alone (passthrough_fill_adjustment.psd
    // shows the same with an exposure).
    LayerBlueprint invert;
    invert.name = "invert";
    invert.rect = {0, 0, 0, 0};
    invert.blocks = {{"nvrt", {}}};
    LayerBlueprint half =
        group("g", "pass", {pixelLayer("red", kLeft, kRed).make(), invert.make()});
    half.fillOpacity = 0.5;
    expectPixel({grey, half.make()}, 1, 1, {g / 2, (g + 1) / 2, (g + 1) / 2, 1});
    expectPixel({grey, half.make()}, 3, 1, {g, g, g, 1});
}

TEST(QFRenderNodeForLayers, GroupsWithEffectsTakeTheirCoverageOutOnce) {
    // A red layer at coverage 0.4 in a group with a mask of 0.5 and a red
    // colour overlay, over grey: red at 0.2. The overlay is the group's own
    // colour, so the merged image is the same whether it is drawn or not.
    const float g = 128 / 255.f;
    const std::array<float, 4> expected{0.2f + 0.8f * g, 0.8f * g, 0.8f * g, 1};
    auto grey = pixelLayer("grey", kWhole, kGrey).make();
    auto faint = pixelLayer("red", kWhole, {255, 0, 0, 102}).make();
    for (const char* key : {"norm", "pass"}) {
        SCOPED_TRACE(key);
        LayerBlueprint styled = group("g", key, {faint});
        styled.hasMask = true;
        styled.maskRect = kWhole;
        styled.maskValue = 128;
        styled.blocks.push_back({"lfx2", effectsBlock({"SoFi"})});
        auto layer = styled.make();
        BNRenderNodePtr node = QFRenderNodeForLayers({grey, layer});
        auto actual = renderPixel(node, 1, 1);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(actual[k], expected[k], kTolerance);
        // The group is blended like a layer, where its effects are drawn:
        // its result has its coverage taken out once. An isolated group's
        // result is divided by its own coverage; a pass-through group's,
        // which holds the backdrop, is unmixed from it by the factor mask
        // that the layer walk set: the coverage of the group's own layers
        // rendered alone.
        if (std::string(key) == "pass") {
            auto unmixed = findNode<BNUnmixWithMaskNode>(node);
            ASSERT_TRUE(unmixed);
            auto coverage = dynamic_cast<const BNIsolateOpacityNode*>(unmixed->inputNode(2));
            ASSERT_TRUE(coverage);
            EXPECT_NE(coverage->inputNode(0), unmixed->inputNode(1));
        } else {
            auto divided = findNode<BNDivideMaskNode>(node);
            ASSERT_TRUE(divided);
            auto coverage = dynamic_cast<const BNIsolateOpacityNode*>(divided->inputNode(1));
            ASSERT_TRUE(coverage);
            EXPECT_EQ(coverage->inputNode(0), divided->inputNode(0));
        }
    }

    // A factor mask set on the group by hand divides its result instead:
    // with the coverage it stands for, the same pixels.
    LayerBlueprint styled = group("g", "norm", {faint});
    styled.hasMask = true;
    styled.maskRect = kWhole;
    styled.maskValue = 128;
    styled.blocks.push_back({"lfx2", effectsBlock({"SoFi"})});
    QFContext context;
    auto layer = styled.make();
    context.blendLayers({grey});
    context.beginTransparencyGroup(*layer, nullptr, QFContextGroupNoOptions);
    BNRenderNodePtr coverage = BNConstantColorNode::create({0, 0, 0, 0.4, 0}, BNChannelMaskOpacity);
    context.setFactorMask(coverage);
    context.blendLayers({faint});
    context.endTransparencyGroup(layer, true, {});
    auto divided = findNode<BNDivideMaskNode>(context.resultNode());
    ASSERT_TRUE(divided);
    EXPECT_EQ(divided->inputNode(1), coverage.get());
    auto set = renderPixel(context.resultNode(), 1, 1);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(set[k], expected[k], kTolerance);
}

TEST(QFRenderNodeForLayers, PassThroughGroupsWithEffectsStillBlendWithWhatLiesBelow) {
    // A pass-through group with an effect (a colour overlay of opacity 0,
    // which Photoshop's merged image does not show) is blended like a layer
    // and still passes through: its layers blend with what lies below it,
    // weighed by their own coverage and the group's mask once.
    const float g = 128 / 255.f, w = 128 / 255.f;
    auto grey = pixelLayer("grey", kWhole, kGrey).make();
    auto styled = [](QFLayerList sublayers, uint8_t mask) {
        LayerBlueprint blueprint = group("g", "pass", std::move(sublayers));
        blueprint.blocks.push_back({"lfx2", effectsBlock({"SoFi"}, 0)});
        blueprint.hasMask = mask < 255;
        blueprint.maskRect = kWhole;
        blueprint.maskValue = mask;
        return blueprint.make();
    };
    LayerBlueprint multiply = pixelLayer("multiply", kWhole, kRed);
    multiply.blendKey = "mul ";
    LayerBlueprint faintMultiply = pixelLayer("multiply", kWhole, {255, 0, 0, 102});
    faintMultiply.blendKey = "mul ";
    auto faintRed = pixelLayer("red", kWhole, {255, 0, 0, 102}).make();
    auto halfWhite = pixelLayer("white", kWhole, {255, 255, 255, 128}).make();
    struct {
        const char* what;
        QFLayerList layers;
        std::array<float, 4> expected;
    } cases[] = {
        {"multiply reaches the grey", {grey, styled({multiply.make()}, 255)}, {g, 0, 0, 1}},
        {"at coverage 0.4",
         {grey, styled({faintMultiply.make()}, 255)},
         {g, 0.6f * g, 0.6f * g, 1}},
        {"within a mask of 0.5",
         {grey, styled({faintMultiply.make()}, 128)},
         {g, 0.8f * g, 0.8f * g, 1}},
        {"over a half-transparent backdrop",
         {halfWhite, styled({faintRed}, 255)},
         {0.4f + 0.6f * w, 0.6f * w, 0.6f * w, 0.4f + 0.6f * w}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BNRenderNodePtr node = QFRenderNodeForLayers(c.layers);
        EXPECT_TRUE(findNode<BNUnmixWithMaskNode>(node));
        auto actual = renderPixel(node, 1, 1);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(actual[k], c.expected[k], kTolerance);
    }
}
