#include "RandomGraph.h"

#include "FakeProviders.h"
#include "NodeTestSupport.h"
#include "TestNodes.h"
#include "TestPaths.h"
#include "rendergraph/adjustments/BNColorizeNode.h"
#include "rendergraph/adjustments/BNContourMappingNode.h"
#include "rendergraph/adjustments/BNHueSaturationAdjustmentNode.h"
#include "rendergraph/adjustments/BNShadeNode.h"
#include "rendergraph/adjustments/BNVibranceAdjustmentNode.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/blend/BNConvertOpacityToFillNode.h"
#include "rendergraph/blend/BNConvertToOpaqueNode.h"
#include "rendergraph/blend/BNInvertAlphaNode.h"
#include "rendergraph/blend/BNIsolateOpacityNode.h"
#include "rendergraph/blend/BNOverrideAlphaNode.h"
#include "rendergraph/blend/BNRestrictedBlendingNode.h"
#include "rendergraph/blend/BNScaleBiasNode.h"
#include "rendergraph/blurs/BNGaussianBlurNode.h"
#include "rendergraph/blurs/BNTentBlurNode.h"
#include "rendergraph/geometry/BNCompoundPathNode.h"
#include "rendergraph/geometry/BNCompoundPathStrokeNode.h"
#include "rendergraph/geometry/BNTranslateNode.h"
#include "rendergraph/gradients/BNAngularGradientNode.h"
#include "rendergraph/gradients/BNBitmapStrokeNode.h"
#include "rendergraph/gradients/BNDiamondGradientNode.h"
#include "rendergraph/gradients/BNDistanceTransformNode.h"
#include "rendergraph/gradients/BNGradientMappingNode.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"
#include "rendergraph/gradients/BNRadialGradientNode.h"
#include "rendergraph/gradients/BNReflectedGradientNode.h"
#include "rendergraph/gradients/BNShapeBurstGradientNode.h"
#include "rendergraph/images/BNApplyNoiseNode.h"
#include "rendergraph/images/BNApplyTextureNode.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/images/BNImageNode.h"
#include "rendergraph/images/BNPatternNode.h"
#include "rendergraph/images/BNTransparentNode.h"
#include "rendergraph/masks/BNApplyMaskNode.h"
#include "rendergraph/masks/BNBlendingRangesMaskNode.h"
#include "rendergraph/masks/BNColorWithMaskNode.h"
#include "rendergraph/masks/BNCrossfadeNode.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"
#include "rendergraph/masks/BNDifferenceMaskNode.h"
#include "rendergraph/masks/BNDivideMaskNode.h"
#include "rendergraph/masks/BNEffectMaskHackNode.h"
#include "rendergraph/masks/BNLimitToMaskNode.h"

#include <fmt/format.h>

#include <functional>
#include <random>

namespace rendergraph_test {

namespace {

using Predicate = std::function<bool(BNChannelMask)>;

bool anyMask(BNChannelMask) {
    return true;
}
bool fourSamples(BNChannelMask mask) {
    return BNSamplesPerPixel(mask) == 4;
}
bool oneChannel(BNChannelMask mask) {
    return BNMaskIsOneChannel(mask);
}
bool hasOpacity(BNChannelMask mask) {
    return BNMaskHasChannel(mask, BNChannelOpacity);
}
bool opacityOnly(BNChannelMask mask) {
    return mask == BNChannelMaskOpacity;
}
bool hasCoverage(BNChannelMask mask) {
    return (mask & (BNChannelMaskOpacity | BNChannelMaskFill)) != 0;
}
Predicate exactly(BNChannelMask wanted) {
    return [wanted](BNChannelMask mask) { return mask == wanted; };
}

class Builder {
public:
    Builder(uint32_t seed, VKRect area) : random_(seed), area_(area) {}

