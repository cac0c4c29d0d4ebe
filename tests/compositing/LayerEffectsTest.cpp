// Layer effects in real documents: against the merged images, type edges
// included, within their own bounds; and how the group blending
// puts them together: once per group, effects of one kind in their stored
// order, with fill opacity and knockout.
#include "DocumentRender.h"
#include "LayerFixtures.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/content/QFLayerShapeBounds.h"
#include "compositing/effects/QFEffectRendering.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

using namespace compositing_test;

namespace {

std::shared_ptr<OMPSDDocument> openShared(const std::string& path) {
    auto document = OMPSDDocument::createWithFile(lf::test::sharedFile("psd/" + path));
    EXPECT_TRUE(document) << path;
    return document ? document.value() : nullptr;
}

// The rectangle the layer and its enabled effects may paint.
VKRect paintedBounds(const OMPSDLayer& layer) {
    VKRect shape = QFLayerShapeBounds(layer), bounds = shape;
    for (const auto& effect : layer.effects()->orderedEffects())
        if (effect->isEnabled())
            bounds = VKRectUnion(bounds, boundsWithLayerShapeBounds(*effect, shape, layer));
    return bounds;
}

}  // namespace

TEST(LayerEffects, DocumentsMatchTheirMergedImages) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    // Every effect of these documents is drawn within 8 levels of the
    // merged image, on the anti-aliased edges of their type layers too
    // (mixed through the type gamma), except where a layer's stroke is
    // filled with a noise gradient.
    struct Case {
        const char* path;
        std::vector<const char*> notCompared;
    } cases[] = {{"layer_effects.psd", {}}, {"effect-stroke-gradient.psd", {"Text 2"}}};
    for (const Case& c : cases) {
        auto document = openShared(c.path);
        ASSERT_TRUE(document);
        auto expected = MergedImagePremultiplied(*document);
        auto actual =
            RenderNodeTiled(QFRenderNodeForLayers(document->layers()), DocumentRect(*document));
        ASSERT_TRUE(expected && actual) << c.path;
        actual = RenderAsStoredInMergedImage(*document, actual);
        std::vector<bool> skipped(size_t(document->width()) * document->height());
        for (const char* name : c.notCompared) {
            VKRect r = VKRectIntegral(paintedBounds(*FindLayerNamed(*document, name)));
            for (int y = std::max(0, int(r.origin.y)); y < int(VKRectGetMaxY(r)); ++y)
                for (int x = std::max(0, int(r.origin.x)); x < int(VKRectGetMaxX(r)); ++x)
                    skipped[size_t(y) * document->width() + x] = true;
        }
        size_t compared = 0, off = 0;
        for (size_t i = 0; i < skipped.size(); ++i) {
            if (skipped[i]) continue;
            ++compared;
            for (int k = 0; k < 4; ++k)
                if (std::abs(expected->bytes()[4 * i + k] - actual->bytes()[4 * i + k]) > 8) {
                    ++off;
                    break;
                }
        }
        EXPECT_GT(compared, skipped.size() / 2) << c.path;
        EXPECT_EQ(off, 0u) << c.path;
    }
}

TEST(LayerEffects, EveryEffectPaintsWithinItsBounds) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    // Each enabled effect of every effect document, drawn alone, covers no
    // pixel outside its bounds united with the shape's.
    size_t checked = 0;
    for (const char* path :
         {"layer_effects.psd", "effect-stroke-gradient.psd", "effects/double-stroke-effects.psd",
          "effects/shape-fx.psd", "effects/shape-fx2.psd", "masks.psd", "patterns.psd",
          "transparency/fill-opacity.psd", "blend-and-clipping.psd"}) {
        auto document = openShared(path);
        ASSERT_TRUE(document);
        for (const auto& layer : document->allLayers()) {
            auto effects = layer->effects();
            if (!effects || layer->isGroup()) continue;
            for (const auto& effect : effects->orderedEffects()) {
                if (!effect->isEnabled()) continue;
                SCOPED_TRACE(std::string(path) + ": " + layer->name() + ", effect " +
                             std::to_string(int(effect->kind())));
                VKRect bounds = effectPaintBounds(*effect, *layer);
                RenderedPlane plane =
                    renderChannel(effectDrawnAlone(*effect, *layer), VKRectInset(bounds, -48, -48));
                EXPECT_EQ(coveredOutside(plane, bounds), 0);
                ++checked;
            }
        }
    }
    EXPECT_GE(checked, 25u);
}

