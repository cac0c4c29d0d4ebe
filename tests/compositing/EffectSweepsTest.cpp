// Layer effects over the ranges of their settings, where the shared
// documents have no case: each drawn alone around an opaque square, checked
// for what must hold whatever the formulas: within its bounds, growing with
// its size, symmetric where the setting is, and at its limit cases.
#include "LayerFixtures.h"
#include "PSDTestSupport.h"
#include "compositing/QFLayerContent.h"
#include "compositing/effects/QFEffectRendering.h"
#include "compositing/shared/QFInfiniteRect.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/images/BNTransparentNode.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace compositing_test;

namespace {

// The square's pixels are [kLeft, kRight) on both axes of a 96 by 96
// document.
constexpr int kLeft = 36, kRight = 60, kMiddle = 48, kSide = 96;

// A document whose one layer is an opaque black square, with the global
// light at `globalAngle` degrees.
using Square = SquareDocument;
Square makeSquare(int32_t globalAngle = 30) {
    return makeSquareDocument(kSide, kLeft, kRight, globalAngle);
}

// The coverage that `effect` alone paints around the square, which lies
// within the effect's bounds united with the square's.
RenderedPlane drawn(const OMPSDEffect& effect, const Square& square) {
    RenderedPlane plane =
        renderChannel(effectDrawnAlone(effect, *square.layer), VKRectMake(0, 0, kSide, kSide));
    EXPECT_EQ(coveredOutside(plane, effectPaintBounds(effect, *square.layer)), 0)
        << "pixels outside the bounds";
    return plane;
}

// How many pixels the coverage reaches right of the square, along the
// middle row.
int reachRight(const RenderedPlane& plane) {
    int x = kRight;
    while (x < kSide && plane.at(x, kMiddle) > 0.5f / 255)
        ++x;
    return x - kRight;
}

double total(const RenderedPlane& plane) {
    double sum = 0;
    for (float v : plane.values)
        sum += v;
    return sum;
}

// The coverage-weighted centre of the plane.
VKPoint centroid(const RenderedPlane& plane) {
    double sx = 0, sy = 0, sum = total(plane);
    for (int y = 0; y < plane.height; ++y)
        for (int x = 0; x < plane.width; ++x) {
            sx += plane.at(x, y) * (x + 0.5);
            sy += plane.at(x, y) * (y + 0.5);
        }
    return VKPointMake(sx / sum, sy / sum);
}

bool samePixels(const RenderedPlane& a, const RenderedPlane& b) {
    for (size_t i = 0; i < a.values.size(); ++i)
        if (std::abs(a.values[i] - b.values[i]) > 1e-5f) return false;
    return true;
}

// A drop shadow right under the layer (distance 0), showing through it,
// with `setup` done.
std::shared_ptr<OMPSDDropShadowEffect> shadowUnder(
    std::function<void(OMPSDDropShadowEffect&)> setup) {
    return made<OMPSDDropShadowEffect>([&](auto& e) {
        e.setDistance(0);
        e.setLayerKnocksOutDropShadow(false);
        setup(e);
    });
}

}  // namespace

