// The layer walk, the compositing context and its groups, and layer
// content and masks, on layers made in memory, checked by rendering
// single pixels.
#include "LayerFixtures.h"
#include "PSDTestSupport.h"
#include "compositing/QFBlendMode.h"
#include "compositing/QFContext.h"
#include "compositing/QFLayerContent.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "platform/Log.h"
#include "rendergraph/BNBlendNode.h"
#include "rendergraph/BNConvertOpacityToFillNode.h"
#include "rendergraph/BNTransparentNode.h"

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
    // A clipped group ends the run and is skipped, and so is what is
    // clipped after it.
    auto clippedGroup =
        clipped(group("g", "pass", {pixelLayer("in", kWhole, kGrey).make()})).make();
    expectPixel({base, clippedGroup, blue}, 1, 1, {1, 0, 0, 1});
    expectPixel({base, clippedGroup, blue}, 3, 1, {0, 0, 0, 0});
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
    context.beginTransparencyGroup(*layer, QFContextGroupPassThroughOption);
    EXPECT_EQ(context.groupCount(), 2u);
    context.endTransparencyGroup(layer, false, {});
    EXPECT_EQ(context.resultNode(), root);
    // An isolated group is blended with its opacity carried as fill.
    context.beginTransparencyGroup(*layer, 0);
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
}
