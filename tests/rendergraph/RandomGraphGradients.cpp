// Random graphs: gradient generators, distance fields, gradient mapping and
// colour adjustments.
#include "NodeTestSupport.h"
#include "RandomGraphBuilder.h"
#include "rendergraph/adjustments/BNColorizeNode.h"
#include "rendergraph/adjustments/BNContourMappingNode.h"
#include "rendergraph/adjustments/BNHueSaturationAdjustmentNode.h"
#include "rendergraph/adjustments/BNShadeNode.h"
#include "rendergraph/adjustments/BNVibranceAdjustmentNode.h"
#include "rendergraph/gradients/BNAngularGradientNode.h"
#include "rendergraph/gradients/BNBitmapStrokeNode.h"
#include "rendergraph/gradients/BNDiamondGradientNode.h"
#include "rendergraph/gradients/BNDistanceTransformNode.h"
#include "rendergraph/gradients/BNGradientMappingNode.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"
#include "rendergraph/gradients/BNRadialGradientNode.h"
#include "rendergraph/gradients/BNReflectedGradientNode.h"
#include "rendergraph/gradients/BNShapeBurstGradientNode.h"

namespace rendergraph_test::random_graph {

bool RandomGraphBuilder::addGradientGenerator() {
    const int number = integer(0, 1);
    const bool dither = chance(0.5);
    auto provider = testGradient(number);
    const std::string tail = fmt::format("testGradient({}), {})", number, dither);
    const VKPoint a{x(), y()}, b{x(), y()};
    const double angle = integer(-4, 12) * 30.0 + fraction(4) * 10;
    const double radius = 0.5 + fraction(16) * 40;
    switch (integer(0, 4)) {
        case 0:
            return add(
                BNAngularGradientNode::create(a, angle, provider, dither),
                fmt::format("BNAngularGradientNode::create({}, {}, {}", pointCode(a), angle, tail));
        case 1:
            return add(BNDiamondGradientNode::create(a, angle, radius, provider, dither),
                       fmt::format("BNDiamondGradientNode::create({}, {}, {}, {}", pointCode(a),
                                   angle, radius, tail));
        case 2:
            return add(BNLinearGradientNode::create(a, b, provider, dither),
                       fmt::format("BNLinearGradientNode::create({}, {}, {}", pointCode(a),
                                   pointCode(b), tail));
        case 3:
            return add(
                BNRadialGradientNode::create(a, radius, provider, dither),
                fmt::format("BNRadialGradientNode::create({}, {}, {}", pointCode(a), radius, tail));
        default:
            return add(BNReflectedGradientNode::create(a, b, provider, dither),
                       fmt::format("BNReflectedGradientNode::create({}, {}, {}", pointCode(a),
                                   pointCode(b), tail));
    }
}

bool RandomGraphBuilder::addDistanceNode() {
    const auto position = VKStrokePosition(integer(0, 2));
    // Fractional widths give the distance transform and shape-burst
    // nodes bounds off the pixel grid.
    const double width = oneOf({0.0, 1.0, 1.5, 2.0, 3.0, 4.25});
    switch (integer(0, 2)) {
        case 0: {
            const Made* input = pick([](BNChannelMask mask) { return mask == 8; });
            if (!input) return false;
            return add(BNBitmapStrokeNode::create(input->node, position, width),
                       fmt::format("BNBitmapStrokeNode::create({}, VKStrokePosition({}), {})",
                                   input->name, position, width));
        }
        case 1: {
            const Made* input = pick(oneChannel);
            if (!input) return false;
            const auto technique = BNDistanceTechnique(integer(0, 1));
            return add(BNDistanceTransformNode::create(input->node, position, width, technique),
                       fmt::format("BNDistanceTransformNode::create({}, VKStrokePosition({}), "
                                   "{}, BNDistanceTechnique({}))",
                                   input->name, position, width, technique));
        }
        default: {
            const Made* input = pick([](BNChannelMask mask) { return mask == 8; });
            if (!input) return false;
            const int number = integer(0, 1);
            return add(BNShapeBurstGradientNode::create(input->node, position, width,
                                                        testGradient(number)),
                       fmt::format("BNShapeBurstGradientNode::create({}, VKStrokePosition({}), {}, "
                                   "testGradient({}))",
                                   input->name, position, width, number));
        }
    }
}

bool RandomGraphBuilder::addGradientMapping() {
    // Mostly the layouts it maps; now and then one it leaves clear.
    const Made* input =
        pick(chance(0.9) ? Predicate([](BNChannelMask mask) { return mask == 15 || mask == 8; })
                         : anyMask);
    if (!input) return false;
    const int number = integer(0, 1);
    const bool opaque = chance(0.5);
    return add(BNGradientMappingNode::create(input->node, testGradient(number), opaque),
               fmt::format("BNGradientMappingNode::create({}, testGradient({}), {})", input->name,
                           number, opaque));
}

bool RandomGraphBuilder::addColorAdjustment() {
    auto setting = [this] { return fraction(8) * 2 - 1; };
    switch (integer(0, 4)) {
        case 0: {
            const Made* input = pick(fourSamples);
            if (!input) return false;
            const double hue = integer(-2, 14) * 30.0, saturation = fraction(4),
                         lightness = setting();
            return add(BNColorizeNode::create(input->node, hue, saturation, lightness),
                       fmt::format("BNColorizeNode::create({}, {}, {}, {})", input->name, hue,
                                   saturation, lightness));
        }
        case 1: {
            const Made* input = pick(anyMask);
            BNContourProviders providers;
            std::string providersCode;
            for (int channel = 0; channel < BNChannelCount; ++channel) {
                const int number = integer(-1, 2);
                if (number >= 0) providers[channel] = testContour(number);
                providersCode +=
                    (channel ? ", " : "") +
                    (number >= 0 ? fmt::format("testContour({})", number) : std::string("nullptr"));
            }
            const bool ranged = chance(0.3);
            const double low = ranged ? fraction(4) * 0.5 : 0.0,
                         high = ranged ? 0.5 + fraction(4) * 0.5 : 1.0;
            return add(BNContourMappingNode::create(input->node, providers, low, high),
                       fmt::format("BNContourMappingNode::create({}, {{{{{}}}}}, {}, {})",
                                   input->name, providersCode, low, high));
        }
        case 2: {
            const Made* input = pick([](BNChannelMask mask) { return mask == 15; });
            if (!input) return false;
            auto adjustment = [&](std::string& code) {
                const double values[7] = {integer(-6, 6) * 30.0,
                                          setting(),
                                          setting(),
                                          integer(0, 12) * 30.0,
                                          integer(0, 12) * 30.0,
                                          integer(0, 12) * 30.0,
                                          integer(0, 12) * 30.0};
                code +=
                    fmt::format("hueSaturationAdjustment({}, {}, {}, {}, {}, {}, {})", values[0],
                                values[1], values[2], values[3], values[4], values[5], values[6]);
                return hueSaturationAdjustment(values[0], values[1], values[2], values[3],
                                               values[4], values[5], values[6]);
            };
            std::string masterCode, secondaryCode;
            const BNHueSaturationAdjustment master = adjustment(masterCode);
            std::vector<BNHueSaturationAdjustment> secondaries;
            for (int i = integer(0, 2); i > 0; --i) {
                if (!secondaryCode.empty()) secondaryCode += ", ";
                secondaries.push_back(adjustment(secondaryCode));
            }
            return add(BNHueSaturationAdjustmentNode::create(input->node, master, secondaries),
                       fmt::format("BNHueSaturationAdjustmentNode::create({}, {}, {{{}}})",
                                   input->name, masterCode, secondaryCode));
        }
        case 3: {
            const Made* input = pick(chance(0.9) ? Predicate(oneChannel) : anyMask);
            if (!input) return false;
            const double direction = integer(-2, 12) * 30.0, elevation = integer(0, 6) * 15.0,
                         size = fraction(4) * 8, depth = 0.25 + fraction(4) * 2;
            return add(BNShadeNode::create(input->node, direction, elevation, size, depth),
                       fmt::format("BNShadeNode::create({}, {}, {}, {}, {})", input->name,
                                   direction, elevation, size, depth));
        }
        default: {
            const Made* input = pick(fourSamples);
            if (!input) return false;
            const double vibrance = setting(), saturation = setting();
            return add(BNVibranceAdjustmentNode::create(input->node, vibrance, saturation),
                       fmt::format("BNVibranceAdjustmentNode::create({}, {}, {})", input->name,
                                   vibrance, saturation));
        }
    }
}

}  // namespace rendergraph_test::random_graph