TEST(EffectSweeps, ShadowsGrowWithSizeAndSpreadAndFallAwayFromTheLight) {
    Square square = makeSquare(90);
    const double area = (kRight - kLeft) * (kRight - kLeft);
    int lastReach = -1;
    for (double size : {0.0, 1.0, 5.0, 10.0, 20.0}) {
        SCOPED_TRACE("size " + std::to_string(size));
        auto shadow = shadowUnder([&](auto& e) { e.setSize(size); });
        RenderedPlane plane = drawn(*shadow, square);
        // A blur spreads the square's coverage without changing its sum,
        // evenly on every side.
        EXPECT_NEAR(total(plane), area, area * 0.01);
        EXPECT_NEAR(plane.at(kLeft - 3, kMiddle), plane.at(kRight + 2, kMiddle), 1e-4);
        EXPECT_GT(reachRight(plane), lastReach);
        lastReach = reachRight(plane);
    }
    float last = 0;
    for (double spread : {0.0, 25.0, 50.0, 100.0}) {
        auto shadow = shadowUnder([&](auto& e) { e.setSpread(spread); });
        RenderedPlane plane = drawn(*shadow, square);
        EXPECT_GE(plane.at(kRight + 4, kMiddle), last) << "spread " << spread;
        last = plane.at(kRight + 4, kMiddle);
    }
    EXPECT_FLOAT_EQ(last, 1.0f) << "a full spread is solid";

    // Away from the light: the effect's own angle, or the document's global
    // angle (90, from above) whatever the effect's.
    struct Light {
        double angle;
        bool global;
        VKPoint move;
    } lights[] = {{90, false, {0, 10}},
                  {0, false, {-10, 0}},
                  {180, false, {10, 0}},
                  {-90, false, {0, -10}},
                  {17, true, {0, 10}}};
    VKPoint centre = VKPointMake(kMiddle, kMiddle);
    for (const Light& light : lights) {
        for (bool inner : {false, true}) {
            SCOPED_TRACE("angle " + std::to_string(light.angle) + (inner ? ", inner" : ""));
            auto setup = [&](auto& e) {
                e.setAngle(light.angle);
                e.setUsesGlobalLight(light.global);
                e.setDistance(10);
                e.setSize(4);
            };
            if (!inner) {
                auto shadow = made<OMPSDDropShadowEffect>([&](auto& e) {
                    setup(e);
                    e.setLayerKnocksOutDropShadow(false);
                });
                RenderedPlane plane = drawn(*shadow, square);
                VKPoint moved = centroid(plane);
                EXPECT_NEAR(moved.x - centre.x, light.move.x, 0.05);
                EXPECT_NEAR(moved.y - centre.y, light.move.y, 0.05);
            } else {
                // The inner shadow falls on the inside edge towards the
                // light: darker there than on the far side.
                auto shadow = made<OMPSDInnerShadowEffect>(setup);
                RenderedPlane plane = drawn(*shadow, square);
                double lit = centroid(plane).x - centre.x, down = centroid(plane).y - centre.y;
                EXPECT_LT(lit * light.move.x + down * light.move.y, 0);
            }
        }
    }
}

TEST(EffectSweeps, ContoursAndNoiseStayWithinTheShadow) {
    Square square = makeSquare();
    auto plain = shadowUnder([](auto& e) { e.setSize(5); });
    // A contour that turns the shadow over: clear where the plain shadow is
    // full, full where it fades out, and nothing beyond its reach.
    auto inverted = shadowUnder([](auto& e) {
        e.setSize(5);
        e.setContour(
            std::make_shared<OMPSDContour>(std::vector<OMPSDContourPoint>{{0, 1}, {1, 0}}));
    });
    auto noisy = shadowUnder([](auto& e) {
        e.setSize(5);
        e.setNoise(0.5);
    });
    RenderedPlane a = drawn(*plain, square), b = drawn(*inverted, square),
                  c = drawn(*noisy, square);
    EXPECT_FLOAT_EQ(a.at(kMiddle, kMiddle), 1.0f);
    EXPECT_LT(b.at(kMiddle, kMiddle), 0.01f);
    EXPECT_GT(b.at(kRight + 2, kMiddle), a.at(kRight + 2, kMiddle));
    EXPECT_EQ(reachRight(b), reachRight(a));
    EXPECT_FALSE(samePixels(a, c));
    for (float v : c.values)
        ASSERT_TRUE(v >= 0 && v <= 1);
}

