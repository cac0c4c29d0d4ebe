// Layer effects' rules on built values, each chosen where a neighbouring
// rule gives other pixels: where the light places shadows, where a gradient
// glow's colours lie, the box gradients are laid out in, the measures of
// chokes, blurs, ramps and limits, the bevel texture's sign, and blend
// modes read under their long names.
#include "LayerFixtures.h"
#include "PSDTestSupport.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/effects/QFEffectFunctions.h"
#include "compositing/providers/QFGradientProvider.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"
#include "rendergraph/gradients/BNRadialGradientNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace compositing_test;

// A namespace of its own: the sweeps' fixtures of the same names share a
// unity build with these.
namespace effect_rules {
namespace {

using lf::test::ByteWriter;

// The square's pixels are [kLeft, kRight) on both axes of a kSide by kSide
// document.
constexpr int kLeft = 36, kRight = 60, kMiddle = 48, kSide = 96;

// A grayscale pattern "stripes" of 8 by 8 pixels: its top four rows white,
// the bottom four black.
std::vector<uint8_t> stripesPatternBlock() {
    std::vector<uint8_t> samples(64, 0);
    std::fill(samples.begin(), samples.begin() + 32, 255);
    ByteWriter plane;
    plane.u32(8).u32(0).u32(0).u32(8).u32(8).u16(8).u8(0).bytes(samples);  // raw
    ByteWriter pattern;
    pattern.u32(1).u32(1).u16(8).u16(8).unicode("Stripes").u8(7).text("stripes");
    pattern.u32(3).u32(0).u32(0).u32(0).u32(8).u32(8).u32(1);  // list, rect, one channel
    pattern.u32(1).u32(uint32_t(plane.size())).bytes(plane.data());
    pattern.u32(0).u32(0);  // masks not written
    ByteWriter block;
    block.u32(uint32_t(pattern.size())).bytes(pattern.data());
    return block.data();
}

SquareDocument makeSquare(int32_t globalAngle = 30) {
    return makeSquareDocument(kSide, kLeft, kRight, globalAngle, stripesPatternBlock());
}

RenderedPlane drawn(const OMPSDEffect& effect, const SquareDocument& square, int channel = 3) {
    return renderChannel(effectDrawnAlone(effect, *square.layer), VKRectMake(0, 0, kSide, kSide),
                         channel);
}

std::shared_ptr<const OMPSDContour> invertingContour() {
    return std::make_shared<OMPSDContour>(std::vector<OMPSDContourPoint>{{0, 1}, {1, 0}});
}

// Black to white in a straight line.
std::shared_ptr<OMPSDGradient> blackToWhite() {
    auto gradient = std::make_shared<OMPSDGradient>();
    gradient->setSmoothness(0);
    gradient->setColorStops({{0, 0.5, {0, 0, 0}}, {1, 0.5, {1, 1, 1}}});
    gradient->setOpacityStops({{0, 0.5, 1}, {1, 0.5, 1}});
    return gradient;
}

std::shared_ptr<OMPSDGradientFill> blackToWhiteFill(OMPSDGradientStyle style, double angle,
                                                    double scale) {
    auto fill = std::make_shared<OMPSDGradientFill>();
    fill->setGradient(blackToWhite());
    fill->setStyle(style);
    fill->setAngle(angle);
    fill->setScale(scale);
    return fill;
}

std::shared_ptr<const BNGradientProvider> blackToWhiteProvider() {
    return std::make_shared<QFGradientProvider>(blackToWhite(), false);
}

// How many opaque pixels `effect` of `layer` draws within `rect`, and how
// many of them differ in red from `reference` (the first of them named):
// whether the effect's gradient lies where the reference's does.
struct Comparison {
    int opaque = 0, off = 0;
    std::string firstOff;
};
Comparison opaquePixelsAgainst(const OMPSDEffect& effect, const OMPSDLayer& layer,
                               const BNRenderNodePtr& reference, VKRect rect) {
    BNRenderNodePtr drawn = effectDrawnAlone(effect, layer);
    RenderedPlane alpha = renderChannel(drawn, rect), red = renderChannel(drawn, rect, 0),
                  expected = renderChannel(reference, rect, 0);
    Comparison result;
    for (size_t i = 0; i < alpha.values.size(); ++i) {
        if (alpha.values[i] != 1.0f) continue;
        ++result.opaque;
        if (std::abs(red.values[i] - expected.values[i]) <= 1e-3f) continue;
        if (result.off++ == 0)
            result.firstOff = std::to_string(alpha.left + int(i) % alpha.width) + ", " +
                              std::to_string(alpha.top + int(i) / alpha.width) + ": " +
                              std::to_string(red.values[i]) + " for " +
                              std::to_string(expected.values[i]);
    }
    return result;
}

}  // namespace

TEST(EffectRules, ShadowsLieAlongTheStoredAngleRoundedInSinglePrecision) {
    // The move (x right, y down) away from the light, the cosine and sine
    // of the angle itself times the distance. The corrected angle would put
    // 61 degrees at 8 pixels across and -170 degrees at (29, -7); at 120
    // degrees double precision gives -2.4999999 and 2 pixels across. In
    // single precision the sines of +-30 degrees are exactly 0.5 (those of
    // +-150 are 0.50000006), so odd distances there make exact halves,
    // which round away from zero (to even they would give 2 and -4).
    SquareDocument square = makeSquare(-170);
    struct Case {
        double angle;
        bool global;
        double distance;
        VKPoint move;
    } cases[] = {
        {61, false, 14, {-7, 12}},    {0, true, 30, {30, -5}}, {120, false, 5, {3, 4}},
        {-60, false, 20, {-10, -17}}, {30, false, 5, {-4, 3}}, {-30, false, 9, {-8, -5}},
    };
    for (const Case& c : cases) {
        VKPoint move = QFLightOffset(c.angle, c.global, c.distance, *square.layer);
        EXPECT_EQ(move.x, c.move.x) << c.angle;
        EXPECT_EQ(move.y, c.move.y) << c.angle;
    }
    // A drop shadow without blur at the global angle lies exactly there.
    auto shadow = made<OMPSDDropShadowEffect>([](auto& e) {
        e.setSize(0);
        e.setDistance(30);
        e.setUsesGlobalLight(true);
        e.setLayerKnocksOutDropShadow(false);
    });
    RenderedPlane plane = drawn(*shadow, square);
    EXPECT_EQ(plane.at(kLeft + 30, kLeft - 5), 1.0f);
    EXPECT_EQ(plane.at(kRight + 29, kRight - 6), 1.0f);
    EXPECT_EQ(plane.at(kLeft + 29, kLeft - 5), 0.0f);
    EXPECT_EQ(plane.at(kLeft + 30, kLeft - 6), 0.0f);

    // At 30 degrees, a new document's global angle, 5 pixels away: 4 left
    // and 3 (2.5 rounded away from zero) down.
    SquareDocument fresh = makeSquare(30);
    shadow->setDistance(5);
    RenderedPlane halfway = drawn(*shadow, fresh);
    EXPECT_EQ(halfway.at(kLeft - 4, kLeft + 3), 1.0f);
    EXPECT_EQ(halfway.at(kLeft - 4, kRight + 2), 1.0f);
    EXPECT_EQ(halfway.at(kLeft - 4, kLeft + 2), 0.0f);
    EXPECT_EQ(halfway.at(kLeft - 5, kLeft + 3), 0.0f);
}

TEST(EffectRules, GradientGlowsTakeTheRangeBeforeTheContourAndFadeOnlyAtTheirFaintestEdge) {
    // The glow's strength G, as a colour glow over its whole range draws
    // it, against a gradient glow of black to white with an inverting
    // contour at range 0.43: its colour position is 1 - min(1, G / 0.43),
    // the table reversed, so it shows grey min(1, G / 0.43). Taking the
    // contour first would show 1 - min(1, (1 - G) / 0.43).
    SquareDocument square = makeSquare();
    auto glows = [&](auto strength, auto gradient) {
        auto setup = [](auto& e) {
            e.setSize(10);
            e.setBlendMode(OMPSDFourCC("norm"));
        };
        strength->setRange(1);
        setup(*strength);
        gradient->setRange(0.43);
        gradient->setContour(invertingContour());
        gradient->setGradient(blackToWhite());
        setup(*gradient);
        return std::pair{drawn(*strength, square), drawn(*gradient, square, 0)};
    };
    auto [outer, outerGrey] =
        glows(std::make_shared<OMPSDOuterGlowEffect>(), std::make_shared<OMPSDOuterGlowEffect>());
    auto [inner, innerGrey] =
        glows(std::make_shared<OMPSDInnerGlowEffect>(), std::make_shared<OMPSDInnerGlowEffect>());
    int checked = 0;
    for (int k = 0; k < 9; ++k) {
        float g = outer.at(kRight + k, kMiddle);
        if (g < 0.05f || g > 0.8f) continue;  // fully covered from (1 - G) * 80 >= 1
        EXPECT_NEAR(outerGrey.at(kRight + k, kMiddle), std::min(1.0f, g / 0.43f), 2e-3) << k;
        g = inner.at(kLeft + k, kMiddle);
        EXPECT_NEAR(innerGrey.at(kLeft + k, kMiddle), std::min(1.0f, g / 0.43f), 2e-3) << k;
        ++checked;
    }
    EXPECT_GE(checked, 4);

    // A gradient outer glow's alpha is the gradient's own opacity: only
    // where its contoured strength G is below 1/80 does its coverage, 80 G,
    // fade; from 3/190 up it is full (0.03 here, where a fade up to 0.12
    // would leave a quarter). The inner gradient glow has no fade: it
    // covers the whole inside.
    auto covered = [](auto glow) {
        glow->setSize(10);
        glow->setRange(1);
        glow->setGradient(blackToWhite());
        return glow;
    };
    RenderedPlane outerCoverage = drawn(*covered(std::make_shared<OMPSDOuterGlowEffect>()), square),
                  innerCoverage = drawn(*covered(std::make_shared<OMPSDInnerGlowEffect>()), square);
    int full = 0, fading = 0;
    for (int k = 0; k < 10; ++k) {
        float g = outer.at(kRight + k, kMiddle);
        EXPECT_EQ(innerCoverage.at(kLeft + k, kMiddle), 1.0f) << k;
        if (g <= 0) continue;
        EXPECT_NEAR(outerCoverage.at(kRight + k, kMiddle), std::min(1.0f, 80 * g), 1e-4) << k;
        full += g >= 3.0f / 190 && g < 0.12f;
        fading += g < 1.0f / 80;
    }
    EXPECT_GE(full, 1);
    EXPECT_GE(fading, 1);
}

TEST(EffectRules, GradientsAreLaidOutInTheBoxOfThePixelsAtLeastHalfCovered) {
    // A pixel layer whose pixels with any coverage span (157, 54) to (200,
    // 77), those at least half covered (159, 56) to (199, 75). A radial
    // overlay at 90 degrees and 112 percent is laid out in the second box:
    // centre its floored middle (179, 65), radius trunc(9.5 * 1.12) = 10
    // (the reach is truncated, not rounded to 11). The whole box would give
    // (178, 65) and 12.
    LayerBlueprint fringed = fringedLayer({54, 157, 77, 200}, {56, 159, 75, 199}, 255, 100);
    auto overlay = made<OMPSDGradientOverlayEffect>(
        [](auto& e) { e.setFill(blackToWhiteFill(OMPSDGradientStyleRadial, 90, 1.12)); });
    Comparison radial = opaquePixelsAgainst(
        *overlay, *fringed.make(),
        BNRadialGradientNode::create({179, 65}, 10, blackToWhiteProvider(), false),
        VKRectMake(157, 54, 43, 23));
    EXPECT_EQ(radial.opaque, 40 * 19);
    EXPECT_EQ(radial.off, 0) << radial.firstOff;

    // Strokes 4 wide, linear at 90 degrees. On the opaque square (every
    // pixel of it whole) the gradient runs from the bottom edge of its box
    // up to its top edge: an outside band's box is the square grown by the
    // band's whole width, a centred band's by its half on either side, an
    // inside band's is the square's own.
    SquareDocument square = makeSquare();
    auto stroke = [](OMPSDStrokeEffectPosition position) {
        return made<OMPSDStrokeEffect>([&](auto& e) {
            e.setPosition(position);
            e.setSize(4);
            e.setFill(blackToWhiteFill(OMPSDGradientStyleLinear, 90, 1));
        });
    };
    auto spanning = [](double bottom, double top) {
        return BNLinearGradientNode::create({kMiddle, bottom}, {kMiddle, top},
                                            blackToWhiteProvider(), false);
    };
    const struct {
        OMPSDStrokeEffectPosition position;
        int growth;
    } bands[] = {{OMPSDStrokeEffectPositionOutside, 4},
                 {OMPSDStrokeEffectPositionCentered, 2},
                 {OMPSDStrokeEffectPositionInside, 0}};
    for (const auto& band : bands) {
        Comparison linear = opaquePixelsAgainst(*stroke(band.position), *square.layer,
                                                spanning(kRight + band.growth, kLeft - band.growth),
                                                VKRectMake(0, 0, kSide, kSide));
        EXPECT_GE(linear.opaque, 4 * (kRight - kLeft) * 2) << band.growth;
        EXPECT_EQ(linear.off, 0) << band.growth << ": " << linear.firstOff;
    }
    // On the fringed layer the band follows the box of its pixels at least
    // half covered, rows 56 to 75, grown by 4: rows 52 to 79.
    Comparison outside =
        opaquePixelsAgainst(*stroke(OMPSDStrokeEffectPositionOutside), *fringed.make(),
                            spanning(79, 52), VKRectMake(150, 47, 57, 37));
    EXPECT_GE(outside.opaque, 4 * 40 * 2);
    EXPECT_EQ(outside.off, 0) << outside.firstOff;
}

TEST(EffectRules, AShapesGradientSpansTheBoxOfItsCurves) {
    // A tongue in a 256 pixel document: straight along its top (y 139.1)
    // and bottom (186.2), its sides bulging out to 107.71875 and 140.6875,
    // their handles further, to 106.5 and 141.9. A linear overlay at 20
    // degrees and 50 percent: laid out in the box of the curves (half width
    // 16.484375), it reaches 8 across and 2.9999 up, cut to 2, from (116,
    // 164) to (132, 160). The box of the handles (half width 17.7) would
    // reach 3 up.
    const double side = 256, top = 139.1, bottom = 186.2;
    // A knot at (x, y) with one handle level with it at handleX, on the
    // segment before the knot or after it.
    auto handleBefore = [&](double x, double y, double handleX) {
        OMPSDPoint anchor{x / side, y / side}, handle{handleX / side, y / side};
        return VectorMaskKnot{handle, anchor, anchor};
    };
    auto handleAfter = [&](double x, double y, double handleX) {
        OMPSDPoint anchor{x / side, y / side}, handle{handleX / side, y / side};
        return VectorMaskKnot{anchor, anchor, handle};
    };
    auto document = makeShapeDocument(
        int(side),
        curvedVectorMaskBlock(
            {{1,
              {handleBefore(111.375, top, 106.5), handleAfter(137.05, top, 141.9),
               handleBefore(137.05, bottom, 141.9), handleAfter(111.375, bottom, 106.5)}}}));
    ASSERT_TRUE(document);
    auto overlay = made<OMPSDGradientOverlayEffect>(
        [](auto& e) { e.setFill(blackToWhiteFill(OMPSDGradientStyleLinear, 20, 0.5)); });
    Comparison linear = opaquePixelsAgainst(
        *overlay, *document->layers().front(),
        BNLinearGradientNode::create({116, 164}, {132, 160}, blackToWhiteProvider(), false),
        VKRectMake(100, 130, 50, 64));
    EXPECT_GE(linear.opaque, 30 * 45);
    EXPECT_EQ(linear.off, 0) << linear.firstOff;
}

TEST(EffectRules, ChokeBlurRampAndLimitToThePixel) {
    SquareDocument square = makeSquare();
    auto shadow = [](double size, double spread, std::shared_ptr<const OMPSDContour> contour) {
        return made<OMPSDDropShadowEffect>([&](auto& e) {
            e.setSize(size);
            e.setSpread(spread);
            e.setDistance(0);
            e.setContour(contour);
            e.setLayerKnocksOutDropShadow(false);
        });
    };
    // Size 5, spread 50: the choke is round(2.5) = 3, solid three pixels
    // out, then blurred by radius 1 (2, shortened).
    RenderedPlane choked = drawn(*shadow(5, 50, nullptr), square);
    EXPECT_EQ(choked.at(kRight + 1, kMiddle), 1.0f);
    EXPECT_FLOAT_EQ(choked.at(kRight + 2, kMiddle), 0.75f);
    EXPECT_FLOAT_EQ(choked.at(kRight + 3, kMiddle), 0.25f);
    EXPECT_EQ(choked.at(kRight + 4, kMiddle), 0.0f);

    // Where the plain shadow P is below 0.12 (the 0.125 threshold on its
    // whole-percent scale), the contoured one is held to P / 0.1199...
    RenderedPlane plain = drawn(*shadow(10, 0, nullptr), square),
                  contoured = drawn(*shadow(10, 0, invertingContour()), square);
    int limited = 0;
    for (int x = kRight; x < kRight + 10; ++x) {
        float p = plain.at(x, kMiddle);
        float expected = p < 0.12f ? p * 8.3667f : 1 - p;
        EXPECT_NEAR(contoured.at(x, kMiddle), expected, 1e-3) << x;
        limited += p > 0 && p < 0.12f;
    }
    EXPECT_GE(limited, 3);

    // An inner shadow of size 10 is blurred by radius 9: it reaches 9
    // pixels in.
    auto inner = made<OMPSDInnerShadowEffect>([](auto& e) {
        e.setSize(10);
        e.setDistance(0);
    });
    RenderedPlane band = drawn(*inner, square);
    EXPECT_GT(band.at(kLeft + 8, kMiddle), 0.0f);
    EXPECT_EQ(band.at(kLeft + 9, kMiddle), 0.0f);

    // A precise glow of size 12 ramps evenly down over the whole 12 pixels:
    // 12 even steps from its first pixel, the last one above 0.
    auto precise = made<OMPSDOuterGlowEffect>([](auto& e) {
        e.setSize(12);
        e.setTechnique(1);
        e.setRange(1);
    });
    RenderedPlane ramp = drawn(*precise, square);
    float step = ramp.at(kRight, kMiddle) - ramp.at(kRight + 1, kMiddle);
    EXPECT_GT(step, 0.0f);
    for (int k = 0; k <= 12; ++k)
        EXPECT_NEAR(ramp.at(kRight + k, kMiddle), (12 - k) * step, 1e-4) << k;
    EXPECT_GT(ramp.at(kRight + 11, kMiddle), 0.0f);
}

TEST(EffectRules, TextureDarkPartsStandUpUnlessPressedOrInverted) {
    // The stripes lie over the square's flat top, lit from above (90
    // degrees): where the texture's relief rises downwards (white above
    // black, rows 3 to 4 of each tile) it faces the light, as the square's
    // own top edge does, and the highlight shows.
    SquareDocument square = makeSquare();
    auto highlight = [&](int direction, bool invert, double depth) {
        auto bevel = made<OMPSDBevelEmbossEffect>([&](auto& e) {
            e.setUsesGlobalLight(false);
            e.setAngle(90);
            e.setSize(3);
            e.setDirection(direction);
            e.setIsTextureEnabled(true);
            e.setTexturePattern(std::make_shared<OMPSDPatternReference>("stripes", "Stripes"));
            e.setInvertTexture(invert);
            e.setTextureAmount(depth);
            e.setShadowOpacity(0);
        });
        return drawn(*bevel, square, 0);
    };
    auto lit = [](const RenderedPlane& plane, int y) { return plane.at(kMiddle, y) > 0.5f; };
    // Raised: the dark stripes stand up; pressed in: the light ones.
    RenderedPlane up = highlight(0, false, 1), down = highlight(1, false, 1);
    for (int y : {43, 44, 51, 52}) {
        EXPECT_TRUE(lit(up, y)) << y;
        EXPECT_FALSE(lit(down, y)) << y;
    }
    for (int y : {47, 48, 55, 56}) {
        EXPECT_FALSE(lit(up, y)) << y;
        EXPECT_TRUE(lit(down, y)) << y;
    }
    // Inverting the texture turns its depth over.
    for (int direction : {0, 1}) {
        RenderedPlane inverted = highlight(direction, true, -1),
                      plainTexture = direction == 0 ? up : down;
        for (int y = kLeft + 4; y < kRight - 4; ++y)
            EXPECT_FLOAT_EQ(inverted.at(kMiddle, y), plainTexture.at(kMiddle, y))
                << "direction " << direction << ", row " << y;
    }
}

TEST(EffectRules, AColourOverlayInMultiplyUnderItsLongName) {
    // A grey layer with a colour overlay of (65, 116, 217) whose mode is
    // written "multiply", as newer documents write it: the overlay is
    // multiplied onto the grey, not painted over it.
    ByteWriter colour, overlay, items;
    colour.unicode("").identifier("RGBC").u32(3);
    colour.identifier("Rd  ").code("doub").f64(65);
    colour.identifier("Grn ").code("doub").f64(116);
    colour.identifier("Bl  ").code("doub").f64(217);
    overlay.unicode("").identifier("SoFi").u32(3);
    overlay.identifier("enab").code("bool").u8(1);
    overlay.identifier("Md  ").code("enum").identifier("BlnM").identifier("multiply");
    overlay.identifier("Clr ").code("Objc").bytes(colour.data());
    items.identifier("SoFi").code("Objc").bytes(overlay.data());
    ByteWriter block;
    block.u32(0).bytes(lf::test::versionedDescriptor(1, items.data()));

    LayerBlueprint grey;
    grey.colour = {200, 200, 200, 255};
    grey.blocks = {{"lfx2", block.data()}};
    auto pixel = renderPixel(QFRenderNodeForLayers({grey.make()}), 1, 1);
    EXPECT_NEAR(pixel[0] * 255, 65 * 200 / 255.0, 0.5);
    EXPECT_NEAR(pixel[1] * 255, 116 * 200 / 255.0, 0.5);
    EXPECT_NEAR(pixel[2] * 255, 217 * 200 / 255.0, 0.5);
    EXPECT_FLOAT_EQ(pixel[3], 1.0f);
}

}  // namespace effect_rules
