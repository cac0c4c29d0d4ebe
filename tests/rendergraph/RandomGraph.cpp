#include "RandomGraph.h"

#include "FakeProviders.h"
#include "RandomGraphBuilder.h"
#include "TestNodes.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/geometry/BNCompoundPathNode.h"
#include "rendergraph/geometry/BNCompoundPathStrokeNode.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/images/BNImageNode.h"
#include "rendergraph/images/BNPatternNode.h"
#include "rendergraph/images/BNTransparentNode.h"
#include "rendergraph/masks/BNColorWithMaskNode.h"

namespace rendergraph_test {

namespace random_graph {

RandomGraph RandomGraphBuilder::build(int nodeCount) {
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
        add(BNBlendNode::create(nodes_[root].node, nodes_[top].node, BNBlendMode(mode), 1.0, fill),
            fmt::format("BNBlendNode::create({}, {}, BNBlendMode({}), 1.0, {})", nodes_[root].name,
                        nodes_[top].name, mode, fill));
        root = nodes_.size() - 1;
    }
    code_ += fmt::format("auto root = {};\n", nodes_[root].name);
    return {nodes_[root].node, code_};
}

const RandomGraphBuilder::Made* RandomGraphBuilder::pick(const Predicate& accepts) {
    std::vector<const Made*> candidates;
    for (const Made& made : nodes_)
        if (accepts(made.node->channels())) candidates.push_back(&made);
    if (candidates.empty()) return nullptr;
    int last = static_cast<int>(candidates.size()) - 1;
    return candidates[chance(0.7) ? integer(std::max(0, last - 3), last) : integer(0, last)];
}

size_t RandomGraphBuilder::asPicture(size_t index) {
    if (!oneChannel(nodes_[index].node->channels())) return index;
    BNChannelValues values{fraction(4), fraction(4), fraction(4), 0, 0};
    add(BNColorWithMaskNode::create(nodes_[index].node, values, BNChannelMaskRGB),
        fmt::format("BNColorWithMaskNode::create({}, {{{}, {}, {}, 0, 0}}, 7)", nodes_[index].name,
                    values[0], values[1], values[2]));
    return nodes_.size() - 1;
}

bool RandomGraphBuilder::add(BNRenderNodePtr node, const std::string& expression) {
    if (!node) return false;
    std::string name = fmt::format("n{}", nodes_.size());
    code_ += fmt::format("auto {} = {};\n", name, expression);
    nodes_.push_back({std::move(node), name});
    return true;
}

CompoundPathPtr RandomGraphBuilder::randomCompoundPath() {
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

bool RandomGraphBuilder::addLeaf() {
    if (chance(0.25)) return addImageLeaf();
    if (chance(0.2)) return addGradientGenerator();
    switch (integer(0, 4)) {
        case 0: {
            BNChannelMask mask = oneOf({8, 15, 15, 23});
            BNChannelValues values{fraction(8), fraction(8), fraction(8), fraction(8), fraction(8)};
            return add(BNConstantColorNode::create(values, mask),
                       fmt::format("BNConstantColorNode::create({{{}, {}, {}, {}, {}}}, {})",
                                   values[0], values[1], values[2], values[3], values[4], mask));
        }
        case 1: {
            BNChannelMask mask = oneOf({8, 15, 23});
            VKRect bounds = rect();
            return add(BNTransparentNode::create(bounds, mask),
                       fmt::format("BNTransparentNode::create({}, {})", rectCode(bounds), mask));
        }
        case 2: {
            BNChannelMask mask = oneOf({8, 15, 15, 23});
            VKRect bounds = chance(0.3) ? VKRectInfinite : rect();
            bool scalable = chance(0.5);
            return add(
                PatternNode::create(bounds, mask, scalable),
                fmt::format("PatternNode::create({}, {}, {})", rectCode(bounds), mask, scalable));
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
            VKStrokeStyle style = strokeStyleOf(0.5 + fraction(8) * 4, integer(0, 2), integer(0, 2),
                                                integer(0, 2), 4, dashes, fraction(4));
            bool fill = chance(0.3), overprint = chance(0.3);
            return add(
                BNCompoundPathStrokeNode::create(path, style, fill, overprint),
                fmt::format("BNCompoundPathStrokeNode::create({}, {}, {}, {})",
                            compoundPathCode(*path), strokeStyleCode(style), fill, overprint));
        }
    }
}

bool RandomGraphBuilder::addImageLeaf() {
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

}  // namespace random_graph

RandomGraph makeRandomGraph(uint32_t seed, int nodeCount, VKRect area) {
    return random_graph::RandomGraphBuilder(seed, area).build(nodeCount);
}

}  // namespace rendergraph_test