TEST(EffectSweeps, SofterAndPreciseGlowsFadeFromTheEdge) {
    Square square = makeSquare();
    for (double size : {1.0, 4.0, 12.0}) {
        for (int technique : {0, 1}) {
            SCOPED_TRACE("size " + std::to_string(size) + ", technique " +
                         std::to_string(technique));
            auto glow = made<OMPSDOuterGlowEffect>([&](auto& e) {
                e.setSize(size);
                e.setTechnique(technique);
                e.setRange(1);
            });
            RenderedPlane plane = drawn(*glow, square);
            EXPECT_EQ(plane.at(kMiddle, kMiddle), 0.0f) << "an outer glow stays outside";
            for (int x = kRight + 1; x < kSide; ++x)
                EXPECT_LE(plane.at(x, kMiddle), plane.at(x - 1, kMiddle) + 1e-6) << x;
            // The precise glow ramps over the whole size, the softer one's
            // blur over one pixel less.
            EXPECT_NEAR(reachRight(plane), technique == 0 && size > 1 ? size - 1 : size, 1);
        }
    }
    // A narrower range brings the glow's full strength further out.
    float last = 0;
    for (double range : {1.0, 0.5, 0.1}) {
        auto glow = made<OMPSDOuterGlowEffect>([&](auto& e) { e.setRange(range); });
        float at = drawn(*glow, square).at(kRight + 4, kMiddle);
        EXPECT_GT(at, last) << "range " << range;
        last = at;
    }
    // From the edge and from the centre, an inner glow's two sources share
    // the interior between them.
    RenderedPlane sources[2];
    for (int source : {0, 1}) {
        auto glow = made<OMPSDInnerGlowEffect>([&](auto& e) {
            e.setSource(source);
            e.setRange(1);
        });
        sources[source] = drawn(*glow, square);
    }
    for (int x = kLeft; x < kRight; ++x)
        EXPECT_NEAR(sources[0].at(x, kMiddle) + sources[1].at(x, kMiddle), 1, 1e-4) << x;
    EXPECT_EQ(sources[1].at(kLeft - 1, kMiddle), 0.0f) << "an inner glow stays inside";
    EXPECT_GT(sources[1].at(kLeft, kMiddle), sources[1].at(kMiddle, kMiddle));
}

TEST(EffectSweeps, SatinAtItsLimitsAndTurnedHalfway) {
    Square square = makeSquare();
    auto satin = [&](double angle, double distance, bool inverted) {
        auto effect = made<OMPSDSatinEffect>([&](auto& e) {
            e.setAngle(angle);
            e.setDistance(distance);
            e.setIsInverted(inverted);
            e.setOpacity(1);
        });
        return drawn(*effect, square);
    };
    // Without distance the two copies agree: nothing, or, inverted, all of
    // the interior.
    EXPECT_EQ(total(satin(30, 0, false)), 0.0);
    EXPECT_FLOAT_EQ(satin(30, 0, true).at(kMiddle, kMiddle), 1.0f);
    // The copies move both ways along the angle: half a turn changes
    // nothing.
    EXPECT_TRUE(samePixels(satin(30, 8, false), satin(210, 8, false)));
    EXPECT_GT(total(satin(30, 8, false)), 0.0);
}

namespace {

std::shared_ptr<OMPSDGradient> blackToWhite() {
    auto gradient = std::make_shared<OMPSDGradient>();
    gradient->setColorStops({{0, 0.5, {0, 0, 0}}, {1, 0.5, {1, 1, 1}}});
    gradient->setOpacityStops({{0, 0.5, 1}, {1, 0.5, 1}});
    return gradient;
}

}  // namespace

TEST(EffectSweeps, StrokesLieAlongTheEdgeWhateverTheirFill) {
    Square square = makeSquare();
    auto colour = std::make_shared<OMPSDColorFill>(OMPSDColor(1, 0, 0));
    for (OMPSDStrokeEffectPosition position :
         {OMPSDStrokeEffectPositionOutside, OMPSDStrokeEffectPositionInside,
          OMPSDStrokeEffectPositionCentered}) {
        for (double size : {1.0, 3.0, 6.0}) {
            SCOPED_TRACE("position " + std::to_string(position) + ", size " + std::to_string(size));
            auto stroke = made<OMPSDStrokeEffect>([&](auto& e) {
                e.setPosition(position);
                e.setSize(size);
                e.setFill(colour);
            });
            RenderedPlane plane = drawn(*stroke, square);
            int outside = reachRight(plane), inside = 0;
            while (plane.at(kRight - 1 - inside, kMiddle) > 0.5f)
                ++inside;
            int expectedOutside[] = {int(size), 0, int(std::ceil(size / 2))};
            EXPECT_EQ(outside, expectedOutside[position]);
            EXPECT_EQ(inside + outside, std::ceil(size)) << "the band is the stroke's width";
        }
    }
    // Gradients, shape bursts included, fill the colour's band; a pattern
    // that the document lacks draws nothing.
    auto strokeFilled = [&](std::shared_ptr<const OMPSDFill> fill) {
        auto stroke = made<OMPSDStrokeEffect>([&](auto& e) {
            e.setPosition(OMPSDStrokeEffectPositionCentered);
            e.setSize(4);
            e.setFill(fill);
        });
        return drawn(*stroke, square);
    };
    RenderedPlane band = strokeFilled(colour);
    for (OMPSDGradientStyle style : {OMPSDGradientStyleLinear, OMPSDGradientStyleShapeBurst}) {
        auto gradient = std::make_shared<OMPSDGradientFill>();
        gradient->setGradient(blackToWhite());
        gradient->setStyle(style);
        EXPECT_TRUE(samePixels(strokeFilled(gradient), band)) << "style " << style;
    }
    auto missing = std::make_shared<OMPSDPatternFill>();
    missing->setPatternReference(std::make_shared<OMPSDPatternReference>("no such", "none"));
    EXPECT_EQ(total(strokeFilled(missing)), 0.0);
}