namespace {

const OMPSDRect kBackdrop{0, 0, 48, 48}, kSquare{16, 16, 32, 32};

std::shared_ptr<OMPSDLayer> whiteBackdrop() {
    LayerBlueprint white;
    white.rect = kBackdrop;
    white.colour = {255, 255, 255, 255};
    return white.make();
}

LayerBlueprint halfRedSquare() {
    LayerBlueprint square;
    square.rect = kSquare;
    square.colour = {255, 0, 0, 128};
    return square;
}

LayerBlueprint groupOf(const char* blendKey, QFLayerList sublayers) {
    LayerBlueprint group;
    group.isGroup = true;
    group.rect = {0, 0, 0, 0};
    group.blendKey = blendKey;
    group.sublayers = std::move(sublayers);
    return group;
}

RenderedPlane rendered(const QFLayerList& layers, int channel) {
    return renderChannel(QFRenderNodeForLayers(layers), VKRectMake(0, 0, 48, 48), channel);
}

}  // namespace

TEST(LayerEffects, AGroupDrawsItsEffectsAsItsOnlyLayerWould) {
    // A half-transparent square with a drop shadow that shows through it,
    // an outside stroke and an outer glow (or two shadows and two strokes),
    // or the same square plain in a group that carries those effects,
    // isolated or passing through: the group's coverage is the square's,
    // counted once, and the shadows lie under the square once.
    const std::pair<std::string, std::vector<uint8_t>> blocks[] = {
        {"lfx2", effectsBlock({"DrSh", "FrFX", "OrGl"})},
        {"lmfx", repeatedEffectsBlock({{.key = "DrSh", .size = 2, .distance = 4},
                                       {.key = "DrSh", .size = 1, .distance = 3, .angle = 0},
                                       {.key = "FrFX", .colour = {0, 0, 255}, .size = 3},
                                       {.key = "FrFX", .opacity = 0.5, .size = 1}})}};
    for (const auto& block : blocks)
        for (double opacity : {1.0, 0.5}) {
            LayerBlueprint styled = halfRedSquare();
            styled.opacity = opacity;
            styled.blocks.push_back(block);
            QFLayerList alone = {whiteBackdrop(), styled.make()};
            for (const char* key : {"norm", "pass"}) {
                SCOPED_TRACE(block.first + ", " + key + ", opacity " + std::to_string(opacity));
                LayerBlueprint group = groupOf(key, {halfRedSquare().make()});
                group.opacity = opacity;
                group.blocks.push_back(block);
                QFLayerList grouped = {whiteBackdrop(), group.make()};
                for (int k = 0; k < 4; ++k) {
                    RenderedPlane a = rendered(alone, k), b = rendered(grouped, k);
                    for (size_t i = 0; i < a.values.size(); ++i)
                        ASSERT_NEAR(a.values[i], b.values[i], 1.0 / 255)
                            << "channel " << k << " at " << i % 48 << ", " << i / 48;
                }
            }
        }
}

