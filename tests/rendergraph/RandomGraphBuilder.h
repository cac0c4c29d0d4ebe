#pragma once
// The builder behind makeRandomGraph (RandomGraph.h): random choices on a
// seeded generator, the nodes made so far with the source that makes each,
// and one function per node family that adds a node of that family.
// RandomGraph.cpp holds the bookkeeping and the leaves,
// RandomGraphOperations.cpp the mask, blur, blend and channel operations,
// RandomGraphGradients.cpp the gradients, distance fields and colour
// adjustments.

#include "RandomGraph.h"
#include "TestPaths.h"

#include <fmt/format.h>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace rendergraph_test::random_graph {

using Predicate = std::function<bool(BNChannelMask)>;

// What an input's channels must be.
inline bool anyMask(BNChannelMask) {
    return true;
}
inline bool fourSamples(BNChannelMask mask) {
    return BNSamplesPerPixel(mask) == 4;
}
inline bool oneChannel(BNChannelMask mask) {
    return BNMaskIsOneChannel(mask);
}
inline bool hasOpacity(BNChannelMask mask) {
    return BNMaskHasChannel(mask, BNChannelOpacity);
}
inline bool opacityOnly(BNChannelMask mask) {
    return mask == BNChannelMaskOpacity;
}
inline bool hasCoverage(BNChannelMask mask) {
    return (mask & (BNChannelMaskOpacity | BNChannelMaskFill)) != 0;
}
inline Predicate exactly(BNChannelMask wanted) {
    return [wanted](BNChannelMask mask) { return mask == wanted; };
}

class RandomGraphBuilder {
public:
    RandomGraphBuilder(uint32_t seed, VKRect area) : random_(seed), area_(area) {}

    RandomGraph build(int nodeCount);

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
    std::string pointCode(VKPoint p) { return fmt::format("{{{}, {}}}", p.x, p.y); }

    // An earlier node whose channels satisfy `accepts`, mostly a recent one.
    const Made* pick(const Predicate& accepts);
    // The node at `index`, or a colour shaped by it when it is a plane.
    size_t asPicture(size_t index);
    // Adds the node, made by `expression`; false for a null node.
    bool add(BNRenderNodePtr node, const std::string& expression);
    CompoundPathPtr randomCompoundPath();

    // A generator: a constant, transparent, pattern or path node.
    bool addLeaf();
    // An image or a pattern over a fake provider, now and then with a
    // background value that makes the image endless.
    bool addImageLeaf();
    // A node over earlier ones.
    bool addOperation();
    // A mask, crossfade or blur node.
    bool addMaskOperation();
    // Gradient generators, distance fields, gradient mapping and colour
    // adjustments.
    bool addGradientGenerator();
    bool addDistanceNode();
    bool addGradientMapping();
    bool addColorAdjustment();

    std::mt19937 random_;
    VKRect area_;
    std::vector<Made> nodes_;
    std::string code_;
};

}  // namespace rendergraph_test::random_graph