TEST(EffectSweeps, BevelsLightTheSideTowardsTheLight) {
    Square square = makeSquare();
    for (int style : {0, 1, 2, 3}) {
        for (int technique : {0, 1, 2}) {
            for (double size : {0.0, 1.0, 5.0, 10.0}) {
                for (double softness : {0.0, 3.0}) {
                    SCOPED_TRACE("style " + std::to_string(style) + ", technique " +
                                 std::to_string(technique) + ", size " + std::to_string(size) +
                                 ", softness " + std::to_string(softness));
                    auto bevel = made<OMPSDBevelEmbossEffect>([&](auto& e) {
                        e.setStyle(style);
                        e.setTechnique(technique);
                        e.setSize(size);
                        e.setSoftness(softness);
                    });
                    RenderedPlane plane = drawn(*bevel, square);
                    // An outer bevel lies outside, an inner bevel inside, an
                    // emboss on both sides.
                    if (style == 1) {
                        EXPECT_EQ(plane.at(kLeft - 1, kMiddle), 0.0f);
                    }
                    if (style == 0) {
                        EXPECT_EQ(plane.at(kLeft, kMiddle), 0.0f);
                    }
                    if (size > 0 && style != 1) {
                        EXPECT_GT(plane.at(kLeft - 1, kMiddle), 0.0f);
                    }
                    if (size > 0 && style != 0) {
                        EXPECT_GT(plane.at(kLeft, kMiddle), 0.0f);
                    }
                }
            }
        }
    }
    // Lit from above: the highlight on the top edge, the shadow on the
    // bottom one; a bevel pressed down turns them round; from straight
    // above nothing faces the light more than the flat top.
    auto bevel = [&](int direction, double altitude) {
        auto effect = made<OMPSDBevelEmbossEffect>([&](auto& e) {
            e.setUsesGlobalLight(false);
            e.setAngle(90);
            e.setAltitude(altitude);
            e.setDirection(direction);
        });
        return renderChannel(effectDrawnAlone(*effect, *square.layer),
                             VKRectMake(0, 0, kSide, kSide), 0);
    };
    RenderedPlane up = bevel(0, 30), down = bevel(1, 30), overhead = bevel(0, 90);
    EXPECT_GT(up.at(kMiddle, kLeft), 0.2f);
    EXPECT_EQ(up.at(kMiddle, kRight - 1), 0.0f);
    EXPECT_EQ(down.at(kMiddle, kLeft), 0.0f);
    EXPECT_GT(down.at(kMiddle, kRight - 1), 0.2f);
    EXPECT_EQ(total(overhead), 0.0);
}

TEST(EffectSweeps, AStrokeEmbossLightsTheStrokeOnly) {
    Square square = makeSquare();
    auto stroke = made<OMPSDStrokeEffect>([](auto& e) {
        e.setSize(4);
        e.setFill(std::make_shared<OMPSDColorFill>(OMPSDColor(0.5, 0.5, 0.5)));
    });
    auto emboss = made<OMPSDBevelEmbossEffect>([](auto& e) { e.setStyle(4); });
    BNRenderNodePtr shape = QFShapeNodeForLayer(*square.layer);
    BNRenderNodePtr transparent = BNTransparentNode::create(QFInfiniteRect, BNChannelMaskRGBA);
    auto strokeWith = [&](QFEffectBlendingCallback callback) {
        return renderChannel(blendWithContent(*stroke, transparent, shape, transparent,
                                              *square.layer, nullptr, callback),
                             VKRectMake(0, 0, kSide, kSide), 0);
    };
    RenderedPlane plain = strokeWith(nullptr),
                  embossed = strokeWith([&](const BNRenderNodePtr&n) {
                      return blendWithContent(*emboss, n, shape, nullptr, *square.layer,
                                              QFEffectClippingBoth, nullptr);
                  });
    EXPECT_FALSE(samePixels(plain, embossed));
    for (size_t i = 0; i < plain.values.size(); ++i) {
        if (plain.values[i] == 0) {
            ASSERT_EQ(embossed.values[i], 0.0f);
        }
    }
}