TEST(LayerEffects, RepeatedEffectsKeepTheirStoredOrderAndTheFirstStrokeLiesOnTop) {
    // An opaque white square (16 to 32) with two effects of one kind, in
    // either stored order: the second overlay lies over the first, the first
    // stroke over the second.
    auto render = [](std::vector<RepeatedEffect> effects, bool reversed, int channel) {
        if (reversed) std::reverse(effects.begin(), effects.end());
        LayerBlueprint square;
        square.rect = kSquare;
        square.colour = {255, 255, 255, 255};
        square.blocks.push_back({"lmfx", repeatedEffectsBlock(effects)});
        return renderChannel(QFRenderNodeForLayers({square.make()}), VKRectMake(0, 0, 48, 48),
                             channel);
    };
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "stored the other way round" : "stored as listed");
        // Colour overlays, red and a blue at half opacity: the blue veils the
        // red, or the red hides the blue.
        std::vector<RepeatedEffect> overlays = {
            {.key = "SoFi", .colour = {255, 0, 0}},
            {.key = "SoFi", .colour = {0, 0, 255}, .opacity = 0.5}};
        EXPECT_NEAR(render(overlays, reversed, 0).at(24, 24), reversed ? 1 : 0.5, 1e-3);
        EXPECT_NEAR(render(overlays, reversed, 2).at(24, 24), reversed ? 0 : 0.5, 1e-3);
        // Outside strokes, a green 4 pixels wide and a blue 2 wide: the blue
        // is hidden by the green, or shows on its inner half.
        std::vector<RepeatedEffect> strokes = {{.key = "FrFX", .colour = {0, 255, 0}, .size = 4},
                                               {.key = "FrFX", .colour = {0, 0, 255}, .size = 2}};
        EXPECT_NEAR(render(strokes, reversed, 2).at(33, 24), reversed ? 1 : 0, 1e-3);
        EXPECT_NEAR(render(strokes, reversed, 1).at(35, 24), 1, 1e-3);
    }
    // A yellow stroke 7 wide in multiply stored before a blue one 18 wide,
    // over pink: where both reach, the yellow multiplies the pink with no
    // blue under it; beyond it the blue shows.
    LayerBlueprint pink;
    pink.rect = kBackdrop;
    pink.colour = {255, 192, 203, 255};
    LayerBlueprint stroked;
    stroked.rect = kSquare;
    stroked.colour = {255, 255, 255, 255};
    stroked.blocks.push_back(
        {"lmfx", repeatedEffectsBlock(
                     {{.key = "FrFX", .colour = {250, 231, 101}, .size = 7, .mode = "Mltp"},
                      {.key = "FrFX", .colour = {0, 0, 255}, .size = 18}})});
    BNRenderNodePtr both = QFRenderNodeForLayers({pink.make(), stroked.make()});
    std::array<float, 4> yellowOnPink = renderPixel(both, 35, 24), blue = renderPixel(both, 44, 24);
    const float expected[] = {250 / 255.0f, 231 / 255.0f * 192 / 255.0f,
                              101 / 255.0f * 203 / 255.0f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(yellowOnPink[k], expected[k], 1e-3) << k;
        EXPECT_NEAR(blue[k], k == 2 ? 1 : 0, 1e-3) << k;
    }

    // Two hard drop shadows, 6 pixels below and 6 above the square: both
    // are drawn, and each grows the layer's bounds.
    LayerBlueprint square;
    square.rect = kSquare;
    square.blocks.push_back(
        {"lmfx", repeatedEffectsBlock({{.key = "DrSh", .distance = 6},
                                       {.key = "DrSh", .distance = 6, .angle = -90}})});
    auto layer = square.make();
    RenderedPlane coverage =
        renderChannel(QFRenderNodeForLayers({layer}), VKRectMake(0, 0, 48, 48));
    EXPECT_NEAR(coverage.at(24, 36), 1, 1e-3) << "the shadow below";
    EXPECT_NEAR(coverage.at(24, 11), 1, 1e-3) << "the shadow above";
    const auto& shadows = layer->effects()->effectsOfKind(OMPSDEffect::Kind::dropShadow);
    ASSERT_EQ(shadows.size(), 2u);
    EXPECT_GT(coveredOutside(coverage, effectPaintBounds(*shadows[0], *layer)), 0);
    EXPECT_EQ(coveredOutside(coverage, paintedBounds(*layer)), 0);
}

TEST(LayerEffects, FillOpacityLeavesTheEffectsAndKnockoutHidesTheShadow) {
    // An opaque red square whose black drop shadow falls below it: an empty
    // fill leaves the shadow, which shows under the square unless the layer
    // knocks it out; a layer opacity of one half halves the shadow too.
    auto square = [](double fill, bool knocksOut, double opacity) {
        LayerBlueprint styled = halfRedSquare();
        styled.colour[3] = 255;
        styled.fillOpacity = fill;
        styled.opacity = opacity;
        styled.blocks.push_back({"lfx2", effectsBlock({"DrSh"}, 1.0, knocksOut)});
        return rendered({whiteBackdrop(), styled.make()}, 0);
    };
    for (bool knocksOut : {false, true}) {
        SCOPED_TRACE(knocksOut ? "knocked out" : "shows through");
        EXPECT_FLOAT_EQ(square(1, knocksOut, 1).at(24, 30), 1.0f) << "the square's own red";
        RenderedPlane empty = square(0, knocksOut, 1);
        EXPECT_LT(empty.at(24, 40), 0.9f) << "the shadow below the square";
        EXPECT_EQ(empty.at(24, 30) < 0.99f, !knocksOut) << "the shadow under the square";
    }
    float shadow = 1 - square(1, true, 1).at(24, 40);
    float halved = 1 - square(1, true, 0.5).at(24, 40);
    EXPECT_NEAR(halved, shadow / 2, 1.0 / 255);
}

