#include "RandomGraph.h"

#include "FakeProviders.h"
#include "TestNodes.h"
#include "TestPaths.h"
#include "rendergraph/BNApplyMaskNode.h"
#include "rendergraph/BNApplyNoiseNode.h"
#include "rendergraph/BNApplyTextureNode.h"
#include "rendergraph/BNBlendNode.h"
#include "rendergraph/BNBlendingRangesMaskNode.h"
#include "rendergraph/BNColorWithMaskNode.h"
#include "rendergraph/BNCompoundPathNode.h"
#include "rendergraph/BNCompoundPathStrokeNode.h"
#include "rendergraph/BNConstantColorNode.h"
#include "rendergraph/BNConvertOpacityToFillNode.h"
#include "rendergraph/BNConvertToOpaqueNode.h"
#include "rendergraph/BNCrossfadeNode.h"
#include "rendergraph/BNCrossfadeWithMaskNode.h"
#include "rendergraph/BNDifferenceMaskNode.h"
#include "rendergraph/BNDivideMaskNode.h"
#include "rendergraph/BNEffectMaskHackNode.h"
#include "rendergraph/BNGaussianBlurNode.h"
#include "rendergraph/BNImageNode.h"
#include "rendergraph/BNInvertAlphaNode.h"
#include "rendergraph/BNIsolateOpacityNode.h"
#include "rendergraph/BNLimitToMaskNode.h"
#include "rendergraph/BNOverrideAlphaNode.h"
#include "rendergraph/BNPatternNode.h"
#include "rendergraph/BNRestrictedBlendingNode.h"
#include "rendergraph/BNScaleBiasNode.h"
#include "rendergraph/BNTentBlurNode.h"
#include "rendergraph/BNTranslateNode.h"
#include "rendergraph/BNTransparentNode.h"

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
            int mode = integer(0, BNBlendModeCount - 1);
            double fill = fraction(4);
            add(BNBlendNode::create(nodes_[root].node, nodes_[top].node, mode, 1.0, fill),
                fmt::format("BNBlendNode::create({}, {}, {}, 1.0, {})", nodes_[root].name,
                            nodes_[top].name, mode, fill));
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
                std::vector<int> operations;
                std::string pathsCode, operationsCode;
                int count = integer(1, 3);
                for (int i = 0; i < count; ++i) {
                    paths.push_back(randomCompoundPath());
                    operations.push_back(integer(0, 3));
                    pathsCode += (i ? ",\n        " : "") + compoundPathCode(*paths.back());
                    operationsCode += fmt::format("{}{}", i ? ", " : "", operations.back());
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
                return add(BNBlendNode::create(background->node, foreground->node, mode, 1.0, fill),
                           fmt::format("BNBlendNode::create({}, {}, {}, 1.0, {})", background->name,
                                       foreground->name, mode, fill));
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