    RandomGraph build(int nodeCount) {
        while (static_cast<int>(nodes_.size()) < nodeCount) {
            bool leaf = nodes_.size() < 2 || chance(0.25);
            leaf ? addLeaf() : addOperation();
        }
        // Every node ends up below the root: those that nothing consumes
        // are blended over the last one.
        std::vector<size_t> loose;
        for (size_t i = 0; i + 1 < nodes_.size(); ++i)
            if (nodes_[i].node->outputNodes().empty()) loose.push_back(i);
        size_t root = asPicture(nodes_.size() - 1);
        for (size_t index : loose) {
            size_t top = asPicture(index);
            int mode = integer(0, kTarrowBlendModeCount - 1);
            double fill = fraction(4);
            add(BNBlendNode::create(nodes_[root].node, nodes_[top].node, BNBlendMode(mode), 1.0,
                                    fill),
                fmt::format("BNBlendNode::create({}, {}, BNBlendMode({}), 1.0, {})",
                            nodes_[root].name, nodes_[top].name, mode, fill));
            root = nodes_.size() - 1;
        }
        code_ += fmt::format("auto root = {};\n", nodes_[root].name);
        return {nodes_[root].node, code_};
    }

private:
    struct Made {
        BNRenderNodePtr node;
        std::string name;
    };

    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
    int integer(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    // A fraction k / steps in [0, 1].
    double fraction(int steps) { return integer(0, steps) / static_cast<double>(steps); }
    template <typename T>
    T oneOf(std::initializer_list<T> values) {
        return values.begin()[integer(0, static_cast<int>(values.size()) - 1)];
    }
    // A coordinate in the area on the 1/32-point grid.
    double x() {
        return area_.origin.x + integer(0, static_cast<int>(area_.size.width * 32)) / 32.0;
    }
    double y() {
        return area_.origin.y + integer(0, static_cast<int>(area_.size.height * 32)) / 32.0;
    }
    VKRect rect() {
        double left = x(), top = y();
        return VKRectMake(std::floor(left), std::floor(top),
                          integer(1, static_cast<int>(area_.size.width / 2)),
                          integer(1, static_cast<int>(area_.size.height / 2)));
    }
    std::string rectCode(VKRect r) {
        if (VKRectIsInfinite(r)) return "VKRectInfinite";
        return fmt::format("VKRectMake({}, {}, {}, {})", r.origin.x, r.origin.y, r.size.width,
                           r.size.height);
    }

    // An earlier node whose channels satisfy `accepts`, mostly a recent one.
    const Made* pick(const Predicate& accepts) {
        std::vector<const Made*> candidates;
        for (const Made& made : nodes_)
            if (accepts(made.node->channels())) candidates.push_back(&made);
        if (candidates.empty()) return nullptr;
        int last = static_cast<int>(candidates.size()) - 1;
        return candidates[chance(0.7) ? integer(std::max(0, last - 3), last) : integer(0, last)];
    }

    // The node at `index`, or a colour shaped by it when it is a plane.
    size_t asPicture(size_t index) {
        if (!oneChannel(nodes_[index].node->channels())) return index;
        BNChannelValues values{fraction(4), fraction(4), fraction(4), 0, 0};
        add(BNColorWithMaskNode::create(nodes_[index].node, values, BNChannelMaskRGB),
            fmt::format("BNColorWithMaskNode::create({}, {{{}, {}, {}, 0, 0}}, 7)",
                        nodes_[index].name, values[0], values[1], values[2]));
        return nodes_.size() - 1;
    }

    bool add(BNRenderNodePtr node, const std::string& expression) {
        if (!node) return false;
        std::string name = fmt::format("n{}", nodes_.size());
        code_ += fmt::format("auto {} = {};\n", name, expression);
        nodes_.push_back({std::move(node), name});
        return true;
    }

    CompoundPathPtr randomCompoundPath() {
        std::vector<PathPtr> paths;
        int count = integer(1, 2);
        for (int i = 0; i < count; ++i) {
            if (chance(0.3)) {
                VKRect box = rect();
                paths.push_back(ellipsePath(VKRectMake(x(), y(), box.size.width, box.size.height)));
                continue;
            }
            std::vector<VKPoint> points;
            int corners = integer(3, 6);
            for (int k = 0; k < corners; ++k)
                points.push_back({x(), y()});
            paths.push_back(polygonPath(points, chance(0.85)));
        }
        return compoundPathOf(std::move(paths), integer(0, 1));
    }

    bool addLeaf() {
        if (chance(0.25)) return addImageLeaf();
        if (chance(0.2)) return addGradientGenerator();
        switch (integer(0, 4)) {
            case 0: {
                BNChannelMask mask = oneOf({8, 15, 15, 23});
                BNChannelValues values{fraction(8), fraction(8), fraction(8), fraction(8),
                                       fraction(8)};
                return add(
                    BNConstantColorNode::create(values, mask),
                    fmt::format("BNConstantColorNode::create({{{}, {}, {}, {}, {}}}, {})",
                                values[0], values[1], values[2], values[3], values[4], mask));
            }
            case 1: {
                BNChannelMask mask = oneOf({8, 15, 23});
                VKRect bounds = rect();
                return add(
                    BNTransparentNode::create(bounds, mask),
                    fmt::format("BNTransparentNode::create({}, {})", rectCode(bounds), mask));
            }
            case 2: {
                BNChannelMask mask = oneOf({8, 15, 15, 23});
                VKRect bounds = chance(0.3) ? VKRectInfinite : rect();
                bool scalable = chance(0.5);
                return add(PatternNode::create(bounds, mask, scalable),
                           fmt::format("PatternNode::create({}, {}, {})", rectCode(bounds), mask,
                                       scalable));
            }
            case 3: {
                BNCompoundPathList paths;
                std::vector<VKBooleanOperation> operations;
                std::string pathsCode, operationsCode;
                int count = integer(1, 3);
                for (int i = 0; i < count; ++i) {
                    paths.push_back(randomCompoundPath());
                    operations.push_back(VKBooleanOperation(integer(0, 3)));
                    pathsCode += (i ? ",\n        " : "") + compoundPathCode(*paths.back());
                    operationsCode +=
                        fmt::format("{}VKBooleanOperation({})", i ? ", " : "", operations.back());
                }
                bool filled = chance(0.3);
                return add(BNCompoundPathNode::create(paths, operations, filled),
                           fmt::format("BNCompoundPathNode::create({{{}}}, {{{}}}, {})", pathsCode,
                                       operationsCode, filled));
            }
            default: {
                CompoundPathPtr path = randomCompoundPath();
                std::vector<double> dashes;
                if (chance(0.3)) dashes = {fraction(4) * 6 + 0.5, fraction(4) * 4 + 0.5};
                VKStrokeStyle style =
                    strokeStyleOf(0.5 + fraction(8) * 4, integer(0, 2), integer(0, 2),
                                  integer(0, 2), 4, dashes, fraction(4));
                bool fill = chance(0.3), overprint = chance(0.3);
                return add(
                    BNCompoundPathStrokeNode::create(path, style, fill, overprint),
                    fmt::format("BNCompoundPathStrokeNode::create({}, {}, {}, {})",
                                compoundPathCode(*path), strokeStyleCode(style), fill, overprint));
            }
        }
    }

    // An image or a pattern over a fake provider, now and then with a
    // background value that makes the image endless.
    bool addImageLeaf() {
        BNChannelMask mask = oneOf({8, 15, 23});
        VKRect bounds = rect();
        float background = chance(0.2) ? 0.25f : 0.0f;
        auto provider = FakeImageProvider::make(mask, bounds, background);
        std::string providerCode =
            fmt::format("FakeImageProvider::make({}, {}, {})", mask, rectCode(bounds), background);
        if (chance(0.5))
            return add(BNImageNode::create(provider),
                       fmt::format("BNImageNode::create({})", providerCode));
        double scale = oneOf({0.2, 0.5, 1.0, 1.5, 3.0});
        VKPoint phase{fraction(4) * 7 - 3, fraction(4) * 5};
        return add(BNPatternNode::create(provider, scale, phase),
                   fmt::format("BNPatternNode::create({}, {}, {{{}, {}}})", providerCode, scale,
                               phase.x, phase.y));
    }

    // A mask, crossfade or blur node.
    bool addMaskOperation() {
        switch (integer(0, 12)) {
            case 0: {
                const Made* input = pick(hasCoverage);
                const Made* mask = pick(oneChannel);
                if (!input || !mask) return false;
                return add(BNApplyMaskNode::create(input->node, mask->node),
                           fmt::format("BNApplyMaskNode::create({}, {})", input->name, mask->name));
            }
            case 1: {
                const Made* input = pick(anyMask);
                double amount = fraction(4);
                BNChannelMask channels = oneOf({15, 8, 9});
                return add(BNApplyNoiseNode::create(input->node, amount, channels),
                           fmt::format("BNApplyNoiseNode::create({}, {}, {})", input->name, amount,
                                       channels));
            }
            case 2: {
                const Made* input = pick(opacityOnly);
                const Made* texture = pick(chance(0.8) ? Predicate(exactly(15)) : anyMask);
                if (!input || !texture) return false;
                double amount = fraction(4);
                return add(BNApplyTextureNode::create(input->node, texture->node, amount),
                           fmt::format("BNApplyTextureNode::create({}, {}, {})", input->name,
                                       texture->name, amount));
            }
            case 3: {
                const Made* input = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
                if (!input) return false;
                int ranges = integer(0, 15);
                return add(BNBlendingRangesMaskNode::create(
                               input->node, FakeBlendingRangesProvider::make(ranges)),
                           fmt::format("BNBlendingRangesMaskNode::create({}, "
                                       "FakeBlendingRangesProvider::make({}))",
                                       input->name, ranges));
            }
            case 4: {
                const Made* background =
                    pick([](BNChannelMask mask) { return mask == 8 || mask == 15 || mask == 23; });
                if (!background) return false;
                const Made* foreground = pick(exactly(background->node->channels()));
                double blend = fraction(4);
                return add(BNCrossfadeNode::create(background->node, foreground->node, blend),
                           fmt::format("BNCrossfadeNode::create({}, {}, {})", background->name,
                                       foreground->name, blend));
            }
            case 5: {
                const Made* background = pick(chance(0.7) ? exactly(15) : exactly(8));
                if (!background) return false;
                const Made* foreground = pick(exactly(background->node->channels()));
                const Made* mask = pick(opacityOnly);
                if (!mask) return false;
                return add(
                    BNCrossfadeWithMaskNode::create(background->node, foreground->node, mask->node),
                    fmt::format("BNCrossfadeWithMaskNode::create({}, {}, {})", background->name,
                                foreground->name, mask->name));
            }
            case 6: {
                const Made* input = pick(opacityOnly);
                const Made* mask = pick(opacityOnly);
                if (!input || !mask) return false;
                return add(
                    BNDifferenceMaskNode::create(input->node, mask->node),
                    fmt::format("BNDifferenceMaskNode::create({}, {})", input->name, mask->name));
            }
            case 7: {
                const Made* background =
                    pick([](BNChannelMask mask) { return mask == 8 || BNMaskIsFourChannel(mask); });
                const Made* foreground = pick(opacityOnly);
                if (!background || !foreground) return false;
                double fill = chance(0.5) ? 1.0 : fraction(4);
                return add(BNDivideMaskNode::create(background->node, foreground->node, fill),
                           fmt::format("BNDivideMaskNode::create({}, {}, {})", background->name,
                                       foreground->name, fill));
            }
            case 8: {
                const Made* input = pick(oneChannel);
                const Made* mask = pick(oneChannel);
                if (!input || !mask) return false;
                double threshold = oneOf({0.005, 0.125, 0.5});
                return add(BNLimitToMaskNode::create(input->node, mask->node, threshold),
                           fmt::format("BNLimitToMaskNode::create({}, {}, {})", input->name,
                                       mask->name, threshold));
            }
            case 9: {
                const Made* foreground = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
                const Made* background = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
                if (!foreground || !background) return false;
                int channels = integer(0, 31);
                return add(
                    BNRestrictedBlendingNode::create(foreground->node, background->node, channels),
                    fmt::format("BNRestrictedBlendingNode::create({}, {}, {})", foreground->name,
                                background->name, channels));
            }
            case 10: {
                const Made* inputs[4];
                for (const Made*& input : inputs)
                    if (!(input = pick(oneChannel))) return false;
                return add(
                    BNEffectMaskHackNode::create(inputs[0]->node, inputs[1]->node, inputs[2]->node,
                                                 inputs[3]->node),
                    fmt::format("BNEffectMaskHackNode::create({}, {}, {}, {})", inputs[0]->name,
                                inputs[1]->name, inputs[2]->name, inputs[3]->name));
            }
            default: {
                const Made* input = pick(oneChannel);
                if (!input) return false;
                if (chance(0.5)) {
                    double radius = oneOf({0.0, 0.6, 1.5, 2.5, 4.0});
                    return add(
                        BNGaussianBlurNode::create(input->node, radius),
                        fmt::format("BNGaussianBlurNode::create({}, {})", input->name, radius));
                }
                double radius = oneOf({0.0, 1.0, 1.5, 3.0});
                bool forceFloat = chance(0.5);
                return add(BNTentBlurNode::create(input->node, radius, input->node->channels(),
                                                  forceFloat),
                           fmt::format("BNTentBlurNode::create({}, {}, {}, {})", input->name,
                                       radius, input->node->channels(), forceFloat));
            }
        }
    }

    bool addOperation() {
        if (chance(0.45)) return addMaskOperation();
        if (chance(0.3)) {
            switch (integer(0, 2)) {
                case 0:
                    return addDistanceNode();
                case 1:
                    return addGradientMapping();
                default:
                    return addColorAdjustment();
            }
        }
        switch (integer(0, 9)) {
            case 0:
            case 1:
            case 2: {
                // Mostly four-sample inputs; now and then another layout,
                // which must leave the background.
                const Made* background = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
                const Made* foreground = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
                if (!background || !foreground) return false;
                int mode = chance(0.97) ? integer(0, 26) : oneOf({-1, 27});
                double fill = chance(0.5) ? 1.0 : fraction(8);
                return add(BNBlendNode::create(background->node, foreground->node,
                                               BNBlendMode(mode), 1.0, fill),
                           fmt::format("BNBlendNode::create({}, {}, BNBlendMode({}), 1.0, {})",
                                       background->name, foreground->name, mode, fill));
            }
            case 3: {
                const Made* input = pick(anyMask);
                VKPoint offset{static_cast<double>(integer(-12, 12)),
                               static_cast<double>(integer(-12, 12))};
                return add(BNTranslateNode::create(input->node, offset),
                           fmt::format("BNTranslateNode::create({}, {{{}, {}}})", input->name,
                                       offset.x, offset.y));
            }
            case 4: {
                const Made* mask = pick(oneChannel);
                if (!mask) return false;
                BNChannelValues values{fraction(8), fraction(8), fraction(8), 0, 0};
                return add(BNColorWithMaskNode::create(mask->node, values, BNChannelMaskRGB),
                           fmt::format("BNColorWithMaskNode::create({}, {{{}, {}, {}, 0, 0}}, 7)",
                                       mask->name, values[0], values[1], values[2]));
            }
            case 5: {
                const Made* input = pick(hasOpacity);
                if (!input) return false;
                return add(BNConvertOpacityToFillNode::create(input->node),
                           fmt::format("BNConvertOpacityToFillNode::create({})", input->name));
            }
            case 6: {
                if (chance(0.5)) {
                    const Made* input = pick(BNMaskIsFourChannel);
                    if (!input) return false;
                    return add(BNConvertToOpaqueNode::create(input->node),
                               fmt::format("BNConvertToOpaqueNode::create({})", input->name));
                }
                const Made* input = pick([](BNChannelMask mask) { return mask == 8; });
                if (!input) return false;
                return add(BNInvertAlphaNode::create(input->node),
                           fmt::format("BNInvertAlphaNode::create({})", input->name));
            }
            case 7: {
                const Made* input = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
                if (!input) return false;
                return add(BNIsolateOpacityNode::create(input->node),
                           fmt::format("BNIsolateOpacityNode::create({})", input->name));
            }
            case 8: {
                const Made* input = pick(fourSamples);
                const Made* alpha = pick(fourSamples);
                if (!input || !alpha) return false;
                return add(
                    BNOverrideAlphaNode::create(input->node, alpha->node),
                    fmt::format("BNOverrideAlphaNode::create({}, {})", input->name, alpha->name));
            }
            default: {
                const Made* input = pick(oneChannel);
                if (!input) return false;
                double scale = oneOf({0.0, 0.5, 1.0, 2.0, -1.0}),
                       bias = oneOf({0.0, 0.25, -0.5, 1.0});
                bool clamped = chance(0.5), biasFirst = chance(0.5);
                return add(BNScaleBiasNode::create(input->node, scale, bias, clamped, biasFirst),
                           fmt::format("BNScaleBiasNode::create({}, {}, {}, {}, {})", input->name,
                                       scale, bias, clamped, biasFirst));
            }
        }
    }

    // ---- Gradients, distance fields and colour adjustments ----

    std::string pointCode(VKPoint p) { return fmt::format("{{{}, {}}}", p.x, p.y); }

    bool addGradientGenerator() {
        const int number = integer(0, 1);
        const bool dither = chance(0.5);
        auto provider = testGradient(number);
        const std::string tail = fmt::format("testGradient({}), {})", number, dither);
        const VKPoint a{x(), y()}, b{x(), y()};
        const double angle = integer(-4, 12) * 30.0 + fraction(4) * 10;
        const double radius = 0.5 + fraction(16) * 40;
        switch (integer(0, 4)) {
            case 0:
                return add(BNAngularGradientNode::create(a, angle, provider, dither),
                           fmt::format("BNAngularGradientNode::create({}, {}, {}", pointCode(a),
                                       angle, tail));
            case 1:
                return add(BNDiamondGradientNode::create(a, angle, radius, provider, dither),
                           fmt::format("BNDiamondGradientNode::create({}, {}, {}, {}", pointCode(a),
                                       angle, radius, tail));
            case 2:
                return add(BNLinearGradientNode::create(a, b, provider, dither),
                           fmt::format("BNLinearGradientNode::create({}, {}, {}", pointCode(a),
                                       pointCode(b), tail));
            case 3:
                return add(BNRadialGradientNode::create(a, radius, provider, dither),
                           fmt::format("BNRadialGradientNode::create({}, {}, {}", pointCode(a),
                                       radius, tail));
            default:
                return add(BNReflectedGradientNode::create(a, b, provider, dither),
                           fmt::format("BNReflectedGradientNode::create({}, {}, {}", pointCode(a),
                                       pointCode(b), tail));
        }
    }

    bool addDistanceNode() {
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
                return add(
                    BNShapeBurstGradientNode::create(input->node, position, width,
                                                     testGradient(number)),
                    fmt::format("BNShapeBurstGradientNode::create({}, VKStrokePosition({}), {}, "
                                "testGradient({}))",
                                input->name, position, width, number));
            }
        }
    }