TEST(EffectSweeps, AFactorMaskOfFullCoverageChangesNothing) {
    // Dividing by full coverage is no change; in particular a gradient glow
    // keeps its opacity, the inner one as the outer one.
    Square square = makeSquare();
    auto gradient = blackToWhite();
    std::vector<std::shared_ptr<const OMPSDEffect>> effects = {
        made<OMPSDDropShadowEffect>([](auto& e) { e.setOpacity(0.6); }),
        made<OMPSDInnerShadowEffect>([](auto& e) { e.setOpacity(0.6); }),
        made<OMPSDOuterGlowEffect>([](auto& e) { e.setOpacity(0.6); }),
        made<OMPSDOuterGlowEffect>([&](auto& e) {
            e.setOpacity(0.6);
            e.setGradient(gradient);
        }),
        made<OMPSDInnerGlowEffect>([](auto& e) { e.setOpacity(0.6); }),
        made<OMPSDInnerGlowEffect>([&](auto& e) {
            e.setOpacity(0.6);
            e.setGradient(gradient);
        }),
        made<OMPSDSatinEffect>([](auto& e) { e.setOpacity(0.6); }),
        made<OMPSDStrokeEffect>([](auto& e) {
            e.setOpacity(0.6);
            e.setFill(std::make_shared<OMPSDColorFill>(OMPSDColor(1, 0, 0)));
        }),
    };
    BNRenderNodePtr full = BNConstantColorNode::create({0, 0, 0, 1, 0}, BNChannelMaskOpacity);
    for (const auto& effect : effects) {
        SCOPED_TRACE("effect " + std::to_string(int(effect->kind())));
        for (int k = 0; k < 4; ++k)
            EXPECT_TRUE(samePixels(renderChannel(effectDrawnAlone(*effect, *square.layer),
                                                 VKRectMake(0, 0, kSide, kSide), k),
                                   renderChannel(effectDrawnAlone(*effect, *square.layer, full),
                                                 VKRectMake(0, 0, kSide, kSide), k)))
                << "channel " << k;
    }
}

TEST(EffectSweeps, DamagedMeasuresKeepTheBoundsWhole) {
    // Sizes, spreads, distances and softness that a damaged document may
    // carry: the bounds are a rectangle, never "not a number", and the
    // effect's nodes are made.
    Square square = makeSquare();
    VKRect shape = VKRectMake(kLeft, kLeft, kRight - kLeft, kRight - kLeft);
    for (double value : {std::numeric_limits<double>::infinity(), std::nan(""), -5.0}) {
        auto shadow = made<OMPSDDropShadowEffect>([&](auto& e) {
            e.setSize(value);
            e.setSpread(value);
            e.setDistance(value);
        });
        auto glow = made<OMPSDOuterGlowEffect>([&](auto& e) { e.setSize(value); });
        auto stroke = made<OMPSDStrokeEffect>([&](auto& e) { e.setSize(value); });
        auto bevel = made<OMPSDBevelEmbossEffect>([&](auto& e) {
            e.setStyle(2);
            e.setSize(value);
            e.setSoftness(value);
        });
        for (const OMPSDEffect* effect : std::initializer_list<const OMPSDEffect*>{
                 shadow.get(), glow.get(), stroke.get(), bevel.get()}) {
            VKRect b = boundsWithLayerShapeBounds(*effect, shape, *square.layer);
            EXPECT_FALSE(VKRectIsNull(b)) << value;
            for (double v : {b.origin.x, b.origin.y, b.size.width, b.size.height})
                EXPECT_FALSE(std::isnan(v)) << value;
            EXPECT_TRUE(effectDrawnAlone(*effect, *square.layer)) << value;
        }
    }
}