TEST(LayerEffects, StrokesAndTexturesTakeTheDocumentsPatterns) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    auto document = openShared("layer_effects.psd");
    ASSERT_TRUE(document);
    auto layer = FindLayerNamed(*document, "Stroke");
    ASSERT_TRUE(layer);
    auto water =
        std::make_shared<OMPSDPatternReference>("2ab8ff7f-7c39-11d4-97f0-ce0e81abb313", "Water");
    VKRect area = VKRectInset(QFLayerShapeBounds(*layer), -8, -8);
    auto draw = [&](const OMPSDEffect& effect, int channel) {
        return renderChannel(effectDrawnAlone(effect, *layer), area, channel);
    };
    // A pattern stroke covers the band that a colour stroke covers, in the
    // pattern's colours.
    OMPSDStrokeEffect coloured, patterned;
    coloured.setPosition(OMPSDStrokeEffectPositionCentered);
    coloured.setFill(std::make_shared<OMPSDColorFill>(OMPSDColor(1, 1, 1)));
    patterned.setPosition(OMPSDStrokeEffectPositionCentered);
    auto fill = std::make_shared<OMPSDPatternFill>();
    fill->setPatternReference(water);
    patterned.setFill(fill);
    RenderedPlane band = draw(coloured, 3), covered = draw(patterned, 3), blue = draw(patterned, 2);
    float least = 1, most = 0;
    for (size_t i = 0; i < band.values.size(); ++i) {
        ASSERT_NEAR(covered.values[i], band.values[i], 1e-5);
        if (band.values[i] < 1) continue;
        least = std::min(least, blue.values[i]);
        most = std::max(most, blue.values[i]);
    }
    EXPECT_GT(most - least, 0.1f);
    // A texture roughens the bevel's relief; one that the document lacks
    // leaves it smooth. Both stay within the bevel's bounds.
    OMPSDBevelEmbossEffect smooth, textured, unknown;
    for (auto* bevel : {&smooth, &textured, &unknown}) {
        bevel->setStyle(2);
        bevel->setSize(6);
    }
    textured.setIsTextureEnabled(true);
    textured.setTexturePattern(water);
    unknown.setIsTextureEnabled(true);
    unknown.setTexturePattern(std::make_shared<OMPSDPatternReference>("none", "none"));
    RenderedPlane plain = draw(smooth, 3), rough = draw(textured, 3);
    EXPECT_NE(plain.values, rough.values);
    for (const auto* bevel : {&textured, &unknown})
        EXPECT_EQ(coveredOutside(draw(*bevel, 3), effectPaintBounds(*bevel, *layer)), 0);
}

TEST(LayerEffects, ConcurrentTiledRendersOfEffectsEqualOneWholeRender) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    // Blurs, distance fields and shading that reach across tiles, and the
    // contour and gradient providers asked from every tile at once.
    auto document = openShared("layer_effects.psd");
    ASSERT_TRUE(document);
    BNRenderNodePtr node = QFRenderNodeForLayers(document->layers());
    VKRect rect = VKRectMake(60, 10, 560, 300);
    auto whole = RenderNodeWhole(node, rect, 1.0);
    ASSERT_TRUE(whole);
    std::vector<std::future<std::shared_ptr<const QFRGBAImage>>> renders;
    for (VKSize tile : {VKSize{64, 64}, VKSize{100, 100}})
        renders.push_back(std::async(std::launch::async, [=] {
            return RenderNodeTiled(node, rect, {1.0, tile});
        }));
    for (auto& render : renders) {
        auto tiled = render.get();
        ASSERT_TRUE(tiled);
        EXPECT_TRUE(*tiled == *whole);
    }
}