    bool addGradientMapping() {
        // Mostly the layouts it maps; now and then one it leaves clear.
        const Made* input =
            pick(chance(0.9) ? Predicate([](BNChannelMask mask) { return mask == 15 || mask == 8; })
                             : anyMask);
        if (!input) return false;
        const int number = integer(0, 1);
        const bool opaque = chance(0.5);
        return add(BNGradientMappingNode::create(input->node, testGradient(number), opaque),
                   fmt::format("BNGradientMappingNode::create({}, testGradient({}), {})",
                               input->name, number, opaque));
    }

    bool addColorAdjustment() {
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
                    providersCode += (channel ? ", " : "") +
                                     (number >= 0 ? fmt::format("testContour({})", number)
                                                  : std::string("nullptr"));
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
                    code += fmt::format("hueSaturationAdjustment({}, {}, {}, {}, {}, {}, {})",
                                        values[0], values[1], values[2], values[3], values[4],
                                        values[5], values[6]);
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

    std::mt19937 random_;
    VKRect area_;
    std::vector<Made> nodes_;
    std::string code_;
};

}  // namespace

RandomGraph makeRandomGraph(uint32_t seed, int nodeCount, VKRect area) {
    return Builder(seed, area).build(nodeCount);
}

}  // namespace rendergraph_test
